// The colour sensor's C face: a handle is the address of the device object.
#include "halvern/Iridel.h"
#include "iridel/IridelDevice.h"

namespace {

using halvern::iridel::IridelDevice;

IridelDevice* device(void* handle) { return static_cast<IridelDevice*>(handle); }

}  // namespace

extern "C" {

void* c_Iridel_create(int canId) { return IridelDevice::createCan(canId).release(); }

void* c_Iridel_createUsb(const char* portPath, int sampleTimeMs) {
  return IridelDevice::createUsb(portPath, sampleTimeMs).release();
}

void c_Iridel_destroy(void* handle) {
  // The caller hands ownership back: the handle came from a create function's release().
  const std::unique_ptr<IridelDevice> owned(device(handle));
}

ColorData* c_Iridel_getColor(void* handle, ColorData* out) {
  if (out != nullptr) {
    *out = device(handle)->getColor();
  }
  return out;
}

bool c_Iridel_setColorFormat(void* handle, int format) {
  return device(handle)->setColorFormat(format);
}

bool c_Iridel_setSampleTimeMs(void* handle, int milliseconds) {
  return device(handle)->setSampleTimeMs(milliseconds);
}

bool c_Iridel_setBrightness(void* handle, int level) {
  return device(handle)->setBrightness(level);
}

bool c_Iridel_setStatusLed(void* handle, bool enable, int level) {
  return device(handle)->setStatusLed(enable, level);
}

bool c_Iridel_setMeasureMode(void* handle, int mode, float parameter) {
  return device(handle)->setMeasureMode(mode, parameter);
}

bool c_Iridel_setZmm(void* handle, float value) { return device(handle)->setZmm(value); }

bool c_Iridel_setUsbOverride(void* handle, bool on) { return device(handle)->setUsbOverride(on); }

bool c_Iridel_setCanId(void* handle, int newId) { return device(handle)->setCanId(newId); }

bool c_Iridel_getConfig(void* handle, int key, uint32_t* value) {
  return device(handle)->getConfig(key, value);
}

int c_Iridel_getCanID(void* handle) { return device(handle)->getCanID(); }

int c_Iridel_getTransport(void* handle) {
  return static_cast<int>(device(handle)->transportKind());
}

}  // extern "C"

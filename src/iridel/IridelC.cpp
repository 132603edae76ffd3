// The colour sensor's C face: a handle is the address of the device object. A null handle
// (what a failed create returns) never reaches the device: such calls answer false, an
// invalid sample or -1.
#include <memory>

#include "core/HalPlatform.h"
#include "halvern/Iridel.h"
#include "iridel/IridelDevice.h"

// The public limits (halvern/Iridel.h) are the ones the shared device checks.
static_assert(IRIDEL_MIN_CAN_ID == halvern::DualTransportDevice::kMinCanId &&
              IRIDEL_MAX_CAN_ID == halvern::DualTransportDevice::kMaxCanId);

namespace {

using halvern::iridel::IridelDevice;

IridelDevice* device(void* handle) { return static_cast<IridelDevice*>(handle); }

// Runs the operation on a live handle; a null handle answers `none` instead.
template <typename Operation, typename Result>
Result onDevice(void* handle, Result none, Operation operation) {
  return handle != nullptr ? operation(*device(handle)) : none;
}

}  // namespace

extern "C" {

void* c_Iridel_create(int canId) {
  return c_Iridel_createOnBus(halvern::platform::kDefaultCanBus, canId);
}

void* c_Iridel_createOnBus(int32_t bus, int canId) {
  return IridelDevice::createCan(canId, bus).release();
}

void* c_Iridel_createUsb(const char* portPath, int sampleTimeMs) {
  return IridelDevice::createUsb(portPath, sampleTimeMs).release();
}

void c_Iridel_destroy(void* handle) {
  // The caller hands ownership back: the handle came from a create function's release().
  const std::unique_ptr<IridelDevice> owned(device(handle));
}

ColorData* c_Iridel_getColor(void* handle, ColorData* out) {
  if (out != nullptr) {
    *out = onDevice(handle, ColorData{}, [](IridelDevice& d) { return d.getColor(); });
  }
  return out;
}

IridelReading* c_Iridel_getLatestColor(void* handle, IridelReading* out) {
  if (out != nullptr) {
    *out = onDevice(handle, IridelReading{}, [](IridelDevice& d) { return d.getLatestColor(); });
  }
  return out;
}

bool c_Iridel_isConnected(void* handle) {
  return onDevice(handle, false, [](IridelDevice& d) { return d.isConnected(); });
}

bool c_Iridel_setColorFormat(void* handle, int format) {
  return onDevice(handle, false, [&](IridelDevice& d) { return d.setColorFormat(format); });
}

bool c_Iridel_setSampleTimeMs(void* handle, int milliseconds) {
  return onDevice(handle, false, [&](IridelDevice& d) { return d.setSampleTimeMs(milliseconds); });
}

bool c_Iridel_setBrightness(void* handle, int level) {
  return onDevice(handle, false, [&](IridelDevice& d) { return d.setBrightness(level); });
}

bool c_Iridel_setStatusLed(void* handle, bool enable, int level) {
  return onDevice(handle, false, [&](IridelDevice& d) { return d.setStatusLed(enable, level); });
}

bool c_Iridel_setMeasureMode(void* handle, int mode, float parameter) {
  return onDevice(handle, false,
                  [&](IridelDevice& d) { return d.setMeasureMode(mode, parameter); });
}

bool c_Iridel_setZmm(void* handle, float value) {
  return onDevice(handle, false, [&](IridelDevice& d) { return d.setZmm(value); });
}

bool c_Iridel_setUsbOverride(void* handle, bool on) {
  return onDevice(handle, false, [&](IridelDevice& d) { return d.setUsbOverride(on); });
}

bool c_Iridel_setCanId(void* handle, int newId) {
  return onDevice(handle, false, [&](IridelDevice& d) { return d.setCanId(newId); });
}

bool c_Iridel_getConfig(void* handle, int key, uint32_t* value) {
  return onDevice(handle, false, [&](IridelDevice& d) { return d.getConfig(key, value); });
}

int c_Iridel_getCanID(void* handle) {
  return onDevice(handle, -1, [](IridelDevice& d) { return d.getCanID(); });
}

int c_Iridel_getCanBus(void* handle) {
  return onDevice(handle, -1, [](IridelDevice& d) { return d.canBusNumber(); });
}

int c_Iridel_getTransport(void* handle) {
  return onDevice(handle, -1, [](IridelDevice& d) { return static_cast<int>(d.transportKind()); });
}

}  // extern "C"

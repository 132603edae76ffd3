// The distance sensor's C face: a handle is the address of the device object. A null handle
// (what a failed create returns) never reaches the device: such calls answer an empty reading,
// an invalid configuration or -1.
#include <memory>

#include "core/HalPlatform.h"
#include "dystal/DystalDevice.h"

// The public limits (halvern/Dystal.h) are the ones the shared device checks.
static_assert(DYSTAL_MIN_CAN_ID == halvern::DualTransportDevice::kMinCanId &&
              DYSTAL_MAX_CAN_ID == halvern::DualTransportDevice::kMaxCanId);
#include "halvern/Dystal.h"

namespace {

using halvern::dystal::DystalDevice;

DystalDevice* device(void* handle) { return static_cast<DystalDevice*>(handle); }

}  // namespace

extern "C" {

void* c_Dystal_create(int canId) {
  return c_Dystal_createOnBus(halvern::platform::kDefaultCanBus, canId);
}

void* c_Dystal_createOnBus(int32_t bus, int canId) {
  return DystalDevice::createCan(canId, bus).release();
}

void* c_Dystal_createUsb(const char* portPath, int outputDataRate) {
  return DystalDevice::createUsb(portPath, outputDataRate).release();
}

void c_Dystal_destroy(void* handle) {
  // The caller hands ownership back: the handle came from a create function's release().
  const std::unique_ptr<DystalDevice> owned(device(handle));
}

DystalScanData* c_Dystal_getData(void* handle, DystalScanData* out, int count) {
  if (out != nullptr) {
    *out = handle != nullptr ? device(handle)->getData(count) : DystalScanData{};
  }
  return out;
}

bool c_Dystal_startGathering(void* handle) {
  return handle != nullptr && device(handle)->startGathering();
}

DystalReading* c_Dystal_getLatest(void* handle, DystalReading* out, int count) {
  if (out != nullptr) {
    *out = handle != nullptr ? device(handle)->getLatest(count) : DystalReading{};
  }
  return out;
}

bool c_Dystal_isConnected(void* handle) {
  return handle != nullptr && device(handle)->isConnected();
}

DystalConfig* c_Dystal_getConfig(void* handle, DystalConfig* out, int timeoutMs) {
  if (out != nullptr) {
    *out = handle != nullptr ? device(handle)->getConfig(timeoutMs) : DystalConfig{};
  }
  return out;
}

int c_Dystal_getCanID(void* handle) { return handle != nullptr ? device(handle)->getCanID() : -1; }

int c_Dystal_getCanBus(void* handle) {
  return handle != nullptr ? device(handle)->canBusNumber() : -1;
}

int c_Dystal_getTransport(void* handle) {
  return handle != nullptr ? static_cast<int>(device(handle)->transportKind()) : -1;
}

}  // extern "C"

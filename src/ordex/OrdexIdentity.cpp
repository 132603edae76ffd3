// Identity of an Ordex controller, served from the per-handle cache once fetched.
#include "core/TextCopy.h"
#include "halvern/Ordex.h"
#include "ordex/OrdexBus.h"

namespace {

using namespace halvern::ordex;  // NOLINT(google-build-using-namespace)

// The cached IdentityReply of a handle, fetching it first if needed; null when unavailable.
const Frame* cachedIdentity(int32_t handle) {
  if (!ensureIdentity(handle, lookupDeviceId(handle))) {
    return nullptr;
  }
  return &registry().infoByHandle.at(handle);
}

}  // namespace

extern "C" {

int32_t c_Ordex_getID(int32_t handle) {
  const Frame* reply = cachedIdentity(handle);
  return reply == nullptr ? 0 : (*reply)[0];
}

std::string c_Ordex_getFirmwareVersion(int32_t handle) {
  const Frame* reply = cachedIdentity(handle);
  return reply == nullptr ? kFirmwareReadFailed : firmwareVersionText(*reply);
}

std::string c_Ordex_getHardwareVersion(int32_t handle) {
  const Frame* reply = cachedIdentity(handle);
  return reply == nullptr ? kHardwareReadFailed : hardwareVersionText(*reply);
}

int32_t c_Ordex_copyFirmwareVersion(int32_t handle, char* buffer, int32_t capacity) {
  return halvern::copyTextOut(c_Ordex_getFirmwareVersion(handle), buffer, capacity);
}

int32_t c_Ordex_copyHardwareVersion(int32_t handle, char* buffer, int32_t capacity) {
  return halvern::copyTextOut(c_Ordex_getHardwareVersion(handle), buffer, capacity);
}

int32_t c_Ordex_copySerialNumber(int32_t handle, char* buffer, int32_t capacity) {
  return halvern::copyTextOut(c_Ordex_getSerialNumber(handle), buffer, capacity);
}

}  // extern "C"

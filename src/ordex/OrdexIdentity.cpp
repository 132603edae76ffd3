// Identity of an Ordex controller: fetched on the caller's thread by the first identity call,
// or in the background on request, and served from the per-handle cache once fetched.
#include <algorithm>
#include <cstring>
#include <exception>
#include <string>

#include "core/TextCopy.h"
#include "halvern/Ordex.h"
#include "ordex/OrdexBus.h"

namespace {

using namespace halvern::ordex;  // NOLINT(google-build-using-namespace)

// The cached IdentityReply of a handle, fetching it first if needed; empty when unavailable.
std::optional<Frame> fetchedIdentity(int32_t handle) {
  if (!ensureIdentity(handle, lookupDeviceId(handle))) {
    return std::nullopt;
  }
  return cachedIdentity(handle);
}

template <std::size_t Capacity>
void copyText(const std::string& text, char (&out)[Capacity]) {  // NOLINT(*-avoid-c-arrays)
  const std::size_t length = std::min(text.size(), Capacity - 1);
  std::memcpy(out, text.data(), length);
  out[length] = '\0';  // NOLINT(cppcoreguidelines-pro-bounds-constant-array-index)
}

}  // namespace

extern "C" {

int32_t c_Ordex_getID(int32_t handle) {
  const auto reply = fetchedIdentity(handle);
  return reply ? (*reply)[0] : 0;
}

std::string c_Ordex_getFirmwareVersion(int32_t handle) {
  const auto reply = fetchedIdentity(handle);
  return reply ? firmwareVersionText(*reply) : kFirmwareReadFailed;
}

std::string c_Ordex_getHardwareVersion(int32_t handle) {
  const auto reply = fetchedIdentity(handle);
  return reply ? hardwareVersionText(*reply) : kHardwareReadFailed;
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

bool c_Ordex_requestIdentity(int32_t handle) {
  const auto session = sessionOf(handle);
  if (session == nullptr) {
    return false;
  }
  if (identityCached(handle)) {
    return true;
  }
  try {
    session->startFetch();
  } catch (const std::exception&) {
    return false;  // no thread could be started; a later request tries again
  }
  return true;
}

bool c_Ordex_tryGetIdentity(int32_t handle, OrdexIdentityInfo* identity) {
  if (identity == nullptr) {
    return false;
  }
  *identity = OrdexIdentityInfo{};
  if (sessionOf(handle) == nullptr) {
    return false;
  }
  const auto reply = cachedIdentity(handle);
  if (!reply) {
    return false;
  }
  const Frame& bytes = *reply;
  identity->deviceId = bytes[0];
  identity->firmwareMajor = bytes[1];
  identity->firmwareMinor = bytes[2];
  identity->firmwarePatch = bytes[3];
  identity->hardwareKind = bytes[4];
  identity->hardwareVersion = bytes[5];
  copyText(firmwareVersionText(bytes), identity->firmwareText);
  copyText(hardwareVersionText(bytes), identity->hardwareText);
  return true;
}

}  // extern "C"

#include "ordex/OrdexBus.h"

#include <chrono>
#include <exception>
#include <iostream>
#include <thread>

#include "core/ErrorText.h"
#include "core/HalPlatform.h"
#include "core/LibraryState.h"

namespace halvern::ordex {

namespace {
constexpr int kIdentityAttempts = 8;
constexpr int32_t kDeviceIdUnavailable = 1010;
}  // namespace

OrdexRegistry& registry() { return libraryState().ordex; }

void ordexSend(uint32_t baseId, const Frame& payload, int32_t deviceNumber) {
  platform::canSend(baseId + static_cast<uint32_t>(deviceNumber), payload);
}

int32_t lookupDeviceId(int32_t handle) {
  const auto& ids = registry().deviceIdByHandle;
  const auto found = ids.find(handle);
  return found == ids.end() ? 0 : found->second;
}

ReadResult readMessage(int32_t handle, int32_t apiId, ReadMode mode) {
  platform::CanFrame received;
  const int32_t status = mode == ReadMode::Latest ? platform::canReadLatest(handle, apiId, received)
                                                  : platform::canReadNew(handle, apiId, received);
  // The bytes past the frame's length, and all of them when nothing was read, are zeros.
  ReadResult result;
  result.frame = received.data;
  result.received = status == 0;
  return result;
}

Frame readGuarded(int32_t handle, int32_t apiId, int32_t guardCode, ReadMode mode) {
  try {
    return readMessage(handle, apiId, mode).frame;
  } catch (const std::exception&) {
    reportError(guardCode);
    return Frame{};
  }
}

bool ensureIdentity(int32_t handle, int32_t deviceNumber) {
  auto& reg = registry();
  if (const auto ready = reg.infoReadyByHandle.find(handle);
      ready != reg.infoReadyByHandle.end() && ready->second) {
    return true;
  }
  for (int attempt = 0; attempt < kIdentityAttempts; ++attempt) {
    ordexSend(messageBase(Api::IdentityRequest), Frame{}, deviceNumber);
    std::this_thread::sleep_for(std::chrono::milliseconds(50 + 25 * attempt));
    ReadResult reply;
    try {
      reply = readMessage(handle, apiNumber(Api::IdentityReply), ReadMode::Latest);
    } catch (const std::exception&) {
      continue;
    }
    if (!reply.received || !isValidIdentity(reply.frame)) {
      continue;
    }
    reg.infoByHandle[handle] = reply.frame;
    reg.infoReadyByHandle[handle] = true;
    return true;
  }
  std::cerr << "[Ordex] " << errorText(kDeviceIdUnavailable) << " (handle=" << handle
            << ", deviceID=" << deviceNumber << ")\n";
  return false;
}

void sleepSeconds(double seconds) {
  const auto millis = static_cast<int64_t>(seconds * 1000.0);
  std::this_thread::sleep_for(std::chrono::milliseconds(millis));
}

}  // namespace halvern::ordex

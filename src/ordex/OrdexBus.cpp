#include "ordex/OrdexBus.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <iostream>
#include <thread>

#include "core/ErrorText.h"
#include "core/HalPlatform.h"
#include "core/LibraryState.h"

namespace halvern::ordex {

namespace {
constexpr int32_t kDeviceIdUnavailable = 1010;
}  // namespace

OrdexRegistry& registry() { return libraryState().ordex; }

void ordexSend(uint32_t baseId, const Frame& payload, int32_t deviceNumber, int32_t bus) {
  platform::canSend(bus, baseId + static_cast<uint32_t>(deviceNumber), payload);
}

int32_t lookupDeviceId(int32_t handle) {
  auto& reg = registry();
  const std::lock_guard lock(reg.mutex);
  const auto found = reg.deviceIdByHandle.find(handle);
  return found == reg.deviceIdByHandle.end() ? 0 : found->second;
}

int32_t lookupBus(int32_t handle) {
  auto& reg = registry();
  const std::lock_guard lock(reg.mutex);
  const auto found = reg.busByHandle.find(handle);
  return found == reg.busByHandle.end() ? platform::kDefaultCanBus : found->second;
}

std::shared_ptr<ControllerSession> sessionOf(int32_t handle) {
  auto& reg = registry();
  const std::lock_guard lock(reg.mutex);
  const auto found = reg.sessionByHandle.find(handle);
  return found == reg.sessionByHandle.end() ? nullptr : found->second;
}

bool identityCached(int32_t handle) {
  auto& reg = registry();
  const std::lock_guard lock(reg.mutex);
  const auto ready = reg.infoReadyByHandle.find(handle);
  return ready != reg.infoReadyByHandle.end() && ready->second;
}

std::optional<Frame> cachedIdentity(int32_t handle) {
  auto& reg = registry();
  const std::lock_guard lock(reg.mutex);
  const auto ready = reg.infoReadyByHandle.find(handle);
  const auto info = reg.infoByHandle.find(handle);
  if (ready == reg.infoReadyByHandle.end() || !ready->second || info == reg.infoByHandle.end()) {
    return std::nullopt;
  }
  return info->second;
}

ReadResult readMessage(int32_t handle, int32_t apiId, ReadMode mode) {
  platform::CanFrame received;
  const int32_t status = mode == ReadMode::Latest ? platform::canReadLatest(handle, apiId, received)
                                                  : platform::canReadNew(handle, apiId, received);
  // The bytes past the frame's length, and all of them when nothing was read, are zeros.
  ReadResult result;
  result.frame = received.data;
  result.received = status == 0;
  // 0 means "nothing received": a frame of the clock's first millisecond (a simulation just
  // started, stamping in whole milliseconds) is said to come 1 us in instead.
  result.timestampUs =
      result.received ? std::max<int64_t>(static_cast<int64_t>(received.timestampUs), 1) : 0;
  return result;
}

Frame readGuarded(int32_t handle, int32_t apiId, int32_t guardCode, ReadMode mode) {
  return readGuardedResult(handle, apiId, guardCode, mode).frame;
}

ReadResult readGuardedResult(int32_t handle, int32_t apiId, int32_t guardCode, ReadMode mode) {
  try {
    return readMessage(handle, apiId, mode);
  } catch (const std::exception&) {
    reportError(guardCode);
    return ReadResult{};
  }
}

bool identityExchange(int32_t handle, int32_t deviceNumber, std::chrono::milliseconds replyWait,
                      const ExchangeWait& wait) {
  ordexSend(messageBase(Api::IdentityRequest), Frame{}, deviceNumber, lookupBus(handle));
  if (!wait(replyWait)) {
    return false;
  }
  ReadResult reply;
  try {
    reply = readMessage(handle, apiNumber(Api::IdentityReply), ReadMode::Latest);
  } catch (const std::exception&) {
    return false;
  }
  if (!reply.received || !isValidIdentity(reply.frame)) {
    return false;
  }
  auto& reg = registry();
  const std::lock_guard lock(reg.mutex);
  reg.infoByHandle[handle] = reply.frame;
  reg.infoReadyByHandle[handle] = true;
  return true;
}

bool ensureIdentity(int32_t handle, int32_t deviceNumber) {
  if (identityCached(handle)) {
    return true;
  }
  // A registered controller may have a background fetch: take the exchange from it, and serve
  // its answer if it got one while this call waited.
  const std::shared_ptr<ControllerSession> session = sessionOf(handle);
  std::optional<ControllerSession::CallerExchange> exchange;
  if (session != nullptr) {
    exchange.emplace(*session);
    if (identityCached(handle)) {
      return true;
    }
  }
  const ExchangeWait sleep = [](std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
    return true;
  };
  for (int attempt = 0; attempt < kIdentityAttempts; ++attempt) {
    if (identityExchange(handle, deviceNumber, identityReplyWait(attempt), sleep)) {
      return true;
    }
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

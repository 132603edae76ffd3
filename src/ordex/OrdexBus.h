// Sending and reading Ordex messages through the HAL, and the per-handle identity cache.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "ordex/OrdexMessages.h"
#include "ordex/OrdexRegistry.h"

namespace halvern::ordex {

/** The registries of the loaded library. */
OrdexRegistry& registry();

/** Sends an 8-byte frame once on `bus` to `baseId` (the identifier for device 0) + the device
 *  number. */
void ordexSend(uint32_t baseId, const Frame& payload, int32_t deviceNumber, int32_t bus);

/** The device number of a registered handle, or 0 when it is not registered. */
int32_t lookupDeviceId(int32_t handle);

/** The CAN bus of a registered handle; the default bus (0) when it is not registered. */
int32_t lookupBus(int32_t handle);

/** The handle's session; null when the handle is not registered. */
std::shared_ptr<ControllerSession> sessionOf(int32_t handle);

/**
 * True once an IdentityReply is cached for the handle, asking the controller for one (up to
 * eight times, about 1 s in all) if none is cached yet. Waits for a background fetch's attempt
 * in progress first, and keeps the fetch from asking while it asks.
 */
bool ensureIdentity(int32_t handle, int32_t deviceNumber);

/** Attempts of the first identity call, and how long attempt 0 to 7 waits for the reply. */
inline constexpr int kIdentityAttempts = 8;
constexpr std::chrono::milliseconds identityReplyWait(int attempt) {
  return std::chrono::milliseconds(50 + 25 * attempt);
}

/** Waits the given time; false when the wait was cut short and the exchange is to end. */
using ExchangeWait = std::function<bool(std::chrono::milliseconds)>;

/**
 * One identity exchange: sends IdentityRequest, waits `replyWait`, reads IdentityReply (the
 * newest one) and caches it when it is valid. True when it cached one. The caller holds the
 * handle's exchange, so that exchanges never interleave on the bus.
 */
bool identityExchange(int32_t handle, int32_t deviceNumber, std::chrono::milliseconds replyWait,
                      const ExchangeWait& wait);

/** Whether an IdentityReply is cached for the handle. */
bool identityCached(int32_t handle);

/** The handle's cached IdentityReply, if any. */
std::optional<Frame> cachedIdentity(int32_t handle);

/** Sleeps the whole milliseconds of `seconds` on the steady clock. */
void sleepSeconds(double seconds);

/** A frame read from the controller; `received` is false when the HAL had none. */
struct ReadResult {
  Frame frame{};
  bool received = false;
  int64_t timestampUs = 0;  // when the HAL received it, on the robot's clock; 0 when none
};

enum class ReadMode { Latest, New };

/** Reads one message into a zeroed frame. Throws only what the HAL throws. */
ReadResult readMessage(int32_t handle, int32_t apiId, ReadMode mode);

/**
 * A plain reading: one read whose status is ignored, so a message never received decodes as
 * zeros. A standard exception prints the guard code's message and still yields zeros.
 */
Frame readGuarded(int32_t handle, int32_t apiId, int32_t guardCode,
                  ReadMode mode = ReadMode::Latest);
/** As readGuarded, saying whether a frame was received and when. */
ReadResult readGuardedResult(int32_t handle, int32_t apiId, int32_t guardCode, ReadMode mode);

}  // namespace halvern::ordex

// Sending and reading Ordex messages through the HAL, and the per-handle identity cache.
#pragma once

#include <cstdint>

#include "ordex/OrdexMessages.h"
#include "ordex/OrdexRegistry.h"

namespace halvern::ordex {

/** The registries of the loaded library. */
OrdexRegistry& registry();

/** Sends an 8-byte frame once to `baseId` (the identifier for device 0) + the device number. */
void ordexSend(uint32_t baseId, const Frame& payload, int32_t deviceNumber);

/** The device number of a registered handle, or 0 when it is not registered. */
int32_t lookupDeviceId(int32_t handle);

/**
 * True once an IdentityReply is cached for the handle, asking the controller for one (up to
 * eight times, about 1 s in all) if none is cached yet.
 */
bool ensureIdentity(int32_t handle, int32_t deviceNumber);

/** Sleeps the whole milliseconds of `seconds` on the steady clock. */
void sleepSeconds(double seconds);

/** A frame read from the controller; `received` is false when the HAL had none. */
struct ReadResult {
  Frame frame{};
  bool received = false;
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

}  // namespace halvern::ordex

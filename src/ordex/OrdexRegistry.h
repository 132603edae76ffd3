// What the library remembers about each Ordex controller, keyed by its CAN handle.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "ordex/ControllerSession.h"
#include "ordex/OrdexMessages.h"

namespace halvern::ordex {

struct OrdexRegistry {
  // Guards the maps below: a controller's background identity fetch reaches them beside the
  // caller's thread. Held only for a lookup or an update, never across a wait.
  std::mutex mutex;
  std::unordered_map<int32_t, int32_t> deviceIdByHandle;  // CAN device number
  std::unordered_map<int32_t, int32_t> busByHandle;       // the CAN bus it is on
  std::unordered_map<int32_t, Frame> infoByHandle;        // last accepted IdentityReply
  std::unordered_map<int32_t, bool> infoReadyByHandle;    // an IdentityReply is cached
  // Distance per encoder count, one entry per encoder, shared by every controller. Used from
  // the caller's thread only.
  std::array<double, kChannelCount> encoderDistanceScale{1.0, 1.0, 1.0, 1.0};
  // Each controller's background work and connection state. Declared last, so destroyed
  // first: a session still held at unload joins its thread while the maps above still exist.
  std::unordered_map<int32_t, std::shared_ptr<ControllerSession>> sessionByHandle;
};

}  // namespace halvern::ordex

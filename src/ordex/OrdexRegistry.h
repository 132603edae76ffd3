// What the library remembers about each Ordex controller, keyed by its CAN handle.
#pragma once

#include <array>
#include <cstdint>
#include <unordered_map>

#include "ordex/OrdexMessages.h"

namespace halvern::ordex {

struct OrdexRegistry {
  std::unordered_map<int32_t, int32_t> deviceIdByHandle;  // CAN device number
  std::unordered_map<int32_t, Frame> infoByHandle;        // last accepted IdentityReply
  std::unordered_map<int32_t, bool> infoReadyByHandle;    // an IdentityReply is cached
  // Distance per encoder count, one entry per encoder, shared by every controller.
  std::array<double, kChannelCount> encoderDistanceScale{1.0, 1.0, 1.0, 1.0};
};

}  // namespace halvern::ordex

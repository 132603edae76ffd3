// What every year's CAN callback adapters share: which frames are the simulated devices'.
#pragma once

#include <cstddef>
#include <cstdint>

#include "SimHal.h"

namespace halvern::sim {

constexpr uint32_t kExtendedIdMask = 0x1FFFFFFF;
// Identifier bits that make a frame a remote request or a standard (11-bit) one: the devices
// here speak extended data frames only. WPILib 2026 and 2027 place these two bits differently.
constexpr uint32_t kNotExtendedDataFrame = HAL_CAN_IS_FRAME_REMOTE | HAL_CAN_IS_FRAME_11BIT;
constexpr std::size_t kMaxDataBytes = 8;

}  // namespace halvern::sim

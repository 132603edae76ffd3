// The CAN frame as the library sees it on every WPILib year: classic frames of at most 8 bytes
// with 29-bit identifiers, stamped in milliseconds and microseconds of the HAL's monotonic
// clock. Each year's HalPlatformYear.h fills these from its own HAL's messages.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace halvern::platform {

/** A CAN bus of the robot controller, numbered from 0. */
using CanBus = int32_t;
/** The bus a device is on unless its creation names another (WPILib 2026's only bus). */
inline constexpr CanBus kDefaultCanBus = 0;
/** The bytes of a classic CAN frame, the most the library sends or takes from one frame. */
inline constexpr std::size_t kCanFrameBytes = 8;
/** A mask covering the whole 29-bit identifier: an exact match. */
inline constexpr uint32_t kCanExactMask = 0x1FFFFFFF;

/** A device handle of the HAL's handle API (0: none). */
using CanHandle = int32_t;
inline constexpr CanHandle kInvalidCanHandle = 0;
/** A stream session of the HAL; 0 can be a valid session. */
using CanStreamHandle = uint32_t;

/** A received classic frame. Valid only when the call that filled it reported status 0 (or a
 *  stream overrun); otherwise it is all zeros (a receive keeps the identifier asked for). */
struct CanFrame {
  /** The frame's identifier; a handle read reports none (0). */
  uint32_t messageId = 0;
  std::array<uint8_t, kCanFrameBytes> data{};
  /** The bytes of `data` the frame carried, 0 to 8. */
  uint8_t length = 0;
  /** When it was received, in milliseconds of the HAL's monotonic clock. */
  uint64_t timestampMs = 0;
  /** The same moment in microseconds, as precise as the HAL gives it (2026: whole ms). */
  uint64_t timestampUs = 0;

  [[nodiscard]] std::span<const uint8_t> bytes() const { return {data.data(), length}; }
};

namespace detail {

inline constexpr uint64_t kMicrosPerMilli = 1000;

inline uint8_t classicLength(uint32_t size) {
  return static_cast<uint8_t>(std::min<uint32_t>(size, kCanFrameBytes));
}

inline void fill(CanFrame& frame, uint32_t messageId, const uint8_t* data, uint32_t size,
                 uint64_t timestampUs) {
  frame.messageId = messageId;
  frame.length = classicLength(size);
  frame.data.fill(0);
  std::copy_n(data, frame.length, frame.data.begin());
  frame.timestampUs = timestampUs;
  frame.timestampMs = timestampUs / kMicrosPerMilli;
}

}  // namespace detail
}  // namespace halvern::platform

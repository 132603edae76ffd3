// The handle read with a time-out on WPILib 2026's own HAL (the stand-in has none).
#include <algorithm>

#include "HalSimHooks.h"
#include "RawHal.h"

namespace halvern::test::rawhal {

std::optional<int32_t> readTimeout(platform::CanHandle handle, int32_t apiId, int32_t timeoutMs,
                                   platform::CanFrame& frame) {
  frame = platform::CanFrame{};
  int32_t status = 0;
  int32_t length = 0;
  uint64_t timestampMs = 0;
  HAL_ReadCANPacketTimeout(handle, apiId, frame.data.data(), &length, &timestampMs, timeoutMs,
                           &status);
  if (status == 0) {
    frame.length = static_cast<uint8_t>(
        std::clamp<int32_t>(length, 0, static_cast<int32_t>(platform::kCanFrameBytes)));
    frame.timestampMs = timestampMs;
  }
  return status;
}

}  // namespace halvern::test::rawhal

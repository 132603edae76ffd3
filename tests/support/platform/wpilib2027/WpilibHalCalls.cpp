// The handle read with a time-out on WPILib 2027's own HAL (the stand-in has none).
#include <algorithm>
#include <iterator>

#include "HalSimHooks.h"
#include "RawHal.h"

namespace halvern::test::rawhal {

std::optional<int32_t> readTimeout(platform::CanHandle handle, int32_t apiId, int32_t timeoutMs,
                                   platform::CanFrame& frame) {
  frame = platform::CanFrame{};
  int32_t status = 0;
  HAL_CANReceiveMessage message{};
  HAL_ReadCANPacketTimeout(handle, apiId, &message, timeoutMs, &status);
  if (status == 0) {
    frame.length = std::min<uint8_t>(message.message.dataSize, platform::kCanFrameBytes);
    std::copy_n(std::begin(message.message.data), frame.length, frame.data.begin());
    frame.timestampMs = message.timeStamp / platform::detail::kMicrosPerMilli;
  }
  return status;
}

}  // namespace halvern::test::rawhal

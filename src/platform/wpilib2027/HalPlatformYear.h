// WPILib 2027's HAL as core/HalPlatform.h names it. The robot controller has several CAN buses,
// each call names one; messages are structs holding up to 64 bytes with flags (the library sends
// classic frames only); receives take an exact identifier, no mask; frames are stamped in
// microseconds ("wpi time", the base of the HAL's own packet ages), and the robot's clock is
// HAL_GetMonotonicTime.
#pragma once

#include <wpi/hal/CAN.h>
#include <wpi/hal/CANAPI.h>
#include <wpi/hal/HAL.h>
#include <wpi/hal/I2C.h>
#include <wpi/hal/I2CTypes.h>
#include <wpi/hal/SerialPort.h>

#include <wpi/hal/monotonic_clock.hpp>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <span>

#include "platform/CanFrame.h"

namespace halvern::platform {

/** The buses the HAL accepts, 0 to kCanBusCount - 1: WPILib 2027 (alpha-6) takes 0 to 5. */
inline constexpr CanBus kCanBusCount = 6;
/** The I2C bus of the robot controller's expansion port (number 1). */
inline constexpr int32_t kExpansionI2CPort = HAL_I2C_PORT_1;

/** A std::chrono clock over the HAL's microsecond monotonic time. */
using MonotonicClock = wpi::hal::monotonic_clock;

/** Now on the robot's clock (the HAL's monotonic time), in microseconds. */
inline int64_t robotTimeMicros() { return static_cast<int64_t>(HAL_GetMonotonicTime()); }

namespace year {

inline void fill(CanFrame& frame, uint32_t messageId, const HAL_CANReceiveMessage& received) {
  detail::fill(frame, messageId, std::data(received.message.data), received.message.dataSize,
               received.timeStamp);
}

inline int32_t send(CanBus bus, uint32_t messageId, std::span<const uint8_t> payload,
                    int32_t periodMs) {
  HAL_CANMessage message{};
  message.flags = HAL_CAN_NO_FLAGS;
  message.dataSize = static_cast<uint8_t>(payload.size());
  std::copy(payload.begin(), payload.end(), std::begin(message.data));
  int32_t status = 0;
  HAL_CAN_SendMessage(bus, messageId, &message, periodMs, &status);
  return status;
}

/** `frame` already names `messageId`. A mask narrower than the identifier is not allowed. */
inline int32_t receive(CanBus bus, uint32_t messageId, uint32_t mask, CanFrame& frame) {
  if ((mask & kCanExactMask) != kCanExactMask) {
    return HAL_ERR_CANSessionMux_NotAllowed;
  }
  int32_t status = 0;
  HAL_CANReceiveMessage received{};
  HAL_CAN_ReceiveMessage(bus, messageId, &received, &status);
  if (status == 0) {
    fill(frame, messageId, received);
  }
  return status;
}

inline CanStreamHandle openStream(CanBus bus, uint32_t messageId, uint32_t mask,
                                  uint32_t maxMessages, int32_t& status) {
  return static_cast<CanStreamHandle>(
      HAL_CAN_OpenStreamSession(bus, messageId, mask, maxMessages, &status));
}

inline void closeStream(CanStreamHandle session) {
  HAL_CAN_CloseStreamSession(static_cast<HAL_CANStreamHandle>(session));
}

inline void readStream(CanStreamHandle session, std::span<HAL_CANStreamMessage> messages,
                       uint32_t& read, int32_t& status) {
  HAL_CAN_ReadStreamSession(static_cast<HAL_CANStreamHandle>(session), messages.data(),
                            static_cast<uint32_t>(messages.size()), &read, &status);
}

inline void fill(CanFrame& frame, const HAL_CANStreamMessage& message) {
  fill(frame, message.messageId, message.message);
}

inline CanHandle initialize(CanBus bus, int32_t manufacturer, int32_t deviceId,
                            int32_t deviceType, int32_t& status) {
  return HAL_InitializeCAN(bus, static_cast<HAL_CANManufacturer>(manufacturer), deviceId,
                           static_cast<HAL_CANDeviceType>(deviceType), &status);
}

/** `frame` is cleared. */
inline int32_t readByHandle(bool latest, CanHandle handle, int32_t apiId, CanFrame& frame) {
  int32_t status = 0;
  HAL_CANReceiveMessage received{};
  if (latest) {
    HAL_ReadCANPacketLatest(handle, apiId, &received, &status);
  } else {
    HAL_ReadCANPacketNew(handle, apiId, &received, &status);
  }
  if (status == 0) {
    fill(frame, 0, received);
  }
  return status;
}

}  // namespace year
}  // namespace halvern::platform

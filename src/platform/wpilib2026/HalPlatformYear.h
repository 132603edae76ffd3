// WPILib 2026's HAL (and the stand-in's, shaped like it) as core/HalPlatform.h names it. One CAN
// bus; frames are byte arrays with a length, stamped in whole milliseconds (the microseconds are
// those milliseconds x 1000); the robot's clock is HAL_GetFPGATime.
#pragma once

#include <hal/CAN.h>
#include <hal/CANAPI.h>
#include <hal/HALBase.h>
#include <hal/I2C.h>
#include <hal/I2CTypes.h>
#include <hal/SerialPort.h>
#include <hal/cpp/fpga_clock.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

#include "platform/CanFrame.h"

namespace halvern::platform {

/** The buses the HAL accepts: bus 0 only. */
inline constexpr CanBus kCanBusCount = 1;
/** The I2C bus of the robot controller's expansion port (number 1). */
inline constexpr int32_t kExpansionI2CPort = HAL_I2C_kMXP;

/** A std::chrono clock over the robot's clock. */
using MonotonicClock = hal::fpga_clock;

/** Now on the robot's clock (HAL_GetFPGATime), in microseconds. */
inline int64_t robotTimeMicros() {
  int32_t status = 0;
  return static_cast<int64_t>(HAL_GetFPGATime(&status));
}

namespace year {

// The bus argument names the only bus there is.

inline int32_t send(CanBus /*bus*/, uint32_t messageId, std::span<const uint8_t> payload,
                    int32_t periodMs) {
  int32_t status = 0;
  HAL_CAN_SendMessage(messageId, payload.data(), static_cast<uint8_t>(payload.size()), periodMs,
                      &status);
  return status;
}

/** `frame` already names `messageId`. */
inline int32_t receive(CanBus /*bus*/, uint32_t messageId, uint32_t mask, CanFrame& frame) {
  int32_t status = 0;
  uint32_t id = messageId;
  std::array<uint8_t, kCanFrameBytes> data{};
  uint8_t length = 0;
  uint32_t timestampMs = 0;
  HAL_CAN_ReceiveMessage(&id, mask, data.data(), &length, &timestampMs, &status);
  if (status == 0) {
    detail::fill(frame, id, data.data(), length, uint64_t{timestampMs} * detail::kMicrosPerMilli);
  }
  return status;
}

inline CanStreamHandle openStream(CanBus /*bus*/, uint32_t messageId, uint32_t mask,
                                  uint32_t maxMessages, int32_t& status) {
  CanStreamHandle session = 0;
  HAL_CAN_OpenStreamSession(&session, messageId, mask, maxMessages, &status);
  return session;
}

inline void closeStream(CanStreamHandle session) { HAL_CAN_CloseStreamSession(session); }

inline void readStream(CanStreamHandle session, std::span<HAL_CANStreamMessage> messages,
                       uint32_t& read, int32_t& status) {
  HAL_CAN_ReadStreamSession(session, messages.data(), static_cast<uint32_t>(messages.size()),
                            &read, &status);
}

inline void fill(CanFrame& frame, const HAL_CANStreamMessage& message) {
  detail::fill(frame, message.messageID, std::data(message.data), message.dataSize,
               uint64_t{message.timeStamp} * detail::kMicrosPerMilli);
}

inline CanHandle initialize(CanBus /*bus*/, int32_t manufacturer, int32_t deviceId,
                            int32_t deviceType, int32_t& status) {
  return HAL_InitializeCAN(static_cast<HAL_CANManufacturer>(manufacturer), deviceId,
                           static_cast<HAL_CANDeviceType>(deviceType), &status);
}

/** `frame` is cleared. */
inline int32_t readByHandle(bool latest, CanHandle handle, int32_t apiId, CanFrame& frame) {
  int32_t status = 0;
  std::array<uint8_t, kCanFrameBytes> data{};
  int32_t length = 0;
  uint64_t timestampMs = 0;
  if (latest) {
    HAL_ReadCANPacketLatest(handle, apiId, data.data(), &length, &timestampMs, &status);
  } else {
    HAL_ReadCANPacketNew(handle, apiId, data.data(), &length, &timestampMs, &status);
  }
  if (status == 0) {
    detail::fill(frame, 0, data.data(), static_cast<uint32_t>(std::max(length, 0)),
                 timestampMs * detail::kMicrosPerMilli);
  }
  return status;
}

}  // namespace year
}  // namespace halvern::platform

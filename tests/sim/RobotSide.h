// The robot program's end of the bus, for tests of the simulated Ordex: raw frames through the
// HAL (by the library's platform layer, on any HAL), so the simulator is checked against the
// wire format and not against the library.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <thread>

#include "core/HalPlatform.h"
#include "ordex/OrdexMessages.h"

namespace halvern::sim::testing {

namespace msg = halvern::ordex;

class RobotSide {
 public:
  explicit RobotSide(int32_t deviceNumber) : deviceNumber_(deviceNumber) {
    int32_t status = 0;
    handle_ = platform::canInitialize(msg::kManufacturer, deviceNumber, msg::kDeviceType, status);
    EXPECT_EQ(status, 0);
  }
  RobotSide(const RobotSide&) = delete;
  RobotSide& operator=(const RobotSide&) = delete;
  ~RobotSide() { platform::canClean(handle_); }

  void send(msg::Api api, const msg::Frame& payload = {}) const {
    EXPECT_EQ(platform::canSend(msg::ordexMessageId(api, deviceNumber_), payload), 0);
  }

  void enabledHeartbeat() const { send(msg::Api::EnabledHeartbeat); }

  /** Duty -100 to 100 %; 0 sends both flags, which brakes. */
  void motorSpeed(uint8_t motor, int duty) const {
    const auto magnitude = static_cast<uint8_t>(duty < 0 ? -duty : duty);
    send(msg::Api::MotorSpeed, {motor, magnitude, static_cast<uint8_t>(duty >= 0 ? 1 : 0),
                                static_cast<uint8_t>(duty <= 0 ? 1 : 0), 0, 0, 0, 0});
  }

  /** The newest frame of an API number (a per-motor one already offset), if any arrived. */
  [[nodiscard]] std::optional<msg::Frame> latest(int32_t apiNumber) const {
    platform::CanFrame received;
    if (platform::canReadLatest(handle_, apiNumber, received) != 0) {
      return std::nullopt;
    }
    msg::Frame frame{};
    std::copy_n(received.data.begin(), std::min(frame.size(), received.data.size()),
                frame.begin());
    return frame;
  }

  [[nodiscard]] std::optional<msg::Frame> latest(msg::Api api, int motor = 0) const {
    return latest(msg::apiNumber(api) + motor);
  }

 private:
  int32_t deviceNumber_;
  platform::CanHandle handle_ = platform::kInvalidCanHandle;
};

inline int32_t int32At(const msg::Frame& frame, std::size_t offset = 0) {
  uint32_t bits = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    bits |= static_cast<uint32_t>(frame.at(offset + i)) << (8U * i);
  }
  return static_cast<int32_t>(bits);
}

inline msg::Frame int32Payload(uint8_t channel, int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  return {channel,
          static_cast<uint8_t>(bits & 0xFFU),
          static_cast<uint8_t>((bits >> 8U) & 0xFFU),
          static_cast<uint8_t>((bits >> 16U) & 0xFFU),
          static_cast<uint8_t>(bits >> 24U),
          0,
          0,
          0};
}

/** Sends an enabled heartbeat every 100 ms, as the library does, for as long as it lives. */
class HeartbeatSender {
 public:
  explicit HeartbeatSender(const RobotSide& robot)
      : thread_([&robot](const std::stop_token& stop) {
          while (!stop.stop_requested()) {
            robot.enabledHeartbeat();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
          }
        }) {}

 private:
  std::jthread thread_;
};

}  // namespace halvern::sim::testing

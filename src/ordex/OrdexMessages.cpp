#include "ordex/OrdexMessages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace halvern::ordex {
namespace {

uint8_t byteOf(int8_t value) { return static_cast<uint8_t>(value); }

void putUint16(Frame& frame, std::size_t offset, uint32_t value) {
  frame.at(offset) = static_cast<uint8_t>(value & 0xFFU);
  frame.at(offset + 1) = static_cast<uint8_t>((value >> 8U) & 0xFFU);
}

void putUint32(Frame& frame, std::size_t offset, uint32_t value) {
  putUint16(frame, offset, value & 0xFFFFU);
  putUint16(frame, offset + 2, value >> 16U);
}

// Truncates toward zero. A value that is not a number reads as 0 and one beyond the int32
// range saturates: converting either directly would be undefined behaviour.
int32_t truncateToInt32(double value) {
  if (std::isnan(value)) {
    return 0;
  }
  constexpr double kLow = std::numeric_limits<int32_t>::min();
  constexpr double kHigh = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(std::clamp(std::trunc(value), kLow, kHigh));
}

Frame payloadWithChannel(int8_t channel) {
  Frame frame{};
  frame[0] = byteOf(channel);
  return frame;
}

}  // namespace

Frame channelPayload(int8_t channel) { return payloadWithChannel(channel); }

Frame motorSpeedPayload(int8_t motor, double speed) {
  // NaN passes the clamp unchanged and falls through to "reverse" with duty 0.
  const double clamped = std::isnan(speed) ? speed : std::clamp(speed, -1.0, 1.0);
  uint8_t forward = 0;
  uint8_t reverse = 1;
  if (clamped == 0.0) {
    forward = 1;
    reverse = 1;
  } else if (clamped > 0.0) {
    forward = 1;
    reverse = 0;
  }
  const int32_t duty = std::clamp(truncateToInt32(std::fabs(clamped) * 100.0), 0, 100);

  Frame frame = payloadWithChannel(motor);
  frame[1] = static_cast<uint8_t>(duty);
  frame[2] = forward;
  frame[3] = reverse;
  return frame;
}

Frame configureMotorPayload(int8_t motor, int32_t frequency) {
  Frame frame = payloadWithChannel(motor);
  putUint16(frame, 1, static_cast<uint32_t>(frequency) & 0xFFFFU);
  return frame;
}

Frame currentLimitPayload(int8_t motor, float limit) {
  const float nonNegative = limit < 0.0F ? 0.0F : limit;
  const float scaled = nonNegative * 100.0F;
  Frame frame = payloadWithChannel(motor);
  putUint16(frame, 1, static_cast<uint32_t>(truncateToInt32(scaled)) & 0xFFFFU);
  return frame;
}

Frame motorStopModePayload(uint8_t mode) {
  Frame frame{};
  frame[0] = mode;
  return frame;
}

Frame targetVelocityPayload(int8_t motor, float velocity) {
  const float scaled = velocity * 100.0F;
  const float rounded = scaled >= 0.0F ? scaled + 0.5F : scaled - 0.5F;
  Frame frame = payloadWithChannel(motor);
  putUint32(frame, 1, static_cast<uint32_t>(truncateToInt32(rounded)));
  return frame;
}

Frame targetDistancePayload(int8_t motor, int32_t distance) {
  const auto bits = static_cast<uint32_t>(distance);
  Frame frame = payloadWithChannel(motor);
  frame[1] = static_cast<uint8_t>(bits & 0xFFU);
  frame[2] = static_cast<uint8_t>((bits >> 8U) & 0xFFU);
  frame[3] = static_cast<uint8_t>((bits >> 16U) & 0xFFU);
  return frame;
}

Frame encoderResolutionPayload(int8_t motor, uint16_t resolution) {
  Frame frame = payloadWithChannel(motor);
  putUint16(frame, 1, resolution);
  return frame;
}

Frame currentLimitModePayload(int8_t motor, uint8_t mode) {
  Frame frame = payloadWithChannel(motor);
  frame[1] = mode != 0 ? 1 : 0;
  return frame;
}

Frame pidTypePayload(uint8_t motorByte, uint8_t type) {
  Frame frame{};
  frame[0] = motorByte;
  frame[1] = type;
  frame[2] = kPidTypeMarker;
  return frame;
}

Frame sensitivityPayload(int8_t motor, uint8_t sensitivity) {
  Frame frame = payloadWithChannel(motor);
  frame[1] = sensitivity;
  return frame;
}

Frame targetAnglePayload(int8_t motor, double angleDegrees) {
  double angle = std::isnan(angleDegrees) ? 0.0 : angleDegrees;
  angle = std::clamp(angle, 0.0, 360.0);
  Frame frame = payloadWithChannel(motor);
  putUint16(frame, 1, static_cast<uint32_t>(truncateToInt32(angle * 100.0)));
  return frame;
}

Frame positionHoldPayload(int8_t motor, bool hold) {
  Frame frame = payloadWithChannel(motor);
  frame[1] = hold ? 1 : 0;
  return frame;
}

Frame sensorDelayPayload(uint16_t delay) {
  Frame frame{};
  putUint16(frame, 0, std::max(delay, kMinSensorDelay));
  return frame;
}

uint16_t decodeUint16(const Frame& frame, std::size_t offset) {
  return static_cast<uint16_t>(frame.at(offset) | (frame.at(offset + 1) << 8U));
}

uint32_t decodeUint32(const Frame& frame, std::size_t offset) {
  return static_cast<uint32_t>(decodeUint16(frame, offset)) |
         (static_cast<uint32_t>(decodeUint16(frame, offset + 2)) << 16U);
}

int32_t decodeInt32(const Frame& frame, std::size_t offset) {
  return static_cast<int32_t>(decodeUint32(frame, offset));
}

double decodeHundredths(const Frame& frame) { return decodeInt32(frame) / 100.0; }

double decodeTemperature(const Frame& frame) { return frame[0] + frame[1] / 100.0; }

bool decodeLimitSwitch(const Frame& frame, int8_t motor, bool direction) {
  const auto index = (2 * static_cast<std::size_t>(motor)) + (direction ? 1U : 0U);
  return frame.at(index) != 0;
}

double decodeQuorinPosition(const Frame& frame, int8_t motor) {
  return decodeUint16(frame, 2 * static_cast<std::size_t>(motor)) / 100.0;
}

MotorSpeedCommand decodeMotorSpeed(const Frame& frame) {
  return {.duty = frame[1], .forward = frame[2] != 0, .reverse = frame[3] != 0};
}

uint16_t decodeChannelUint16(const Frame& frame) { return decodeUint16(frame, 1); }

double decodeTargetVelocity(const Frame& frame) { return decodeInt32(frame, 1) / 100.0; }

double decodeChannelHundredths(const Frame& frame) { return decodeUint16(frame, 1) / 100.0; }

int32_t decodeTargetDistance(const Frame& frame) {
  uint32_t bits = static_cast<uint32_t>(frame[1]) | static_cast<uint32_t>(frame[2]) << 8U |
                  static_cast<uint32_t>(frame[3]) << 16U;
  if ((bits & 0x800000U) != 0) {
    bits |= 0xFF000000U;  // sign-extend
  }
  return static_cast<int32_t>(bits);
}

Frame identityReplyPayload(const Identity& identity) {
  return {identity.deviceNumber,
          identity.firmware[0],
          identity.firmware[1],
          identity.firmware[2],
          identity.hardwareKind,
          identity.hardwareVersion,
          0,
          0};
}

Frame uint32Payload(uint32_t value) {
  Frame frame{};
  putUint32(frame, 0, value);
  return frame;
}

Frame hundredthsPayload(double value) {
  constexpr double kLow = std::numeric_limits<int32_t>::min();
  constexpr double kHigh = std::numeric_limits<int32_t>::max();
  const double scaled =
      std::isnan(value) ? 0.0 : std::clamp(std::round(value * 100.0), kLow, kHigh);
  return uint32Payload(static_cast<uint32_t>(static_cast<int32_t>(scaled)));
}

Frame frequencyPayload(uint16_t hertz) {
  Frame frame{};
  putUint16(frame, 0, hertz);
  return frame;
}

Frame temperaturePayload(double celsius) {
  const double said = std::isnan(celsius) ? 0.0 : std::clamp(celsius, 0.0, 255.99);
  const auto totalHundredths = static_cast<int>(std::lround(said * 100.0));
  Frame frame{};
  frame[0] = static_cast<uint8_t>(totalHundredths / 100);
  frame[1] = static_cast<uint8_t>(totalHundredths % 100);
  return frame;
}

Frame limitSwitchesPayload(const std::array<bool, 2 * kChannelCount>& pressed) {
  Frame frame{};
  std::transform(pressed.begin(), pressed.end(), frame.begin(),
                 [](bool down) { return static_cast<uint8_t>(down ? 1 : 0); });
  return frame;
}

Frame quorinPositionsPayload(const std::array<uint16_t, kChannelCount>& hundredths) {
  Frame frame{};
  for (std::size_t m = 0; m < hundredths.size(); ++m) {
    putUint16(frame, 2 * m, hundredths.at(m));
  }
  return frame;
}

std::string firmwareNumber(const Frame& reply) {
  return std::to_string(reply[1]) + "." + std::to_string(reply[2]) + "." + std::to_string(reply[3]);
}

std::string firmwareVersionText(const Frame& reply) {
  return "Firmware Version: [" + firmwareNumber(reply) + "]";
}

std::string_view hardwareKindName(uint8_t kind) {
  switch (kind) {
    case 1:
      return "Ordex Quad";
    case 2:
      return "Ordex Small";
    default:
      return {};
  }
}

uint8_t hardwareKindNamed(std::string_view name) {
  for (uint8_t kind = 1; !hardwareKindName(kind).empty(); ++kind) {
    if (hardwareKindName(kind) == name) {
      return kind;
    }
  }
  return 0;
}

std::string hardwareVersionText(const Frame& reply) {
  const std::string_view kind = hardwareKindName(reply[4]);
  if (kind.empty()) {
    return "No Hardware Found!";
  }
  return "Hardware: " + std::string{kind} + ", Version: " + std::to_string(reply[5]);
}

std::string serialNumberText(const std::array<uint32_t, 3>& words) {
  std::array<char, sizeof "XXXXXXXX-XXXXXXXX-XXXXXXXX"> text{};
  std::snprintf(text.data(), text.size(), "%08X-%08X-%08X", words[0], words[1], words[2]);
  return text.data();
}

}  // namespace halvern::ordex

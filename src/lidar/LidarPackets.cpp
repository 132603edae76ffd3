#include "lidar/LidarPackets.h"

#include <cmath>
#include <numbers>

namespace halvern::lidar {
namespace {

uint16_t uint16At(std::span<const uint8_t> bytes, std::size_t offset) {
  return static_cast<uint16_t>(bytes[offset] | (bytes[offset + 1] << 8U));
}

// Offsets within a packet.
constexpr std::size_t kPacketType = 2;
constexpr std::size_t kPacketCount = 3;
constexpr std::size_t kFirstAngle = 4;
constexpr std::size_t kLastAngle = 6;
constexpr std::size_t kCheckCode = 8;

// An angle's lowest raw bit counts 1/128 degree; a sample word counts 1/4 mm.
constexpr double kAngleRawPerDegree = 2.0 * 64.0;
constexpr float kSampleRawPerMm = 4.0F;
constexpr float kFullTurn = 360.0F;

// The lidar's geometry behind its angle correction.
constexpr double kCorrectionScale = 21.8;
constexpr double kCorrectionBaseMm = 155.3;

std::size_t packetLength(std::span<const uint8_t> bytes) {
  return kPacketHeaderLength +
         kSampleLength * packetSampleCount(bytes[kPacketType], bytes[kPacketCount]);
}

float wrappedDegrees(float angle) {
  while (angle >= kFullTurn) {
    angle -= kFullTurn;
  }
  while (angle < 0.0F) {
    angle += kFullTurn;
  }
  // An angle a hair below 0 can round up to 360 when 360 is added.
  return angle < kFullTurn ? angle : 0.0F;
}

}  // namespace

uint16_t packetCheckCode(std::span<const uint8_t> packet) {
  uint16_t code = 0;
  for (std::size_t offset = 0; offset < kCheckCode; offset += 2) {
    code ^= uint16At(packet, offset);
  }
  const std::size_t samples = packetSampleCount(packet[kPacketType], packet[kPacketCount]);
  for (std::size_t i = 0; i < samples; ++i) {
    code ^= uint16At(packet, kPacketHeaderLength + kSampleLength * i);
  }
  return code;
}

PacketSearch findPacket(std::span<const uint8_t> bytes) {
  return findMarkedPacket(bytes,
                          PacketMark{kPacketMarkFirst, kPacketMarkSecond, kPacketHeaderLength},
                          packetLength, [](std::span<const uint8_t> packet) {
                            return packetCheckCode(packet) == uint16At(packet, kCheckCode);
                          });
}

double angleCorrectionDegrees(float distanceMm) {
  if (distanceMm == 0.0F) {
    return 0.0;
  }
  const double d = distanceMm;
  const double radians =
      std::atan(kCorrectionScale * (kCorrectionBaseMm - d) / (kCorrectionBaseMm * d));
  return radians * 180.0 / std::numbers::pi;
}

bool decodePacket(std::span<const uint8_t> packet, std::vector<LidarSample>& samples) {
  const bool start = (packet[kPacketType] & kStartFlag) != 0;
  const std::size_t count = packetSampleCount(packet[kPacketType], packet[kPacketCount]);
  const auto firstAngle = static_cast<float>(uint16At(packet, kFirstAngle) / kAngleRawPerDegree);
  const auto lastAngle = static_cast<float>(uint16At(packet, kLastAngle) / kAngleRawPerDegree);
  float span = lastAngle - firstAngle;
  if (span < 0.0F) {
    span += kFullTurn;
  }
  for (std::size_t k = 0; k < count; ++k) {
    const float distance =
        static_cast<float>(uint16At(packet, kPacketHeaderLength + kSampleLength * k)) /
        kSampleRawPerMm;
    const float interpolated =
        count > 1 ? firstAngle + span / static_cast<float>(count - 1) * static_cast<float>(k)
                  : firstAngle;
    const auto corrected =
        static_cast<float>(static_cast<double>(interpolated) + angleCorrectionDegrees(distance));
    const bool inRange = distance >= kMinRangeMm && distance <= kMaxRangeMm;
    samples.push_back(LidarSample{.angle = wrappedDegrees(corrected),
                                  .distance = inRange ? distance : kOutOfRange});
  }
  return start;
}

}  // namespace halvern::lidar

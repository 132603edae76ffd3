#include "lidarmini/LidarMiniProtocol.h"

#include <algorithm>

namespace halvern::lidarmini {
namespace {

uint16_t uint16At(std::span<const uint8_t> bytes, std::size_t offset) {
  return static_cast<uint16_t>(bytes[offset] | (bytes[offset + 1] << 8U));
}

// Offsets within a scan packet.
constexpr std::size_t kPacketType = 2;
constexpr std::size_t kPacketCount = 3;
constexpr std::size_t kFirstAngle = 4;
constexpr std::size_t kLastAngle = 6;
constexpr std::size_t kCheckCode = 8;

// Offsets within a sample.
constexpr std::size_t kSampleIntensity = 0;
constexpr std::size_t kSampleDistanceWord = 1;

// An angle's lowest raw bit counts 1/128 degree.
constexpr float kAngleRawPerDegree = 2.0F * 64.0F;
constexpr float kFullTurn = 360.0F;
constexpr float kMinDistanceMm = 50.0F;
constexpr float kMaxDistanceMm = 12000.0F;
constexpr float kMillimetresPerMetre = 1000.0F;
// The low two bits of a sample's distance word flag it; 2 and 3 mark it invalid.
constexpr unsigned kSampleFlagMask = 0x03U;
constexpr unsigned kFirstInvalidFlag = 2;
constexpr unsigned kDistanceShift = 2;

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
  return angle;
}

}  // namespace

std::optional<uint8_t> descriptorType(std::span<const uint8_t, kDescriptorLength> descriptor) {
  if (descriptor[0] != kDescriptorFirst || descriptor[1] != kDescriptorSecond) {
    return std::nullopt;
  }
  return descriptor[kDescriptorLength - 1];
}

LidarInfo decodeInfo(std::span<const uint8_t, kInfoPayloadLength> payload) {
  LidarInfo info{};
  info.model = payload[0];
  info.firmwareVersion = uint16At(payload, 1);
  info.hardwareVersion = payload[3];
  std::copy(payload.begin() + 4, payload.end(), std::begin(info.serialnum));
  return info;
}

LidarHealth decodeHealth(std::span<const uint8_t, kHealthPayloadLength> payload) {
  return LidarHealth{.status = payload[0], .errorCode = uint16At(payload, 1)};
}

uint16_t packetCheckCode(std::span<const uint8_t> packet) {
  uint16_t code = 0;
  for (std::size_t offset = 0; offset < kCheckCode; offset += 2) {
    code ^= uint16At(packet, offset);
  }
  const std::size_t samples = packetSampleCount(packet[kPacketType], packet[kPacketCount]);
  for (std::size_t i = 0; i < samples; ++i) {
    const std::size_t sample = kPacketHeaderLength + kSampleLength * i;
    code ^= packet[sample + kSampleIntensity];
    code ^= uint16At(packet, sample + kSampleDistanceWord);
  }
  return code;
}

PacketSearch findScanPacket(std::span<const uint8_t> bytes) {
  return findMarkedPacket(bytes,
                          PacketMark{kPacketMarkFirst, kPacketMarkSecond, kPacketHeaderLength},
                          packetLength, [](std::span<const uint8_t> packet) {
                            return packetCheckCode(packet) == uint16At(packet, kCheckCode);
                          });
}

std::size_t NextScanPacket(std::vector<uint8_t>& buffer) {
  if (buffer.size() < kPacketHeaderLength) {
    return 0;
  }
  const PacketSearch found = findScanPacket(buffer);
  buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(found.skip));
  return found.length;
}

bool DecodeScanPacket(std::span<const uint8_t> packet, std::vector<ScanPoint>& points) {
  const bool start = (packet[kPacketType] & kStartFlag) != 0;
  const std::size_t count = packetSampleCount(packet[kPacketType], packet[kPacketCount]);
  const float firstAngle = static_cast<float>(uint16At(packet, kFirstAngle)) / kAngleRawPerDegree;
  const float lastAngle = static_cast<float>(uint16At(packet, kLastAngle)) / kAngleRawPerDegree;
  float span = lastAngle - firstAngle;
  if (span < 0.0F) {
    span += kFullTurn;
  }
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t sample = kPacketHeaderLength + kSampleLength * i;
    const float angle =
        count > 1 ? span / static_cast<float>(count - 1) * static_cast<float>(i) + firstAngle
                  : firstAngle;
    const unsigned distanceWord = uint16At(packet, sample + kSampleDistanceWord);
    const auto rawDistance = static_cast<float>(distanceWord >> kDistanceShift);
    float distance = rawDistance < kMinDistanceMm || rawDistance > kMaxDistanceMm
                         ? kMissingDistance
                         : rawDistance / kMillimetresPerMetre;
    if ((distanceWord & kSampleFlagMask) >= kFirstInvalidFlag) {
      distance = kMissingDistance;
    }
    points.push_back(ScanPoint{.angle = wrappedDegrees(angle),
                               .distance = distance,
                               .intensity = static_cast<float>(packet[sample + kSampleIntensity])});
  }
  return start;
}

}  // namespace halvern::lidarmini

#include "lidarmini/LidarMiniProtocol.h"

#include <algorithm>

namespace halvern::lidarmini {
namespace {

// Offsets within a sample.
constexpr std::size_t kSampleIntensity = 0;
constexpr std::size_t kSampleDistanceWord = 1;

// An angle's lowest raw bit counts 1/128 degree.
constexpr float kAngleRawPerDegree = 2.0F * 64.0F;
constexpr unsigned kMinDistanceMm = 50;
constexpr unsigned kMaxDistanceMm = 12000;
constexpr double kMetresPerMillimetre = 0.001;
// The low two bits of a sample's distance word flag it; 2 and 3 mark it invalid.
constexpr unsigned kSampleFlagMask = 0x03U;
constexpr unsigned kFirstInvalidFlag = 2;
constexpr unsigned kDistanceShift = 2;

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
  info.firmwareVersion = marked::wordAt(&payload[1]);
  info.hardwareVersion = payload[3];
  std::copy(payload.begin() + 4, payload.end(), std::begin(info.serialnum));
  return info;
}

LidarHealth decodeHealth(std::span<const uint8_t, kHealthPayloadLength> payload) {
  return LidarHealth{.status = payload[0], .errorCode = marked::wordAt(&payload[1])};
}

std::size_t NextScanPacket(std::vector<uint8_t>& buffer) {
  if (buffer.size() < marked::kHeaderLength) {
    return 0;
  }
  const PacketSearch found = findScanPacket(buffer);
  buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(found.skip));
  return found.length;
}

namespace {

// Decodes a whole packet's points into `points`, which has room for them all; returns how many.
std::size_t decodeInto(std::span<const uint8_t> packet, const marked::PacketHeader& header,
                       ScanPoint* points) {
  const std::size_t count = header.count;
  const float firstAngle = static_cast<float>(header.firstAngleRaw) / kAngleRawPerDegree;
  const float lastAngle = static_cast<float>(header.lastAngleRaw) / kAngleRawPerDegree;
  const float span = marked::spanDegrees(firstAngle, lastAngle);
  // The same arithmetic as span / (count - 1) * i + first, the step worked out once (0 for a
  // single sample, which then lies at the first angle).
  const float step = count > 1 ? span / static_cast<float>(count - 1) : 0.0F;
  const uint8_t* sample = PacketCodec::sample(packet, 0);
  float position = 0.0F;  // i, counted exactly in single precision (count < 2^24)
  for (std::size_t i = 0; i < count; ++i, sample += PacketCodec::kSampleLength, position += 1.0F) {
    const unsigned distanceWord = marked::wordAt(sample + kSampleDistanceWord);
    const unsigned rawDistance = distanceWord >> kDistanceShift;
    const bool missing = rawDistance < kMinDistanceMm || rawDistance > kMaxDistanceMm ||
                         (distanceWord & kSampleFlagMask) >= kFirstInvalidFlag;
    // raw / 1000 in single precision, by a multiplication in double precision: the same float
    // for every 14-bit raw distance, without a division per sample.
    const auto metres = static_cast<float>(static_cast<double>(rawDistance) * kMetresPerMillimetre);
    points[i] = ScanPoint{.angle = marked::wrappedDegrees(step * position + firstAngle),
                          .distance = missing ? kMissingDistance : metres,
                          .intensity = static_cast<float>(sample[kSampleIntensity])};
  }
  return count;
}

}  // namespace

std::size_t decodeScanPoints(std::span<const uint8_t> packet,
                             std::span<ScanPoint, kMaxPacketPoints> points) {
  return decodeInto(packet, PacketCodec::header(packet), points.data());
}

bool DecodeScanPacket(std::span<const uint8_t> packet, std::vector<ScanPoint>& points) {
  const marked::PacketHeader header = PacketCodec::header(packet);
  const std::size_t before = points.size();
  points.resize(before + header.count);
  decodeInto(packet, header, points.data() + before);
  return header.start;
}

// --- The lidar's side ------------------------------------------------------------------------

void encodeScanPacket(std::vector<uint8_t>& out, bool start, uint16_t firstAngleRaw,
                      uint16_t lastAngleRaw, std::span<const ScanSample> samples) {
  constexpr unsigned kDistanceMask = (1U << (16 - kDistanceShift)) - 1U;
  std::vector<uint8_t> bytes(PacketCodec::kSampleLength * samples.size());
  uint8_t* at = bytes.data();
  for (const ScanSample& sample : samples) {
    const unsigned word =
        ((sample.distanceMm & kDistanceMask) << kDistanceShift) | (sample.flag & kSampleFlagMask);
    at[kSampleIntensity] = sample.intensity;
    marked::putWord(at + kSampleDistanceWord, static_cast<uint16_t>(word));
    at += PacketCodec::kSampleLength;
  }
  PacketCodec::encode(out, start, firstAngleRaw, lastAngleRaw, bytes);
}

std::array<uint8_t, kDescriptorLength> encodeDescriptor(uint8_t payloadLength, uint8_t type) {
  return {kDescriptorFirst, kDescriptorSecond, payloadLength, 0, 0, 0, type};
}

std::vector<uint8_t> encodeInfoReply(const LidarInfo& info) {
  const auto descriptor = encodeDescriptor(kInfoPayloadLength, kInfoType);
  std::vector<uint8_t> reply(descriptor.begin(), descriptor.end());
  reply.resize(kDescriptorLength + kInfoPayloadLength);
  uint8_t* payload = reply.data() + kDescriptorLength;
  payload[0] = info.model;
  marked::putWord(payload + 1, info.firmwareVersion);
  payload[3] = info.hardwareVersion;
  std::copy(std::begin(info.serialnum), std::end(info.serialnum), payload + 4);
  return reply;
}

std::vector<uint8_t> encodeHealthReply(const LidarHealth& health) {
  const auto descriptor = encodeDescriptor(kHealthPayloadLength, kHealthType);
  std::vector<uint8_t> reply(descriptor.begin(), descriptor.end());
  reply.resize(kDescriptorLength + kHealthPayloadLength);
  reply[kDescriptorLength] = health.status;
  marked::putWord(reply.data() + kDescriptorLength + 1, health.errorCode);
  return reply;
}

}  // namespace halvern::lidarmini

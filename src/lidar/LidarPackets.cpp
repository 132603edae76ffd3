#include "lidar/LidarPackets.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace halvern::lidar {
namespace {

// An angle's lowest raw bit counts 1/128 degree; a sample word counts 1/4 mm.
constexpr double kAngleRawPerDegree = 2.0 * 64.0;
constexpr float kSampleRawPerMm = 4.0F;

// The lidar's geometry behind its angle correction.
constexpr double kCorrectionScale = 21.8;
constexpr double kCorrectionBaseMm = 155.3;

}  // namespace

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
  const marked::PacketHeader header = PacketCodec::header(packet);
  const std::size_t count = header.count;
  const auto firstAngle = static_cast<float>(header.firstAngleRaw / kAngleRawPerDegree);
  const auto lastAngle = static_cast<float>(header.lastAngleRaw / kAngleRawPerDegree);
  const float span = marked::spanDegrees(firstAngle, lastAngle);
  for (std::size_t k = 0; k < count; ++k) {
    const float distance =
        static_cast<float>(marked::wordAt(PacketCodec::sample(packet, k))) / kSampleRawPerMm;
    const float interpolated =
        count > 1 ? firstAngle + span / static_cast<float>(count - 1) * static_cast<float>(k)
                  : firstAngle;
    const auto corrected =
        static_cast<float>(static_cast<double>(interpolated) + angleCorrectionDegrees(distance));
    const bool inRange = distance >= kMinRangeMm && distance <= kMaxRangeMm;
    samples.push_back(LidarSample{.angle = marked::wrappedDegrees(corrected),
                                  .distance = inRange ? distance : kOutOfRange});
  }
  return header.start;
}

// --- The lidar's side ------------------------------------------------------------------------

uint16_t angleRaw(double degrees) {
  constexpr double kFullTurn = marked::kFullTurnDegrees;
  const double wrapped = std::fmod(degrees, kFullTurn);
  return static_cast<uint16_t>(
      std::lround((wrapped < 0.0 ? wrapped + kFullTurn : wrapped) * kAngleRawPerDegree));
}

uint16_t distanceWord(double distanceMm) {
  if (!(distanceMm > 0.0)) {
    return 0;
  }
  constexpr double kLargest = std::numeric_limits<uint16_t>::max();
  return static_cast<uint16_t>(std::lround(std::min(distanceMm * kSampleRawPerMm, kLargest)));
}

void encodePacket(std::vector<uint8_t>& out, bool start, uint16_t firstAngleRaw,
                  uint16_t lastAngleRaw, std::span<const uint16_t> words) {
  std::vector<uint8_t> samples(PacketCodec::kSampleLength * words.size());
  for (std::size_t k = 0; k < words.size(); ++k) {
    marked::putWord(samples.data() + PacketCodec::kSampleLength * k, words[k]);
  }
  PacketCodec::encode(out, start, firstAngleRaw, lastAngleRaw, samples);
}

}  // namespace halvern::lidar

#include "lidar/LidarPackets.h"

#include <cmath>
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

}  // namespace halvern::lidar

#include "lidarmini/ScanEncoding.h"

#include <algorithm>
#include <cmath>

#include "common/EvenRuns.h"
#include "lidarmini/LidarMiniProtocol.h"

namespace halvern::sim::lidarmini {

namespace wire = halvern::lidarmini;

namespace {

// Raw angles count 1/128 degree.
constexpr double kAngleUnitsPerDegree = 128.0;
constexpr double kFullTurnDegrees = 360.0;

uint16_t angleRaw(double degrees) {
  return static_cast<uint16_t>(std::lround(degrees * kAngleUnitsPerDegree));
}

// Nearer surfaces return more light.
uint8_t intensityFor(uint16_t distanceMm) {
  constexpr int kBrightest = 240;
  constexpr int kDimmest = 16;
  constexpr int kMillimetresPerStep = 64;
  if (distanceMm == 0) {
    return 0;
  }
  return static_cast<uint8_t>(
      std::clamp(kBrightest - distanceMm / kMillimetresPerStep, kDimmest, kBrightest));
}

}  // namespace

std::vector<uint8_t> roomPacket(const SimLidarMini::Room& room,
                                const ScanTimeline::Packet& packet) {
  const auto angleOf = [&packet](int sample) {
    return kFullTurnDegrees * sample / packet.samplesInRevolution;
  };
  std::vector<wire::ScanSample> samples;
  samples.reserve(static_cast<std::size_t>(packet.end - packet.first));
  for (int sample = packet.first; sample < packet.end; ++sample) {
    const uint16_t distance = room ? room(angleOf(sample)) : uint16_t{0};
    samples.push_back(wire::ScanSample{.intensity = intensityFor(distance), .distanceMm = distance});
  }
  std::vector<uint8_t> bytes;
  wire::encodeScanPacket(bytes, packet.start(), angleRaw(angleOf(packet.first)),
                         angleRaw(angleOf(packet.end - 1)), samples);
  return bytes;
}

std::vector<std::vector<uint8_t>> revolutionPackets(std::span<const SimLidarMini::Point> points) {
  // Runs whose inner angles fall within half an angle unit of the even spread read back within
  // one unit once their end angles are rounded to units too.
  constexpr double kTolerance = 0.5 / kAngleUnitsPerDegree;
  std::vector<double> angles;
  angles.reserve(points.size());
  for (const SimLidarMini::Point& point : points) {
    angles.push_back(point.angleDegrees);
  }
  std::vector<std::vector<uint8_t>> packets;
  for (const SampleRun run : evenRuns(angles, SimLidarMini::kMaxSamplesPerPacket, kTolerance)) {
    std::vector<wire::ScanSample> samples;
    for (std::size_t i = run.first; i < run.end; ++i) {
      const SimLidarMini::Sample& sample = points[i].sample;
      samples.push_back(wire::ScanSample{
          .intensity = sample.intensity, .distanceMm = sample.distanceMm, .flag = sample.flag});
    }
    std::vector<uint8_t> packet;
    wire::encodeScanPacket(packet, run.first == 0, angleRaw(angles[run.first]),
                           angleRaw(angles[run.end - 1]), samples);
    packets.push_back(std::move(packet));
  }
  return packets;
}

std::vector<uint8_t> infoReply(const SimLidarMini::Identity& identity) {
  LidarInfo info{.model = identity.model,
                 .firmwareVersion = identity.firmwareVersion,
                 .hardwareVersion = identity.hardwareVersion,
                 .serialnum = {}};
  std::copy(identity.serial.begin(), identity.serial.end(), std::begin(info.serialnum));
  return wire::encodeInfoReply(info);
}

std::vector<uint8_t> healthReply(const SimLidarMini::Health& health) {
  return wire::encodeHealthReply(
      LidarHealth{.status = health.status, .errorCode = health.errorCode});
}

}  // namespace halvern::sim::lidarmini

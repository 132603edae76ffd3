#include "lidar/RoomScan.h"

#include <algorithm>
#include <cmath>

#include "lidar/LidarPackets.h"

namespace halvern::sim::lidar {

namespace wire = halvern::lidar;

namespace {

constexpr double kFullTurnDegrees = 360.0;
// A revolution starts with a packet of one sample; the rest come this many at a time.
constexpr int kSamplesPerPacket = 40;
// Rounds of "measure where the corrected angle will point": the correction changes slowly with
// the angle, so a few rounds settle far below the angle unit.
constexpr int kAngleRounds = 5;
// Distance words count a quarter millimetre.
constexpr float kWordsPerMillimetre = 4.0F;

double wrapDegrees(double degrees) {
  const double wrapped = std::fmod(degrees, kFullTurnDegrees);
  return wrapped < 0.0 ? wrapped + kFullTurnDegrees : wrapped;
}

double reportedAngle(int position) {
  return kFullTurnDegrees * position / SimLidar::kDefaultSamplesPerRevolution;
}

}  // namespace

int packetEnd(int first) {
  return first == 0 ? 1
                    : std::min(first + kSamplesPerPacket, SimLidar::kDefaultSamplesPerRevolution);
}

uint16_t RoomScan::measure(double reportedDegrees, std::mt19937& random) const {
  // Noise belongs to the measurement, so the lidar's correction sees it too.
  const double noise =
      noiseMm > 0.0F ? std::normal_distribution<double>(0.0, noiseMm)(random) : 0.0;
  const auto measured = [&](double trueDegrees) {
    const double distance = room ? room(wrapDegrees(trueDegrees)) : 0.0;
    return distance > 0.0 ? wire::distanceWord(distance + noise) : uint16_t{0};
  };
  // The sample the library will place at reported + correction(d) must be the room's distance
  // d at that very angle: look there, and again where the new distance's correction points.
  double trueDegrees = reportedDegrees;
  uint16_t distance = 0;
  for (int round = 0; round < kAngleRounds; ++round) {
    distance = measured(trueDegrees);
    trueDegrees = reportedDegrees + wire::angleCorrectionDegrees(distance / kWordsPerMillimetre);
  }
  return distance;
}

std::vector<uint8_t> RoomScan::packet(int first, int end, std::mt19937& random) const {
  std::vector<uint16_t> words;
  words.reserve(static_cast<std::size_t>(end - first));
  for (int position = first; position < end; ++position) {
    words.push_back(measure(reportedAngle(position), random));
  }
  std::vector<uint8_t> bytes;
  wire::encodePacket(bytes, first == 0, wire::angleRaw(reportedAngle(first)),
                     wire::angleRaw(reportedAngle(end - 1)), words);
  return bytes;
}

}  // namespace halvern::sim::lidar

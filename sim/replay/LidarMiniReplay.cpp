// A LidarMini's recorded revolutions into its simulator: each one sent at its recorded time, its
// packets spread as they arrived, so that the library reads the same points at the same times.
// Its silences need nothing of their own: no packets come where none came.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "SimLidarMini.h"
#include "SimLogPlayer.h"
#include "lidarmini/LidarMiniSignals.h"

namespace halvern::sim {
namespace {

namespace names = halvern::lidarmini::signals;
namespace scan = halvern::datalog::scan;

/** A recorded revolution as the simulator sends it. */
struct MiniRevolution {
  std::vector<SimLidarMini::Point> points;
  std::chrono::microseconds duration{0};  // from its first packet to its last
  bool thenNextStart = false;
};

SimLidarMini::Sample sampleOf(double metres, double intensity) {
  constexpr double kMillimetresPerMetre = 1000.0;
  constexpr double kBrightest = 255.0;
  // A missing sample goes as no return, which the library reads as missing again.
  const auto distance = metres < 0.0
                            ? uint16_t{0}
                            : static_cast<uint16_t>(std::lround(metres * kMillimetresPerMetre));
  return SimLidarMini::Sample{
      .intensity = static_cast<uint8_t>(std::lround(std::clamp(intensity, 0.0, kBrightest))),
      .distanceMm = distance,
      .flag = 0};
}

}  // namespace

void SimLogPlayer::attach(SimLidarMini& sim, std::string device) {
  const std::vector<RecordedValue> angles = values(device, scan::kAngles);
  const std::vector<RecordedValue> distances = values(device, scan::kDistances);
  const std::vector<RecordedValue> intensities = values(device, scan::kIntensities);
  const std::vector<RecordedValue> lastPackets = values(device, scan::kLastPacket);
  std::vector<int64_t> stops;
  for (const RecordedValue& scanning : values(device, names::kScanning)) {
    if (!scanning.boolean) {
      stops.push_back(scanning.timestamp);
    }
  }

  // Revolutions by their first packet's time, each with what the library needs to take it as
  // whole: the next revolution's start, or, before a stop and at the end, a start of its own.
  auto revolutions = std::make_shared<std::vector<std::pair<int64_t, MiniRevolution>>>();
  const std::size_t count = std::min({angles.size(), distances.size(), lastPackets.size()});
  for (std::size_t i = 0; i < count; ++i) {
    const int64_t first = angles[i].timestamp;
    const int64_t nextFirst = i + 1 < count ? angles[i + 1].timestamp : INT64_MAX;
    MiniRevolution revolution;
    revolution.duration =
        std::chrono::microseconds(std::max<int64_t>(lastPackets[i].integer - first, 0));
    revolution.thenNextStart =
        std::any_of(stops.begin(), stops.end(),
                    [&](int64_t stop) { return stop > first && stop <= nextFirst; }) ||
        i + 1 == count;
    const std::vector<double>& angle = angles[i].numbers;
    const std::vector<double>& distance = distances[i].numbers;
    const std::vector<double>* intensity =
        i < intensities.size() ? &intensities[i].numbers : nullptr;
    for (std::size_t p = 0; p < std::min(angle.size(), distance.size()); ++p) {
      const double light = intensity != nullptr && p < intensity->size() ? (*intensity)[p] : 0.0;
      revolution.points.push_back(
          {.angleDegrees = angle[p], .sample = sampleOf(distance[p], light)});
    }
    revolutions->emplace_back(first, std::move(revolution));
  }

  // The library's own revolutions stand in for the room's.
  sim.setStreamingRoom(false);
  onSignal(std::move(device), std::string{scan::kAngles},
           [&sim, revolutions, next = std::size_t{0}](const RecordedValue& value) mutable {
             // Values come once each in time order, so the search goes on from the last one
             // (two revolutions may share a first packet's time).
             const auto found = std::find_if(
                 revolutions->begin() + static_cast<std::ptrdiff_t>(next), revolutions->end(),
                 [&value](const auto& revolution) { return revolution.first == value.timestamp; });
             if (found != revolutions->end()) {
               next = static_cast<std::size_t>(found - revolutions->begin()) + 1;
               const MiniRevolution& revolution = found->second;
               sim.sendRevolution(revolution.points, revolution.duration, revolution.thenNextStart);
             }
           });
}

}  // namespace halvern::sim

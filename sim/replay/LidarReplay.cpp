// The serial lidar's recorded revolutions into its simulator: each one sent at its recorded
// time, its packets spread as they arrived, so that the library decodes the same samples at the
// same times. The simulator is silenced: its room's stream would come between them. Silences
// need nothing of their own: no packets come where none came.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "SimLidar.h"
#include "SimLogPlayer.h"
#include "lidar/LidarSignals.h"

namespace halvern::sim {
namespace {

namespace scan = halvern::datalog::scan;

struct Revolution {
  std::vector<SimLidar::Sample> samples;
  std::chrono::microseconds duration{0};  // from its first packet to its last
};

}  // namespace

void SimLogPlayer::attach(SimLidar& sim, std::string device) {
  const std::vector<RecordedValue> angles = values(device, scan::kAngles);
  const std::vector<RecordedValue> distances = values(device, scan::kDistances);
  const std::vector<RecordedValue> lastPackets = values(device, scan::kLastPacket);

  auto revolutions = std::make_shared<std::vector<std::pair<int64_t, Revolution>>>();
  const std::size_t count = std::min({angles.size(), distances.size(), lastPackets.size()});
  for (std::size_t i = 0; i < count; ++i) {
    Revolution revolution;
    revolution.duration = std::chrono::microseconds(
        std::max<int64_t>(lastPackets[i].integer - angles[i].timestamp, 0));
    const std::vector<double>& angle = angles[i].numbers;
    const std::vector<double>& distance = distances[i].numbers;
    for (std::size_t s = 0; s < std::min(angle.size(), distance.size()); ++s) {
      revolution.samples.push_back(
          {.angleDegrees = angle[s], .distanceMm = static_cast<float>(distance[s])});
    }
    revolutions->emplace_back(angles[i].timestamp, std::move(revolution));
  }

  sim.setSilent(true);
  onSignal(std::move(device), std::string{scan::kAngles},
           [&sim, revolutions, next = std::size_t{0}](const RecordedValue& value) mutable {
             // Values come once each in time order, so the search goes on from the last one
             // (two revolutions may share a first packet's time).
             const auto found = std::find_if(
                 revolutions->begin() + static_cast<std::ptrdiff_t>(next), revolutions->end(),
                 [&value](const auto& revolution) { return revolution.first == value.timestamp; });
             if (found != revolutions->end()) {
               next = static_cast<std::size_t>(found - revolutions->begin()) + 1;
               sim.sendRevolution(found->second.samples, found->second.duration);
             }
           });
}

}  // namespace halvern::sim

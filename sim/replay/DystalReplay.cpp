// The distance sensors' recorded readings played into their simulators. Each reading the library
// logged goes out again at its time with its own sequence (on CAN as its distance chunks, on USB
// as a binary frame, DystalUsbReplay.cpp) and nothing else does: a gap in the log, such as a
// dropped connection, is a silence of the simulator too.
#include <cstdint>
#include <string>

#include "SimDystal.h"
#include "SimLogPlayer.h"
#include "dystal/DystalProtocol.h"
#include "replay/DystalFeed.h"

namespace halvern::sim {
namespace {

/** What a sensor sends for "nothing measured", and past the last zone in the final chunk. */
constexpr uint16_t kNoDistance = 0xFFFF;

}  // namespace

using dystal_replay::Reading;

void SimLogPlayer::attach(SimDystalCan& sim, std::string device) {
  if (device.empty()) {
    device = sim.simDeviceName();
  }
  sim.stopReadings();  // from now on the log says when it sends
  dystal_replay::feedReadings(*this, device, [&sim](const Reading& reading) {
    const auto zones = static_cast<int>(reading.distances.size());
    const auto raw = [&](int zone) {
      return zone < zones ? static_cast<uint16_t>(reading.distances[static_cast<size_t>(zone)])
                          : kNoDistance;
    };
    for (int chunk = 0; chunk * dystal::kDistancesPerChunk < zones; ++chunk) {
      const int first = chunk * dystal::kDistancesPerChunk;
      sim.sendChunk(reading.sequence, static_cast<uint8_t>(chunk), raw(first), raw(first + 1),
                    raw(first + 2));
    }
  });
  onSignal(device, std::string{dystal_replay::names::kConnected},
           [&sim](const RecordedValue& value) {
             if (!value.boolean) {
               sim.stopReadings();
             }
           });
}

}  // namespace halvern::sim

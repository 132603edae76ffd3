// What both simulated distance sensors, on CAN and on USB, take from a recorded log: each
// reading the library logged, gathered from its signals as they are fed.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "SimLogPlayer.h"
#include "dystal/DystalProtocol.h"
#include "dystal/DystalSignals.h"

namespace halvern::sim::dystal_replay {

namespace names = halvern::dystal::signals;

struct Reading {
  uint8_t sequence = 0;
  std::vector<int16_t> distances;  // mm; -1: nothing measured
};

/** Calls `send(reading)` once the distances of each recorded reading have come in. */
template <typename Send>
void feedReadings(SimLogPlayer& player, const std::string& device, Send send) {
  auto sequence = std::make_shared<uint8_t>(0);
  player.onSignal(device, std::string{names::kSequence}, [sequence](const RecordedValue& value) {
    *sequence = static_cast<uint8_t>(value.integer);
  });
  player.onSignal(device, std::string{names::kDistances},
                  [sequence, send = std::move(send)](const RecordedValue& value) {
                    Reading reading{.sequence = *sequence, .distances = {}};
                    const size_t zones =
                        std::min<size_t>(value.integers.size(), dystal::kMaxDistances);
                    for (size_t zone = 0; zone < zones; ++zone) {
                      reading.distances.push_back(static_cast<int16_t>(value.integers[zone]));
                    }
                    send(reading);
                  });
}

}  // namespace halvern::sim::dystal_replay

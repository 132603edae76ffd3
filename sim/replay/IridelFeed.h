// What both simulated colour sensors, on CAN and on USB, take from a recorded log: each sample
// the library logged, gathered from its signals as they are fed.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "SimLogPlayer.h"
#include "iridel/IridelSignals.h"

namespace halvern::sim::iridel_replay {

namespace names = halvern::iridel::signals;

/** A sample as its signals come in: the sequence and components until the last one. */
struct Sample {
  uint16_t sequence = 0;
  std::array<float, 3> xyz{};
};

/** Calls `send(sample)` once the last component of each recorded sample has come in. */
template <typename Send>
void feedSamples(SimLogPlayer& player, const std::string& device, Send send) {
  auto sample = std::make_shared<Sample>();
  player.onSignal(device, std::string{names::kSequence}, [sample](const RecordedValue& value) {
    sample->sequence = static_cast<uint16_t>(value.integer);
  });
  player.onSignal(device, std::string{names::kX}, [sample](const RecordedValue& value) {
    sample->xyz[0] = static_cast<float>(value.number);
  });
  player.onSignal(device, std::string{names::kY}, [sample](const RecordedValue& value) {
    sample->xyz[1] = static_cast<float>(value.number);
  });
  player.onSignal(device, std::string{names::kZ},
                  [sample, send = std::move(send)](const RecordedValue& value) {
                    sample->xyz[2] = static_cast<float>(value.number);
                    send(*sample);
                  });
}

}  // namespace halvern::sim::iridel_replay

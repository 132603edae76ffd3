// A recorded analog board played into a simulated one: each input's recorded count becomes the
// voltage that converts to it, and the board's recorded drops silence it until it answered again.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "SimFerix.h"
#include "SimLogPlayer.h"
#include "ferix/FerixLogSignals.h"
#include "halvern/Ferix.h"
#include "replay/RecordedRounds.h"

namespace halvern::sim {

void SimLogPlayer::attach(SimFerixConverter& sim, std::string device) {
  namespace logged = ferix::logged;
  if (device.empty()) {
    device = sim.simDeviceName();
  }
  std::vector<std::string> counts;
  for (int input = 0; input < FERIX_CHANNELS; ++input) {
    counts.push_back(logged::inputSignal(input, logged::kRaw));
  }
  // Silent right after its last answer before each recorded drop. Each conversion is its own
  // round: the library asks for them, the board sends nothing on its own.
  const auto rounds = std::make_shared<replay::RecordedRounds>(
      *this, device, logged::kConnected, counts, std::chrono::microseconds::zero());
  for (int input = 0; input < FERIX_CHANNELS; ++input) {
    // The count, not the volts: those depend on the reference voltage the program set.
    onSignal(device, counts.at(static_cast<std::size_t>(input)),
             [&sim, rounds, input](const RecordedValue& value) {
               sim.setInputCount(input, static_cast<int>(value.integer));
               if (rounds->fed(value.timestamp).dropFollows) {
                 sim.setSilent(true);
               }
             });
  }
  onSignal(device, std::string{logged::kConnected},
           [&sim](const RecordedValue& value) { sim.setSilent(!value.boolean); });
}

}  // namespace halvern::sim

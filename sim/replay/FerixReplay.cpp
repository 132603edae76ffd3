// A recorded analog board played into a simulated one: each input's recorded count becomes the
// voltage that converts to it, and the board's recorded drops unplug it until it answered again.
#include <string>

#include "SimFerix.h"
#include "SimLogPlayer.h"
#include "ferix/FerixLogSignals.h"
#include "halvern/Ferix.h"

namespace halvern::sim {

void SimLogPlayer::attach(SimFerixConverter& sim, std::string device) {
  namespace logged = ferix::logged;
  if (device.empty()) {
    device = sim.simDeviceName();
  }
  for (int input = 0; input < FERIX_CHANNELS; ++input) {
    // The count, not the volts: those depend on the reference voltage the program set.
    onSignal(device, logged::inputSignal(input, logged::kRaw),
             [&sim, input](const RecordedValue& value) {
               sim.setInputCount(input, static_cast<int>(value.integer));
             });
  }
  onSignal(device, std::string{logged::kConnected}, [&sim](const RecordedValue& value) {
    if (value.boolean) {
      sim.plugIn();
    } else {
      sim.unplug();
    }
  });
}

}  // namespace halvern::sim

// The USB colour sensor's half of the replay (IridelReplay.cpp), built where it is simulated.
#include <optional>
#include <string>

#include "SimIridel.h"
#include "SimLogPlayer.h"
#include "iridel/IridelProtocol.h"
#include "replay/IridelFeed.h"

namespace halvern::sim {

using iridel_replay::Sample;

void SimLogPlayer::attach(SimIridelUsb& sim, std::string device) {
  sim.setSilent(true);  // from now on the log says when it sends
  iridel_replay::feedSamples(*this, device, [&sim](const Sample& sample) {
    sim.sendRaw(iridel::encodeColorLine(sample.xyz, std::nullopt));
  });
  onSignal(device, std::string{iridel_replay::names::kConnected},
           [&sim](const RecordedValue& value) {
             if (!value.boolean) {
               sim.setSilent(true);
             }
           });
}

}  // namespace halvern::sim

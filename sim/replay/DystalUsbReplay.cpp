// The USB distance sensor's half of the replay (DystalReplay.cpp), built where it is simulated.
#include <string>

#include "SimDystal.h"
#include "SimLogPlayer.h"
#include "replay/DystalFeed.h"

namespace halvern::sim {

using dystal_replay::Reading;

void SimLogPlayer::attach(SimDystalUsb& sim, std::string device) {
  sim.setSilent(true);  // from now on the log says when it sends
  dystal_replay::feedReadings(*this, device, [&sim](const Reading& reading) {
    sim.sendRaw(SimDystalUsb::distanceFrame(reading.sequence, reading.distances));
  });
  onSignal(device, std::string{dystal_replay::names::kConnected},
           [&sim](const RecordedValue& value) {
             if (!value.boolean) {
               sim.setSilent(true);
             }
           });
}

}  // namespace halvern::sim

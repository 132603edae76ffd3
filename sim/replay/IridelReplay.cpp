// The colour sensors' recorded samples played into their simulators. Each sample the library
// logged goes out again at its time as the sensor sent it (on CAN a colour frame with its
// sequence, on USB a sample line, IridelUsbReplay.cpp) and nothing else does: a gap in the log,
// such as a dropped connection, is a silence of the simulator too.
#include <string>

#include "SimIridel.h"
#include "SimLogPlayer.h"
#include "replay/IridelFeed.h"

namespace halvern::sim {

using iridel_replay::Sample;

void SimLogPlayer::attach(SimIridelCan& sim, std::string device) {
  if (device.empty()) {
    device = sim.simDeviceName();
  }
  sim.stopColorFrames();  // from now on the log says when it sends
  iridel_replay::feedSamples(*this, device, [&sim](const Sample& sample) {
    sim.sendColor(sample.sequence, sample.xyz[0], sample.xyz[1], sample.xyz[2]);
  });
  onSignal(device, std::string{iridel_replay::names::kConnected},
           [&sim](const RecordedValue& value) {
             if (!value.boolean) {
               sim.stopColorFrames();
             }
           });
}

}  // namespace halvern::sim

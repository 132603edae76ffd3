// The simulated controller's SimDevice, "Ordex[<device number>]": what the library commanded
// (outputs) and what the controller measures (inputs, which the simulation may feed).
#pragma once

#include <array>
#include <cstdint>

#include "SimHal.h"
#include "common/FedValue.h"
#include "ordex/OrdexFrames.h"
#include "ordex/OrdexModel.h"

namespace halvern::sim {

class OrdexSimValues {
 public:
  /** Starts the simulation and makes the SimDevice; without values when the name is taken. */
  OrdexSimValues(int32_t deviceNumber, int32_t bus);

  /** Takes what the simulation set on the inputs since they were last shown: a fed speed holds
   *  until fed again, a fed encoder count or temperature is the model's new value. */
  void takeFed(OrdexModel& model, OrdexReport& report);
  /** Shows the model's state, and whether the heartbeat lets the motors run. */
  void show(const OrdexModel& model, const OrdexReport& report, bool enabled);

 private:
  struct MotorValues {
    simhal::SimDouble duty;
    simhal::SimEnum mode;
    simhal::SimDouble targetRpm;
    FedValue<simhal::SimDouble, double> rpm;
    FedValue<simhal::SimInt, int32_t> encoder;
  };

  simhal::SimDevice device_;
  simhal::SimBoolean enabled_;
  FedValue<simhal::SimDouble, double> temperature_;
  std::array<MotorValues, OrdexModel::kMotorCount> motors_;
};

}  // namespace halvern::sim

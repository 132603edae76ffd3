// How the simulated controller's model time passes: with the simulation's clock from the
// controller's creation (real time), or only as far as the test advanced it (manual).
#pragma once

#include "SimClock.h"
#include "SimOrdex.h"
#include "ordex/OrdexModel.h"

namespace halvern::sim {

class OrdexClock {
 public:
  explicit OrdexClock(OrdexTiming timing) : timing_(timing) {}

  [[nodiscard]] bool manual() const { return timing_ == OrdexTiming::Manual; }
  /** Now in model time, given how far the model has been moved. */
  [[nodiscard]] OrdexModel::Duration now(OrdexModel::Duration modelTime) const {
    return manual() ? modelTime : simNow() - createdAt_;
  }

 private:
  OrdexTiming timing_;
  SimTime createdAt_ = simNow();
};

}  // namespace halvern::sim

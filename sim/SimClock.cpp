#include "SimClock.h"

#include "hal/HALBase.h"

namespace halvern::sim {
namespace {

SimTime epoch() {
  static const SimTime start = std::chrono::steady_clock::now();
  return start;
}

// Started when the simulation loads, so that every device's time counts from one moment.
[[maybe_unused]] const SimTime startedAtLoad = epoch();

}  // namespace

void startSimulation() {
  static const bool started = [] {
    static_cast<void>(epoch());
    // The arguments WPILib's robot programs pass: wait up to 500 ms, the default mode.
    return HAL_Initialize(500, 0) != 0;
  }();
  static_cast<void>(started);
}

SimTime simNow() { return std::chrono::steady_clock::now(); }

uint64_t simMicros() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(simNow() - epoch()).count());
}

}  // namespace halvern::sim

#include "SimClock.h"

#include "SimHal.h"

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
    const bool initialized = HAL_Initialize(500, 0) != 0;
    simhal::awaitHalThreads();
    return initialized;
  }();
  static_cast<void>(started);
}

SimTime simNow() { return std::chrono::steady_clock::now(); }

uint64_t simMicros() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(simNow() - epoch()).count());
}

}  // namespace halvern::sim

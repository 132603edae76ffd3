// The simulation's one clock: what every simulated device reads as "now", and stamps its frames
// with. It runs with the steady clock from the moment the simulation first needs it.
#pragma once

#include <chrono>
#include <cstdint>

namespace halvern::sim {

using SimTime = std::chrono::steady_clock::time_point;

/**
 * Starts the simulation once per process: initialises the HAL (WPILib's simulation has its data
 * only from then on: a SimDevice or callback before it crashes) and the clock. Every simulated
 * device calls it before it touches the HAL; calling it again does nothing.
 */
void startSimulation();

/** Now, on the simulation's clock. */
SimTime simNow();
/** Microseconds since the simulation's clock started. */
uint64_t simMicros();

}  // namespace halvern::sim

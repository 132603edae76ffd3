// The motor controller's physics, knowing no bus: four motors with encoders that follow their
// commands as first-order lags, a heartbeat that gates them, and the controller's temperature.
// Plain state and a step function; the simulator feeds it commands and reads its state.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "SimOrdex.h"

namespace halvern::sim {

/** One motor and its encoder. */
struct OrdexMotorModel {
  using Seconds = std::chrono::duration<double>;

  OrdexMotorState state;         // encoderCount is derived from encoderPosition
  double encoderPosition = 0.0;  // counts, fractional, kept within the int32 range
  double velocityTargetRpm = 0.0;
  std::optional<double> fedRpm;  // the speed the simulation measures, once it feeds one

  /** A duty command: duty 0 to 1, direction flags as sent (both: brake; none: coast). */
  void commandDuty(double duty, bool forward, bool reverse);
  void coast();
  void commandVelocity(double rpm);
  /** The speed the motor is driven towards (0 when coasting or braking). */
  [[nodiscard]] double commandedRpm() const;
  void step(Seconds duration, bool enabled);
  [[nodiscard]] int32_t encoderCount() const;
  [[nodiscard]] OrdexMotorState snapshot() const;
};

/** The whole controller: its motors, its heartbeat and its temperature, on model time. */
struct OrdexModel {
  using Duration = std::chrono::steady_clock::duration;
  static constexpr std::size_t kMotorCount = 4;

  Duration time{0};
  std::optional<Duration> lastEnabledHeartbeat;  // model time of the newest enabled heartbeat
  std::array<OrdexMotorModel, kMotorCount> motors;
  double temperature = SimOrdex::kAmbientCelsius;

  /** "Disabled" stops the motors at once; "enabled" keeps them running for a while. */
  void heartbeat(bool enabled, Duration at);
  /** Whether the motors may run at model time `at`. */
  [[nodiscard]] bool enabledAt(Duration at) const;
  /** Moves the model forward to `until`, in small steps. */
  void advanceTo(Duration until);
};

}  // namespace halvern::sim

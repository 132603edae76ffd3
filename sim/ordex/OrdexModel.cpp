#include "ordex/OrdexModel.h"

#include <algorithm>
#include <cmath>

namespace halvern::sim {
namespace {

using Seconds = OrdexMotorModel::Seconds;

// The model's time constants: how fast a speed follows its command, and slows when coasting
// or braking. A thermal constant of seconds (not minutes) keeps tests short.
constexpr Seconds kDriveTimeConstant{0.100};
constexpr Seconds kCoastTimeConstant{0.500};
constexpr Seconds kBrakeTimeConstant{0.025};
constexpr Seconds kThermalTimeConstant{20.0};
constexpr double kCelsiusPerLoadedMotor = 10.0;  // steady-state rise of one motor at full speed
// Small steps keep the exponential lag and the heartbeat timeout accurate over long advances.
constexpr OrdexModel::Duration kMaxStep = std::chrono::milliseconds(5);

/** Moves `value` towards `target` as a first-order lag with time constant `tau` would. */
double lag(double value, double target, Seconds step, Seconds tau) {
  return target + (value - target) * std::exp(-step / tau);
}

}  // namespace

void OrdexMotorModel::commandDuty(double duty, bool forward, bool reverse) {
  if (forward && reverse) {
    state.mode = OrdexDriveMode::Brake;
    state.duty = 0.0;
  } else if (forward || reverse) {
    state.mode = OrdexDriveMode::Duty;
    state.duty = reverse ? -duty : duty;
  } else {
    coast();  // no direction: nothing drives the motor
  }
}

void OrdexMotorModel::coast() {
  state.mode = OrdexDriveMode::Coast;
  state.duty = 0.0;
}

void OrdexMotorModel::commandVelocity(double rpm) {
  state.mode = OrdexDriveMode::Velocity;
  velocityTargetRpm = rpm;
}

double OrdexMotorModel::commandedRpm() const {
  switch (state.mode) {
    case OrdexDriveMode::Duty:
      return state.duty * SimOrdex::kFreeSpeedRpm;
    case OrdexDriveMode::Velocity:
      return std::clamp(velocityTargetRpm, -SimOrdex::kFreeSpeedRpm, SimOrdex::kFreeSpeedRpm);
    case OrdexDriveMode::Coast:
    case OrdexDriveMode::Brake:
      break;
  }
  return 0.0;
}

void OrdexMotorModel::step(Seconds duration, bool enabled) {
  const double before = state.rpm;
  if (fedRpm) {
    state.rpm = *fedRpm;
  } else if (!enabled || state.mode == OrdexDriveMode::Coast) {
    state.rpm = lag(state.rpm, 0.0, duration, kCoastTimeConstant);
  } else if (state.mode == OrdexDriveMode::Brake) {
    state.rpm = lag(state.rpm, 0.0, duration, kBrakeTimeConstant);
  } else {
    state.rpm = lag(state.rpm, commandedRpm(), duration, kDriveTimeConstant);
  }
  const double meanRevolutionsPerSecond = (before + state.rpm) / 2.0 / 60.0;
  encoderPosition += meanRevolutionsPerSecond * state.countsPerRevolution * duration.count();
  // Wraps like the controller's 32-bit counter.
  constexpr double kSpan = 4294967296.0;
  if (encoderPosition >= kSpan / 2.0) {
    encoderPosition -= kSpan;
  } else if (encoderPosition < -kSpan / 2.0) {
    encoderPosition += kSpan;
  }
}

int32_t OrdexMotorModel::encoderCount() const {
  // Through uint32: a count rounded up past the int32 range wraps instead of overflowing.
  return static_cast<int32_t>(static_cast<uint32_t>(std::llround(encoderPosition)));
}

OrdexMotorState OrdexMotorModel::snapshot() const {
  OrdexMotorState copy = state;
  copy.targetRpm = commandedRpm();
  copy.encoderCount = encoderCount();
  return copy;
}

void OrdexModel::heartbeat(bool enabled, Duration at) {
  lastEnabledHeartbeat = enabled ? std::optional(at) : std::nullopt;
}

bool OrdexModel::enabledAt(Duration at) const {
  // A heartbeat stamped after `at` (it arrived during a real-time step) counts as fresh.
  return lastEnabledHeartbeat.has_value() &&
         at - *lastEnabledHeartbeat <= SimOrdex::kHeartbeatTimeout;
}

void OrdexModel::advanceTo(Duration until) {
  while (time < until) {
    const Duration step = std::min(kMaxStep, until - time);
    time += step;
    const bool enabled = enabledAt(time);
    double load = 0.0;
    for (auto& motor : motors) {
      motor.step(step, enabled);
      load += std::fabs(motor.state.rpm) / SimOrdex::kFreeSpeedRpm;
    }
    temperature = lag(temperature, SimOrdex::kAmbientCelsius + kCelsiusPerLoadedMotor * load, step,
                      kThermalTimeConstant);
  }
}

}  // namespace halvern::sim

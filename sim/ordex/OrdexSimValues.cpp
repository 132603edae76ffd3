#include "ordex/OrdexSimValues.h"

#include <string>

#include "SimCanBus.h"
#include "SimClock.h"

namespace halvern::sim {
namespace {

constexpr std::array<const char*, 4> kModeNames{"Coast", "Duty", "Brake", "Velocity"};

std::string motorKey(std::size_t motor, const char* what) {
  return "Motor " + std::to_string(motor) + " " + what;
}

}  // namespace

OrdexSimValues::OrdexSimValues(int32_t deviceNumber, int32_t bus) {
  startSimulation();
  device_ = simhal::SimDevice(canDeviceName("Ordex", deviceNumber, bus).c_str());
  if (!device_) {
    return;  // a device of that name exists already: this one shows no values
  }
  enabled_ = device_.CreateBoolean("Heartbeat Enabled", simhal::kOutput, false);
  for (std::size_t m = 0; m < motors_.size(); ++m) {
    MotorValues& values = motors_.at(m);
    values.duty = device_.CreateDouble(motorKey(m, "Duty").c_str(), simhal::kOutput, 0.0);
    values.mode = device_.CreateEnum(motorKey(m, "Mode").c_str(), simhal::kOutput, kModeNames, 0);
    values.targetRpm =
        device_.CreateDouble(motorKey(m, "Target RPM").c_str(), simhal::kOutput, 0.0);
    values.rpm = {device_.CreateDouble(motorKey(m, "RPM").c_str(), simhal::kInput, 0.0), 0.0};
    values.encoder = {device_.CreateInt(motorKey(m, "Encoder").c_str(), simhal::kInput, 0), 0};
  }
  temperature_ = {device_.CreateDouble("Temperature", simhal::kInput, SimOrdex::kAmbientCelsius),
                  SimOrdex::kAmbientCelsius};
}

void OrdexSimValues::takeFed(OrdexModel& model, OrdexReport& report) {
  for (std::size_t m = 0; m < motors_.size(); ++m) {
    OrdexMotorModel& motor = model.motors.at(m);
    if (const auto rpm = motors_.at(m).rpm.takeFed()) {
      motor.fedRpm = *rpm;
    }
    if (const auto count = motors_.at(m).encoder.takeFed()) {
      motor.encoderPosition = *count;
    }
  }
  if (const auto celsius = temperature_.takeFed()) {
    report.temperatureOverride = *celsius;
  }
}

void OrdexSimValues::show(const OrdexModel& model, const OrdexReport& report, bool enabled) {
  if (!device_) {
    return;
  }
  enabled_.Set(enabled);
  for (std::size_t m = 0; m < motors_.size(); ++m) {
    MotorValues& values = motors_.at(m);
    const OrdexMotorState state = model.motors.at(m).snapshot();
    values.duty.Set(state.mode == OrdexDriveMode::Duty ? state.duty : 0.0);
    values.mode.Set(static_cast<int32_t>(state.mode));
    values.targetRpm.Set(state.targetRpm);
    values.rpm.show(report.rpm(model, m));
    values.encoder.show(state.encoderCount);
  }
  temperature_.show(report.temperature(model));
}

}  // namespace halvern::sim

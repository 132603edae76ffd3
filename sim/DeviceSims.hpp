// The simulated devices for a C++ robot program's simulationPeriodic, in the library's C++ style:
// header-only, move-only owners of the simulators of SimOrdex.h, SimIridel.h, SimDystal.h and
// SimFerix.h, with PascalCase methods whose names carry their units. Each plays its device from
// construction to destruction; tests reach the simulators' full controls through those headers.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "SimDystal.h"
#include "SimFerix.h"
#include "SimIridel.h"
#include "SimOrdex.h"

namespace halvern::sim {

/**
 * A simulated Ordex controller on the simulated CAN bus: what the robot program commanded, and
 * the measurements a physics model feeds back.
 */
class OrdexSim {
 public:
  /** Plays the controller with CAN device number `deviceId` on CAN bus `bus`, reporting every
   *  20 ms. */
  explicit OrdexSim(int deviceId, int32_t bus = kDefaultCanBus)
      : m_device(std::make_unique<SimOrdex>(deviceId, SimOrdexOptions{.bus = bus})) {}

  /** The duty cycle the robot program last commanded a motor (0 to 3), -1 to 1. */
  [[nodiscard]] double GetMotorDuty(int motor) const { return m_device->motor(motor).duty; }

  /** The speed a motor (0 to 3) is heading for, in revolutions per minute. */
  [[nodiscard]] double GetMotorTargetRPM(int motor) const {
    return m_device->motor(motor).targetRpm;
  }

  /** Whether the robot program's heartbeat says enabled recently enough for motors to run. */
  [[nodiscard]] bool GetMotorsEnabled() const { return m_device->motorsEnabled(); }

  /** Reports a motor's (0 to 3) measured speed from now on, in revolutions per minute. */
  void SetMotorRPM(int motor, double rpm) { m_device->setRpmOverride(motor, rpm); }

  /** Hands a motor's (0 to 3) speed back to the controller's own model. */
  void ClearMotorRPM(int motor) { m_device->setRpmOverride(motor, std::nullopt); }

  /** Sets an encoder's (0 to 3) count; a turning motor counts on from there. */
  void SetEncoderCount(int encoder, int32_t count) { m_device->setEncoderCount(encoder, count); }

  /** Reports the controller's temperature from now on, in degrees Celsius. */
  void SetTemperatureCelsius(double celsius) { m_device->setTemperatureOverride(celsius); }

  /** Presses or releases a motor's (0 to 3) first or (`second`) second limit switch. */
  void SetLimitSwitch(int motor, bool second, bool pressed) {
    m_device->setLimitSwitch(motor, second, pressed);
  }

  /** The simulator itself, for what this class does not offer. */
  [[nodiscard]] SimOrdex& GetSimulator() { return *m_device; }

 private:
  std::unique_ptr<SimOrdex> m_device;  // the simulator stays put while this object moves
};

/** A simulated Iridel colour sensor on the simulated CAN bus, sending a colour frame a period. */
class IridelSim {
 public:
  /** Plays the sensor with CAN ID `canId` on CAN bus `bus`, sending a colour frame every
   *  `period`. */
  explicit IridelSim(int canId, std::chrono::milliseconds period = std::chrono::milliseconds(20),
                     int32_t bus = kDefaultCanBus)
      : m_device(std::make_unique<SimIridelCan>(static_cast<uint8_t>(canId), bus)),
        m_period(period) {
    m_device->startColorFrames(m_period, 0.0F, 0.0F, 0.0F);
  }

  /** The colour the frames carry from now on (components as the sensor sends them). */
  void SetColor(float x, float y, float z) { m_device->startColorFrames(m_period, x, y, z); }

  /** The simulator itself, for what this class does not offer. */
  [[nodiscard]] SimIridelCan& GetSimulator() { return *m_device; }

 private:
  std::unique_ptr<SimIridelCan> m_device;
  std::chrono::milliseconds m_period;
};

/** A simulated Dystal distance sensor on the simulated CAN bus, sending a reading a period. */
class DystalSim {
 public:
  /** Plays the sensor with CAN ID `canId` on CAN bus `bus`, sending a reading every `period`. */
  explicit DystalSim(int canId, std::chrono::milliseconds period = SimDystalCan::kDefaultPeriod,
                     int32_t bus = kDefaultCanBus)
      : m_device(std::make_unique<SimDystalCan>(static_cast<uint8_t>(canId), bus)) {
    m_device->startReadings(period);
  }

  /** The zones' distances from the next reading on, in millimetres (up to 64; -1: none). */
  void SetDistancesMm(const std::vector<int>& distancesMm) {
    m_device->setDistances(std::vector<int16_t>(distancesMm.begin(), distancesMm.end()));
  }

  /** The simulator itself, for what this class does not offer. */
  [[nodiscard]] SimDystalCan& GetSimulator() { return *m_device; }

 private:
  std::unique_ptr<SimDystalCan> m_device;
};

/** A simulated analog board on the expansion-port I2C bus. */
class FerixSim {
 public:
  /** Attaches the board to the HAL's I2C bus, its inputs at 0 V. */
  FerixSim() : m_device(SimFerixConverter::attach()) {}

  /** The voltage at an input (0 to 3), in volts against ground. */
  void SetInputVoltage(int channel, double volts) { m_device->setInputVoltage(channel, volts); }

  /** The voltage at an input (0 to 3), in volts. */
  [[nodiscard]] double GetInputVoltage(int channel) const { return m_device->inputVoltage(channel); }

  /** The simulator itself, for what this class does not offer. */
  [[nodiscard]] SimFerixConverter& GetSimulator() { return *m_device; }

 private:
  std::shared_ptr<SimFerixConverter> m_device;  // attached until the last owner goes
};

}  // namespace halvern::sim

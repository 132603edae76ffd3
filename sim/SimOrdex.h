// A simulated Ordex motor controller on the simulated CAN bus.
//
// It answers identity and serial requests, records every frame the robot program sends it, and
// runs a small model of four motors with encoders: duty commands, velocity targets, brake and
// coast, all gated by the enabled heartbeat. It reports the model in status frames at a steady
// rate. Values that tests need exactly (RPM, encoder counts, switches, temperature, ...) can be
// set or overridden, and motors or the whole controller can be made to fall silent.
//
// It sits on one CAN bus of the robot controller (SimOrdexOptions::bus, 0 unless set) and answers
// only frames of that bus. It is also the SimDevice "Ordex[<device number>]" ("Ordex[<device
// number>,bus <bus>]" on a bus other than 0), which WPILib's simulation GUI lists and a robot
// program's simulation code reads and feeds:
//   outputs (what the library commanded): "Heartbeat Enabled" (boolean), and for each motor m
//     of 0 to 3 "Motor m Duty" (-1 to 1), "Motor m Mode" (Coast, Duty, Brake, Velocity) and
//     "Motor m Target RPM";
//   inputs (what the controller measures): "Motor m RPM", "Motor m Encoder" (counts) and
//     "Temperature" (degrees Celsius).
// The model writes its own measurements into the inputs. Once the simulation sets one (a
// physics model feeding it), the controller reports that value instead: a fed speed holds until
// fed again, and its encoder counts on from it; a fed encoder count or temperature is taken as
// the new value and the model carries on from there.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "SimCanBus.h"

namespace halvern::sim {

/** What the controller answers to an identity request. */
struct OrdexIdentity {
  uint8_t reportedDeviceNumber = 0;  // 0 means "use the bus device number"
  std::array<uint8_t, 3> firmware{1, 4, 2};
  uint8_t hardwareKind = 1;  // 1 Ordex Quad, 2 Ordex Small
  uint8_t hardwareVersion = 3;
};

enum class IdentityBehaviour {
  Answer,        // replies with the configured identity
  Silent,        // never replies
  ZeroDeviceId,  // replies with byte 0 = 0, which the library must reject
};

/** How the simulated controller's time passes. */
enum class OrdexTiming {
  /** The bus's status thread moves the model with the clock and sends status frames each period. */
  RealTime,
  /** Nothing runs on its own: the model moves only by advance(), frames go only by publishNow(). */
  Manual,
};

struct SimOrdexOptions {
  OrdexTiming timing = OrdexTiming::RealTime;
  std::chrono::milliseconds statusPeriod{20};
  /** The robot controller's CAN bus the controller is on. */
  int32_t bus = kDefaultCanBus;
};

/** What a motor is doing, as its last command set it. */
enum class OrdexDriveMode {
  Coast,     // not driven (at power-up and after DisableMotor): slows down on its own
  Duty,      // driven at a duty cycle
  Brake,     // both direction flags at duty 0: stopped hard
  Velocity,  // driven towards a target speed
};

/** A snapshot of one motor of the model and of the settings it was sent. */
struct OrdexMotorState {
  double rpm = 0.0;
  double targetRpm = 0.0;  // where the speed is heading while the robot is enabled
  int32_t encoderCount = 0;
  OrdexDriveMode mode = OrdexDriveMode::Coast;
  double duty = 0.0;  // -1 to 1, reverse negative; meaningful in Duty mode
  uint16_t countsPerRevolution = 2048;
  uint16_t frequency = 0;  // motor PWM frequency in Hz, 0 until configured
  double currentLimitAmps = 0.0;
  bool currentLimitEnabled = false;
  // Recorded only: the model does not steer towards positions.
  std::optional<int32_t> targetDistance;  // sign-extended from the 24 bits received
  std::optional<double> targetAngleDegrees;
  bool positionHold = false;
};

class SimOrdex {
 public:
  struct Heartbeat {
    bool enabled = false;
    std::chrono::steady_clock::time_point at;
  };

  /** Full speed at 100 % duty. */
  static constexpr double kFreeSpeedRpm = 6000.0;
  /** How long motors keep running after the last enabled heartbeat. */
  static constexpr std::chrono::milliseconds kHeartbeatTimeout{250};
  static constexpr double kAmbientCelsius = 25.0;

  explicit SimOrdex(int32_t deviceNumber, SimOrdexOptions options = {});
  SimOrdex(const SimOrdex&) = delete;
  SimOrdex& operator=(const SimOrdex&) = delete;
  /** Stops its status frames and leaves the bus. */
  ~SimOrdex();

  /** The name of its SimDevice: "Ordex[<device number>]", "Ordex[<device number>,bus <bus>]"
   *  on a bus other than 0. */
  [[nodiscard]] std::string simDeviceName() const;

  [[nodiscard]] int32_t deviceNumber() const { return deviceNumber_; }
  /** The CAN bus it is on. */
  [[nodiscard]] int32_t bus() const { return bus_; }

  // --- Identity and serial number -----------------------------------------------------------

  void setIdentity(const OrdexIdentity& identity);
  void setIdentityBehaviour(IdentityBehaviour behaviour);
  void setSerialWords(const std::array<uint32_t, 3>& words);

  [[nodiscard]] int identityRequestCount() const;
  [[nodiscard]] int serialRequestCount() const;

  // --- What the robot program sent ----------------------------------------------------------

  /** Heartbeats received so far, oldest first, with the time each arrived. */
  [[nodiscard]] std::vector<Heartbeat> heartbeats() const;
  /** Every frame the robot program sent to this device, oldest first (the newest 100000 kept). */
  [[nodiscard]] std::vector<CanFrame> receivedFrames() const;
  /** Forgets received frames and heartbeats (not the model's state). */
  void clearReceived();

  // --- The model ----------------------------------------------------------------------------

  /**
   * Motor 0 to 3; throws std::out_of_range for any other. In real time the model moves once a
   * status period, so a snapshot may be up to one period old.
   */
  [[nodiscard]] OrdexMotorState motor(int motor) const;
  /** True while an enabled heartbeat is fresh enough for the motors to run. */
  [[nodiscard]] bool motorsEnabled() const;
  /** The temperature reported: the override if set, else the model's. */
  [[nodiscard]] double temperature() const;
  /** Moves the model forward by `duration` of simulated time. Manual timing only. */
  void advance(std::chrono::milliseconds duration);

  // --- Values reported --------------------------------------------------------------------
  // An override replaces the model's value in the status frames only; std::nullopt removes it.

  void setRpmOverride(int motor, std::optional<double> rpm);
  void setTargetRpmOverride(int motor, std::optional<double> rpm);
  void setTemperatureOverride(std::optional<double> celsius);
  /** Sets the encoder's count; a turning motor counts on from there. */
  void setEncoderCount(int encoder, int32_t count);
  /** Direction false is the first switch of the motor, true the second. */
  void setLimitSwitch(int motor, bool direction, bool pressed);
  /** Position 0 to 655.35, sent in hundredths. */
  void setQuorinPosition(int motor, double position);
  /** Reports this frequency instead of the last one configured. */
  void setFrequencyOverride(std::optional<uint16_t> hertz);

  // --- Status frames and faults -------------------------------------------------------------

  /** Sends one round of status frames now (honouring silence). */
  void publishNow();
  /** A silent motor's MotorRPM, EncoderCount and TargetRPM frames are not sent. */
  void setMotorSilent(int motor, bool silent);
  /** While silent, the controller sends no status frames at all (it still answers requests). */
  void setStatusSilent(bool silent);

 private:
  struct State;

  int32_t deviceNumber_;
  int32_t bus_;
  std::shared_ptr<State> state_;  // shared with the bus listener, which may outlive a call
  CanSubscription subscription_;
  PeriodicTask statusTask_;  // last: stopped first
};

}  // namespace halvern::sim

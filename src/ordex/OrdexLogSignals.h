// The names and units under which an Ordex controller's signals go into the robot's data log:
// one place for the library, which logs them, and the replay, which feeds them back into a
// simulated controller. Pure names, no I/O.
#pragma once

#include <string>
#include <string_view>

namespace halvern::ordex::logged {

/** The family's part of a device's name in the log ("Ordex[5]", "Ordex[5,bus 2]"). */
inline constexpr std::string_view kFamily = "Ordex";

// Readings, from the controller's status frames.
inline constexpr std::string_view kTemperature = "Temperature";  // double, degC
inline constexpr std::string_view kFrequency = "Frequency";      // int64, Hz: as reported
inline constexpr std::string_view kConnected = "Connected";      // boolean
// Per motor ("Motor <m>/<name>").
inline constexpr std::string_view kRpm = "RPM";                          // double, rpm
inline constexpr std::string_view kEncoder = "Encoder";                  // int64, counts
inline constexpr std::string_view kTargetRpm = "Target RPM";             // double, rpm
inline constexpr std::string_view kLimitSwitches = "Limit Switches";     // boolean[2]
inline constexpr std::string_view kQuorinPosition = "Quorin Position";   // double

// Identity, once known.
inline constexpr std::string_view kDeviceId = "Device ID";                // int64
inline constexpr std::string_view kFirmwareVersion = "Firmware Version";  // string "a.b.c"
inline constexpr std::string_view kHardware = "Hardware";                 // string
inline constexpr std::string_view kHardwareVersion = "Hardware Version";  // int64
inline constexpr std::string_view kSerialNumber = "Serial Number";        // string

// Commands the program sent. Of the controller:
inline constexpr std::string_view kStopMode = "Stop Mode";        // int64
inline constexpr std::string_view kSensorDelay = "Sensor Delay";  // int64
// Per motor:
inline constexpr std::string_view kDutyCycle = "Duty Cycle";                    // double, -1..1
inline constexpr std::string_view kDisable = "Disable";                         // boolean event
inline constexpr std::string_view kConfiguredFrequency = "Configured Frequency";  // int64, Hz
inline constexpr std::string_view kTargetVelocity = "Target Velocity";          // double, rpm
inline constexpr std::string_view kTargetDistance = "Target Distance";          // int64, counts
inline constexpr std::string_view kTargetAngle = "Target Angle";                // double, deg
inline constexpr std::string_view kPositionHold = "Position Hold";              // boolean
inline constexpr std::string_view kEncoderResolution = "Encoder Resolution";    // int64
inline constexpr std::string_view kEncoderReset = "Encoder Reset";              // boolean event
inline constexpr std::string_view kCurrentLimit = "Current Limit";              // double, A
inline constexpr std::string_view kCurrentLimitMode = "Current Limit Mode";     // int64
inline constexpr std::string_view kPidType = "PID Type";                        // int64
inline constexpr std::string_view kSensitivity = "Sensitivity";                 // int64
inline constexpr std::string_view kAutotune = "Autotune";                       // boolean event

/** A motor's signal: "Motor 0/RPM". */
inline std::string motorSignal(int motor, std::string_view name) {
  std::string signal = "Motor " + std::to_string(motor) + "/";
  signal += name;
  return signal;
}

}  // namespace halvern::ordex::logged

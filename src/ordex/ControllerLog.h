// One Ordex controller's signals in the robot's data log: what its status frames report, its
// identity, its connection and the commands the program sent it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "core/DataLogSink.h"
#include "core/DualTransportDevice.h"
#include "halvern/Ordex.h"
#include "platform/CanFrame.h"

namespace halvern::ordex {

/**
 * Owned by the controller's session. The status frames are taken in by the heartbeat thread
 * (takeStatus), from a stream session of the controller's frames that is open only while a log
 * is set, so that every frame is logged with its own receive time and no caller's reading waits.
 * Commands are logged by the caller's thread, in the call that sent them.
 */
class ControllerLog {
  // First: the signals below are named after them.
  const int32_t deviceNumber;
  const int32_t bus;
  const std::string device;

 public:
  /** One motor's signals. */
  struct Motor {
    Motor(const std::string& device, int motor);
    // Readings
    datalog::LogSignal rpm, encoder, targetRpm, limitSwitches, quorinPosition;
    // Commands
    datalog::LogSignal dutyCycle, disable, configuredFrequency, targetVelocity, targetDistance,
        targetAngle, positionHold, encoderResolution, encoderReset, currentLimit,
        currentLimitMode, pidType, sensitivity, autotune;
  };

  ControllerLog(int32_t deviceNumber, int32_t bus);
  ControllerLog(const ControllerLog&) = delete;
  ControllerLog& operator=(const ControllerLog&) = delete;
  ~ControllerLog();

  /** Motor 0 to 3's signals; null for any other number (nothing is logged for it). */
  [[nodiscard]] Motor* motor(int channel);

  // The controller's commands and its serial number, appended by the caller's thread.
  datalog::LogSignal stopMode, sensorDelay, serialNumber;

  /**
   * The heartbeat thread's turn, about every 100 ms: while a log is set, logs every status frame
   * received since the last turn, the connection's changes and the identity once cached; once
   * the log is gone, closes the stream. `handle` is the controller's.
   */
  void takeStatus(int32_t handle);

 private:
  /** Logs a status frame received at `at`. */
  void logFrame(const platform::CanFrame& frame, int64_t at);
  void logIdentity(int32_t handle, int64_t now);

  datalog::LogSignal temperature, frequency, connected, deviceId, firmwareVersion, hardware,
      hardwareVersion;
  std::array<std::unique_ptr<Motor>, ORDEX_MOTOR_COUNT> motors;

  // The heartbeat thread's alone.
  CanStreamSession statusStream;  // open while a log is set
  int64_t lastStatusUs = 0;       // the newest status frame's receive time; 0: none yet
};

}  // namespace halvern::ordex

// Driving, configuring and reading an Ordex controller: one frame sent or one message read.
#include <algorithm>
#include <array>
#include <exception>

#include "halvern/Ordex.h"
#include "ordex/CommandLog.h"
#include "ordex/OrdexBus.h"

namespace {

using namespace halvern::ordex;  // NOLINT(google-build-using-namespace)

// Guard codes: the message printed when a reading raises a standard exception.
constexpr int32_t kFrequencyUnavailable = 1011;
constexpr int32_t kTemperatureUnavailable = 1015;
constexpr int32_t kLimitSwitchUnavailable = 1016;
constexpr int32_t kMotorRpmUnavailable = 1017;         // + motor
constexpr int32_t kSerialWordUnavailable = 1021;       // + word index
constexpr int32_t kEncoderDistanceUnavailable = 1100;  // + encoder
constexpr int32_t kEncoderRawUnavailable = 1104;       // + encoder
constexpr int32_t kEncoderSpeedUnavailable = 1108;     // + encoder

constexpr double kSerialReplyWaitSeconds = 0.01;

void send(int32_t handle, Api api, const Frame& payload) {
  ordexSend(messageBase(api), payload, lookupDeviceId(handle), lookupBus(handle));
}

// "motor not above 3": negative numbers pass and go out as their two's-complement byte.
constexpr bool notAboveThree(int8_t motor) { return motor <= 3; }

// A setting of one motor, which the controller takes for motors up to 3 only.
// Returns whether it was sent.
bool sendUnlessAboveThree(int32_t handle, int8_t motor, Api api, const Frame& payload) {
  if (notAboveThree(motor)) {
    send(handle, api, payload);
    return true;
  }
  return false;
}

using Motor = ControllerLog::Motor;

/** Logs a boolean event (a command without a value) of every motor. */
void logEveryMotor(int32_t handle, halvern::datalog::LogSignal Motor::*signal) {
  logCommand(handle, [signal](ControllerLog& log, int64_t now) {
    for (int m = 0; m < kChannelCount; ++m) {
      (log.motor(m)->*signal).append(true, now);
    }
  });
}

Frame readChannel(int32_t handle, Api first, int8_t channel, int32_t guardBase) {
  return readGuarded(handle, channelApi(first, channel), guardBase + channel);
}

// A read that reports whether the controller ever sent the message.
bool tryReadHundredths(int32_t handle, int32_t apiId, double* out) {
  try {
    const ReadResult result = readMessage(handle, apiId, ReadMode::Latest);
    if (!result.received) {
      return false;
    }
    *out = decodeHundredths(result.frame);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

extern "C" {

int32_t c_Ordex_getFrequency(int32_t handle) {
  return decodeUint16(readGuarded(handle, apiNumber(Api::FrequencyStatus), kFrequencyUnavailable));
}

std::string c_Ordex_getSerialNumber(int32_t handle) {
  send(handle, Api::SerialRequest, Frame{});
  sleepSeconds(kSerialReplyWaitSeconds);
  constexpr std::array<Api, 3> kWords{Api::SerialWord1, Api::SerialWord2, Api::SerialWord3};
  std::array<uint32_t, 3> words{};
  bool answered = true;
  for (std::size_t i = 0; i < kWords.size(); ++i) {
    const ReadResult word =
        readGuardedResult(handle, apiNumber(kWords.at(i)),
                          kSerialWordUnavailable + static_cast<int32_t>(i), ReadMode::New);
    words.at(i) = decodeUint32(word.frame);
    answered = answered && word.received;
  }
  std::string text = serialNumberText(words);
  if (answered) {
    logCommand(handle, [&text](ControllerLog& log, int64_t now) {
      log.serialNumber.appendChange(text, now);
    });
  }
  return text;
}

double c_Ordex_getControllerTemp(int32_t handle) {
  return decodeTemperature(
      readGuarded(handle, apiNumber(Api::ControllerTemp), kTemperatureUnavailable));
}

void c_Ordex_setMotorSpeed(int32_t handle, int8_t motor, double speed) {
  if (!isChannel(motor)) {
    return;
  }
  send(handle, Api::MotorSpeed, motorSpeedPayload(motor, speed));
  logMotorCommand(handle, motor, [speed](Motor& log, int64_t now) {
    log.dutyCycle.append(std::clamp(speed, -1.0, 1.0), now);
  });
}

void c_Ordex_configureMotor(int32_t handle, int8_t motor, int32_t frequency) {
  const Frame payload = configureMotorPayload(motor, frequency);
  send(handle, Api::ConfigureMotor, payload);
  logMotorCommand(handle, motor, [&payload](Motor& log, int64_t now) {
    log.configuredFrequency.append(static_cast<int64_t>(decodeChannelUint16(payload)), now);
  });
}

void c_Ordex_disableMotor(int32_t handle, int8_t motor) {
  send(handle, Api::DisableMotor, channelPayload(motor));
  logMotorCommand(handle, motor, [](Motor& log, int64_t now) { log.disable.append(true, now); });
}

double c_Ordex_getRPM(int32_t handle, int8_t motor) {
  return decodeHundredths(readChannel(handle, Api::MotorRPM, motor, kMotorRpmUnavailable));
}

bool c_Ordex_getLimitSwitch(int32_t handle, int8_t motor, bool direction) {
  // Another motor number would address a byte beyond the 8-byte frame.
  if (!isChannel(motor)) {
    return false;
  }
  const Frame frame = readGuarded(handle, apiNumber(Api::LimitSwitches), kLimitSwitchUnavailable);
  return decodeLimitSwitch(frame, motor, direction);
}

double c_Ordex_getQuorinPosition(int32_t handle, int8_t motor) {
  if (!isChannel(motor)) {
    return 0.0;
  }
  const Frame frame = readGuarded(handle, apiNumber(Api::QuorinPositions), kLimitSwitchUnavailable);
  return decodeQuorinPosition(frame, motor);
}

void c_Ordex_setEncoder(int32_t /*handle*/, int8_t encoder, double distancePerCount) {
  if (!isChannel(encoder)) {
    return;
  }
  registry().encoderDistanceScale.at(static_cast<std::size_t>(encoder)) = distancePerCount;
}

double c_Ordex_getEncoderDistance(int32_t handle, int8_t encoder) {
  // Another encoder number has no distance scale.
  if (!isChannel(encoder)) {
    return 0.0;
  }
  const Frame frame = readChannel(handle, Api::EncoderCount, encoder, kEncoderDistanceUnavailable);
  return decodeInt32(frame) * registry().encoderDistanceScale.at(static_cast<std::size_t>(encoder));
}

void c_Ordex_resetEncoder(int32_t handle, int8_t encoder) {
  send(handle, Api::ResetEncoder, channelPayload(encoder));
  logMotorCommand(handle, encoder,
                  [](Motor& log, int64_t now) { log.encoderReset.append(true, now); });
}

double c_Ordex_getEncoderRaw(int32_t handle, int8_t encoder) {
  return decodeInt32(readChannel(handle, Api::EncoderCount, encoder, kEncoderRawUnavailable));
}

double c_Ordex_getEncoderSpeed(int32_t handle, int8_t encoder) {
  // The controller reports encoder speed as the speed of the motor with the same number.
  return decodeHundredths(readChannel(handle, Api::MotorRPM, encoder, kEncoderSpeedUnavailable));
}

int32_t c_Ordex_getEncoderCount(int32_t handle, int8_t encoder) {
  return decodeInt32(readChannel(handle, Api::EncoderCount, encoder, kEncoderRawUnavailable));
}

void c_Ordex_setTargetVelocity(int32_t handle, int8_t motor, float velocity) {
  const Frame payload = targetVelocityPayload(motor, velocity);
  if (sendUnlessAboveThree(handle, motor, Api::TargetVelocity, payload)) {
    logMotorCommand(handle, motor, [&payload](Motor& log, int64_t now) {
      log.targetVelocity.append(decodeTargetVelocity(payload), now);
    });
  }
}

void c_Ordex_setTargetDistance(int32_t handle, int8_t motor, int32_t distance) {
  const Frame payload = targetDistancePayload(motor, distance);
  if (sendUnlessAboveThree(handle, motor, Api::TargetDistance, payload)) {
    logMotorCommand(handle, motor, [&payload](Motor& log, int64_t now) {
      log.targetDistance.append(static_cast<int64_t>(decodeTargetDistance(payload)), now);
    });
  }
}

void c_Ordex_setTargetAngle(int32_t handle, int8_t motor, double angle) {
  const Frame payload = targetAnglePayload(motor, angle);
  if (sendUnlessAboveThree(handle, motor, Api::TargetAngle, payload)) {
    logMotorCommand(handle, motor, [&payload](Motor& log, int64_t now) {
      log.targetAngle.append(decodeChannelHundredths(payload), now);
    });
  }
}

void c_Ordex_setPositionHold(int32_t handle, int8_t motor, bool hold) {
  const Frame payload = positionHoldPayload(motor, hold);
  if (sendUnlessAboveThree(handle, motor, Api::PositionHold, payload)) {
    logMotorCommand(handle, motor, [&payload](Motor& log, int64_t now) {
      log.positionHold.append(decodeChannelFlag(payload), now);
    });
  }
}

void c_Ordex_setEncoderResolution(int32_t handle, int8_t motor, uint16_t resolution) {
  const Frame payload = encoderResolutionPayload(motor, resolution);
  if (sendUnlessAboveThree(handle, motor, Api::EncoderResolution, payload)) {
    logMotorCommand(handle, motor, [&payload](Motor& log, int64_t now) {
      log.encoderResolution.append(static_cast<int64_t>(decodeChannelUint16(payload)), now);
    });
  }
}

void c_Ordex_setCurrentLimit(int32_t handle, int8_t motor, float limit) {
  const Frame payload = currentLimitPayload(motor, limit);
  if (sendUnlessAboveThree(handle, motor, Api::CurrentLimit, payload)) {
    logMotorCommand(handle, motor, [&payload](Motor& log, int64_t now) {
      log.currentLimit.append(decodeChannelHundredths(payload), now);
    });
  }
}

void c_Ordex_setCurrentLimitMode(int32_t handle, int8_t motor, uint8_t mode) {
  const Frame payload = currentLimitModePayload(motor, mode);
  if (sendUnlessAboveThree(handle, motor, Api::CurrentLimitMode, payload)) {
    logMotorCommand(handle, motor, [&payload](Motor& log, int64_t now) {
      log.currentLimitMode.append(static_cast<int64_t>(decodeChannelFlag(payload) ? 1 : 0), now);
    });
  }
}

void c_Ordex_setMotorStopMode(int32_t handle, uint8_t mode) {
  send(handle, Api::MotorStopMode, motorStopModePayload(mode));
  logCommand(handle, [mode](ControllerLog& log, int64_t now) {
    log.stopMode.append(static_cast<int64_t>(mode), now);
  });
}

void c_Ordex_setPIDType(int32_t handle, uint8_t type) {
  if (type <= kMaxPidType) {
    send(handle, Api::PIDType, pidTypePayload(kAllMotors, type));
    logCommand(handle, [type](ControllerLog& log, int64_t now) {
      for (int m = 0; m < kChannelCount; ++m) {
        log.motor(m)->pidType.append(static_cast<int64_t>(type), now);
      }
    });
  }
}

void c_Ordex_setMotorPIDType(int32_t handle, int8_t motor, uint8_t type) {
  if (isChannel(motor) && type <= kMaxPidType) {
    send(handle, Api::PIDType, pidTypePayload(static_cast<uint8_t>(motor), type));
    logMotorCommand(handle, motor, [type](Motor& log, int64_t now) {
      log.pidType.append(static_cast<int64_t>(type), now);
    });
  }
}

void c_Ordex_autotuneAll(int32_t handle) {
  send(handle, Api::AutotuneAll, Frame{});
  logEveryMotor(handle, &Motor::autotune);
}

void c_Ordex_autotuneMotor(int32_t handle, int8_t motor) {
  if (isChannel(motor)) {
    send(handle, Api::AutotuneMotor, channelPayload(motor));
    logMotorCommand(handle, motor, [](Motor& log, int64_t now) { log.autotune.append(true, now); });
  }
}

void c_Ordex_setCANSensorOsDelay(int32_t handle, uint16_t delay) {
  const Frame payload = sensorDelayPayload(delay);
  send(handle, Api::CANSensorOsDelay, payload);
  logCommand(handle, [&payload](ControllerLog& log, int64_t now) {
    log.sensorDelay.append(static_cast<int64_t>(decodeUint16(payload)), now);
  });
}

void c_Ordex_setSensitivity(int32_t handle, int8_t motor, uint8_t sensitivity) {
  if (notAboveThree(motor) && sensitivity <= kMaxSensitivity) {
    send(handle, Api::Sensitivity, sensitivityPayload(motor, sensitivity));
    logMotorCommand(handle, motor, [sensitivity](Motor& log, int64_t now) {
      log.sensitivity.append(static_cast<int64_t>(sensitivity), now);
    });
  }
}

bool c_Ordex_tryGetRPM(int32_t handle, int8_t motor, double* rpm) {
  if (rpm == nullptr) {
    return false;
  }
  *rpm = 0.0;
  return tryReadHundredths(handle, channelApi(Api::MotorRPM, motor), rpm);
}

bool c_Ordex_tryGetTargetRPM(int32_t handle, int8_t motor, double* rpm) {
  if (rpm == nullptr || !isChannel(motor)) {
    return false;
  }
  *rpm = 0.0;
  return tryReadHundredths(handle, channelApi(Api::TargetRPM, motor), rpm);
}

bool c_Ordex_getTargetRPMFromDevice(int32_t handle, double* rpms) {
  if (rpms == nullptr) {
    return false;
  }
  bool allRead = true;
  for (int8_t motor = 0; motor < kChannelCount; ++motor) {
    double* entry = rpms + motor;
    if (!c_Ordex_tryGetTargetRPM(handle, motor, entry)) {
      *entry = 0.0;
      allRead = false;
    }
  }
  return allRead;
}

}  // extern "C"

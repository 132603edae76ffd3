#include "ordex/OrdexFrames.h"

#include <algorithm>

namespace halvern::sim {

namespace msg = halvern::ordex;

void applyOrdexCommand(msg::Api api, const msg::Frame& data, OrdexModel& model,
                       OrdexReport& report) {
  const std::size_t channel = msg::decodeChannel(data);
  if (channel >= model.motors.size()) {
    return;  // every command the model follows names a motor or encoder first
  }
  OrdexMotorModel& motor = model.motors.at(channel);
  switch (api) {
    case msg::Api::MotorSpeed: {
      const msg::MotorSpeedCommand command = msg::decodeMotorSpeed(data);
      motor.commandDuty(std::min<uint8_t>(command.duty, 100) / 100.0, command.forward,
                        command.reverse);
      break;
    }
    case msg::Api::DisableMotor:
      motor.coast();
      break;
    case msg::Api::TargetVelocity:
      motor.commandVelocity(msg::decodeTargetVelocity(data));
      break;
    case msg::Api::ConfigureMotor:
      motor.state.frequency = msg::decodeChannelUint16(data);
      report.lastConfiguredFrequency = motor.state.frequency;
      break;
    case msg::Api::ResetEncoder:
      motor.encoderPosition = 0.0;
      break;
    case msg::Api::EncoderResolution:
      if (const uint16_t resolution = msg::decodeChannelUint16(data); resolution != 0) {
        motor.state.countsPerRevolution = resolution;
      }
      break;
    case msg::Api::CurrentLimit:
      motor.state.currentLimitAmps = msg::decodeChannelHundredths(data);
      break;
    case msg::Api::CurrentLimitMode:
      motor.state.currentLimitEnabled = msg::decodeChannelFlag(data);
      break;
    case msg::Api::TargetDistance:
      motor.state.targetDistance = msg::decodeTargetDistance(data);
      break;
    case msg::Api::TargetAngle:
      motor.state.targetAngleDegrees = msg::decodeChannelHundredths(data);
      break;
    case msg::Api::PositionHold:
      motor.state.positionHold = msg::decodeChannelFlag(data);
      break;
    default:
      break;  // recorded in the log only
  }
}

std::vector<OrdexOutgoingFrame> ordexStatusFrames(const OrdexModel& model,
                                                  const OrdexReport& report, int32_t deviceNumber) {
  std::vector<OrdexOutgoingFrame> frames;
  if (report.statusSilent) {
    return frames;
  }
  const auto perMotor = [deviceNumber](msg::Api first, std::size_t m) {
    return msg::channelMessageId(first, static_cast<int8_t>(m), deviceNumber);
  };
  for (std::size_t m = 0; m < model.motors.size(); ++m) {
    if (report.motorSilent.at(m)) {
      continue;
    }
    const OrdexMotorModel& motor = model.motors.at(m);
    frames.push_back(
        {perMotor(msg::Api::MotorRPM, m), msg::hundredthsPayload(report.rpm(model, m))});
    frames.push_back({perMotor(msg::Api::EncoderCount, m),
                      msg::uint32Payload(static_cast<uint32_t>(motor.encoderCount()))});
    frames.push_back(
        {perMotor(msg::Api::TargetRPM, m),
         msg::hundredthsPayload(report.targetRpmOverride.at(m).value_or(motor.commandedRpm()))});
  }
  const auto id = [deviceNumber](msg::Api api) { return msg::ordexMessageId(api, deviceNumber); };
  frames.push_back(
      {id(msg::Api::FrequencyStatus),
       msg::frequencyPayload(report.frequencyOverride.value_or(report.lastConfiguredFrequency))});
  frames.push_back(
      {id(msg::Api::ControllerTemp), msg::temperaturePayload(report.temperature(model))});
  frames.push_back({id(msg::Api::LimitSwitches), msg::limitSwitchesPayload(report.limitSwitches)});
  frames.push_back(
      {id(msg::Api::QuorinPositions), msg::quorinPositionsPayload(report.quorinHundredths)});
  return frames;
}

std::optional<msg::Frame> ordexIdentityReply(const OrdexIdentity& identity,
                                             IdentityBehaviour behaviour, int32_t deviceNumber) {
  if (behaviour == IdentityBehaviour::Silent) {
    return std::nullopt;
  }
  const uint8_t reported = behaviour == IdentityBehaviour::ZeroDeviceId ? 0
                           : identity.reportedDeviceNumber != 0
                               ? identity.reportedDeviceNumber
                               : static_cast<uint8_t>(deviceNumber);
  return msg::identityReplyPayload({.deviceNumber = reported,
                                    .firmware = identity.firmware,
                                    .hardwareKind = identity.hardwareKind,
                                    .hardwareVersion = identity.hardwareVersion});
}

}  // namespace halvern::sim

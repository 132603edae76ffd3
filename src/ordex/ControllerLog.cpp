#include "ordex/ControllerLog.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <span>
#include <utility>

#include "core/HalPlatform.h"
#include "ordex/ControllerSession.h"
#include "ordex/OrdexBus.h"
#include "ordex/OrdexLogSignals.h"
#include "ordex/OrdexMessages.h"

namespace halvern::ordex {
namespace {

using datalog::EntryType;
using datalog::LogSignal;
namespace name = logged;

// Frames of a 100 ms heartbeat period at the controller's 20 ms status rate (16 a round) fit
// with room for a late turn; older ones would be dropped, not the newest.
constexpr uint32_t kStreamDepth = 256;
constexpr std::size_t kReadChunk = 64;
constexpr int64_t kSilenceUs =
    std::chrono::duration_cast<std::chrono::microseconds>(kStatusSilenceLimit).count();

/** Whether a stream read's frames are valid. */
bool framesValid(int32_t status) { return status == 0 || status == platform::kCanStreamOverrun; }

/** One of the frames the controller sends on its own, at its status rate. */
bool isStatusFrame(const platform::CanFrame& frame) {
  const auto api = apiNumber(messageApi(frame.messageId));
  const auto among = [api](Api first, int32_t count) {
    return api >= apiNumber(first) && api < apiNumber(first) + count;
  };
  return among(Api::QuorinPositions, 1) || among(Api::EncoderCount, kChannelCount) ||
         among(Api::MotorRPM, kChannelCount) || among(Api::LimitSwitches, 1) ||
         among(Api::ControllerTemp, 1) || among(Api::TargetRPM, kChannelCount) ||
         among(Api::FrequencyStatus, 1);
}

}  // namespace

ControllerLog::Motor::Motor(const std::string& device, int m)
    : rpm(device, name::motorSignal(m, name::kRpm), EntryType::kDouble, "rpm"),
      encoder(device, name::motorSignal(m, name::kEncoder), EntryType::kInt64, "counts"),
      targetRpm(device, name::motorSignal(m, name::kTargetRpm), EntryType::kDouble, "rpm"),
      limitSwitches(device, name::motorSignal(m, name::kLimitSwitches), EntryType::kBooleanArray),
      quorinPosition(device, name::motorSignal(m, name::kQuorinPosition), EntryType::kDouble),
      dutyCycle(device, name::motorSignal(m, name::kDutyCycle), EntryType::kDouble),
      disable(device, name::motorSignal(m, name::kDisable), EntryType::kBoolean),
      configuredFrequency(device, name::motorSignal(m, name::kConfiguredFrequency),
                          EntryType::kInt64, "Hz"),
      targetVelocity(device, name::motorSignal(m, name::kTargetVelocity), EntryType::kDouble,
                     "rpm"),
      targetDistance(device, name::motorSignal(m, name::kTargetDistance), EntryType::kInt64,
                     "counts"),
      targetAngle(device, name::motorSignal(m, name::kTargetAngle), EntryType::kDouble, "deg"),
      positionHold(device, name::motorSignal(m, name::kPositionHold), EntryType::kBoolean),
      encoderResolution(device, name::motorSignal(m, name::kEncoderResolution),
                        EntryType::kInt64),
      encoderReset(device, name::motorSignal(m, name::kEncoderReset), EntryType::kBoolean),
      currentLimit(device, name::motorSignal(m, name::kCurrentLimit), EntryType::kDouble, "A"),
      currentLimitMode(device, name::motorSignal(m, name::kCurrentLimitMode), EntryType::kInt64),
      pidType(device, name::motorSignal(m, name::kPidType), EntryType::kInt64),
      sensitivity(device, name::motorSignal(m, name::kSensitivity), EntryType::kInt64),
      autotune(device, name::motorSignal(m, name::kAutotune), EntryType::kBoolean) {}

ControllerLog::ControllerLog(int32_t number, int32_t canBus)
    : deviceNumber(number),
      bus(canBus),
      device(datalog::canDeviceName(name::kFamily, number, canBus)),
      stopMode(device, name::kStopMode, EntryType::kInt64),
      sensorDelay(device, name::kSensorDelay, EntryType::kInt64),
      serialNumber(device, name::kSerialNumber, EntryType::kString),
      temperature(device, name::kTemperature, EntryType::kDouble, "degC"),
      frequency(device, name::kFrequency, EntryType::kInt64, "Hz"),
      connected(device, name::kConnected, EntryType::kBoolean),
      deviceId(device, name::kDeviceId, EntryType::kInt64),
      firmwareVersion(device, name::kFirmwareVersion, EntryType::kString),
      hardware(device, name::kHardware, EntryType::kString),
      hardwareVersion(device, name::kHardwareVersion, EntryType::kInt64) {
  for (std::size_t m = 0; m < motors.size(); ++m) {
    motors.at(m) = std::make_unique<Motor>(device, static_cast<int>(m));
  }
}

// The stream closes before the signals finish their entries (members go in reverse order).
ControllerLog::~ControllerLog() = default;

ControllerLog::Motor* ControllerLog::motor(int channel) {
  return channel >= 0 && channel < kChannelCount ? motors.at(static_cast<std::size_t>(channel)).get()
                                                : nullptr;
}

void ControllerLog::takeStatus(int32_t handle) {
  if (!datalog::dataLogActive()) {
    statusStream.close();
    lastStatusUs = 0;
    return;
  }
  const int64_t openedAt = platform::robotTimeMicros();
  if (!statusStream.isOpen() &&
      statusStream.open(bus, ordexMessageId(Api::DisabledHeartbeat, deviceNumber), kDeviceMask,
                        kStreamDepth) == 0) {
    // Frames from now on: the silence before the first is counted from here.
    lastStatusUs = openedAt;
  }
  if (statusStream.isOpen()) {
    std::array<platform::CanFrame, kReadChunk> frames{};
    uint32_t count = 0;
    do {
      const int32_t status = platform::canReadStream(statusStream.handle(), frames, count);
      if (!framesValid(status)) {
        break;
      }
      // Frames were dropped before these: a gap up to the first is no silence of the controller.
      bool overrun = status == platform::kCanStreamOverrun;
      for (const platform::CanFrame& frame : std::span(frames).first(count)) {
        if (!isStatusFrame(frame)) {
          continue;  // an answer to a request: not what tells the controller is there
        }
        const auto at = std::max<int64_t>(static_cast<int64_t>(frame.timestampUs), 1);
        if (std::exchange(overrun, false)) {
          lastStatusUs = std::max(lastStatusUs, at);
        }
        // A silence longer than the limit between two frames was a drop, however short.
        if (at - lastStatusUs > kSilenceUs) {
          connected.appendChange(false, lastStatusUs + kSilenceUs);
        }
        connected.appendChange(true, at);
        lastStatusUs = std::max(lastStatusUs, at);
        logFrame(frame, at);
      }
    } while (count == kReadChunk);
  }
  const int64_t now = platform::robotTimeMicros();
  if (statusStream.isOpen() && now - lastStatusUs > kSilenceUs) {
    // Disconnected since the silence allowed ran out, not since this turn noticed it.
    connected.appendChange(false, lastStatusUs + kSilenceUs);
  }
  logIdentity(handle, now);
}

void ControllerLog::logFrame(const platform::CanFrame& frame, int64_t at) {
  const Frame& data = frame.data;
  const auto api = apiNumber(messageApi(frame.messageId));
  const auto channelOf = [api](Api first) { return api - apiNumber(first); };
  const auto inChannels = [&](Api first) {
    return api >= apiNumber(first) && channelOf(first) < static_cast<int32_t>(motors.size());
  };
  if (inChannels(Api::MotorRPM)) {
    motors.at(static_cast<std::size_t>(channelOf(Api::MotorRPM)))
        ->rpm.append(decodeHundredths(data), at);
  } else if (inChannels(Api::EncoderCount)) {
    motors.at(static_cast<std::size_t>(channelOf(Api::EncoderCount)))
        ->encoder.append(static_cast<int64_t>(decodeInt32(data)), at);
  } else if (inChannels(Api::TargetRPM)) {
    motors.at(static_cast<std::size_t>(channelOf(Api::TargetRPM)))
        ->targetRpm.append(decodeHundredths(data), at);
  } else if (api == apiNumber(Api::ControllerTemp)) {
    temperature.append(decodeTemperature(data), at);
  } else if (api == apiNumber(Api::FrequencyStatus)) {
    frequency.append(static_cast<int64_t>(decodeUint16(data)), at);
  } else if (api == apiNumber(Api::LimitSwitches)) {
    for (std::size_t m = 0; m < motors.size(); ++m) {
      const auto motorNumber = static_cast<int8_t>(m);
      const std::array<bool, 2> pressed{decodeLimitSwitch(data, motorNumber, false),
                                        decodeLimitSwitch(data, motorNumber, true)};
      motors.at(m)->limitSwitches.append(std::span<const bool>(pressed), at);
    }
  } else if (api == apiNumber(Api::QuorinPositions)) {
    for (std::size_t m = 0; m < motors.size(); ++m) {
      motors.at(m)->quorinPosition.append(decodeQuorinPosition(data, static_cast<int8_t>(m)), at);
    }
  }
}

void ControllerLog::logIdentity(int32_t handle, int64_t now) {
  const auto reply = cachedIdentity(handle);
  if (!reply) {
    return;
  }
  // Once a log: an unchanged identity appends nothing more.
  deviceId.appendChange(static_cast<int64_t>((*reply)[0]), now);
  firmwareVersion.appendChange(firmwareNumber(*reply), now);
  hardware.appendChange(hardwareKindName((*reply)[4]), now);
  hardwareVersion.appendChange(static_cast<int64_t>((*reply)[5]), now);
}

}  // namespace halvern::ordex

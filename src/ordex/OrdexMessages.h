// The Ordex motor controller's CAN message set: identifiers, payload layouts and decoding.
//
// Pure functions only: nothing here touches the bus, so every byte the library puts on the
// wire, and every value it reads off it, can be checked on its own.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "halvern/Ordex.h"

namespace halvern::ordex {

/** Robot CAN layout codes of the controller. */
inline constexpr int32_t kManufacturer = 12;
inline constexpr int32_t kDeviceType = 2;

/** Identifier of API 0 for device 0: device type 2 in bits 28-24, manufacturer 12 in 23-16. */
inline constexpr uint32_t kMessageIdBase = 0x020C0000;
/** Every identifier of one controller: its type, manufacturer and device number, any API. */
inline constexpr uint32_t kDeviceMask = 0x1FFF003F;
/** Every identifier of every controller: its type and manufacturer, any API and device. */
inline constexpr uint32_t kFamilyMask = 0x1FFF0000;

// The public limits (halvern/Ordex.h).
inline constexpr int32_t kMinDeviceNumber = ORDEX_MIN_DEVICE_ID;
inline constexpr int32_t kMaxDeviceNumber = ORDEX_MAX_DEVICE_ID;
inline constexpr int32_t kMinFrequency = ORDEX_MIN_FREQUENCY;
inline constexpr int32_t kMaxFrequency = ORDEX_MAX_FREQUENCY;
inline constexpr int kChannelCount = ORDEX_MOTOR_COUNT;  // motors, encoders, limit-switch pairs

/** Every frame is 8 bytes; bytes a payload does not name are 0. Multi-byte fields are LE. */
using Frame = std::array<uint8_t, 8>;

/** API numbers (bits 15-6 of the identifier) of the messages the library uses. */
enum class Api : int32_t {
  DisabledHeartbeat = 0,
  EnabledHeartbeat = 1,
  MotorSpeed = 2,
  DisableMotor = 3,
  IdentityRequest = 4,
  IdentityReply = 5,
  SerialRequest = 6,
  SerialWord1 = 7,
  SerialWord2 = 8,
  SerialWord3 = 9,
  ConfigureMotor = 10,
  FrequencyStatus = 12,
  ResetEncoder = 13,
  CurrentLimit = 14,
  MotorStopMode = 15,
  TargetVelocity = 16,
  TargetDistance = 17,
  EncoderResolution = 18,
  CurrentLimitMode = 19,
  PIDType = 20,
  AutotuneAll = 21,
  Sensitivity = 22,
  TargetAngle = 23,
  PositionHold = 24,
  CANSensorOsDelay = 26,
  AutotuneMotor = 27,
  QuorinPositions = 36,
  EncoderCount = 37,  // encoders 0-3: 37-40
  MotorRPM = 41,      // motors 0-3: 41-44
  LimitSwitches = 45,
  ControllerTemp = 47,
  TargetRPM = 48,  // motors 0-3: 48-51
};

constexpr int32_t apiNumber(Api api) { return static_cast<int32_t>(api); }

/** The identifier of a message for device 0 (0x020C0000 + API x 64). */
constexpr uint32_t messageBase(Api api) {
  return kMessageIdBase + static_cast<uint32_t>(apiNumber(api)) * 64U;
}

/** The full identifier of a message sent to a device number. */
constexpr uint32_t ordexMessageId(Api api, int32_t deviceNumber) {
  return messageBase(api) + static_cast<uint32_t>(deviceNumber);
}

/**
 * The API number of a per-channel message (EncoderCount, MotorRPM, TargetRPM): channels 1, 2
 * and 3 select the second, third and fourth number; any other value, 0 included, the first.
 */
constexpr int32_t channelApi(Api first, int8_t channel) {
  return apiNumber(first) + ((channel >= 1 && channel <= 3) ? channel : 0);
}

constexpr bool isChannel(int8_t channel) { return channel >= 0 && channel < kChannelCount; }

// --- Payloads sent to the controller --------------------------------------------------------

/** The payload of the messages that carry only a motor or encoder byte. */
Frame channelPayload(int8_t channel);

/**
 * MotorSpeed: speed clamped to -1..1; flags forward/reverse are 1/1 at exactly 0, 1/0 above 0
 * and 0/1 otherwise; duty is |speed| x 100 truncated, 0 to 100.
 */
Frame motorSpeedPayload(int8_t motor, double speed);

/** ConfigureMotor: the low 16 bits of the frequency. */
Frame configureMotorPayload(int8_t motor, int32_t frequency);

/** CurrentLimit: a negative limit becomes 0; limit x 100 in single precision, low 16 bits. */
Frame currentLimitPayload(int8_t motor, float limit);

Frame motorStopModePayload(uint8_t mode);

/** TargetVelocity: velocity x 100 in single precision, rounded half away from zero. */
Frame targetVelocityPayload(int8_t motor, float velocity);

/** TargetDistance: the low 24 bits of the distance. */
Frame targetDistancePayload(int8_t motor, int32_t distance);

Frame encoderResolutionPayload(int8_t motor, uint16_t resolution);

/** CurrentLimitMode: 1 when the mode is nonzero. */
Frame currentLimitModePayload(int8_t motor, uint8_t mode);

inline constexpr uint8_t kAllMotors = 255;
inline constexpr uint8_t kPidTypeMarker = 195;
inline constexpr uint8_t kMaxPidType = ORDEX_MAX_PID_TYPE;
inline constexpr uint8_t kMaxSensitivity = ORDEX_MAX_SENSITIVITY;
inline constexpr uint16_t kMinSensorDelay = 5;

/** PIDType: a motor byte (or kAllMotors), the type, and the marker byte 195. */
Frame pidTypePayload(uint8_t motorByte, uint8_t type);

Frame sensitivityPayload(int8_t motor, uint8_t sensitivity);

/** TargetAngle: degrees clamped to 0..360, x 100 truncated (0 to 36000). */
Frame targetAnglePayload(int8_t motor, double angleDegrees);

Frame positionHoldPayload(int8_t motor, bool hold);

/** CANSensorOsDelay: a delay below 5 is raised to 5. */
Frame sensorDelayPayload(uint16_t delay);

// --- Decoding frames read from the controller -----------------------------------------------

uint16_t decodeUint16(const Frame& frame, std::size_t offset = 0);
uint32_t decodeUint32(const Frame& frame, std::size_t offset = 0);
int32_t decodeInt32(const Frame& frame, std::size_t offset = 0);

/** MotorRPM and TargetRPM: the int32 at bytes 0-3 divided by 100. */
double decodeHundredths(const Frame& frame);

/** ControllerTemp: byte 0 + byte 1 / 100. */
double decodeTemperature(const Frame& frame);

/** LimitSwitches: byte 2 x motor + direction is nonzero. The motor must be 0 to 3. */
bool decodeLimitSwitch(const Frame& frame, int8_t motor, bool direction);

/** QuorinPositions: the uint16 of the motor divided by 100. The motor must be 0 to 3. */
double decodeQuorinPosition(const Frame& frame, int8_t motor);

// --- The controller's side: the twins of the above ---------------------------------------------
// What a controller reads from the frames the library sends, and the frames the library reads,
// as the controller writes them (the simulated controller speaks through these).

/** The API number of an identifier (bits 15-6): the twin of ordexMessageId. */
constexpr Api messageApi(uint32_t id) { return static_cast<Api>((id >> 6U) & 0x3FFU); }

/** The identifier of a per-channel status message (EncoderCount, MotorRPM, TargetRPM). */
constexpr uint32_t channelMessageId(Api first, int8_t channel, int32_t deviceNumber) {
  return ordexMessageId(static_cast<Api>(channelApi(first, channel)), deviceNumber);
}

/** MotorSpeed as sent: the duty byte (0 to 100 from the library) and the direction flags. */
struct MotorSpeedCommand {
  uint8_t duty = 0;
  bool forward = false;
  bool reverse = false;
  bool operator==(const MotorSpeedCommand&) const = default;
};
MotorSpeedCommand decodeMotorSpeed(const Frame& frame);

/** The motor or encoder byte that leads every per-channel command. */
constexpr uint8_t decodeChannel(const Frame& frame) { return frame[0]; }
/** ConfigureMotor and EncoderResolution: the uint16 after the channel. */
uint16_t decodeChannelUint16(const Frame& frame);
/** TargetVelocity: the int32 after the channel, divided by 100. */
double decodeTargetVelocity(const Frame& frame);
/** CurrentLimit and TargetAngle: the uint16 after the channel, divided by 100. */
double decodeChannelHundredths(const Frame& frame);
/** TargetDistance: the 24 bits after the channel, sign-extended. */
int32_t decodeTargetDistance(const Frame& frame);
/** CurrentLimitMode and PositionHold: the byte after the channel is nonzero. */
constexpr bool decodeChannelFlag(const Frame& frame) { return frame[1] != 0; }

/** What an IdentityReply says. */
struct Identity {
  uint8_t deviceNumber = 0;  // 0: no valid reply
  std::array<uint8_t, 3> firmware{};
  uint8_t hardwareKind = 0;
  uint8_t hardwareVersion = 0;
};
Frame identityReplyPayload(const Identity& identity);

/** SerialWord1 to 3 and EncoderCount: the 32 bits at bytes 0-3. */
Frame uint32Payload(uint32_t value);
/** MotorRPM and TargetRPM: the value x 100, rounded and saturated to int32 (NaN as 0). */
Frame hundredthsPayload(double value);
/** FrequencyStatus: the uint16 at bytes 0-1. */
Frame frequencyPayload(uint16_t hertz);
/** ControllerTemp: whole degrees, then hundredths, each a byte: 0 to 255.99 (NaN as 0). */
Frame temperaturePayload(double celsius);
/** LimitSwitches: motor m, direction d pressed at byte 2m + d. */
Frame limitSwitchesPayload(const std::array<bool, 2 * kChannelCount>& pressed);
/** QuorinPositions: each motor's position in hundredths, a uint16 each. */
Frame quorinPositionsPayload(const std::array<uint16_t, kChannelCount>& hundredths);

// --- Identity and serial number texts -------------------------------------------------------

/** Byte 0 of an IdentityReply: the controller's own device number; 0 means no valid reply. */
constexpr bool isValidIdentity(const Frame& reply) { return reply[0] != 0; }

/** "a.b.c" from bytes 1 to 3 of an IdentityReply. */
std::string firmwareNumber(const Frame& reply);
/** "Firmware Version: [a.b.c]" from bytes 1 to 3 of an IdentityReply. */
std::string firmwareVersionText(const Frame& reply);
inline constexpr const char* kFirmwareReadFailed = "Firmware Version: (read failed)";

/** The name of hardware kind 1 ("Ordex Quad") or 2 ("Ordex Small"); empty for another. */
std::string_view hardwareKindName(uint8_t kind);
/** The kind named `name` by hardwareKindName; 0 for none. */
uint8_t hardwareKindNamed(std::string_view name);

/** "Hardware: <kind>, Version: <n>" from bytes 4 and 5, or "No Hardware Found!". */
std::string hardwareVersionText(const Frame& reply);
inline constexpr const char* kHardwareReadFailed = "Hardware: (read failed)";

/** Three serial words as 8 uppercase hex digits each, joined by hyphens. */
std::string serialNumberText(const std::array<uint32_t, 3>& words);

}  // namespace halvern::ordex

// Ordex four-motor controller on the CAN bus: the C face of HalvernDriver.
//
// A controller is created under its CAN device number and referred to by the CAN handle that
// creation returns (0 means failure). While it exists the library tells it ten times a second
// whether the robot is enabled. Destroy every controller before unloading the library.
#pragma once

#include <cstdint>
#include <string>

#include "halvern/Export.h"

/** The limits of the controller's arguments, shared by every face of the library. */
enum OrdexLimit : int32_t {
  ORDEX_MIN_DEVICE_ID = 1,      // lowest CAN device number
  ORDEX_MAX_DEVICE_ID = 63,     // highest CAN device number
  ORDEX_MIN_FREQUENCY = 0,      // lowest motor PWM frequency, Hz
  ORDEX_MAX_FREQUENCY = 20000,  // highest motor PWM frequency, Hz
  ORDEX_MOTOR_COUNT = 4,        // motors, encoders and limit-switch pairs, numbered from 0
  ORDEX_MAX_PID_TYPE = 2,       // PID types run from 0
  ORDEX_MAX_SENSITIVITY = 10,   // sensitivities run from 0
};

/**
 * How long the controller may stay silent and still read connected. It sends its status frames
 * every 20 ms; five missed rounds mean it is gone (unplugged, powered off, or its bus cut).
 */
enum OrdexConnection : int32_t {
  ORDEX_CONNECTION_SILENCE_MS = 100,
};

/** Room for an identity text of OrdexIdentityInfo, its terminating NUL included. */
enum OrdexIdentityTextSize : int32_t {
  ORDEX_IDENTITY_TEXT_CAPACITY = 48,
};

/** What the controller answered when asked who it is (see c_Ordex_tryGetIdentity). */
struct OrdexIdentityInfo {
  /** The device number the controller reports of itself, 1 to 255 (never 0). */
  int32_t deviceId;
  /** Firmware version major.minor.patch. */
  uint8_t firmwareMajor;
  uint8_t firmwareMinor;
  uint8_t firmwarePatch;
  /** 1 Ordex Quad, 2 Ordex Small; any other value is a kind the library does not know. */
  uint8_t hardwareKind;
  /** The hardware version of that kind. */
  uint8_t hardwareVersion;
  /** The text c_Ordex_getFirmwareVersion gives, "Firmware Version: [a.b.c]", NUL-terminated. */
  char firmwareText[ORDEX_IDENTITY_TEXT_CAPACITY];
  /** The text c_Ordex_getHardwareVersion gives, for example "Hardware: Ordex Quad, Version: 3"
   *  or "No Hardware Found!", NUL-terminated. */
  char hardwareText[ORDEX_IDENTITY_TEXT_CAPACITY];
};

/** One reading of the controller with the moment it arrived (see c_Ordex_readRPM). */
struct OrdexReading {
  /** The reading, in the unit of the matching get function; 0 when `received` is false. */
  double value;
  /** When the frame carrying it was received, in microseconds on the robot's clock (the time
   *  base of HAL_GetFPGATime; WPILib 2027's monotonic time); 0 when `received` is false. */
  int64_t timestampUs;
  /** True when the controller has sent this reading at least once. */
  bool received;
};

extern "C" {

/**
 * Creates a controller on device number 1 to 63 with a motor PWM frequency of 0 to 20000 Hz.
 * Returns its CAN handle, or 0 after printing why on standard output.
 */
HALVERN_API int32_t c_Ordex_create(int32_t deviceId, int32_t frequency);

/**
 * As c_Ordex_create, for a controller on CAN bus `bus` of the robot controller; everything
 * the library sends to it or reads from it (heartbeat included) goes over that bus, so
 * controllers with the same device number on two buses are two controllers. c_Ordex_create
 * is this on bus 0. The buses a platform has: WPILib 2027 0 to 5, WPILib 2026 only 0. Another
 * bus prints "CAN bus out of range [0;<highest bus>]" on standard output, sends nothing and
 * returns 0 (checked after the device number and the frequency).
 */
HALVERN_API int32_t c_Ordex_createOnBus(int32_t bus, int32_t deviceId, int32_t frequency);

/** The CAN bus of the controller `handle`; -1 when the handle is not a live controller. */
HALVERN_API int32_t c_Ordex_getCanBus(int32_t handle);

/** Stops the controller's heartbeat, forgets it and releases its CAN handle. */
HALVERN_API void c_Ordex_destroy(int32_t handle);

/**
 * The device number the controller reports of itself; 0 when it does not answer. The first
 * identity call on a handle (this one or the two texts below) asks the controller and waits for
 * its answer, up to about 1 s (plus at most 225 ms when a background fetch is mid-attempt, see
 * c_Ordex_requestIdentity); later ones are served from memory. Not for a robot's periodic loop:
 * use c_Ordex_requestIdentity and c_Ordex_tryGetIdentity there.
 */
HALVERN_API int32_t c_Ordex_getID(int32_t handle);

/** "Firmware Version: [a.b.c]", or "Firmware Version: (read failed)". Waits as c_Ordex_getID. */
HALVERN_API std::string c_Ordex_getFirmwareVersion(int32_t handle);

/**
 * "Hardware: Ordex Quad, Version: n", "No Hardware Found!" or "Hardware: (read failed)". Waits
 * as c_Ordex_getID.
 */
HALVERN_API std::string c_Ordex_getHardwareVersion(int32_t handle);

/** The motor PWM frequency the controller reports (0 when it never reported). */
HALVERN_API int32_t c_Ordex_getFrequency(int32_t handle);

/**
 * The controller's serial number as three groups of 8 hex digits joined by hyphens. Asks the
 * controller and waits 10 ms; a group that did not arrive in time reads 00000000. Not for a
 * robot's periodic loop.
 */
HALVERN_API std::string c_Ordex_getSerialNumber(int32_t handle);

/**
 * The three identity texts above for C callers, and for programs built with another compiler
 * (which cannot take a std::string across the library's boundary): each writes its text into
 * `buffer` (always NUL-terminated when `capacity` is positive, truncated if it does not fit)
 * and returns the text's full length.
 */
HALVERN_API int32_t c_Ordex_copyFirmwareVersion(int32_t handle, char* buffer, int32_t capacity);
HALVERN_API int32_t c_Ordex_copyHardwareVersion(int32_t handle, char* buffer, int32_t capacity);
HALVERN_API int32_t c_Ordex_copySerialNumber(int32_t handle, char* buffer, int32_t capacity);

/** Controller temperature in degrees Celsius. */
HALVERN_API double c_Ordex_getControllerTemp(int32_t handle);

/** Duty cycle -1 to 1 (clamped) for motor 0 to 3; 0 brakes. */
HALVERN_API void c_Ordex_setMotorSpeed(int32_t handle, int8_t motor, double speed);

/** Sends the motor PWM frequency (its low 16 bits) to one motor. */
HALVERN_API void c_Ordex_configureMotor(int32_t handle, int8_t motor, int32_t frequency);

HALVERN_API void c_Ordex_disableMotor(int32_t handle, int8_t motor);

/** Motor speed in revolutions per minute. */
HALVERN_API double c_Ordex_getRPM(int32_t handle, int8_t motor);

/** One limit switch of a motor 0 to 3: direction false is the first, true the second. */
HALVERN_API bool c_Ordex_getLimitSwitch(int32_t handle, int8_t motor, bool direction);

HALVERN_API double c_Ordex_getQuorinPosition(int32_t handle, int8_t motor);

/** Sets the distance per encoder count of encoder 0 to 3, for every controller. */
HALVERN_API void c_Ordex_setEncoder(int32_t handle, int8_t encoder, double distancePerCount);

/** Encoder count times the encoder's distance per count. */
HALVERN_API double c_Ordex_getEncoderDistance(int32_t handle, int8_t encoder);

HALVERN_API void c_Ordex_resetEncoder(int32_t handle, int8_t encoder);

HALVERN_API double c_Ordex_getEncoderRaw(int32_t handle, int8_t encoder);

/** The speed of the motor with the encoder's number, in revolutions per minute. */
HALVERN_API double c_Ordex_getEncoderSpeed(int32_t handle, int8_t encoder);

HALVERN_API int32_t c_Ordex_getEncoderCount(int32_t handle, int8_t encoder);

/** Velocity target in revolutions per minute, sent in hundredths. */
HALVERN_API void c_Ordex_setTargetVelocity(int32_t handle, int8_t motor, float velocity);

/** Distance target in encoder counts (24 bits are sent). */
HALVERN_API void c_Ordex_setTargetDistance(int32_t handle, int8_t motor, int32_t distance);

/** Angle target in degrees, clamped to 0 to 360. */
HALVERN_API void c_Ordex_setTargetAngle(int32_t handle, int8_t motor, double angle);

HALVERN_API void c_Ordex_setPositionHold(int32_t handle, int8_t motor, bool hold);

HALVERN_API void c_Ordex_setEncoderResolution(int32_t handle, int8_t motor, uint16_t resolution);

/** Current limit in amperes; a negative limit becomes 0. */
HALVERN_API void c_Ordex_setCurrentLimit(int32_t handle, int8_t motor, float limit);

HALVERN_API void c_Ordex_setCurrentLimitMode(int32_t handle, int8_t motor, uint8_t mode);

HALVERN_API void c_Ordex_setMotorStopMode(int32_t handle, uint8_t mode);

/** PID type 0 to 2 for every motor. */
HALVERN_API void c_Ordex_setPIDType(int32_t handle, uint8_t type);

/** PID type 0 to 2 for motor 0 to 3. */
HALVERN_API void c_Ordex_setMotorPIDType(int32_t handle, int8_t motor, uint8_t type);

HALVERN_API void c_Ordex_autotuneAll(int32_t handle);

HALVERN_API void c_Ordex_autotuneMotor(int32_t handle, int8_t motor);

/** CAN sensor delay; values below 5 are raised to 5. */
HALVERN_API void c_Ordex_setCANSensorOsDelay(int32_t handle, uint16_t delay);

/** Sensitivity 0 to 10. */
HALVERN_API void c_Ordex_setSensitivity(int32_t handle, int8_t motor, uint8_t sensitivity);

/** Motor speed in RPM if the controller ever reported it; false (and 0.0) otherwise. */
HALVERN_API bool c_Ordex_tryGetRPM(int32_t handle, int8_t motor, double* rpm);

/** Target speed of motor 0 to 3 in RPM if the controller reported it. */
HALVERN_API bool c_Ordex_tryGetTargetRPM(int32_t handle, int8_t motor, double* rpm);

/** Target speeds of all four motors; false when any is missing (missing ones read 0.0). */
HALVERN_API bool c_Ordex_getTargetRPMFromDevice(int32_t handle, double* rpms);

// --- Calls that never wait -----------------------------------------------------------------
//
// A robot loop can make these calls every pass: none waits for the controller or the bus.

/**
 * Starts asking the controller for its identity in the background, unless the answer is
 * already known or a background fetch already runs. Never waits.
 *
 * The fetch sends the same request, and waits the same times for the reply, as the first
 * identity call above (eight attempts, about 1 s); it prints nothing. A controller that has not
 * answered by then is asked again once a second until it answers or the controller is
 * destroyed, so one powered on later is still identified. Whichever of the fetch and an
 * identity call above gets the answer first stores it, and both serve it from then on. The two
 * never ask at the same time: an identity call made during a fetch first waits for the fetch's
 * attempt in progress (at most 225 ms more) and for none of its later ones.
 *
 * @return true when the identity is known or is being fetched; false for a handle that is not
 *     a controller's, or when no thread could be started
 */
HALVERN_API bool c_Ordex_requestIdentity(int32_t handle);

/**
 * The controller's identity, if it has answered (to a background fetch or an identity call
 * above). Never waits and never asks the controller.
 *
 * @return true with `identity` filled; false, with `identity` zeroed, until the answer came, for
 *     a handle that is not a controller's, or when `identity` is null
 */
HALVERN_API bool c_Ordex_tryGetIdentity(int32_t handle, OrdexIdentityInfo* identity);

/**
 * True while the controller's status frames keep arriving: the newest one the library holds
 * was received no more than ORDEX_CONNECTION_SILENCE_MS (100 ms) ago on the robot's clock.
 * Judged from the controller's temperature frame, which it sends with every round of status
 * frames, and from every frame the reads below returned. False for a handle that is not a
 * controller's. Never waits.
 */
HALVERN_API bool c_Ordex_isConnected(int32_t handle);

/**
 * The timestamped readings: each takes the newest frame of its kind the controller sent, once,
 * as the get functions above do, and fills `reading` with the value and the frame's receive
 * time (all zero, `received` false, when none ever arrived or a motor, encoder or direction is
 * outside 0 to 3). Each returns `reading`, or null when it is null. Never waits.
 */

/** Motor speed in revolutions per minute (as c_Ordex_getRPM), motor 0 to 3. */
HALVERN_API OrdexReading* c_Ordex_readRPM(int32_t handle, int8_t motor, OrdexReading* reading);

/** Target speed in revolutions per minute (as c_Ordex_tryGetTargetRPM), motor 0 to 3. */
HALVERN_API OrdexReading* c_Ordex_readTargetRPM(int32_t handle, int8_t motor,
                                                OrdexReading* reading);

/** Encoder count (as c_Ordex_getEncoderCount), encoder 0 to 3. */
HALVERN_API OrdexReading* c_Ordex_readEncoderCount(int32_t handle, int8_t encoder,
                                                   OrdexReading* reading);

/** Encoder count times the encoder's distance per count (as c_Ordex_getEncoderDistance). */
HALVERN_API OrdexReading* c_Ordex_readEncoderDistance(int32_t handle, int8_t encoder,
                                                      OrdexReading* reading);

/** Controller temperature in degrees Celsius (as c_Ordex_getControllerTemp). */
HALVERN_API OrdexReading* c_Ordex_readControllerTemp(int32_t handle, OrdexReading* reading);

/** Motor PWM frequency in hertz the controller reports (as c_Ordex_getFrequency). */
HALVERN_API OrdexReading* c_Ordex_readFrequency(int32_t handle, OrdexReading* reading);

/** Quorin position of motor 0 to 3 (as c_Ordex_getQuorinPosition). */
HALVERN_API OrdexReading* c_Ordex_readQuorinPosition(int32_t handle, int8_t motor,
                                                     OrdexReading* reading);

/** One limit switch of motor 0 to 3 (as c_Ordex_getLimitSwitch): value 1 pressed, 0 not. */
HALVERN_API OrdexReading* c_Ordex_readLimitSwitch(int32_t handle, int8_t motor, bool direction,
                                                  OrdexReading* reading);

}  // extern "C"

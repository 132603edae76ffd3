// Iridel colour sensor on CAN or USB serial: the C face of HalvernDriver.
//
// A sensor is created on one transport and referred to by the handle creation returns (null
// on failure); destroy it with c_Iridel_destroy. Every function accepts a null handle and then
// answers false, an invalid sample or -1, touching nothing.
#pragma once

#include <cstdint>

#include "halvern/Export.h"

/** The limits of the sensor's arguments, shared by every face of the library. */
enum IridelLimit : int32_t {
  IRIDEL_MIN_CAN_ID = 0,
  IRIDEL_MAX_CAN_ID = 63,
  IRIDEL_MAX_SAMPLE_TIME_MS = 65535,  // sample times run from 0
  IRIDEL_MAX_LEVEL = 100,             // brightness and status LED levels run from 0
  IRIDEL_MAX_MEASURE_MODE = 2,        // modes run from 0; the highest takes the parameter
  IRIDEL_MAX_CONFIG_KEY = 255,        // configuration keys run from 0
};

/** One colour sample. When `valid` is false there is no sample and every other field is 0. */
struct ColorData {
  uint16_t sequence;  // sample counter, wraps at 65535
  float x;
  float y;
  float z;
  bool valid;
};

/**
 * One colour sample with the time it was received: what c_Iridel_getLatestColor fills. When
 * `valid` is false there is no sample yet and every other field is 0.
 */
struct IridelReading {
  uint16_t sequence;  // sample counter, wraps at 65535
  float x;
  float y;
  float z;
  bool valid;
  // When the sample was received, in microseconds on the robot's clock (the time base of
  // HAL_GetFPGATime): on CAN the stamp of its colour frame, on USB the moment its line's last
  // bytes arrived. 0 when there is no sample.
  int64_t timestampUs;
};

extern "C" {

/** A sensor on the CAN bus with CAN ID 0 to 63. */
HALVERN_API void* c_Iridel_create(int canId);

/**
 * As c_Iridel_create, for a sensor on CAN bus `bus` of the robot controller: its stream session,
 * commands and replies are on that bus, so sensors with the same CAN ID on two buses are two
 * sensors. c_Iridel_create is this on bus 0. The buses a platform has: WPILib 2027 0 to 5,
 * WPILib 2026 only 0. Another bus prints "[Iridel] CAN bus <bus> is out of range (0 - <highest
 * bus>)" on standard output, sends nothing and returns null (checked after the CAN ID).
 */
HALVERN_API void* c_Iridel_createOnBus(int32_t bus, int canId);

/**
 * A sensor on a USB serial port (see FindDevicePath). A sample time above 0 ms is sent to the
 * sensor. Null when the path is null or the port cannot be opened.
 */
HALVERN_API void* c_Iridel_createUsb(const char* portPath, int sampleTimeMs);

/** Stops the sensor's reader, closes its port or CAN session and frees it; null is ignored. */
HALVERN_API void c_Iridel_destroy(void* handle);

/**
 * The latest sample: fills `out` and returns it. Never waits. On USB the reader's latest
 * sample, the same again until a newer line arrives. On CAN each colour frame once: the newest
 * frame received since the previous c_Iridel_getColor, or an invalid sample when none was. A
 * frame that c_Iridel_getLatestColor or c_Iridel_isConnected took in between still counts as
 * not yet returned here: the calls share the frames the library holds and take none from each
 * other. While the library logs into a data log, a thread of the sensor's takes each CAN frame
 * as it arrives (and logs it), and the calls return what it took.
 */
HALVERN_API ColorData* c_Iridel_getColor(void* handle, ColorData* out);

/**
 * The newest sample the library holds, with its timestamp: fills `out` and returns it. Never
 * waits. On USB the reader's latest sample; on CAN the newest colour frame received (taking one
 * that arrived since the last look), the same again until a newer one arrives. Invalid (all 0)
 * before the first sample.
 */
HALVERN_API IridelReading* c_Iridel_getLatestColor(void* handle, IridelReading* out);

/**
 * Whether the sensor is connected: true while its colour frames or replies (CAN), or its
 * lines (USB), keep arriving; false before anything arrived and once it has been silent for
 * longer than four sample times, at least 100 ms and at most 250 ms (250 ms while the library
 * does not know the sample time: one given at creation on USB, or set through
 * c_Iridel_setSampleTimeMs, is known). A sensor set to sample less often than every 250 ms
 * reads disconnected between its samples. False for a null handle. Never waits (on CAN it
 * takes a colour frame that arrived, as c_Iridel_getLatestColor does).
 */
HALVERN_API bool c_Iridel_isConnected(void* handle);

// Settings. On CAN each waits up to 500 ms for the sensor's reply: not for a robot's periodic
// loop. On USB they write a line and return.

/** Format 0 RGB, 1 RAW, 2 SRGB, 3 HEX, 4 XYZ; false for another number or without a reply. */
HALVERN_API bool c_Iridel_setColorFormat(void* handle, int format);

/** Sample time in ms, clamped to 0 to 65535. */
HALVERN_API bool c_Iridel_setSampleTimeMs(void* handle, int milliseconds);

// CAN only: on a USB sensor these return false at once.

/** Brightness 0 to 100 (clamped). */
HALVERN_API bool c_Iridel_setBrightness(void* handle, int level);
HALVERN_API bool c_Iridel_setStatusLed(void* handle, bool enable, int level);
/** Mode 0, 1 or 2; the parameter is sent in mode 2 only. */
HALVERN_API bool c_Iridel_setMeasureMode(void* handle, int mode, float parameter);
HALVERN_API bool c_Iridel_setZmm(void* handle, float value);
HALVERN_API bool c_Iridel_setUsbOverride(void* handle, bool on);
/** Sends the sensor a new CAN ID; this handle keeps reporting the one it was created with. */
HALVERN_API bool c_Iridel_setCanId(void* handle, int newId);
/** Reads one configuration value of the sensor. */
HALVERN_API bool c_Iridel_getConfig(void* handle, int key, uint32_t* value);

/** The CAN ID given at creation, or -1 for a USB sensor. */
HALVERN_API int c_Iridel_getCanID(void* handle);

/** The CAN bus given at creation, or -1 for a USB sensor (and for a null handle). */
HALVERN_API int c_Iridel_getCanBus(void* handle);

/** 0 for CAN, 1 for USB. */
HALVERN_API int c_Iridel_getTransport(void* handle);

}  // extern "C"

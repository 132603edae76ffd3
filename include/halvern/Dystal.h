// Dystal multi-zone distance sensor on CAN or USB serial: the C face of HalvernDriver.
//
// A sensor is created on one transport and referred to by the handle creation returns (null
// on failure); destroy it with c_Dystal_destroy. Every function accepts a null handle and then
// answers an empty reading, an invalid configuration or -1, touching nothing.
#pragma once

#include <cstdint>

#include "halvern/Export.h"

/** The most distances one reading holds (an 8x8 grid of zones). */
#define DYSTAL_MAX_DISTANCES 64  // NOLINT(cppcoreguidelines-macro-usage): a C array bound

/** The limits of the sensor's arguments, shared by every face of the library. */
enum DystalLimit : int32_t {
  DYSTAL_MIN_CAN_ID = 0,
  DYSTAL_MAX_CAN_ID = 63,
};

/**
 * One reading of up to 64 distances, as the sensor sends them. An empty reading has every
 * field 0.
 */
struct DystalScanData {
  uint8_t sequence;  // sequence number of the sensor's frame the distances come from
  int32_t count;     // number of meaningful entries in `distance`
  // -1 marks a zone for which nothing was received. Entries beyond the requested count are 0.
  int16_t distance[DYSTAL_MAX_DISTANCES];
};

/**
 * One reading with the time it was received: what c_Dystal_getLatest fills. An empty reading
 * (none received yet) has every field 0.
 */
struct DystalReading {
  uint8_t sequence;  // sequence number of the sensor's frame the distances come from
  int32_t count;     // number of meaningful entries in `distance`
  // -1 marks a zone for which nothing was received. Entries beyond the requested count are 0.
  int16_t distance[DYSTAL_MAX_DISTANCES];
  // When the reading was received, in microseconds on the robot's clock (the time base of
  // HAL_GetFPGATime): on CAN the stamp of the frame that completed it, on USB the moment its
  // last bytes arrived. 0 when there is no reading.
  int64_t timestampUs;
};

/** The sensor's configuration; all zero (`valid` 0) when it could not be read. */
struct DystalConfig {
  uint8_t version;
  uint8_t distanceEnabled;  // flags: non-zero means on
  uint8_t canFdEnabled;
  uint8_t canBrsEnabled;
  uint8_t canID;
  uint8_t valid;  // 1 when the record was filled
};

extern "C" {

/** A sensor on the CAN bus with CAN ID 0 to 63; null (after printing why) on failure. */
HALVERN_API void* c_Dystal_create(int canId);

/**
 * As c_Dystal_create, for a sensor on CAN bus `bus` of the robot controller: its stream session,
 * commands and replies are on that bus, so sensors with the same CAN ID on two buses are two
 * sensors. c_Dystal_create is this on bus 0. The buses a platform has: WPILib 2027 0 to 5,
 * WPILib 2026 only 0. Another bus prints "[Dystal] CAN bus <bus> is out of range (0 - <highest
 * bus>)" on standard output, sends nothing and returns null (checked after the CAN ID).
 */
HALVERN_API void* c_Dystal_createOnBus(int32_t bus, int canId);

/**
 * A sensor on a USB serial port (see FindDevicePath), switched to binary output. An output
 * data rate above 0 is sent to the sensor. Null when the path is null or the port cannot be
 * opened. Creation takes about 1.25 s against a sensor that is streaming (up to about 1.33 s),
 * about 0.32 s against a silent one, and never more than about 2 s.
 */
HALVERN_API void* c_Dystal_createUsb(const char* portPath, int outputDataRate);

/** Stops the sensor's reader, closes its port or CAN session and frees it; null is ignored. */
HALVERN_API void c_Dystal_destroy(void* handle);

/**
 * The latest reading, up to `count` distances (clamped to 64): fills `out` and returns it.
 * On USB it returns at once. On CAN it gathers the reading's frames for about 24 ms - unless
 * the sensor's readings are gathered in the background (c_Dystal_startGathering, once
 * c_Dystal_getLatest or c_Dystal_isConnected was called, or while the library logs into a data
 * log, which takes each reading as it is completed): then it reads no frames itself and
 * returns the newest reading the background gathering completed, the same one again until a
 * newer one is complete, waiting up to about 24 ms for the first one (empty if none comes).
 */
HALVERN_API DystalScanData* c_Dystal_getData(void* handle, DystalScanData* out, int count);

/**
 * Starts gathering a CAN sensor's readings in the background, on a thread of its own that
 * reads the chunk frames as they arrive and completes each reading the moment its last chunk
 * arrives (or the next reading's first one, or a pause of 4 ms in the chunks). Readings
 * completed so are then what c_Dystal_getLatest and c_Dystal_getData return. Calling it again
 * does nothing. True when readings are gathered in the background (on a USB sensor always, by
 * its reader); false for a null handle. Never waits.
 */
HALVERN_API bool c_Dystal_startGathering(void* handle);

/**
 * The latest reading with its timestamp, up to `count` distances (clamped to 64; 0 or below:
 * an empty reading): fills `out` and returns it. Never waits: it copies what the library holds,
 * the same reading again until a newer one arrives, and an empty reading before the first.
 * On CAN it starts the background gathering (c_Dystal_startGathering) if it does not run yet.
 * The distances follow the rules of c_Dystal_getData.
 */
HALVERN_API DystalReading* c_Dystal_getLatest(void* handle, DystalReading* out, int count);

/**
 * Whether the sensor is connected: true while its frames (CAN) or bytes (USB) keep arriving,
 * false once it has been silent for more than 250 ms (about four of its periods at 15 readings
 * a second), and before anything arrived. False for a null handle. Never waits. On CAN it
 * starts the background gathering (c_Dystal_startGathering) if it does not run yet.
 */
HALVERN_API bool c_Dystal_isConnected(void* handle);

/**
 * Asks the sensor for its configuration, waiting up to `timeoutMs` (on USB, 0 waits 500 ms):
 * fills `out`, returns it. It waits for the reply: not for a robot's periodic loop.
 */
HALVERN_API DystalConfig* c_Dystal_getConfig(void* handle, DystalConfig* out, int timeoutMs);

/** The CAN ID given at creation, or -1 for a USB sensor. */
HALVERN_API int c_Dystal_getCanID(void* handle);

/** The CAN bus given at creation, or -1 for a USB sensor (and for a null handle). */
HALVERN_API int c_Dystal_getCanBus(void* handle);

/** 0 for CAN, 1 for USB. */
HALVERN_API int c_Dystal_getTransport(void* handle);

}  // extern "C"

// LidarMini 360-degree scanning laser range finder on a USB serial port: the C face of
// HalvernDriver.
//
// A lidar is created on a serial port and referred to by the pointer creation returns (null on
// failure); destroy it with c_LidarMini_destroy. Every function accepts a null pointer and then
// does nothing, answering an all-zero record or an empty revolution.
#pragma once

#include <cstdint>
#include <vector>

#include "halvern/Export.h"

/** The scan frequencies the lidar is stepped between, in revolutions a second. */
enum LidarMiniLimit : int32_t {
  LIDARMINI_MIN_FREQUENCY_HZ = 6,  // also the frequency after creation
  LIDARMINI_MAX_FREQUENCY_HZ = 12,
};

/** The lidar's identity; all zero when it could not be read. */
struct LidarInfo {
  uint8_t model;
  uint16_t firmwareVersion;
  uint8_t hardwareVersion;
  uint8_t serialnum[16];  // raw bytes, not a NUL-terminated text
};

/** The lidar's health; all zero when it could not be read. */
struct LidarHealth {
  uint8_t status;
  uint16_t errorCode;
};

/** One measured point. */
struct LidarMiniScanPoint {
  float angle;      // degrees, 0 up to 360
  float distance;   // metres; -1 for a sample the lidar marked invalid or out of range
  float intensity;  // 0 to 255
};

/** One whole revolution. */
struct LidarMiniScanFrame {
  int64_t timestamp;  // steady-clock nanoseconds when the revolution began; 0 when there is none
  std::vector<LidarMiniScanPoint> points;
};

/** The robot-clock times of one revolution's packets. */
struct LidarMiniScanTimes {
  /**
   * When the revolution's first packet (its start packet) arrived, in microseconds on the
   * robot's clock (the time base of HAL_GetFPGATime); 0 when there is no revolution.
   */
  int64_t firstPacketUs;
  /** When its last packet arrived, on the same clock; at least firstPacketUs; 0 when none. */
  int64_t lastPacketUs;
};

/** A scanning lidar whose packets stop for this long reads disconnected. */
#define LIDARMINI_CONNECTION_SILENCE_MS 100  // NOLINT(cppcoreguidelines-macro-usage): shared with C

extern "C" {

/**
 * A lidar on the first serial port found, or on the second when `port` is 3 (see
 * FindDevicePath); null when the port cannot be opened. It is told to stop scanning.
 */
HALVERN_API void* c_LidarMini_create(int port);

/** Stops the scan thread, closes the port and frees the lidar; null is ignored. */
HALVERN_API void c_LidarMini_destroy(void* lidar);

/**
 * Starts scanning; revolutions then come from c_LidarMini_getData. Waits about 300 ms to see
 * the lidar's first bytes: not for the robot's periodic loop.
 */
HALVERN_API void c_LidarMini_start(void* lidar);

/**
 * Stops scanning; c_LidarMini_getData is empty until the next start's first revolution. Waits
 * for the scan thread to end (a few milliseconds): not for the robot's periodic loop.
 */
HALVERN_API void c_LidarMini_stop(void* lidar);

/** Raises the scan frequency by 1 Hz (`big`) or 0.1 Hz, up to 12 Hz. */
HALVERN_API void c_LidarMini_increaseFrequency(void* lidar, bool big);

/** Lowers the scan frequency by 1 Hz (`big`) or 0.1 Hz, down to 6 Hz. */
HALVERN_API void c_LidarMini_decreaseFrequency(void* lidar, bool big);

/**
 * Asks the lidar for its identity (best while it is not scanning). Waits up to 4 s for the
 * reply (2 s for its descriptor, 2 s for its payload): not for the robot's periodic loop.
 */
HALVERN_API LidarInfo c_LidarMini_getInfo(void* lidar);

/** Asks the lidar for its health (best while it is not scanning). Waits as c_LidarMini_getInfo
 *  does: not for the robot's periodic loop. */
HALVERN_API LidarHealth c_LidarMini_getHealth(void* lidar);

/**
 * The latest whole revolution, as a copy. It holds a std::vector: for callers built with
 * another compiler or standard library, c_LidarMini_copyData gives the same data in arrays.
 */
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"  // meant for C++ callers
#endif
HALVERN_API LidarMiniScanFrame c_LidarMini_getData(void* lidar);
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

/**
 * The latest whole revolution copied into the caller's arrays: up to `capacity` points, each
 * array (any of them may be null) receiving one value a point. Writes the revolution's
 * timestamp to `timestamp` when given. Returns the revolution's number of points, which may be
 * more than `capacity`; 0 when there is none.
 */
HALVERN_API int32_t c_LidarMini_copyData(void* lidar, float* angles, float* distances,
                                         float* intensities, int32_t capacity, int64_t* timestamp);

/**
 * As c_LidarMini_copyData, with the robot-clock times of the same revolution's first and last
 * packets written to `times` (when given): points, `timestamp` and times always belong to one
 * revolution. Times are 0 when there is no revolution. Never waits.
 */
HALVERN_API int32_t c_LidarMini_copyDataTimed(void* lidar, float* angles, float* distances,
                                              float* intensities, int32_t capacity,
                                              int64_t* timestamp, LidarMiniScanTimes* times);

/**
 * Whether the lidar's scan packets keep arriving: true while scanning and a packet came within
 * LIDARMINI_CONNECTION_SILENCE_MS (100 ms; the lidar sends one about every 10 ms); false while
 * not scanning (packets come only then), and false for a null lidar. Never waits.
 */
HALVERN_API bool c_LidarMini_isConnected(void* lidar);

}  // extern "C"

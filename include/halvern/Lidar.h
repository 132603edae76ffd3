// The scanning lidar on the robot controller's own serial port: the C face of HalvernDriver.
//
// The library drives one such lidar, so no function takes a handle. create opens the port and
// starts a reader that keeps, for every whole degree, the angle and distance of the latest
// sample there; getData copies them. A filter can smooth each degree's distances.
#pragma once

#include <cstdint>

#include "halvern/Export.h"

/** One entry a degree. */
#define LIDAR_DEGREES 360  // NOLINT(cppcoreguidelines-macro-usage): a C array bound

/** How many of a degree's latest distances the filters keep: the largest window and cluster. */
#define LIDAR_HISTORY_LENGTH 10  // NOLINT(cppcoreguidelines-macro-usage): a C array bound

/**
 * The latest sample of every degree: element i holds the angle (degrees, i up to i + 1) and the
 * distance (millimetres) of the latest sample in degree i. A distance of -1 marks a sample out
 * of range (below 120 mm or above 8000 mm), or a degree that has had no sample yet (its angle
 * is then i).
 */
struct LidarScan {
  float angle[LIDAR_DEGREES];
  float distance[LIDAR_DEGREES];
};

/**
 * The tables of LidarScan with the time of each degree's sample: the robot-clock time at which
 * the packet holding it arrived.
 */
struct LidarTimedScan {
  /** As LidarScan's angle. */
  float angle[LIDAR_DEGREES];
  /** As LidarScan's distance. */
  float distance[LIDAR_DEGREES];
  /**
   * When degree i's sample arrived, in microseconds on the robot's clock (the time base of
   * HAL_GetFPGATime); 0 for a degree that has had no sample yet.
   */
  int64_t sampleUs[LIDAR_DEGREES];
  /** The oldest of sampleUs (the earliest packet whose data the tables still hold); 0 if none. */
  int64_t firstPacketUs;
  /** The newest of sampleUs (the latest packet stored); 0 if none. */
  int64_t lastPacketUs;
};

/** A lidar whose packets stop for this long reads disconnected. */
#define LIDAR_CONNECTION_SILENCE_MS 100  // NOLINT(cppcoreguidelines-macro-usage): shared with C

/** The filters of c_Lidar_enableFilter. */
enum LidarFilterType : int32_t {
  LIDAR_FILTER_CLUSTER = 0,
  LIDAR_FILTER_KALMAN = 1,
  LIDAR_FILTER_MOVING_AVERAGE = 2,
  LIDAR_FILTER_MEDIAN = 3,
  LIDAR_FILTER_JITTER = 4,
};

extern "C" {

/**
 * Opens the serial port (a HAL_SerialPort number) at 115200 baud and starts reading. Every
 * filter is switched off and the cluster settings return to 50 mm and 5 points. When the port
 * cannot be opened it prints why on standard error.
 */
HALVERN_API void c_Lidar_create(int port);

/** Does nothing: the reader lives until the library is unloaded or create runs again. */
HALVERN_API void c_Lidar_destroy();

/** Opens the port again after a stop; reading resumes. */
HALVERN_API void c_Lidar_start();

/** Closes the port; the tables keep their values. */
HALVERN_API void c_Lidar_stop();

/** The latest sample of every degree. Never waits. */
HALVERN_API LidarScan c_Lidar_getData();

/**
 * Fills `out` with the latest sample of every degree and when each arrived, all in one copy,
 * and returns `out` (null for a null `out`). Never waits.
 */
HALVERN_API LidarTimedScan* c_Lidar_getTimedData(LidarTimedScan* out);

/**
 * Whether the lidar's packets keep arriving: true while one came within
 * LIDAR_CONNECTION_SILENCE_MS (100 ms; a lidar sends one every few milliseconds); false after
 * c_Lidar_stop, before c_Lidar_create, and when the port would not open. Never waits.
 */
HALVERN_API bool c_Lidar_isConnected();

/** Switches one filter on (and every other off), or switches all off; other types do nothing. */
HALVERN_API void c_Lidar_enableFilter(int type, bool enable);

/** The cluster filter: values within `tolerance` mm of one another, at least `minPoints`. */
HALVERN_API void c_Lidar_clusterConfig(float tolerance, int minPoints);

/**
 * The Kalman filter's noises and error covariance, which every degree's state starts from; each
 * degree's estimate starts again from 0.
 */
HALVERN_API void c_Lidar_kalmanConfig(float processNoise, float measurementNoise,
                                      float errorCovariance);

/** How many of a degree's latest distances the moving average takes (1 to 10). */
HALVERN_API void c_Lidar_movingAverageConfig(int window);

/** How many of a degree's latest distances the median takes (1 to 10). */
HALVERN_API void c_Lidar_medianConfig(int window);

/** The jitter filter holds back for one sample a jump larger than `threshold` mm. */
HALVERN_API void c_Lidar_jitterConfig(float threshold);

}  // extern "C"

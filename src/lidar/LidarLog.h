// The serial lidar's signals in the robot's data log: its revolutions and connection, appended by
// the reader; the commands (port opened or closed, filters and their settings), by the caller.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/DataLogSink.h"
#include "lidar/LidarPackets.h"

namespace halvern::lidar {

class LidarLog {
 public:
  /** The signals of the lidar on HAL serial port `port`. */
  explicit LidarLog(int port);

  /** A whole revolution's samples, stamped with its first packet's arrival; the reader's alone. */
  void revolution(std::span<const LidarSample> samples, int64_t firstPacketUs,
                  int64_t lastPacketUs);
  void connected(bool connected, int64_t robotMicros) {
    connectedSignal.appendChange(connected, robotMicros);
  }
  void scanning(bool scanning, int64_t robotMicros) {
    scanningSignal.append(scanning, robotMicros);
  }
  /** `type` switched on (or every filter off, -1). */
  void activeFilter(int type, int64_t robotMicros);
  void cluster(float tolerance, int minPoints, int64_t robotMicros);
  void kalman(float processNoise, float measurementNoise, float errorCovariance,
              int64_t robotMicros);
  void movingAverageWindow(int window, int64_t robotMicros) {
    movingAverage.append(int64_t{window}, robotMicros);
  }
  void medianWindow(int window, int64_t robotMicros) {
    median.append(int64_t{window}, robotMicros);
  }
  void jitterThreshold(float threshold, int64_t robotMicros) {
    jitter.append(static_cast<double>(threshold), robotMicros);
  }

 private:
  explicit LidarLog(const std::string& device);

  datalog::LogSignal angles;
  datalog::LogSignal distances;
  datalog::LogSignal lastPacket;
  datalog::LogSignal connectedSignal;
  datalog::LogSignal scanningSignal;
  datalog::LogSignal filter;
  datalog::LogSignal clusterTolerance;
  datalog::LogSignal clusterMinPoints;
  datalog::LogSignal kalmanProcessNoise;
  datalog::LogSignal kalmanMeasurementNoise;
  datalog::LogSignal kalmanErrorCovariance;
  datalog::LogSignal movingAverage;
  datalog::LogSignal median;
  datalog::LogSignal jitter;

  // The reader's: a revolution as the log's arrays, kept from one to the next.
  std::vector<double> angleValues;
  std::vector<double> distanceValues;
};

}  // namespace halvern::lidar

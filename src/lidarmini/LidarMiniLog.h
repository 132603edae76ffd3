// A LidarMini's signals in the robot's data log: its revolutions and connection, appended by the
// scan thread; the commands sent and the identity and health read, appended by the caller.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/DataLogSink.h"
#include "halvern/LidarMini.h"

namespace halvern::lidarmini {

class LidarMiniLog {
 public:
  /** The signals of the lidar on the port at `path`. */
  explicit LidarMiniLog(std::string_view path);

  /** A whole revolution, stamped with its first packet's arrival; the scan thread's alone. */
  void revolution(std::span<const LidarMiniScanPoint> points, int64_t firstPacketUs,
                  int64_t lastPacketUs);
  void connected(bool connected, int64_t robotMicros) {
    connectedSignal.appendChange(connected, robotMicros);
  }
  void scanning(bool scanning, int64_t robotMicros) {
    scanningSignal.append(scanning, robotMicros);
  }
  void frequency(float hertz, int64_t robotMicros) {
    frequencySignal.append(static_cast<double>(hertz), robotMicros);
  }
  void info(const LidarInfo& info, int64_t robotMicros);
  void health(const LidarHealth& health, int64_t robotMicros);

 private:
  explicit LidarMiniLog(const std::string& device);

  datalog::LogSignal angles;
  datalog::LogSignal distances;
  datalog::LogSignal intensities;
  datalog::LogSignal lastPacket;
  datalog::LogSignal connectedSignal;
  datalog::LogSignal scanningSignal;
  datalog::LogSignal frequencySignal;
  datalog::LogSignal model;
  datalog::LogSignal firmwareVersion;
  datalog::LogSignal hardwareVersion;
  datalog::LogSignal serialNumber;
  datalog::LogSignal healthStatus;
  datalog::LogSignal healthErrorCode;

  // The scan thread's: a revolution as the log's arrays, kept from one to the next.
  std::vector<double> angleValues;
  std::vector<double> distanceValues;
  std::vector<double> intensityValues;
};

}  // namespace halvern::lidarmini

#include "lidar/LidarLog.h"

#include "lidar/LidarSignals.h"

namespace halvern::lidar {
namespace {

using datalog::EntryType;
namespace scan = datalog::scan;

std::string deviceName(int port) {
  return std::string{signals::kFamily} + '[' + std::to_string(port) + ']';
}

}  // namespace

LidarLog::LidarLog(int port) : LidarLog(deviceName(port)) {}

LidarLog::LidarLog(const std::string& device)
    : angles(device, scan::kAngles, EntryType::kDoubleArray, scan::kDegrees),
      distances(device, scan::kDistances, EntryType::kDoubleArray, signals::kDistanceUnit),
      lastPacket(device, scan::kLastPacket, EntryType::kInt64, scan::kMicroseconds),
      connectedSignal(device, signals::kConnected, EntryType::kBoolean),
      scanningSignal(device, signals::kScanning, EntryType::kBoolean),
      filter(device, signals::kActiveFilter, EntryType::kString),
      clusterTolerance(device, signals::kClusterTolerance, EntryType::kDouble,
                       signals::kDistanceUnit),
      clusterMinPoints(device, signals::kClusterMinPoints, EntryType::kInt64),
      kalmanProcessNoise(device, signals::kKalmanProcessNoise, EntryType::kDouble),
      kalmanMeasurementNoise(device, signals::kKalmanMeasurementNoise, EntryType::kDouble),
      kalmanErrorCovariance(device, signals::kKalmanErrorCovariance, EntryType::kDouble),
      movingAverage(device, signals::kMovingAverageWindow, EntryType::kInt64),
      median(device, signals::kMedianWindow, EntryType::kInt64),
      jitter(device, signals::kJitterThreshold, EntryType::kDouble, signals::kDistanceUnit) {}

void LidarLog::revolution(std::span<const LidarSample> samples, int64_t firstPacketUs,
                          int64_t lastPacketUs) {
  angleValues.clear();
  distanceValues.clear();
  for (const LidarSample& sample : samples) {
    angleValues.push_back(sample.angle);
    distanceValues.push_back(sample.distance);
  }
  angles.append(std::span<const double>(angleValues), firstPacketUs);
  distances.append(std::span<const double>(distanceValues), firstPacketUs);
  lastPacket.append(lastPacketUs, firstPacketUs);
}

void LidarLog::activeFilter(int type, int64_t robotMicros) {
  const bool named = type >= 0 && static_cast<std::size_t>(type) < signals::kFilterNames.size();
  filter.append(
      named ? signals::kFilterNames.at(static_cast<std::size_t>(type)) : signals::kNoFilter,
      robotMicros);
}

void LidarLog::cluster(float tolerance, int minPoints, int64_t robotMicros) {
  clusterTolerance.append(static_cast<double>(tolerance), robotMicros);
  clusterMinPoints.append(int64_t{minPoints}, robotMicros);
}

void LidarLog::kalman(float processNoise, float measurementNoise, float errorCovariance,
                      int64_t robotMicros) {
  kalmanProcessNoise.append(static_cast<double>(processNoise), robotMicros);
  kalmanMeasurementNoise.append(static_cast<double>(measurementNoise), robotMicros);
  kalmanErrorCovariance.append(static_cast<double>(errorCovariance), robotMicros);
}

}  // namespace halvern::lidar

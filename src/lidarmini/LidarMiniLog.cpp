#include "lidarmini/LidarMiniLog.h"

#include <string>

#include "lidarmini/LidarMiniSignals.h"

namespace halvern::lidarmini {
namespace {

using datalog::EntryType;
namespace scan = datalog::scan;

std::string hexText(std::span<const uint8_t> bytes) {
  constexpr std::string_view kDigits = "0123456789ABCDEF";
  constexpr unsigned kNibble = 4;
  constexpr unsigned kLowNibble = 0x0FU;
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const uint8_t byte : bytes) {
    text += kDigits[byte >> kNibble];
    text += kDigits[byte & kLowNibble];
  }
  return text;
}

std::string deviceName(std::string_view path) {
  return datalog::portDeviceName(signals::kFamily, path);
}

}  // namespace

LidarMiniLog::LidarMiniLog(std::string_view path) : LidarMiniLog(deviceName(path)) {}

LidarMiniLog::LidarMiniLog(const std::string& device)
    : angles(device, scan::kAngles, EntryType::kDoubleArray, scan::kDegrees),
      distances(device, scan::kDistances, EntryType::kDoubleArray, signals::kDistanceUnit),
      intensities(device, scan::kIntensities, EntryType::kDoubleArray),
      lastPacket(device, scan::kLastPacket, EntryType::kInt64, scan::kMicroseconds),
      connectedSignal(device, signals::kConnected, EntryType::kBoolean),
      scanningSignal(device, signals::kScanning, EntryType::kBoolean),
      frequencySignal(device, signals::kFrequency, EntryType::kDouble, signals::kFrequencyUnit),
      model(device, signals::kModel, EntryType::kInt64),
      firmwareVersion(device, signals::kFirmwareVersion, EntryType::kInt64),
      hardwareVersion(device, signals::kHardwareVersion, EntryType::kInt64),
      serialNumber(device, signals::kSerialNumber, EntryType::kString),
      healthStatus(device, signals::kHealthStatus, EntryType::kInt64),
      healthErrorCode(device, signals::kHealthErrorCode, EntryType::kInt64) {}

void LidarMiniLog::revolution(std::span<const LidarMiniScanPoint> points, int64_t firstPacketUs,
                              int64_t lastPacketUs) {
  angleValues.clear();
  distanceValues.clear();
  intensityValues.clear();
  for (const LidarMiniScanPoint& point : points) {
    angleValues.push_back(point.angle);
    distanceValues.push_back(point.distance);
    intensityValues.push_back(point.intensity);
  }
  angles.append(std::span<const double>(angleValues), firstPacketUs);
  distances.append(std::span<const double>(distanceValues), firstPacketUs);
  intensities.append(std::span<const double>(intensityValues), firstPacketUs);
  lastPacket.append(lastPacketUs, firstPacketUs);
}

void LidarMiniLog::info(const LidarInfo& info, int64_t robotMicros) {
  model.appendChange(int64_t{info.model}, robotMicros);
  firmwareVersion.appendChange(int64_t{info.firmwareVersion}, robotMicros);
  hardwareVersion.appendChange(int64_t{info.hardwareVersion}, robotMicros);
  serialNumber.appendChange(hexText(info.serialnum), robotMicros);
}

void LidarMiniLog::health(const LidarHealth& health, int64_t robotMicros) {
  healthStatus.append(int64_t{health.status}, robotMicros);
  healthErrorCode.append(int64_t{health.errorCode}, robotMicros);
}

}  // namespace halvern::lidarmini

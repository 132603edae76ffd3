// A robot program that uses every C++ class of HalvernDriver, for the check that the classes
// reach the library only through its plain C exports (CheckPlainExports.cmake). It is built and
// inspected, not run for its results.
#include <cstdio>
#include <exception>

#include "halvern/Dystal.hpp"
#include "halvern/Ferix.hpp"
#include "halvern/Iridel.hpp"
#include "halvern/Lidar.hpp"
#include "halvern/LidarMini.hpp"
#include "halvern/MockDS.hpp"
#include "halvern/Ordex.hpp"

#if defined(HALVERN_USE_CXX_EXPORT)
#include "halvern/Ordex.h"  // the check's counterexample: a text returned as a std::string
#endif

int main() {
  try {
    halvern::Ordex ordex(1, 1000);
    ordex.SetMotorSpeed(0, 0.5);
    std::printf("%s %s %s %f\n", ordex.GetFirmwareVersion().c_str(),
                ordex.GetHardwareVersion().c_str(), ordex.GetSerialNumber().c_str(),
                ordex.GetRPM(0));
    const auto rpm = ordex.GetRPMTimestamped(0);
    std::printf(
        "%d %d %f %lld %d %d %d %f %d %f %f %d\n", ordex.IsConnected(),
        ordex.TryGetReportedDeviceId().value_or(0), rpm.value,
        static_cast<long long>(rpm.timestampUs), ordex.GetReportedDeviceId(),
        ordex.GetEncoderCountTimestamped(1).value, ordex.GetLimitSwitchTimestamped(0, true).value,
        ordex.GetTargetRPMTimestamped(2).value, ordex.GetReportedFrequencyTimestamped().value,
        ordex.GetEncoderDistanceTimestamped(3).value + ordex.GetTemperatureTimestamped().value,
        ordex.GetQuorinPositionTimestamped(1).value,
        ordex.TryGetFirmwareVersion().has_value() && ordex.TryGetHardwareVersion().has_value());
#if defined(HALVERN_USE_CXX_EXPORT)
    std::printf("%s\n", c_Ordex_getFirmwareVersion(1).c_str());
#endif
    halvern::Iridel colour(halvern::Iridel::FindDevicePath(halvern::Iridel::kFirstPort), 50);
    std::printf("%d %d\n", colour.GetColor().has_value(), colour.IsConnected());
    halvern::Dystal distance(halvern::Dystal::FindDevicePath(halvern::Dystal::kSecondPort), 15);
    std::printf("%zu %lld %d\n", distance.GetData().distancesMm.size(),
                static_cast<long long>(distance.GetData().timestampUs), distance.IsConnected());
    const halvern::Dystal canDistance(3);
    std::printf("%d\n", canDistance.IsConnected());
    halvern::LidarMini lidarMini(halvern::LidarMini::kFirstPort);
    std::printf("%zu %d %lld %d\n", lidarMini.GetData().points.size(), lidarMini.GetInfo().model,
                static_cast<long long>(lidarMini.GetData().lastPacketUs), lidarMini.IsConnected());
    halvern::Lidar lidar(halvern::Lidar::Port::kOnboard);
    std::printf("%d %lld %d\n", lidar.GetData().InRangeCount(),
                static_cast<long long>(lidar.GetData().firstPacketUs), lidar.IsConnected());
    halvern::Ferix ferix(5);
    std::printf("%f %lld %d\n", ferix.GetVoltage(0),
                static_cast<long long>(ferix.GetReading(1).timestampUs), ferix.IsConnected());
    halvern::MockDS station;
    station.Enable();
  } catch (const std::exception& error) {
    std::printf("%s\n", error.what());
  }
  return 0;
}

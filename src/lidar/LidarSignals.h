// What the serial lidar logs, named once for the library and for the replay that reads it back.
#pragma once

#include <array>
#include <string_view>

#include "core/LidarScanSignals.h"

namespace halvern::lidar::signals {

/** The device's name in the log: "Lidar[<HAL serial port number>]", e.g. "Lidar[0]". */
inline constexpr std::string_view kFamily = "Lidar";

// Each revolution (datalog::scan's names, no intensities): every sample as decoded, its angle
// corrected and its distance in millimetres (-1 out of range), before any filter.
inline constexpr std::string_view kDistanceUnit = "mm";

inline constexpr std::string_view kConnected = "Connected";
/** Commands: the port opened for reading (true) or closed. */
inline constexpr std::string_view kScanning = "Scanning";
/** The filter switched on, by name, or "None". */
inline constexpr std::string_view kActiveFilter = "Filter/Active";
inline constexpr std::array<std::string_view, 5> kFilterNames = {
    "Cluster", "Kalman", "Moving Average", "Median", "Jitter"};
inline constexpr std::string_view kNoFilter = "None";
inline constexpr std::string_view kClusterTolerance = "Filter/Cluster Tolerance";
inline constexpr std::string_view kClusterMinPoints = "Filter/Cluster Min Points";
inline constexpr std::string_view kKalmanProcessNoise = "Filter/Kalman Process Noise";
inline constexpr std::string_view kKalmanMeasurementNoise = "Filter/Kalman Measurement Noise";
inline constexpr std::string_view kKalmanErrorCovariance = "Filter/Kalman Error Covariance";
inline constexpr std::string_view kMovingAverageWindow = "Filter/Moving Average Window";
inline constexpr std::string_view kMedianWindow = "Filter/Median Window";
inline constexpr std::string_view kJitterThreshold = "Filter/Jitter Threshold";

}  // namespace halvern::lidar::signals

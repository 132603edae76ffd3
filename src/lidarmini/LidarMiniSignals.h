// What a LidarMini logs, named once for the library and for the replay that reads it back.
#pragma once

#include <string_view>

#include "core/LidarScanSignals.h"

namespace halvern::lidarmini::signals {

/** The device's name in the log: "LidarMini[<last element of the port's path>]". */
inline constexpr std::string_view kFamily = "LidarMini";

// Each revolution (datalog::scan's names): distances in metres as the readings hold them, -1 for
// a missing sample; intensities 0 to 255.
inline constexpr std::string_view kDistanceUnit = "m";

inline constexpr std::string_view kConnected = "Connected";
/** Commands: scanning started (true) or stopped, and the frequency after a step. */
inline constexpr std::string_view kScanning = "Scanning";
inline constexpr std::string_view kFrequency = "Frequency";
inline constexpr std::string_view kFrequencyUnit = "Hz";
/** Identity and health, when a reply came. */
inline constexpr std::string_view kModel = "Model";
inline constexpr std::string_view kFirmwareVersion = "Firmware Version";
inline constexpr std::string_view kHardwareVersion = "Hardware Version";
inline constexpr std::string_view kSerialNumber = "Serial Number";  // its 16 bytes in hex
inline constexpr std::string_view kHealthStatus = "Health/Status";
inline constexpr std::string_view kHealthErrorCode = "Health/Error Code";

}  // namespace halvern::lidarmini::signals

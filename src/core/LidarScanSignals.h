// The signals both lidars log for every whole revolution, named once for the library and for the
// replay that reads them back.
#pragma once

#include <string_view>

namespace halvern::datalog::scan {

/** A revolution's points in order, stamped with the arrival of its first packet. */
inline constexpr std::string_view kAngles = "Scan/Angles";
inline constexpr std::string_view kDistances = "Scan/Distances";
inline constexpr std::string_view kIntensities = "Scan/Intensities";
/** When the revolution's last packet arrived (robot clock), stamped as the arrays are. */
inline constexpr std::string_view kLastPacket = "Scan/Last Packet";

inline constexpr std::string_view kDegrees = "deg";
inline constexpr std::string_view kMicroseconds = "us";

}  // namespace halvern::datalog::scan

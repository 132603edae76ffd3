// The distance sensor's signals in the robot's data log ("Halvern/Dystal[4]/<signal>"): the names
// the library logs under and the replay reads back.
#pragma once

#include <string_view>

namespace halvern::dystal::signals {

inline constexpr std::string_view kFamily = "Dystal";

// Each complete reading, in this order and with its own timestamp: the sequence, then the
// zones' distances (the last one closes the reading).
inline constexpr std::string_view kSequence = "Sequence";    // int64
inline constexpr std::string_view kDistances = "Distances";  // int64[], mm; -1: none measured
inline constexpr std::string_view kConnected = "Connected";  // boolean, on every change

// What the program sent or read, at the call.
inline constexpr std::string_view kOutputDataRate = "Output Data Rate";  // int64, Hz (USB)
inline constexpr std::string_view kConfigVersion = "Config/Version";     // int64
inline constexpr std::string_view kConfigDistanceEnabled = "Config/Distance Enabled";  // boolean
inline constexpr std::string_view kConfigCanFdEnabled = "Config/CAN FD Enabled";       // boolean
inline constexpr std::string_view kConfigCanBrsEnabled = "Config/CAN BRS Enabled";     // boolean

}  // namespace halvern::dystal::signals

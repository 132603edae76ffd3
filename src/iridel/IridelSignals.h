// The colour sensor's signals in the robot's data log ("Halvern/Iridel[3]/<signal>"): the names
// the library logs under and the replay reads back.
#pragma once

#include <string>
#include <string_view>

namespace halvern::iridel::signals {

inline constexpr std::string_view kFamily = "Iridel";

// Each sample, in this order and with its own timestamp: the sequence, then the three colour
// components as the library reports them (the last one closes the sample).
inline constexpr std::string_view kSequence = "Sequence";    // int64
inline constexpr std::string_view kX = "X";                  // double
inline constexpr std::string_view kY = "Y";                  // double
inline constexpr std::string_view kZ = "Z";                  // double
inline constexpr std::string_view kConnected = "Connected";  // boolean, on every change

// What the program sent, at the call.
inline constexpr std::string_view kColorFormat = "Color Format";                     // string
inline constexpr std::string_view kSampleTime = "Sample Time";                       // int64, ms
inline constexpr std::string_view kBrightness = "Brightness";                        // int64, %
inline constexpr std::string_view kStatusLed = "Status LED";                         // boolean
inline constexpr std::string_view kStatusLedLevel = "Status LED Level";              // int64, %
inline constexpr std::string_view kMeasureMode = "Measure Mode";                     // int64
inline constexpr std::string_view kMeasureModeParameter = "Measure Mode Parameter";  // double
inline constexpr std::string_view kZmm = "Zmm";                                      // double
inline constexpr std::string_view kUsbOverride = "USB Override";                     // boolean
inline constexpr std::string_view kCanId = "CAN ID";                                 // int64

/** A configuration value the sensor answered, under its key: "Config/<key>" (int64). */
inline std::string configSignal(int key) { return "Config/" + std::to_string(key); }

}  // namespace halvern::iridel::signals

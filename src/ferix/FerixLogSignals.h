// The names under which the analog board's signals go into the robot's data log: one place for
// the library, which logs them, and the replay, which feeds them back into a simulated board.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace halvern::ferix::logged {

/** The board's name in the log, "Ferix[<port>,<address>]", as its simulator's SimDevice. */
inline std::string deviceName(int32_t port, int32_t address) {
  return "Ferix[" + std::to_string(port) + "," + std::to_string(address) + "]";
}

// Per input ("Input <n>/<name>"), each background conversion.
inline constexpr std::string_view kRaw = "Raw";          // int64, counts: 0 to 4095
inline constexpr std::string_view kVoltage = "Voltage";  // double, V: the count scaled
// The board's.
inline constexpr std::string_view kReferenceVoltage = "Reference Voltage";  // double, V
inline constexpr std::string_view kConnected = "Connected";                 // boolean

/** An input's signal: "Input 0/Raw". */
inline std::string inputSignal(int input, std::string_view name) {
  std::string signal = "Input " + std::to_string(input) + "/";
  signal += name;
  return signal;
}

}  // namespace halvern::ferix::logged

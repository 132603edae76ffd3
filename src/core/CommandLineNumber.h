// The number a sensor's text command carries after its name, read as the sensors' firmware
// reads it.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace halvern {

/** The leading number after `prefix` in `line` (0 when none), or none when `line` does not begin
 *  with `prefix`. */
inline std::optional<int> numberAfter(std::string_view line, std::string_view prefix) {
  if (!line.starts_with(prefix)) {
    return std::nullopt;
  }
  const std::string number(line.substr(prefix.size()));
  return std::atoi(number.c_str());
}

}  // namespace halvern

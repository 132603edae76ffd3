#include "core/ErrorText.h"

#include <algorithm>
#include <array>
#include <iostream>
#include <utility>

#include "core/HalPlatform.h"

namespace halvern {
namespace {

// "CAN bus out of range [0;<highest bus>]", the highest bus being the platform's.
static_assert(platform::kMaxCanBus >= 0 && platform::kMaxCanBus <= 9, "one digit");
constexpr std::array<char, 26> kCanBusRangeText = [] {
  std::array<char, 26> text{};
  constexpr std::string_view kHead = "CAN bus out of range [0;";
  std::copy(kHead.begin(), kHead.end(), text.begin());
  text.at(kHead.size()) = static_cast<char>('0' + platform::kMaxCanBus);
  text.at(kHead.size() + 1) = ']';
  return text;
}();

constexpr std::array<std::pair<int32_t, std::string_view>, 35> kErrorTable{{
    {0, ""},
    {1000, "Ordex could not be initialized"},
    {1001, "Motor frequency out of range [0;20000]"},
    {1002, "Device ID out of range [1;63]"},
    {kCanBusOutOfRange, std::string_view(kCanBusRangeText.data(), kCanBusRangeText.size())},
    {1010, "Device ID could not be obtained"},
    {1011, "Motor frequency could not be obtained"},
    {1012, "Firmware version could not be obtained"},
    {1013, "Hardware version could not be obtained"},
    {1014, "Motor current could not be obtained"},
    {1015, "Controller temp could not be obtained"},
    {1016, "Limit Switch could not be obtained"},
    {1017, "RPM for motor 0 could not be obtained"},
    {1018, "RPM for motor 1 could not be obtained"},
    {1019, "RPM for motor 2 could not be obtained"},
    {1020, "RPM for motor 3 could not be obtained"},
    {1021, "Serial number word 1 could not be obtained"},
    {1022, "Serial number word 2 could not be obtained"},
    {1023, "Serial number word 3 could not be obtained"},
    {1100, "Encoder distance for encoder 0 could not be obtained"},
    {1101, "Encoder distance for encoder 1 could not be obtained"},
    {1102, "Encoder distance for encoder 2 could not be obtained"},
    {1103, "Encoder distance for encoder 3 could not be obtained"},
    {1104, "Raw distance for encoder 0 could not be obtained"},
    {1105, "Raw distance for encoder 1 could not be obtained"},
    {1106, "Raw distance for encoder 2 could not be obtained"},
    {1107, "Raw distance for encoder 3 could not be obtained"},
    {1108, "Speed for encoder 0 could not be obtained"},
    {1109, "Speed for encoder 1 could not be obtained"},
    {1110, "Speed for encoder 2 could not be obtained"},
    {1111, "Speed for encoder 3 could not be obtained"},
    {2001, "I2C device not connected"},
    {2002, "I2C device is connected"},
    {2010, "Read count bytes out of range [1;)"},
    {2011, "Read buffer is null"},
}};

constexpr std::string_view kUnknownError = "Unknown error found";

}  // namespace

std::string_view errorText(int32_t code) noexcept {
  for (const auto& [tableCode, text] : kErrorTable) {
    if (tableCode == code) {
      return text;
    }
  }
  return kUnknownError;
}

void reportError(int32_t code) noexcept { std::cout << errorText(code) << '\n' << std::flush; }

}  // namespace halvern

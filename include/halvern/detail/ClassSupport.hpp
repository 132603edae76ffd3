// What the C++ classes of HalvernDriver share: their argument checks and failure messages, the
// copying of the library's texts. Not for robot programs to use directly.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace halvern::detail {

/** Throws std::invalid_argument unless `value` is within [min; max]; returns it otherwise. */
inline int RequireInRange(int value, int min, int max, std::string_view what) {
  if (value < min || value > max) {
    throw std::invalid_argument(std::string(what) + " " + std::to_string(value) +
                                " out of range [" + std::to_string(min) + ";" +
                                std::to_string(max) + "]");
  }
  return value;
}

/** Throws std::invalid_argument when `value` is negative. */
inline int RequireNotNegative(int value, std::string_view what) {
  if (value < 0) {
    throw std::invalid_argument(std::string(what) + " " + std::to_string(value) +
                                " is negative");
  }
  return value;
}

/** Throws std::invalid_argument when `value` is negative, infinite or not a number. */
inline float RequireNotNegativeFinite(float value, std::string_view what) {
  // Written so that NaN fails too.
  if (!(value >= 0.0F) || value > std::numeric_limits<float>::max()) {
    std::ostringstream message;
    message << what << " " << value << " is negative or not finite";
    throw std::invalid_argument(message.str());
  }
  return value;
}

/** The CAN bus a device is opened on when none is named: bus 0, the one every platform has. */
inline constexpr int kDefaultCanBus = 0;

/** How a CAN device is named in exception messages: "<family> on CAN ID <n>", with
 *  ", bus <b>" added when it is not on the default bus. */
inline std::string CanDescription(std::string_view family, std::string_view idWord, int id,
                                  int bus) {
  std::string description =
      std::string(family) + " on CAN " + std::string(idWord) + " " + std::to_string(id);
  if (bus != kDefaultCanBus) {
    description += ", bus " + std::to_string(bus);
  }
  return description;
}

/** The exception a failed creation throws: "<description> could not be initialized". */
inline std::runtime_error CreationFailure(const std::string& description) {
  return std::runtime_error(description + " could not be initialized");
}

/**
 * A text the library writes into a buffer: `copy(buffer, capacity)` writes at most `capacity`
 * bytes with the terminating NUL and returns the text's full length.
 */
template <typename Copy>
std::string CopyText(Copy copy) {
  std::array<char, 128> buffer{};
  const int32_t length = copy(buffer.data(), static_cast<int32_t>(buffer.size()));
  if (length <= 0) {
    return {};
  }
  if (length < static_cast<int32_t>(buffer.size())) {
    return std::string(buffer.data(), static_cast<std::size_t>(length));
  }
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const int32_t again = copy(text.data(), static_cast<int32_t>(text.size()));
  text.resize(static_cast<std::size_t>(std::min(again, length)));
  return text;
}

}  // namespace halvern::detail

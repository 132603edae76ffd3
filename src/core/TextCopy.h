// Text handed to C callers in their own buffers, for the C-friendly variants of the exports
// that return std::string.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace halvern {

/**
 * Copies `text` into `buffer`, truncated to fit and always NUL-terminated when `capacity` is
 * positive (a null buffer receives nothing), and returns the text's full length, so a caller
 * can tell truncation and size a second call.
 */
inline int32_t copyTextOut(std::string_view text, char* buffer, int32_t capacity) {
  if (buffer != nullptr && capacity > 0) {
    const auto copied = std::min(text.size(), static_cast<std::size_t>(capacity) - 1);
    std::memcpy(buffer, text.data(), copied);
    buffer[copied] = '\0';
  }
  return static_cast<int32_t>(text.size());
}

}  // namespace halvern

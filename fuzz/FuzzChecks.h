// What every fuzz target checks with: a failed condition aborts, which libFuzzer reports with
// the input that caused it.
#pragma once

#include <algorithm>
#include <cmath>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

namespace halvern::fuzz {

inline void require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

/** The 16-bit little-endian word at `at`, read here rather than by the library under test. */
inline uint16_t le16(std::span<const uint8_t> bytes, std::size_t at) {
  return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

/** Whether the two bytes at `at` are the packet mark `first`, `second`. */
inline bool markAt(std::span<const uint8_t> bytes, std::size_t at, uint8_t first, uint8_t second) {
  return at + 1 < bytes.size() && bytes[at] == first && bytes[at + 1] == second;
}

/** Where a packet lies in the stream. */
struct Found {
  std::size_t at = 0;
  std::size_t length = 0;
  bool operator==(const Found&) const = default;
};

/** How far apart two angles in degrees are around the circle (0 to 180). */
template <std::floating_point Degrees>
Degrees circularDistance(Degrees a, Degrees b) {
  const Degrees d = std::fmod(std::fabs(a - b), Degrees{360});
  return std::min(d, Degrees{360} - d);
}

/** Whether two lists of decoded values hold the same bytes (NaN distances included). */
template <typename Value>
bool sameBytes(const std::vector<Value>& a, const std::vector<Value>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(Value)) == 0);
}

}  // namespace halvern::fuzz

// Building byte streams in tests: little-endian words, and several runs joined into one.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace halvern::testing {

inline void appendWord(std::vector<uint8_t>& bytes, uint16_t word) {
  bytes.push_back(static_cast<uint8_t>(word & 0xFFU));
  bytes.push_back(static_cast<uint8_t>(word >> 8U));
}

inline std::vector<uint8_t> joined(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> all;
  for (const std::vector<uint8_t>& part : parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

}  // namespace halvern::testing

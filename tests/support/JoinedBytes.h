// Byte runs joined into one stream, for tests that feed several packets and noise at once.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace halvern::testing {

inline std::vector<uint8_t> joined(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> all;
  for (const std::vector<uint8_t>& part : parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

}  // namespace halvern::testing

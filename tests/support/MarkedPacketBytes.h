// Byte streams for the packet tests: words, marked packets built through the codec (with any type
// and count bytes, and a check code of the test's choosing), and several runs joined into one.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

#include "core/MarkedPacketCodec.h"

namespace halvern::testing {

inline void appendWord(std::vector<uint8_t>& bytes, uint16_t word) {
  bytes.push_back(static_cast<uint8_t>(word & 0xFFU));
  bytes.push_back(static_cast<uint8_t>(word >> 8U));
}

/**
 * A packet with the type and count bytes as given, whatever `samples` (packed sample bytes)
 * holds, and the codec's check code unless `check` is given.
 */
template <typename Codec>
std::vector<uint8_t> markedPacket(uint8_t type, uint8_t count, uint16_t firstRaw, uint16_t lastRaw,
                                  const std::vector<uint8_t>& samples,
                                  std::optional<uint16_t> check) {
  std::vector<uint8_t> bytes;
  Codec::appendHeader(bytes, type, count, firstRaw, lastRaw);
  bytes.insert(bytes.end(), samples.begin(), samples.end());
  if (check) {
    marked::putWord(&bytes[marked::kCheckCodeAt], *check);
  } else {
    Codec::seal(bytes);
  }
  return bytes;
}

inline std::vector<uint8_t> joined(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> all;
  for (const std::vector<uint8_t>& part : parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

}  // namespace halvern::testing

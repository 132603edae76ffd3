// Marked packets for the packet tests, built through the codec (with any type and count bytes, and
// a check code of the test's choosing); words and joined runs come from ByteRuns.h.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "ByteRuns.h"
#include "core/MarkedPacketCodec.h"

namespace halvern::testing {

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

}  // namespace halvern::testing

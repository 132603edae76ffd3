// The lidars' marked packet as the fuzz targets read it, written out here rather than taken from
// the library, so a wrong constant there cannot agree with itself here: AA 55, type at 2 (bit 0:
// a revolution starts, one sample whatever the count), count at 3, first and last angle at 4 and
// 6, check code at 8, then the samples, each ending in a 16-bit little-endian word. What differs
// between the lidars is a sample's length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "FuzzChecks.h"

namespace halvern::fuzz {

/** What framing must find in a stream, and where the bytes still waiting for more begin. */
struct Framing {
  std::vector<Found> found;
  std::size_t waitingFrom = 0;
};

template <std::size_t SampleLength>
struct MarkedPacket {
  static_assert(SampleLength >= 2, "a sample ends in a 16-bit word");

  static constexpr uint8_t kMarkFirst = 0xAA;
  static constexpr uint8_t kMarkSecond = 0x55;
  static constexpr std::size_t kHeaderLength = 10;
  static constexpr std::size_t kTypeAt = 2;
  static constexpr std::size_t kCountAt = 3;
  static constexpr std::size_t kFirstAngleAt = 4;
  static constexpr std::size_t kLastAngleAt = 6;
  static constexpr std::size_t kCheckCodeAt = 8;
  static constexpr std::size_t kSampleLength = SampleLength;

  static bool markAt(std::span<const uint8_t> bytes, std::size_t at) {
    return fuzz::markAt(bytes, at, kMarkFirst, kMarkSecond);
  }

  static bool startOf(std::span<const uint8_t> packet) { return (packet[kTypeAt] & 1U) != 0; }

  static std::size_t samplesOf(std::span<const uint8_t> packet) {
    return startOf(packet) ? 1 : packet[kCountAt];
  }

  /** Where sample `index` begins. */
  static std::size_t sampleAt(std::size_t index) { return kHeaderLength + kSampleLength * index; }

  /** The whole length of the packet whose header begins `packet` (at least kHeaderLength). */
  static std::size_t lengthOf(std::span<const uint8_t> packet) {
    return sampleAt(samplesOf(packet));
  }

  /** The header words before the check code, then each sample's leading bytes and its word. */
  static uint16_t expectedCheckCode(std::span<const uint8_t> packet) {
    uint16_t code = 0;
    for (std::size_t at = 0; at < kCheckCodeAt; at += 2) {
      code ^= le16(packet, at);
    }
    for (std::size_t i = 0; i < samplesOf(packet); ++i) {
      const std::size_t at = sampleAt(i);
      for (std::size_t single = 0; single + 2 < kSampleLength; ++single) {
        code ^= packet[at + single];
      }
      code ^= le16(packet, at + kSampleLength - 2);
    }
    return code;
  }

  static bool checkCodeHolds(std::span<const uint8_t> packet) {
    return expectedCheckCode(packet) == le16(packet, kCheckCodeAt);
  }

  /**
   * What framing must find in a whole stream: from each position the next mark; a packet whose
   * check code holds is taken and framing goes on after it, otherwise from the byte after the
   * mark. A packet not yet complete ends the search, and so does a last 0xAA.
   */
  static Framing referenceFraming(std::span<const uint8_t> stream) {
    Framing framing;
    std::size_t from = 0;
    while (true) {
      std::size_t at = from;
      while (at < stream.size() && !markAt(stream, at)) {
        ++at;
      }
      if (at == stream.size()) {
        framing.waitingFrom = !stream.empty() && stream.back() == kMarkFirst && from < stream.size()
                                  ? stream.size() - 1
                                  : stream.size();
        return framing;
      }
      if (at + kHeaderLength > stream.size() || at + lengthOf(stream.subspan(at)) > stream.size()) {
        framing.waitingFrom = at;
        return framing;
      }
      const auto packet = stream.subspan(at, lengthOf(stream.subspan(at)));
      if (checkCodeHolds(packet)) {
        framing.found.push_back({at, packet.size()});
        from = at + packet.size();
      } else {
        from = at + 1;
      }
    }
  }
};

}  // namespace halvern::fuzz

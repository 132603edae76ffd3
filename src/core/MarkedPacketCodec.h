// The marked, check-coded packet both lidars stream: the mark AA 55, the packet type (bit 0: a
// revolution starts here), the sample count, the first and the last angle, the check code, then
// the samples. What differs between the lidars is a sample's size and whether a start packet
// holds a single sample whatever its count says; each lidar scales angles and distances its own
// way. Header-only, so each decoder's loops are compiled with its own format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/MarkedPacketSearch.h"

namespace halvern::marked {

inline constexpr uint8_t kMarkFirst = 0xAA;
inline constexpr uint8_t kMarkSecond = 0x55;
inline constexpr uint8_t kStartFlag = 0x01;
inline constexpr std::size_t kHeaderLength = 10;
inline constexpr std::size_t kMaxSamples = 255;  // what the count byte can say

// Offsets within a packet.
inline constexpr std::size_t kTypeAt = 2;
inline constexpr std::size_t kCountAt = 3;
inline constexpr std::size_t kFirstAngleAt = 4;
inline constexpr std::size_t kLastAngleAt = 6;
inline constexpr std::size_t kCheckCodeAt = 8;

/** What a lidar's packets make of the shared layout. */
struct PacketFormat {
  /** A sample's bytes: its last two are a little-endian word, any before them single bytes. */
  std::size_t sampleLength = 2;
  /** A start packet holds one sample whatever its count byte says. */
  bool startHoldsOneSample = true;
};

/** The header fields a decoder scales. */
struct PacketHeader {
  bool start = false;
  std::size_t count = 0;  // samples the packet holds
  uint16_t firstAngleRaw = 0;
  uint16_t lastAngleRaw = 0;
};

inline uint16_t wordAt(const uint8_t* bytes) {
  return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8U));
}

inline void putWord(uint8_t* bytes, uint16_t word) {
  bytes[0] = static_cast<uint8_t>(word & 0xFFU);
  bytes[1] = static_cast<uint8_t>(word >> 8U);
}

inline constexpr float kFullTurnDegrees = 360.0F;

/** An angle in degrees, as a packet's angles and steps may add up to, brought into [0, 360). */
inline float wrappedDegrees(float angle) {
  constexpr float kFullTurn = kFullTurnDegrees;
  while (angle >= kFullTurn) {
    angle -= kFullTurn;
  }
  while (angle < 0.0F) {
    angle += kFullTurn;
  }
  // An angle a hair below 0 can round up to 360 when 360 is added.
  return angle < kFullTurn ? angle : 0.0F;
}

/** The degrees from a packet's first angle to its last, going on past 360 when the last is less. */
inline float spanDegrees(float firstAngle, float lastAngle) {
  const float span = lastAngle - firstAngle;
  return span < 0.0F ? span + kFullTurnDegrees : span;
}

template <PacketFormat Format>
struct MarkedPacketCodec {
  static constexpr std::size_t kSampleLength = Format.sampleLength;
  static_assert(kSampleLength >= 2, "a sample ends in a 16-bit word");

  /** The number of samples a packet holds, from its type and count bytes. */
  static constexpr std::size_t sampleCount(uint8_t type, uint8_t count) {
    return Format.startHoldsOneSample && (type & kStartFlag) != 0 ? 1 : count;
  }

  /** The whole length of the packet whose header begins `bytes` (at least kHeaderLength). */
  static std::size_t length(std::span<const uint8_t> bytes) {
    return kHeaderLength + kSampleLength * sampleCount(bytes[kTypeAt], bytes[kCountAt]);
  }

  static PacketHeader header(std::span<const uint8_t> packet) {
    return {.start = (packet[kTypeAt] & kStartFlag) != 0,
            .count = sampleCount(packet[kTypeAt], packet[kCountAt]),
            .firstAngleRaw = wordAt(&packet[kFirstAngleAt]),
            .lastAngleRaw = wordAt(&packet[kLastAngleAt])};
  }

  /** The bytes of sample `index` of a whole packet. */
  static const uint8_t* sample(std::span<const uint8_t> packet, std::size_t index) {
    return packet.data() + kHeaderLength + kSampleLength * index;
  }

  /**
   * The check code a whole packet should carry: the XOR of the header's 16-bit little-endian
   * words before the check code (mark, type with count, first angle, last angle) and, for each
   * sample, of its leading single bytes and its word.
   */
  static uint16_t checkCode(std::span<const uint8_t> packet) {
    const uint8_t* bytes = packet.data();
    unsigned code = wordAt(bytes) ^ wordAt(bytes + kTypeAt) ^ wordAt(bytes + kFirstAngleAt) ^
                    wordAt(bytes + kLastAngleAt);
    const std::size_t count = sampleCount(bytes[kTypeAt], bytes[kCountAt]);
    const uint8_t* at = bytes + kHeaderLength;
    for (std::size_t i = 0; i < count; ++i, at += kSampleLength) {
      for (std::size_t single = 0; single + 2 < kSampleLength; ++single) {
        code ^= at[single];
      }
      code ^= wordAt(at + kSampleLength - 2);
    }
    return static_cast<uint16_t>(code);
  }

  static bool isSound(std::span<const uint8_t> packet) {
    return checkCode(packet) == wordAt(&packet[kCheckCodeAt]);
  }

  /**
   * Finds the next sound packet: skips bytes before a mark, and a packet whose check code
   * disagrees from the byte after its mark on, so a real packet behind a false mark is still
   * found. Bytes without any mark are skipped, but for a last 0xAA that may begin one.
   */
  static PacketSearch find(std::span<const uint8_t> bytes) {
    return findMarkedPacket(bytes, PacketMark{kMarkFirst, kMarkSecond, kHeaderLength}, length,
                            isSound);
  }

  /**
   * The framing loop over a receive buffer that reads append to: hands each sound packet to
   * `onPacket(packet)` in order, stepping over it at an offset, then drops what was taken and
   * skipped in one compaction. What may still become a packet stays. Allocates nothing.
   */
  template <typename OnPacket>
  static void takePackets(std::vector<uint8_t>& received, OnPacket&& onPacket) {
    std::size_t offset = 0;
    while (offset < received.size()) {
      const std::span<const uint8_t> rest(received.data() + offset, received.size() - offset);
      const PacketSearch found = find(rest);
      offset += found.skip;
      if (found.length == 0) {
        break;
      }
      onPacket(rest.subspan(found.skip, found.length));
      offset += found.length;
    }
    received.erase(received.begin(), received.begin() + static_cast<std::ptrdiff_t>(offset));
  }

  /**
   * Appends a header to `out` with the check code left 0: the type and count bytes as given,
   * whatever samples follow. seal() writes the check code once the samples are there.
   */
  static void appendHeader(std::vector<uint8_t>& out, uint8_t type, uint8_t count,
                           uint16_t firstAngleRaw, uint16_t lastAngleRaw) {
    const std::size_t begin = out.size();
    out.resize(begin + kHeaderLength, 0);
    uint8_t* header = out.data() + begin;
    header[0] = kMarkFirst;
    header[1] = kMarkSecond;
    header[kTypeAt] = type;
    header[kCountAt] = count;
    putWord(header + kFirstAngleAt, firstAngleRaw);
    putWord(header + kLastAngleAt, lastAngleRaw);
  }

  /** Writes the check code of the whole packet `packet` into its header. */
  static void seal(std::span<uint8_t> packet) { putWord(&packet[kCheckCodeAt], checkCode(packet)); }

  /**
   * Appends a sound packet to `out`: `samples` holds whole samples, packed. A start packet holds
   * the first of them only (zeros when there is none); others at most kMaxSamples.
   */
  static void encode(std::vector<uint8_t>& out, bool start, uint16_t firstAngleRaw,
                     uint16_t lastAngleRaw, std::span<const uint8_t> samples) {
    const std::size_t given = samples.size() / kSampleLength;
    const std::size_t count = start ? 1 : (given < kMaxSamples ? given : kMaxSamples);
    const std::size_t begin = out.size();
    appendHeader(out, start ? kStartFlag : uint8_t{0}, static_cast<uint8_t>(count), firstAngleRaw,
                 lastAngleRaw);
    const std::size_t copied = (count < given ? count : given) * kSampleLength;
    out.insert(out.end(), samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(copied));
    out.resize(begin + kHeaderLength + count * kSampleLength, 0);
    seal(std::span(out).subspan(begin));
  }
};

}  // namespace halvern::marked

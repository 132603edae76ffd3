// Finding packets that begin with a two-byte mark and end in a check code, in a run of received
// bytes that may hold noise, false marks and damaged packets. Both lidars frame their streams
// this way. Pure functions only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace halvern {

/** Where the next packet is in a run of received bytes. */
struct PacketSearch {
  std::size_t skip = 0;    // bytes to drop from the front first: noise and damaged packets
  std::size_t length = 0;  // the length of the sound packet that then starts; 0: wait for more
};

/** What a family's packets look like to the search. */
struct PacketMark {
  uint8_t first = 0;
  uint8_t second = 0;
  std::size_t headerLength = 0;  // enough to know the packet's length
};

/**
 * Finds the next sound packet. Bytes before a mark are skipped. A packet whose check fails is
 * skipped from the byte after its mark on, so a real packet behind a false mark is still found.
 * Bytes without any mark are skipped, but for a last byte that may begin one.
 *
 * `lengthOf(bytes)` gives the length of the packet that begins `bytes` (at least the header);
 * `isSound(packet)` tells whether a whole packet's check code agrees.
 */
template <typename LengthOf, typename IsSound>
PacketSearch findMarkedPacket(std::span<const uint8_t> bytes, const PacketMark& mark,
                              LengthOf lengthOf, IsSound isSound) {
  std::size_t at = 0;
  while (true) {
    while (at + 1 < bytes.size() && (bytes[at] != mark.first || bytes[at + 1] != mark.second)) {
      ++at;
    }
    if (at + 1 >= bytes.size()) {
      const bool halfMark = !bytes.empty() && bytes.back() == mark.first;
      return {.skip = bytes.size() - (halfMark ? 1 : 0), .length = 0};
    }
    const auto rest = bytes.subspan(at);
    if (rest.size() < mark.headerLength) {
      return {.skip = at, .length = 0};
    }
    const std::size_t length = lengthOf(rest);
    if (rest.size() < length) {
      return {.skip = at, .length = 0};
    }
    if (isSound(rest.first(length))) {
      return {.skip = at, .length = length};
    }
    at += 2;  // a damaged packet or a false mark: look again after its mark
  }
}

}  // namespace halvern

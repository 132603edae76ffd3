// A lidar's packets as a damaged line delivers them, for the decode benchmarks: one flipped bit
// in a sample of 3 % of the packets, and random bytes (half the time holding a false packet
// mark) before 5 % of them. The same stream for the same seed on every run.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

#include "core/MarkedPacketCodec.h"

namespace halvern::bench {

// The scan both lidars' benchmarks decode: 100 revolutions (10 s of scanning at 10 Hz), each a
// start packet of one sample, then the rest in packets of up to 40 samples.
inline constexpr int kRevolutions = 100;
inline constexpr int kSamplesPerPacket = 40;

/**
 * The packets of the benchmarks' revolutions of `samplesPerRevolution` samples as a lidar sends
 * them; `makePacket(start, firstSample, samples)` builds each.
 */
template <typename MakePacket>
std::vector<std::vector<uint8_t>> revolutionPackets(int samplesPerRevolution,
                                                    MakePacket makePacket) {
  std::vector<std::vector<uint8_t>> packets;
  for (int revolution = 0; revolution < kRevolutions; ++revolution) {
    packets.push_back(makePacket(true, 0, 1));
    for (int sample = 1; sample < samplesPerRevolution; sample += kSamplesPerPacket) {
      packets.push_back(
          makePacket(false, sample, std::min(kSamplesPerPacket, samplesPerRevolution - sample)));
    }
  }
  return packets;
}

struct DamagedPacketStream {
  std::vector<uint8_t> bytes;
  std::vector<bool> damaged;  // by packet, in order
  int64_t packets = 0;
  int64_t intactPackets = 0;
};

inline DamagedPacketStream damagedPacketStream(std::vector<std::vector<uint8_t>> packets,
                                               uint32_t seed) {
  constexpr double kCorruptedShare = 0.03;
  constexpr double kGarbageShare = 0.05;  // of the gaps between packets
  constexpr int kLongestGarbage = 24;
  constexpr std::size_t kHeader = marked::kHeaderLength;

  std::mt19937 random(seed);
  std::vector<std::size_t> order(packets.size());
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), random);
  const auto corrupted =
      static_cast<std::size_t>(std::lround(kCorruptedShare * static_cast<double>(packets.size())));
  DamagedPacketStream stream;
  stream.damaged.assign(packets.size(), false);
  for (std::size_t i = 0; i < corrupted; ++i) {
    std::vector<uint8_t>& packet = packets[order[i]];
    const std::size_t byte = kHeader + random() % (packet.size() - kHeader);
    packet[byte] ^= static_cast<uint8_t>(1U << (random() % 8));
    stream.damaged[order[i]] = true;
  }
  stream.packets = static_cast<int64_t>(packets.size());
  stream.intactPackets = static_cast<int64_t>(packets.size() - corrupted);

  std::bernoulli_distribution garbageHere(kGarbageShare);
  std::uniform_int_distribution<int> garbageLength(1, kLongestGarbage);
  std::uniform_int_distribution<int> anyByte(0, 255);
  for (const auto& packet : packets) {
    if (garbageHere(random)) {
      std::vector<uint8_t> garbage(static_cast<std::size_t>(garbageLength(random)));
      std::generate(garbage.begin(), garbage.end(),
                    [&] { return static_cast<uint8_t>(anyByte(random)); });
      if (garbage.size() >= 2 && random() % 2 == 0) {
        const std::size_t at = random() % (garbage.size() - 1);
        garbage[at] = marked::kMarkFirst;
        garbage[at + 1] = marked::kMarkSecond;
      }
      stream.bytes.insert(stream.bytes.end(), garbage.begin(), garbage.end());
    }
    stream.bytes.insert(stream.bytes.end(), packet.begin(), packet.end());
  }
  return stream;
}

}  // namespace halvern::bench

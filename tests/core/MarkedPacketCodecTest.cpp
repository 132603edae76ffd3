// The marked packet codec alone, against packets written out byte by byte with their check codes
// worked by hand, in both sample sizes the lidars use.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "core/MarkedPacketCodec.h"

namespace {

using namespace halvern::marked;  // NOLINT(google-build-using-namespace)
using Bytes = std::vector<uint8_t>;

// Two bytes a sample (a word), and three (a byte, then a word).
using WordSamples = MarkedPacketCodec<PacketFormat{.sampleLength = 2}>;
using ByteAndWordSamples = MarkedPacketCodec<PacketFormat{.sampleLength = 3}>;
using StartKeepsCount =
    MarkedPacketCodec<PacketFormat{.sampleLength = 2, .startHoldsOneSample = false}>;

// Check code 0x55AA ^ 0x0200 ^ 0x0A01 ^ 0x1402 ^ 0x1234 ^ 0xFFFF = 0xA462.
const Bytes kWordPacket{0xAA, 0x55, 0x00, 0x02, 0x01, 0x0A, 0x02,
                        0x14, 0x62, 0xA4, 0x34, 0x12, 0xFF, 0xFF};
// Check code 0x55AA ^ 0x0200 ^ 0x0A01 ^ 0x1402 ^ 0x7F ^ 0x0FA1 ^ 0x10 ^ 0x3E22 = 0x7845.
const Bytes kByteAndWordPacket{0xAA, 0x55, 0x00, 0x02, 0x01, 0x0A, 0x02, 0x14,
                               0x45, 0x78, 0x7F, 0xA1, 0x0F, 0x10, 0x22, 0x3E};

TEST(MarkedPacketCodec, EncodesTheWireByteForByte) {
  Bytes encoded{0x99};  // appended after what is there
  WordSamples::encode(encoded, false, 0x0A01, 0x1402, std::span(kWordPacket).subspan(10));
  EXPECT_EQ(Bytes(encoded.begin() + 1, encoded.end()), kWordPacket);
  EXPECT_EQ(encoded.front(), 0x99);

  Bytes encoded3;
  ByteAndWordSamples::encode(encoded3, false, 0x0A01, 0x1402,
                             std::span(kByteAndWordPacket).subspan(10));
  EXPECT_EQ(encoded3, kByteAndWordPacket);

  EXPECT_TRUE(WordSamples::isSound(kWordPacket));
  EXPECT_TRUE(ByteAndWordSamples::isSound(kByteAndWordPacket));
  const PacketHeader header = ByteAndWordSamples::header(kByteAndWordPacket);
  EXPECT_FALSE(header.start);
  EXPECT_EQ(header.count, 2U);
  EXPECT_EQ(header.firstAngleRaw, 0x0A01);
  EXPECT_EQ(header.lastAngleRaw, 0x1402);
  EXPECT_EQ(ByteAndWordSamples::sample(kByteAndWordPacket, 1)[0], 0x10);

  // A start packet holds its first sample only, or a zero one when none is given.
  Bytes start;
  WordSamples::encode(start, true, 0, 0, Bytes{1, 2, 3, 4});
  EXPECT_EQ(start.size(), kHeaderLength + 2);
  EXPECT_EQ(start[kTypeAt], kStartFlag);
  EXPECT_EQ(start[kCountAt], 1);
  EXPECT_EQ(start[10], 1);
  EXPECT_TRUE(WordSamples::isSound(start));
  start.clear();
  ByteAndWordSamples::encode(start, true, 0, 0, {});
  EXPECT_EQ(start, (Bytes{0xAA, 0x55, 0x01, 0x01, 0, 0, 0, 0, 0xAB, 0x54, 0, 0, 0}));
}

TEST(MarkedPacketCodec, TheStartRuleDecidesALength) {
  const Bytes header{0xAA, 0x55, 0x01, 0x05, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(WordSamples::length(header), kHeaderLength + 2);
  EXPECT_EQ(ByteAndWordSamples::length(header), kHeaderLength + 3);
  EXPECT_EQ(StartKeepsCount::length(header), kHeaderLength + 10);
}

TEST(MarkedPacketCodec, TheFramingLoopTakesEverySoundPacketOnceAndKeepsWhatMayFollow) {
  Bytes damaged = kWordPacket;
  damaged[11] ^= 0x04;
  const Bytes falseMark{0xAA, 0x55, 0x00, 0x01, 0, 0, 0, 0, 0, 0};
  Bytes stream{0x01, 0xAA};
  for (const Bytes* part :
       std::initializer_list<const Bytes*>{&falseMark, &kWordPacket, &damaged, &kWordPacket}) {
    stream.insert(stream.end(), part->begin(), part->end());
  }
  stream.insert(stream.end(), kWordPacket.begin(), kWordPacket.begin() + 5);  // half a packet

  // Fed whole, and a byte at a time: the same two packets, the half packet kept.
  for (const std::size_t piece : {stream.size(), std::size_t{1}}) {
    Bytes received;
    received.reserve(stream.size());
    const uint8_t* const buffer = received.data();
    int taken = 0;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
      received.insert(
          received.end(), stream.begin() + static_cast<std::ptrdiff_t>(at),
          stream.begin() + static_cast<std::ptrdiff_t>(std::min(at + piece, stream.size())));
      WordSamples::takePackets(received, [&](std::span<const uint8_t> packet) {
        EXPECT_TRUE(
            std::equal(packet.begin(), packet.end(), kWordPacket.begin(), kWordPacket.end()));
        ++taken;
      });
    }
    EXPECT_EQ(taken, 2) << "pieces of " << piece;
    EXPECT_EQ(received, Bytes(kWordPacket.begin(), kWordPacket.begin() + 5)) << piece;
    EXPECT_EQ(received.data(), buffer) << "the one buffer is kept";
  }
}

}  // namespace

// The serial lidar's packets alone: framing with check codes, and decoding.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "MarkedPacketBytes.h"
#include "lidar/LidarPackets.h"

namespace {

using namespace halvern::lidar;
using Bytes = std::vector<uint8_t>;

// A packet with the type and count bytes as given and the codec's check code, unless one is
// given (the codec's own is checked against hand-worked packets in its tests).
Bytes packet(uint8_t type, uint8_t count, uint16_t firstRaw, uint16_t lastRaw,
             const std::vector<uint16_t>& words, std::optional<uint16_t> check = std::nullopt) {
  Bytes samples;
  for (const uint16_t word : words) {
    halvern::testing::appendWord(samples, word);
  }
  return halvern::testing::markedPacket<PacketCodec>(type, count, firstRaw, lastRaw, samples,
                                                     check);
}

// The streams the cases feed.
Bytes join(std::initializer_list<Bytes> parts) { return halvern::testing::joined(parts); }

// Frames and decodes `stream` as the reader does; the samples of every packet found.
std::vector<std::vector<LidarSample>> packetsIn(const Bytes& stream) {
  std::vector<std::vector<LidarSample>> packets;
  Bytes received = stream;
  PacketCodec::takePackets(received, [&](std::span<const uint8_t> packet) {
    std::vector<LidarSample> samples;
    decodePacket(packet, samples);
    packets.push_back(samples);
  });
  return packets;
}

float correctedAngle(float angle, float distance) {
  return static_cast<float>(angle + angleCorrectionDegrees(distance));
}

TEST(LidarPackets, RangeLimitsAndTheAngleCorrection) {
  // 480 quarter-millimetres is 120.0 mm, the lowest distance in range; 476 is 119.0.
  std::vector<LidarSample> samples;
  decodePacket(packet(0x00, 2, 10 * 128, 20 * 128, {480, 476}), samples);
  ASSERT_EQ(samples.size(), 2U);
  EXPECT_FLOAT_EQ(samples[0].distance, 120.0F);
  EXPECT_FLOAT_EQ(samples[0].angle, correctedAngle(10.0F, 120.0F));
  EXPECT_FLOAT_EQ(samples[1].distance, -1.0F);
  EXPECT_FLOAT_EQ(samples[1].angle, correctedAngle(20.0F, 119.0F));

  // The correction is in degrees: a few degrees near the lidar, nothing at 155.3 mm.
  EXPECT_NEAR(angleCorrectionDegrees(120.0F), 2.366, 0.01);
  EXPECT_NEAR(angleCorrectionDegrees(155.3F), 0.0, 1e-6);
  EXPECT_NEAR(angleCorrectionDegrees(1000.0F), -6.77, 0.01);
  EXPECT_EQ(angleCorrectionDegrees(0.0F), 0.0);

  samples.clear();
  decodePacket(packet(0x00, 3, 0, 2 * 128, {0, 32000, 32004}), samples);
  EXPECT_FLOAT_EQ(samples[0].distance, -1.0F);  // 0 mm: no correction, out of range
  EXPECT_FLOAT_EQ(samples[0].angle, 0.0F);
  EXPECT_FLOAT_EQ(samples[1].distance, 8000.0F);
  EXPECT_FLOAT_EQ(samples[2].distance, -1.0F);
}

TEST(LidarPackets, SamplesAreNumberedFromZeroAndAnglesWrap) {
  // 359.5 to 0.5 degrees: a span of 1 degree over three samples.
  std::vector<LidarSample> samples;
  const uint16_t distance = 621;  // 155.25 mm: a correction of a few thousandths
  decodePacket(packet(0x00, 3, 46016, 64, {distance, distance, distance}), samples);
  ASSERT_EQ(samples.size(), 3U);
  EXPECT_NEAR(samples[0].angle, 359.5F, 0.005F);
  EXPECT_NEAR(samples[1].angle, 0.0F, 0.005F);  // 360.0 wraps to 0
  EXPECT_NEAR(samples[2].angle, 0.5F, 0.005F);
  for (const LidarSample& sample : samples) {
    EXPECT_GE(sample.angle, 0.0F);
    EXPECT_LT(sample.angle, 360.0F);
  }

  // A start packet holds one sample at the first angle, whatever its count says.
  samples.clear();
  const Bytes start = packet(0x01, 0x28, 90 * 128, 100 * 128, {4000});
  ASSERT_EQ(start.size(), 12U);
  EXPECT_TRUE(decodePacket(start, samples));
  ASSERT_EQ(samples.size(), 1U);
  EXPECT_FLOAT_EQ(samples[0].angle, correctedAngle(90.0F, 1000.0F));

  // A negative correction below 0 degrees wraps up.
  samples.clear();
  decodePacket(packet(0x00, 1, 128, 128, {4000}), samples);
  EXPECT_NEAR(samples[0].angle, 360.0F + 1.0F - 6.77F, 0.01F);
}

TEST(LidarPackets, FramingCarriesSplitPacketsAndSkipsNoiseAndDamage) {
  const Bytes first = packet(0x00, 2, 0, 128, {4000, 4004});
  const Bytes second = packet(0x00, 1, 256, 256, {8000});
  const Bytes backToBack = join({first, second});
  ASSERT_EQ(packetsIn(backToBack).size(), 2U);

  // Split anywhere: the first part waits, the rest completes it.
  for (std::size_t cut = 1; cut < first.size(); ++cut) {
    const Bytes head(first.begin(), first.begin() + static_cast<std::ptrdiff_t>(cut));
    const PacketSearch waiting = findPacket(head);
    EXPECT_EQ(waiting.length, 0U) << cut;
    EXPECT_EQ(waiting.skip, 0U) << cut;  // nothing of it is dropped
  }

  // Noise before a mark, a false mark whose count reaches into the real packet, a damaged one.
  const Bytes noise{0x01, 0x55, 0xAA, 0x13};
  const Bytes falseMark{0xAA, 0x55, 0x00, 0x04, 0, 0, 0, 0, 0, 0};
  Bytes damaged = packet(0x00, 1, 512, 512, {1234});
  damaged[10] ^= 0x01;
  const auto found = packetsIn(join({noise, falseMark, first, damaged, second}));
  ASSERT_EQ(found.size(), 2U);
  EXPECT_FLOAT_EQ(found[0][0].distance, 1000.0F);
  EXPECT_FLOAT_EQ(found[1][0].distance, 2000.0F);

  EXPECT_TRUE(packetsIn(packet(0x00, 1, 0, 0, {4000}, 0xBEEF)).empty());

  // No mark at all: everything goes but a last 0xAA.
  const Bytes halfMark{1, 2, 3, 4, 5, 6, 7, 8, 9, 0xAA};
  EXPECT_EQ(findPacket(halfMark).skip, halfMark.size() - 1);
}

TEST(LidarPackets, TheCheckCodeCoversTheHeaderAndEverySample) {
  const Bytes sound = packet(0x00, 2, 0x0A01, 0x1402, {0x1234, 0xFFFF});
  EXPECT_EQ(packetCheckCode(sound), static_cast<uint16_t>(sound[8] | (sound[9] << 8U)));
  for (std::size_t byte = 0; byte < sound.size(); ++byte) {
    if (byte == 2 || byte == 3 || byte == 8 || byte == 9) {
      continue;  // type and count change the length; the check code itself
    }
    Bytes flipped = sound;
    flipped[byte] ^= 0x10;
    EXPECT_NE(packetCheckCode(flipped), packetCheckCode(sound)) << byte;
  }
}

// The lidar's side, as the simulated lidar writes it: what it encodes, the library reads back.
TEST(LidarRoundTrip, WordsAnglesAndPackets) {
  EXPECT_EQ(distanceWord(0.0), 0);
  EXPECT_EQ(distanceWord(-5.0), 0);
  EXPECT_EQ(distanceWord(1000.1), 4000);
  EXPECT_EQ(distanceWord(1e9), 0xFFFF);
  EXPECT_EQ(angleRaw(90.0), 90 * 128);
  EXPECT_EQ(angleRaw(-90.0), 270 * 128);
  EXPECT_EQ(angleRaw(450.0), 90 * 128);

  const std::vector<uint16_t> words{distanceWord(1000.0), distanceWord(2000.0), 0};
  Bytes bytes;
  encodePacket(bytes, false, angleRaw(10.0), angleRaw(12.0), words);
  ASSERT_EQ(findPacket(bytes).length, bytes.size());
  std::vector<LidarSample> samples;
  EXPECT_FALSE(decodePacket(bytes, samples));
  ASSERT_EQ(samples.size(), 3U);
  // Spread from the first angle to the last, each corrected for its distance.
  for (std::size_t k = 0; k < 2; ++k) {
    const auto distance = static_cast<float>(1000 * (k + 1));
    EXPECT_FLOAT_EQ(samples[k].distance, distance);
    EXPECT_NEAR(samples[k].angle, 10.0 + static_cast<double>(k) + angleCorrectionDegrees(distance),
                1e-4);
  }
  EXPECT_FLOAT_EQ(samples[2].distance, kOutOfRange);

  Bytes start;
  encodePacket(start, true, 0, 0, words);
  samples.clear();
  EXPECT_TRUE(decodePacket(start, samples));
  ASSERT_EQ(samples.size(), 1U);
  EXPECT_FLOAT_EQ(samples[0].distance, 1000.0F);
}

}  // namespace

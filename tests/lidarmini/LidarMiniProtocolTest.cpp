// The lidar's wire formats alone: replies, scan packet framing with check codes, decoding.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "MarkedPacketBytes.h"
#include "lidarmini/LidarMiniProtocol.h"

namespace {

using namespace halvern::lidarmini;
using Bytes = std::vector<uint8_t>;

struct Sample {
  uint8_t intensity;
  uint16_t distanceMm;
  uint8_t flag = 0;
};

// A packet as the lidar sends it, with the type and count bytes as given and the codec's check
// code, unless one is given (the codec's own is checked against hand-worked packets in its tests).
Bytes packet(uint8_t type, uint8_t countByte, uint16_t firstRaw, uint16_t lastRaw,
             const std::vector<Sample>& samples, std::optional<uint16_t> check = std::nullopt) {
  Bytes bytes;
  for (const Sample& s : samples) {
    bytes.push_back(s.intensity);
    halvern::testing::appendWord(bytes, static_cast<uint16_t>((s.distanceMm << 2U) | s.flag));
  }
  return halvern::testing::markedPacket<PacketCodec>(type, countByte, firstRaw, lastRaw, bytes,
                                                     check);
}

// The streams the cases feed.
Bytes join(std::initializer_list<Bytes> parts) { return halvern::testing::joined(parts); }

// Frames and decodes everything in `stream` as the scan thread does; the packets' point lists.
std::vector<std::vector<ScanPoint>> framesOf(Bytes stream) {
  std::vector<std::vector<ScanPoint>> packets;
  while (const std::size_t length = NextScanPacket(stream)) {
    std::vector<ScanPoint> points;
    DecodeScanPacket(std::span<const uint8_t>(stream.data(), length), points);
    packets.push_back(points);
    stream.erase(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(length));
  }
  return packets;
}

TEST(LidarMiniReplies, DescriptorsInformationAndHealth) {
  EXPECT_EQ(request(Command::FrequencyUpOne), (std::array<uint8_t, 2>{0xA5, 0x0B}));
  const std::array<uint8_t, 7> info{0xA5, 0x5A, 0x05, 0x00, 0x00, 0x40, 0x04};
  EXPECT_EQ(descriptorType(info), 4);
  const std::array<uint8_t, 7> bad{0xA5, 0x00, 0x05, 0x00, 0x00, 0x40, 0x04};
  EXPECT_FALSE(descriptorType(bad).has_value());

  std::array<uint8_t, 20> payload{};
  payload[0] = 0x28;
  payload[1] = 0x34;
  payload[2] = 0x12;
  payload[3] = 7;
  for (uint8_t i = 0; i < 16; ++i) {
    payload.at(4U + i) = static_cast<uint8_t>(0xF0 + i);
  }
  const LidarInfo decoded = decodeInfo(payload);
  EXPECT_EQ(decoded.model, 0x28);
  EXPECT_EQ(decoded.firmwareVersion, 0x1234);
  EXPECT_EQ(decoded.hardwareVersion, 7);
  EXPECT_EQ(decoded.serialnum[0], 0xF0);
  EXPECT_EQ(decoded.serialnum[15], 0xFF);

  const std::array<uint8_t, 3> health{2, 0x01, 0x80};
  EXPECT_EQ(decodeHealth(health).status, 2);
  EXPECT_EQ(decodeHealth(health).errorCode, 0x8001);
}

TEST(LidarMiniFraming, ShortBuffersWaitAndNoiseBeforeAMarkGoes) {
  Bytes nine{1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(NextScanPacket(nine), 0U);
  EXPECT_EQ(nine.size(), 9U);  // untouched

  Bytes noise(12, 0x11);
  EXPECT_EQ(NextScanPacket(noise), 0U);
  EXPECT_TRUE(noise.empty());

  // A last 0xAA may be the first half of a mark the next read completes.
  Bytes halfMark(12, 0x11);
  halfMark.back() = 0xAA;
  EXPECT_EQ(NextScanPacket(halfMark), 0U);
  EXPECT_EQ(halfMark, Bytes{0xAA});

  const Bytes sound = packet(0x00, 2, 0x0100, 0x0200, {{10, 1000}, {20, 2000}});
  Bytes led = join({{0x01, 0x02}, sound});
  EXPECT_EQ(NextScanPacket(led), sound.size());
  EXPECT_EQ(led, sound);

  // A packet not yet whole stays as it is.
  Bytes partial(sound.begin(), sound.end() - 1);
  EXPECT_EQ(NextScanPacket(partial), 0U);
  EXPECT_EQ(partial.size(), sound.size() - 1);
}

TEST(LidarMiniFraming, DamagedPacketsAreDroppedWholeAndFalseMarksDoNotHideRealOnes) {
  const Bytes first = packet(0x00, 1, 0x0100, 0x0100, {{1, 500}});
  Bytes damaged = packet(0x00, 2, 0x0200, 0x0300, {{2, 600}, {3, 700}});
  damaged[12] ^= 0x04;  // a flipped bit in the first sample's distance
  const Bytes last = packet(0x00, 1, 0x0400, 0x0400, {{4, 800}});
  const auto packets = framesOf(join({first, damaged, last}));
  ASSERT_EQ(packets.size(), 2U);
  EXPECT_FLOAT_EQ(packets[0][0].distance, 0.5F);
  EXPECT_FLOAT_EQ(packets[1][0].distance, 0.8F);

  // Noise holding a mark and a count that would swallow the real packet behind it.
  const Bytes falseMark{0x13, 0xAA, 0x55, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  const auto behind = framesOf(join({falseMark, last}));
  ASSERT_EQ(behind.size(), 1U);
  EXPECT_FLOAT_EQ(behind[0][0].distance, 0.8F);

  // A wrong check code alone is enough to drop a packet.
  EXPECT_TRUE(framesOf(packet(0x00, 1, 0, 0, {{1, 500}}, 0x1234)).empty());
}

TEST(LidarMiniFraming, TheCheckCodeCoversEveryWordOfThePacket) {
  const Bytes sound = packet(0x00, 2, 0x0A01, 0x1402, {{0x7F, 3000, 1}, {0x80, 4000}});
  EXPECT_EQ(packetCheckCode(sound), static_cast<uint16_t>(sound[8] | (sound[9] << 8U)));
  // Every single flipped bit outside the check code changes it.
  for (std::size_t byte = 0; byte < sound.size(); ++byte) {
    if (byte == 3 || byte == 8 || byte == 9) {
      continue;  // the count changes the packet's length; the check code itself
    }
    for (unsigned bit = 0; bit < 8; ++bit) {
      Bytes flipped = sound;
      flipped[byte] ^= static_cast<uint8_t>(1U << bit);
      if (byte == 2 && bit == 0) {
        continue;  // the start flag changes the packet's length instead
      }
      EXPECT_NE(packetCheckCode(flipped), packetCheckCode(sound)) << byte << ":" << bit;
    }
  }
}

TEST(LidarMiniDecoding, AStartPacketHoldsOneSampleWhateverItsCountSays) {
  Bytes start = packet(0x01, 0x28, 0x0A01, 0x0A01, {{99, 1234}});
  ASSERT_EQ(start.size(), 13U);
  start.resize(start.size() + 5, 0x00);  // what follows is not part of it
  EXPECT_EQ(NextScanPacket(start), 13U);
  std::vector<ScanPoint> points;
  EXPECT_TRUE(DecodeScanPacket(std::span<const uint8_t>(start.data(), 13), points));
  ASSERT_EQ(points.size(), 1U);
  EXPECT_FLOAT_EQ(points[0].angle, 20.0078125F);
  EXPECT_FLOAT_EQ(points[0].distance, 1.234F);
  EXPECT_FLOAT_EQ(points[0].intensity, 99.0F);

  const Bytes empty = packet(0x00, 0, 0, 0, {});
  ASSERT_EQ(empty.size(), 10U);
  points.clear();
  EXPECT_FALSE(DecodeScanPacket(empty, points));
  EXPECT_TRUE(points.empty());
}

TEST(LidarMiniDecoding, AnglesSpreadOverTheSpanAndWrapPastZero) {
  // First angle 350 degrees, last 10: a span of 20 over five samples.
  const Bytes wrapping =
      packet(0x00, 5, 350 * 128, 10 * 128, {{1, 100}, {1, 100}, {1, 100}, {1, 100}, {1, 100}});
  std::vector<ScanPoint> points;
  DecodeScanPacket(wrapping, points);
  ASSERT_EQ(points.size(), 5U);
  EXPECT_FLOAT_EQ(points[0].angle, 350.0F);
  EXPECT_FLOAT_EQ(points[1].angle, 355.0F);
  EXPECT_FLOAT_EQ(points[2].angle, 0.0F);
  EXPECT_FLOAT_EQ(points[4].angle, 10.0F);
  for (const ScanPoint& point : points) {
    EXPECT_GE(point.angle, 0.0F);
    EXPECT_LT(point.angle, 360.0F);
  }
}

TEST(LidarMiniDecoding, DistancesOutOfRangeOrFlaggedReadMinusOne) {
  const Bytes samples = packet(
      0x00, 6, 0, 128 * 5, {{1, 49}, {1, 50}, {1, 12000}, {1, 12001}, {1, 1000, 2}, {1, 1000, 1}});
  std::vector<ScanPoint> points;
  DecodeScanPacket(samples, points);
  ASSERT_EQ(points.size(), 6U);
  EXPECT_FLOAT_EQ(points[0].distance, -1.0F);
  EXPECT_FLOAT_EQ(points[1].distance, 0.05F);
  EXPECT_FLOAT_EQ(points[2].distance, 12.0F);
  EXPECT_FLOAT_EQ(points[3].distance, -1.0F);
  EXPECT_FLOAT_EQ(points[4].distance, -1.0F);  // flagged invalid
  EXPECT_FLOAT_EQ(points[5].distance, 1.0F);   // flag 1 is not invalid
}

TEST(LidarMiniDecoding, EveryDistanceAndAngleIsExactlyTheSinglePrecisionFormula) {
  // Every raw distance in range, in full packets spanning 0.5 to 300.25 degrees: the metres are
  // raw / 1000 to the last bit, and the angles span / (count - 1) * i + first (to within what a
  // fused multiply-add may round differently).
  const float first = 64.0F / 128.0F;
  const float last = 38432.0F / 128.0F;
  const float span = last - first;
  std::array<ScanPoint, kMaxPacketPoints> fixed{};
  int wrong = 0;
  for (unsigned from = 50; from <= 12000; from += kMaxPacketPoints) {
    std::vector<Sample> samples;
    for (unsigned raw = from; raw < from + kMaxPacketPoints; ++raw) {
      samples.push_back({1, static_cast<uint16_t>(std::min(raw, 12000U))});
    }
    const Bytes bytes = packet(0x00, kMaxPacketPoints, 64, 38432, samples);
    std::vector<ScanPoint> points;
    DecodeScanPacket(bytes, points);
    ASSERT_EQ(decodeScanPoints(bytes, fixed), points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
      const float metres = static_cast<float>(samples[i].distanceMm) / 1000.0F;
      const float angle =
          span / static_cast<float>(kMaxPacketPoints - 1) * static_cast<float>(i) + first;
      wrong += points[i].distance != metres || std::abs(points[i].angle - angle) > 1e-4F ? 1 : 0;
      wrong += fixed.at(i).distance != points[i].distance || fixed.at(i).angle != points[i].angle;
    }
  }
  EXPECT_EQ(wrong, 0);
}

// The lidar's side, as the simulated lidar writes it: what it encodes, the library reads back.
TEST(LidarMiniRoundTrip, ScanPacketsRepliesAndTheScanDescriptor) {
  const std::vector<ScanSample> samples{{.intensity = 200, .distanceMm = 1234, .flag = 0},
                                        {.intensity = 7, .distanceMm = 12000, .flag = 1},
                                        {.intensity = 0, .distanceMm = 3000, .flag = 2}};
  Bytes bytes;
  encodeScanPacket(bytes, false, 90 * 128, 92 * 128, samples);
  EXPECT_EQ(bytes, packet(0, 3, 90 * 128, 92 * 128,
                          {{200, 1234, 0}, {7, 12000, 1}, {0, 3000, 2}}));
  const PacketSearch found = findScanPacket(bytes);
  ASSERT_EQ(found.length, bytes.size());
  std::vector<ScanPoint> points;
  EXPECT_FALSE(DecodeScanPacket(bytes, points));
  ASSERT_EQ(points.size(), 3U);
  EXPECT_FLOAT_EQ(points[0].angle, 90.0F);
  EXPECT_FLOAT_EQ(points[0].distance, 1.234F);
  EXPECT_FLOAT_EQ(points[0].intensity, 200.0F);
  EXPECT_FLOAT_EQ(points[1].angle, 91.0F);
  EXPECT_FLOAT_EQ(points[1].distance, 12.0F);
  EXPECT_FLOAT_EQ(points[2].distance, kMissingDistance);  // flagged invalid

  // A start packet holds its first sample only; a 14-bit distance keeps its low bits.
  Bytes start;
  encodeScanPacket(start, true, 0, 0, std::vector<ScanSample>{{.distanceMm = 0x4000 + 500}, {}});
  points.clear();
  EXPECT_TRUE(DecodeScanPacket(start, points));
  ASSERT_EQ(points.size(), 1U);
  EXPECT_FLOAT_EQ(points[0].distance, 0.5F);

  LidarInfo info{.model = 0x28, .firmwareVersion = 0x0105, .hardwareVersion = 2, .serialnum = {}};
  for (std::size_t i = 0; i < std::size(info.serialnum); ++i) {
    info.serialnum[i] = static_cast<uint8_t>('A' + i);
  }
  const Bytes infoReply = encodeInfoReply(info);
  ASSERT_EQ(infoReply.size(), kDescriptorLength + kInfoPayloadLength);
  EXPECT_EQ(descriptorType(std::span<const uint8_t, kDescriptorLength>(infoReply.data(),
                                                                       kDescriptorLength)),
            kInfoType);
  EXPECT_EQ(infoReply[2], kInfoPayloadLength);
  const LidarInfo infoBack = decodeInfo(
      std::span<const uint8_t, kInfoPayloadLength>(infoReply.data() + kDescriptorLength,
                                                   kInfoPayloadLength));
  EXPECT_EQ(infoBack.model, info.model);
  EXPECT_EQ(infoBack.firmwareVersion, info.firmwareVersion);
  EXPECT_EQ(infoBack.hardwareVersion, info.hardwareVersion);
  EXPECT_TRUE(std::equal(std::begin(info.serialnum), std::end(info.serialnum),
                         std::begin(infoBack.serialnum)));

  const Bytes healthReply = encodeHealthReply(LidarHealth{.status = 2, .errorCode = 0x8001});
  ASSERT_EQ(healthReply.size(), kDescriptorLength + kHealthPayloadLength);
  EXPECT_EQ(descriptorType(std::span<const uint8_t, kDescriptorLength>(healthReply.data(),
                                                                       kDescriptorLength)),
            kHealthType);
  const LidarHealth healthBack = decodeHealth(std::span<const uint8_t, kHealthPayloadLength>(
      healthReply.data() + kDescriptorLength, kHealthPayloadLength));
  EXPECT_EQ(healthBack.status, 2);
  EXPECT_EQ(healthBack.errorCode, 0x8001);

  // The scan descriptor is a descriptor, of a type neither reply has.
  const auto scanType = descriptorType(kScanDescriptor);
  ASSERT_TRUE(scanType.has_value());
  EXPECT_NE(*scanType, kInfoType);
  EXPECT_NE(*scanType, kHealthType);
}

}  // namespace

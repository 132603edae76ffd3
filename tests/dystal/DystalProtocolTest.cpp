// The distance sensor's wire formats alone: binary frames, chunk assembly, the configuration.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

#include "DystalReadings.h"
#include "core/ConnectionMonitor.h"
#include "dystal/DystalDevice.h"
#include "dystal/DystalProtocol.h"
#include "dystal/ReadingAssembler.h"

namespace {

using namespace halvern::dystal;
using halvern::test::dystal::describe;
using Bytes = std::vector<uint8_t>;

// A distance frame of `distances`, with `padding` extra bytes after them.
Bytes distanceFrame(uint8_t sequence, std::initializer_list<int16_t> distances,
                    std::size_t padding = 0, uint8_t type = 1, uint8_t flags = 1) {
  const std::size_t length = 4 + 2 * distances.size() + padding;
  Bytes frame{
      0xA5, 0x5A,     static_cast<uint8_t>(length & 0xFFU),   static_cast<uint8_t>(length >> 8U),
      type, sequence, static_cast<uint8_t>(distances.size()), flags};
  for (const int16_t d : distances) {
    frame.push_back(static_cast<uint8_t>(static_cast<uint16_t>(d) & 0xFFU));
    frame.push_back(static_cast<uint8_t>(static_cast<uint16_t>(d) >> 8U));
  }
  frame.resize(frame.size() + padding, 0);
  return frame;
}

// Feeds bytes as the reader does and returns the frames decoded, in order.
std::vector<DistanceFrame> feed(Bytes& rxBuffer, const Bytes& bytes) {
  std::vector<DistanceFrame> frames;
  appendReceived(rxBuffer, bytes.data(), bytes.size());
  parseBuffer(rxBuffer, [&](const DistanceFrame& frame) { frames.push_back(frame); });
  return frames;
}

Bytes chunk(uint8_t sequence, uint8_t index, uint16_t d0, uint16_t d1, uint16_t d2) {
  return {sequence,
          index,
          static_cast<uint8_t>(d0 & 0xFFU),
          static_cast<uint8_t>(d0 >> 8U),
          static_cast<uint8_t>(d1 & 0xFFU),
          static_cast<uint8_t>(d1 >> 8U),
          static_cast<uint8_t>(d2 & 0xFFU),
          static_cast<uint8_t>(d2 >> 8U)};
}

ChunkGathering gather(std::initializer_list<Bytes> chunks) {
  ChunkGathering gathering;
  for (const Bytes& c : chunks) {
    gathering.add(c.data(), c.size());
  }
  return gathering;
}

TEST(DystalFrames, ADistanceFrameDecodesAndFillsTheRestWithMissing) {
  Bytes rx;
  const auto frames = feed(rx, {0xA5, 0x5A, 0x06, 0x00, 0x01, 0x07, 0x01, 0x01, 0x2C, 0x01});
  ASSERT_EQ(frames.size(), 1U);
  EXPECT_EQ(frames[0].sequence, 7);
  EXPECT_EQ(frames[0].count, 1);
  EXPECT_EQ(frames[0].distances[0], 300);
  for (std::size_t k = 1; k < frames[0].distances.size(); ++k) {
    EXPECT_EQ(frames[0].distances.at(k), -1) << k;
  }
  EXPECT_TRUE(rx.empty());
}

TEST(DystalFrames, StrayBytesSplitFramesAndBackToBackFrames) {
  Bytes rx;
  Bytes stream{0x00, 0xA5, 0x13};  // stray bytes, one of them half a sync
  const Bytes first = distanceFrame(1, {100, -200, 0x7FFF});
  const Bytes second = distanceFrame(2, {5, 6}, 3);
  stream.insert(stream.end(), first.begin(), first.end());
  stream.insert(stream.end(), second.begin(), second.end());

  // Byte by byte: nothing is decoded until a frame is whole, and nothing is decoded twice.
  std::vector<DistanceFrame> frames;
  for (const uint8_t byte : stream) {
    const auto decoded = feed(rx, {byte});
    frames.insert(frames.end(), decoded.begin(), decoded.end());
  }
  ASSERT_EQ(frames.size(), 2U);
  EXPECT_EQ(frames[0].sequence, 1);
  EXPECT_EQ(frames[0].distances[1], -200);
  EXPECT_EQ(frames[0].distances[2], 0x7FFF);
  EXPECT_EQ(frames[1].sequence, 2);
  EXPECT_EQ(frames[1].count, 2);
  EXPECT_TRUE(rx.empty());

  // All at once: both frames, the second one last.
  Bytes whole;
  const auto together = feed(whole, stream);
  ASSERT_EQ(together.size(), 2U);
  EXPECT_EQ(together.back().sequence, 2);
}

TEST(DystalFrames, FramesThatCarryNoDistancesAreConsumedWithoutAReading) {
  Bytes rx;
  Bytes stream = distanceFrame(1, {1, 2}, 0, /*type=*/2);
  const Bytes noFlag = distanceFrame(2, {1, 2}, 0, 1, /*flags=*/0);
  Bytes tooShort = distanceFrame(3, {1, 2, 3, 4});
  tooShort[6] = 5;  // claims five distances in room for four
  const Bytes good = distanceFrame(4, {9});
  for (const Bytes* part : std::initializer_list<const Bytes*>{&noFlag, &tooShort, &good}) {
    stream.insert(stream.end(), part->begin(), part->end());
  }
  const auto frames = feed(rx, stream);
  ASSERT_EQ(frames.size(), 1U);
  EXPECT_EQ(frames[0].sequence, 4);
  EXPECT_TRUE(rx.empty());
}

TEST(DystalFrames, AnImpossibleLengthDropsOneByteAndWaitsForTheNextRead) {
  Bytes rx;
  Bytes stream{0xA5, 0x5A, 0x02, 0x00};  // a frame of 6 bytes cannot be
  const Bytes good = distanceFrame(8, {42});
  stream.insert(stream.end(), good.begin(), good.end());
  EXPECT_TRUE(feed(rx, stream).empty());
  EXPECT_EQ(rx.size(), stream.size() - 1);
  // The next read lets the pass go on to the good frame.
  const auto later = feed(rx, {0x00});
  ASSERT_EQ(later.size(), 1U);
  EXPECT_EQ(later[0].distances[0], 42);
}

TEST(DystalFrames, ALengthTheBufferCouldNeverHoldDoesNotHoldUpLaterFrames) {
  Bytes rx;
  Bytes stream{0xA5, 0x5A, 0xFF, 0x7F};  // a corrupted length: 32771 bytes
  const Bytes good = distanceFrame(9, {55});
  stream.insert(stream.end(), good.begin(), good.end());
  EXPECT_TRUE(feed(rx, stream).empty());  // one byte goes
  const auto frames = feed(rx, distanceFrame(10, {66}));
  ASSERT_EQ(frames.size(), 2U);
  EXPECT_EQ(frames[0].distances[0], 55);
  EXPECT_EQ(frames[1].distances[0], 66);

  // The longest frame the buffer can hold is still awaited whole.
  Bytes longest = distanceFrame(11, {1}, kBufferLimit - 10);
  ASSERT_EQ(longest.size(), kBufferLimit);
  Bytes waiting;
  EXPECT_TRUE(feed(waiting, Bytes(longest.begin(), longest.end() - 1)).empty());
  const auto completed = feed(waiting, {longest.back()});
  ASSERT_EQ(completed.size(), 1U);
  EXPECT_EQ(completed[0].sequence, 11);
}

TEST(DystalFrames, MoreThanSixtyFourDistancesKeepTheFirstSixtyFour) {
  Bytes frame{0xA5, 0x5A, 4 + 140, 0x00, 0x01, 0x09, 70, 0x01};
  for (int k = 0; k < 70; ++k) {
    frame.push_back(static_cast<uint8_t>(k));
    frame.push_back(0);
  }
  Bytes rx;
  const auto frames = feed(rx, frame);
  ASSERT_EQ(frames.size(), 1U);
  EXPECT_EQ(frames[0].count, 64);
  EXPECT_EQ(frames[0].distances[63], 63);
}

TEST(DystalFrames, TheBufferIsCutToItsNewestBytesAndGarbageLeavesOneByte) {
  Bytes rx;
  feed(rx, Bytes(5000, 0x11));  // no sync anywhere: all but the last byte go
  EXPECT_EQ(rx.size(), 1U);

  // A frame so long it never completes holds the buffer until the cut.
  Bytes hold{0xA5, 0x5A, 0xF0, 0xFF, 0x01, 0x01, 0x01, 0x01};
  feed(rx, hold);
  feed(rx, Bytes(8000, 0x22));
  EXPECT_LE(rx.size(), kBufferLimit);
  feed(rx, Bytes(300, 0x22));
  EXPECT_LE(rx.size(), kBufferLimit);

  // After the cut the stale header is gone and a fresh frame decodes.
  const auto frames = feed(rx, distanceFrame(3, {77}));
  ASSERT_EQ(frames.size(), 1U);
  EXPECT_EQ(frames[0].distances[0], 77);
}

TEST(DystalChunks, MissingChunksReadMinusOneAndSetTheCount) {
  const auto gapInTheMiddle = gather({chunk(5, 0, 10, 11, 12), chunk(5, 2, 16, 17, 18)});
  const ScanData scan = gapInTheMiddle.assemble(9);
  EXPECT_EQ(scan.sequence, 5);
  EXPECT_EQ(scan.count, 9);
  const std::vector<int16_t> expected{10, 11, 12, -1, -1, -1, 16, 17, 18};
  EXPECT_EQ(std::vector<int16_t>(scan.distance, scan.distance + 9), expected);
  EXPECT_EQ(scan.distance[9], 0);  // beyond the request

  const ScanData tailMissing = gather({chunk(5, 0, 1, 2, 3), chunk(5, 1, 4, 5, 6)}).assemble(9);
  EXPECT_EQ(tailMissing.count, 6);
  EXPECT_EQ(tailMissing.distance[8], -1);

  // Every distance sent as 0xFFFF: all missing, the count is the request.
  const ScanData allMissing =
      gather({chunk(2, 0, 0xFFFF, 0xFFFF, 0xFFFF), chunk(2, 1, 0xFFFF, 0xFFFF, 0xFFFF)})
          .assemble(6);
  EXPECT_EQ(allMissing.count, 6);
  EXPECT_EQ(allMissing.distance[0], -1);

  // A count that ends inside a chunk takes only its first positions.
  const ScanData partial = gather({chunk(1, 0, 1, 2, 3), chunk(1, 1, 4, 5, 6)}).assemble(4);
  EXPECT_EQ(partial.count, 4);
  EXPECT_EQ(partial.distance[3], 4);
  EXPECT_EQ(partial.distance[4], 0);
}

TEST(DystalChunks, TheSequenceWithMostChunksWinsAndTiesGoToChunkZero) {
  const auto laterHoldsChunkZero = gather(
      {chunk(3, 1, 1, 1, 1), chunk(3, 2, 1, 1, 1), chunk(4, 0, 2, 2, 2), chunk(4, 1, 2, 2, 2)});
  EXPECT_EQ(laterHoldsChunkZero.assemble(9).sequence, 4);

  const auto laterLacksChunkZero = gather(
      {chunk(3, 1, 1, 1, 1), chunk(3, 2, 1, 1, 1), chunk(4, 1, 2, 2, 2), chunk(4, 2, 2, 2, 2)});
  EXPECT_EQ(laterLacksChunkZero.assemble(9).sequence, 3);

  const auto moreChunksWin =
      gather({chunk(9, 0, 1, 1, 1), chunk(9, 1, 1, 1, 1), chunk(200, 0, 2, 2, 2)});
  EXPECT_EQ(moreChunksWin.assemble(6).sequence, 9);

  // A repeated chunk replaces the earlier one rather than counting twice.
  const auto repeated = gather(
      {chunk(6, 0, 1, 1, 1), chunk(6, 0, 7, 7, 7), chunk(5, 0, 3, 3, 3), chunk(5, 1, 3, 3, 3)});
  EXPECT_EQ(repeated.assemble(3).sequence, 5);
  EXPECT_EQ(gather({chunk(6, 0, 1, 1, 1), chunk(6, 0, 7, 7, 7)}).assemble(3).distance[0], 7);
}

TEST(DystalChunks, ShortFramesAndNothingGatheredGiveAnEmptyReading) {
  ChunkGathering gathering;
  const Bytes shortFrame{1, 0, 5, 0, 6, 0, 7};
  gathering.add(shortFrame.data(), shortFrame.size());
  EXPECT_TRUE(gathering.empty());
  const ScanData scan = gathering.assemble(9);
  EXPECT_EQ(scan.sequence, 0);
  EXPECT_EQ(scan.count, 0);
  EXPECT_EQ(scan.distance[0], 0);
}

TEST(DystalCan, IdentifiersAndTheConfigurationReply) {
  EXPECT_EQ(canMessageId(0, Api::DistanceChunk), 0x06090040U);
  EXPECT_EQ(canMessageId(0, Api::ConfigRequest), 0x06090400U);
  EXPECT_EQ(canMessageId(5, Api::ConfigReply), 0x06090445U);
  EXPECT_EQ(canMessageId(63, Api::DistanceChunk), 0x0609007FU);

  const Bytes reply{3, 1, 0, 2, 9, 0xEE, 0xEE, 0xEE};
  const Config config = decodeConfigReply(reply.data(), reply.size());
  // The reply's first five bytes in order: version 3, distance on, FD off, BRS 2, CAN ID 9.
  EXPECT_EQ(describe(config), describe(Config{3, 1, 0, 2, 9, 1}));
  EXPECT_EQ(decodeConfigReply(reply.data(), 7).valid, 0);
  EXPECT_EQ(outputDataRateLine(30), "ODR,30");
}

TEST(DystalUsbReplies, OnlyTextLinesCountAsTheSensorsAnswer) {
  EXPECT_TRUE(isReplyText("CONFIG,VERSION=3\tDIST=1"));
  EXPECT_TRUE(isReplyText("OK"));
  EXPECT_FALSE(isReplyText(""));
  // A binary frame cut at a pause: its header holds non-text bytes.
  const Bytes frame = distanceFrame(7, {300});
  EXPECT_FALSE(isReplyText(std::string(frame.begin(), frame.end())));
  EXPECT_FALSE(isReplyText(std::string("ab\x01", 3)));
  EXPECT_FALSE(isReplyText("caf\xC3\xA9"));
}

TEST(DystalUsbReplies, TheAnswerIsFoundAmongFramesReadInOnePiece) {
  // A frame holding a 0x0A byte (distance 10) and text-like bytes, then the answer, then the
  // next frame, all read at once as a loaded machine reads them.
  const Bytes frame = distanceFrame(7, {10, 0x4142});
  const std::string answer = "CONFIG,VERSION=1,DIST=1\r\n";
  Bytes bytes(frame);
  bytes.insert(bytes.end(), answer.begin(), answer.end());
  bytes.insert(bytes.end(), frame.begin(), frame.end());
  const ReplyLineSearch found = findReplyLine(bytes);
  EXPECT_EQ(found.line, "CONFIG,VERSION=1,DIST=1");
  EXPECT_EQ(found.consumed, frame.size() + answer.size());

  // Every way of cutting it finds the same answer once the line's end has arrived, and nothing
  // before: the frames alone, or a frame's tail left from before, are no answer.
  for (std::size_t cut = 0; cut < frame.size() + answer.size(); ++cut) {
    const ReplyLineSearch part = findReplyLine(std::span(bytes).first(cut));
    EXPECT_FALSE(part.line) << cut;
    EXPECT_LE(part.consumed, cut);
  }
  Bytes frameTail(frame.begin() + 3, frame.end());
  frameTail.insert(frameTail.end(), frame.begin(), frame.end());
  const ReplyLineSearch tail = findReplyLine(frameTail);
  EXPECT_FALSE(tail.line);
  EXPECT_EQ(tail.pendingText, "");
  // A frame's tail that reads as text up to a 0x0A byte is no answer either, with or without
  // the line break: the answer after it is.
  Bytes textLikeTail{0x07, 'O', 'K'};
  EXPECT_EQ(findReplyLine(textLikeTail).pendingText, "");
  textLikeTail.push_back('\n');
  textLikeTail.insert(textLikeTail.end(), answer.begin(), answer.end());
  EXPECT_EQ(findReplyLine(textLikeTail).line, "CONFIG,VERSION=1,DIST=1");
}

}  // namespace

// --- Readings completed as their chunks arrive ---------------------------------------------

namespace {

using halvern::dystal::CompletedReading;
using halvern::dystal::ReadingAssembler;

struct Completed {
  uint8_t sequence;
  int count;
  int64_t stampUs;
};

class Assembling : public testing::Test {
 protected:
  auto record() {
    return [this](const CompletedReading& reading) {
      const ScanData scan = reading.chunks.assemble(kMaxDistances);
      completed.push_back({scan.sequence, scan.count, reading.timestampUs});
    };
  }
  void chunk(uint8_t sequence, uint8_t index, int16_t first, int64_t stampUs) {
    const Bytes data{sequence,
                     index,
                     static_cast<uint8_t>(first & 0xFF),
                     static_cast<uint8_t>((first >> 8) & 0xFF),
                     0,
                     0,
                     0,
                     0};
    assembler.add(data.data(), data.size(), stampUs, record());
  }

  ReadingAssembler assembler;
  std::vector<Completed> completed;
};

TEST_F(Assembling, TheLastChunkCompletesAReadingAtOnceWithItsStamp) {
  for (uint8_t index = 0; index < ReadingAssembler::kLastChunk; ++index) {
    chunk(4, index, 100, 1000 + index);
  }
  EXPECT_TRUE(completed.empty());
  EXPECT_TRUE(assembler.pending());
  chunk(4, ReadingAssembler::kLastChunk, 100, 5000);
  ASSERT_EQ(completed.size(), 1U);
  EXPECT_EQ(completed[0].sequence, 4);
  EXPECT_EQ(completed[0].count, 64);
  EXPECT_EQ(completed[0].stampUs, 5000);
  EXPECT_FALSE(assembler.pending());
  assembler.pause(record());  // nothing left to complete
  EXPECT_EQ(completed.size(), 1U);
}

TEST_F(Assembling, ANewSequenceOrAPauseCompletesAShorterReading) {
  chunk(7, 0, 10, 100);
  chunk(7, 2, 12, 200);  // chunk 1 lost
  chunk(8, 0, 20, 300);
  ASSERT_EQ(completed.size(), 1U);
  EXPECT_EQ(completed[0].sequence, 7);
  EXPECT_EQ(completed[0].count, 9);  // zones 3 to 5 read -1 within it
  EXPECT_EQ(completed[0].stampUs, 200);
  assembler.pause(record());
  ASSERT_EQ(completed.size(), 2U);
  EXPECT_EQ(completed[1].sequence, 8);
  EXPECT_EQ(completed[1].stampUs, 300);

  // A chunk of a reading already completed updates it and completes it again.
  chunk(8, 1, 21, 400);
  ASSERT_EQ(completed.size(), 3U);
  EXPECT_EQ(completed[2].count, 6);
  EXPECT_EQ(completed[2].stampUs, 400);

  // Short frames are no chunks.
  const Bytes shortFrame{9, 0, 1, 0, 2, 0, 3};
  assembler.add(shortFrame.data(), shortFrame.size(), 500, record());
  assembler.pause(record());
  EXPECT_EQ(completed.size(), 3U);
}

TEST(DystalConnection, SilenceLongerThanTheLimitReadsDisconnected) {
  using halvern::dystal::DystalDevice;
  static_assert(DystalDevice::kConnectionSilence <= halvern::kLongestConnectionSilence);
  halvern::ConnectionMonitor monitor(DystalDevice::kConnectionSilence);
  EXPECT_FALSE(monitor.connectedAt(1'000'000));  // nothing seen yet
  monitor.noteTraffic(1'000'000);
  EXPECT_TRUE(monitor.connectedAt(1'000'000 + DystalDevice::kConnectionSilence.count()));
  EXPECT_FALSE(monitor.connectedAt(1'000'001 + DystalDevice::kConnectionSilence.count()));
}

// The sensor's side of each CAN frame against the library's: what one writes the other reads.
TEST(DystalCanRoundTrip, TheConfigurationReplyReadsBackAsSent) {
  for (const Config& sent : {Config{4, 1, 0, 1, 17, 1}, Config{255, 0, 1, 0, 63, 1}}) {
    const auto payload = configReplyPayload(sent);
    const Config read = decodeConfigReply(payload.data(), payload.size());
    EXPECT_EQ(configReplyPayload(read), payload);  // every field as sent
    EXPECT_EQ(read.canID, sent.canID);
    EXPECT_EQ(read.valid, 1);
  }
}

TEST(DystalCanRoundTrip, DistanceChunksGatherIntoTheReadingSent) {
  ChunkGathering gathering;
  for (uint8_t chunk = 0; chunk < 2; ++chunk) {
    const auto first = static_cast<uint16_t>(100 * (chunk + 1));
    const auto payload = distanceChunkPayload(
        9, chunk,
        {first, static_cast<uint16_t>(first + 1), chunk == 1 ? uint16_t{0xFFFF} : uint16_t{7}});
    gathering.add(payload.data(), payload.size());
  }
  const ScanData scan = gathering.assemble(6);
  EXPECT_EQ(scan.sequence, 9);
  EXPECT_EQ(scan.count, 5);  // the sixth, 0xFFFF, is "no distance"
  const std::array<int16_t, 6> expected{100, 101, 7, 200, 201, kMissingDistance};
  for (std::size_t k = 0; k < expected.size(); ++k) {
    EXPECT_EQ(scan.distance[k], expected.at(k)) << k;
  }
}

// The sensor's side, as the simulated sensor writes and reads it.
TEST(DystalRoundTrip, DistanceFramesAndTheRateLine) {
  const std::vector<int16_t> distances{100, -200, 0x7FFF, kMissingDistance};
  const Bytes frame = encodeDistanceFrame(7, distances);
  EXPECT_EQ(frame, distanceFrame(7, {100, -200, 0x7FFF, -1}));
  const FrameStep step = decodeFrame(frame);
  EXPECT_EQ(step.outcome, FrameStep::Outcome::Consumed);
  EXPECT_EQ(step.consumed, frame.size());
  ASSERT_TRUE(step.frame.has_value());
  EXPECT_EQ(step.frame->sequence, 7);
  ASSERT_EQ(step.frame->count, distances.size());
  for (std::size_t zone = 0; zone < distances.size(); ++zone) {
    EXPECT_EQ(step.frame->distances.at(zone), distances[zone]) << zone;
  }

  // More than a reading holds: the first 64 go.
  const std::vector<int16_t> many(kMaxDistances + 5, 42);
  const FrameStep full = decodeFrame(encodeDistanceFrame(1, many));
  ASSERT_TRUE(full.frame.has_value());
  EXPECT_EQ(full.frame->count, kMaxDistances);

  EXPECT_EQ(parseOutputDataRateLine(outputDataRateLine(60)), 60);
  EXPECT_EQ(parseOutputDataRateLine("ODR,abc"), 0);
  EXPECT_EQ(parseOutputDataRateLine(kGetConfigLine), std::nullopt);
}

}  // namespace

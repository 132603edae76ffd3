// Feeds arbitrary bytes to the distance sensor's USB frame decoding in pieces, as the reader
// thread receives them, checking the receive buffer and every decoded frame.
//
// Input: four piece sizes (1 up to the reader's 256-byte block, used in turn), a repeat count
// (1 to 64: the stream is sent that many times over, so the buffer limit can be reached), then
// the stream.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "FuzzChecks.h"
#include "core/DualTransportDevice.h"
#include "dystal/DystalProtocol.h"

namespace {

using halvern::fuzz::le16;
using halvern::fuzz::require;

using namespace halvern::dystal;  // NOLINT(google-build-using-namespace)

// The reader thread receives bytes in blocks of this size.
constexpr auto kReadBlock = static_cast<std::size_t>(halvern::DualTransportDevice::kReadBlockSize);

constexpr std::size_t kPieceSizeBytes = 4;
constexpr std::size_t kInputHeader = kPieceSizeBytes + 1;
constexpr std::size_t kMaxRepeats = 64;
constexpr std::size_t kLargestFrame = kFrameHeaderLength + 2 * kMaxDistances;

void checkFrame(const DistanceFrame& frame) {
  require(frame.count <= kMaxDistances);
  for (int i = frame.count; i < kMaxDistances; ++i) {
    require(frame.distances[static_cast<std::size_t>(i)] == kMissingDistance);
  }
}

bool sameFrame(const DistanceFrame& a, const DistanceFrame& b) {
  return a.sequence == b.sequence && a.count == b.count && a.distances == b.distances;
}

// One decodeFrame step (given at least a header's worth of bytes) against those bytes: what it
// consumed and what it decoded. The wire is written out here rather than taken from the
// library: sync (2 bytes), length (2), type, sequence, count, flags, then the distances.
void checkStep(std::span<const uint8_t> bytes) {
  const FrameStep step = decodeFrame(bytes);
  require(step.consumed <= bytes.size());
  const bool sync = bytes[0] == kSyncFirst && bytes[1] == kSyncSecond;
  const std::size_t declared = le16(bytes, 2) + kUncountedFrameBytes;
  switch (step.outcome) {
    case FrameStep::Outcome::DroppedByte:
      require(step.consumed == 1 && !step.frame);
      // A length beyond a full frame of distances may be judged impossible too.
      require(!sync || declared < kFrameHeaderLength || declared > kLargestFrame);
      break;
    case FrameStep::Outcome::NeedMore:
      require(step.consumed == 0 && !step.frame);
      require(sync && declared > bytes.size());
      break;
    case FrameStep::Outcome::Consumed: {
      require(sync && step.consumed == declared && declared >= kFrameHeaderLength);
      const bool carriesDistances = bytes[4] == kDistanceFrameType &&
                                    (bytes[7] & kDistancesPresentFlag) != 0 &&
                                    kFrameHeaderLength + 2 * std::size_t{bytes[6]} <= step.consumed;
      require(step.frame.has_value() == carriesDistances);
      if (!step.frame) {
        break;
      }
      const DistanceFrame& frame = *step.frame;
      checkFrame(frame);
      require(frame.sequence == bytes[5]);
      require(frame.count == std::min<int>(bytes[6], kMaxDistances));
      for (std::size_t i = 0; i < frame.count; ++i) {
        require(frame.distances[i] ==
                static_cast<int16_t>(le16(bytes, kFrameHeaderLength + 2 * i)));
      }
      break;
    }
  }
}

// What a drained buffer still waits on: from its first sync on, or a last byte that may be the
// first half of one. Bytes before that are garbage a buffer too short to search may still hold.
std::vector<uint8_t> pending(const std::vector<uint8_t>& rxBuffer) {
  for (std::size_t i = 0; i + 1 < rxBuffer.size(); ++i) {
    if (rxBuffer[i] == kSyncFirst && rxBuffer[i + 1] == kSyncSecond) {
      return {rxBuffer.begin() + static_cast<std::ptrdiff_t>(i), rxBuffer.end()};
    }
  }
  if (!rxBuffer.empty() && rxBuffer.back() == kSyncFirst) {
    return {kSyncFirst};
  }
  return {};
}

// Parses until a pass changes nothing, as later passes of the reader would.
void drain(std::vector<uint8_t>& rxBuffer, std::vector<DistanceFrame>& frames) {
  std::size_t before = 0;
  do {
    before = rxBuffer.size();
    parseBuffer(rxBuffer, [&](const DistanceFrame& frame) {
      checkFrame(frame);
      frames.push_back(frame);
    });
    require(rxBuffer.size() <= before);
  } while (rxBuffer.size() != before);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kInputHeader) {
    return 0;
  }
  const std::span<const uint8_t> pieceSizes(data, kPieceSizeBytes);
  const std::size_t repeats = data[kPieceSizeBytes] % kMaxRepeats + 1;
  const std::span<const uint8_t> stream(data + kInputHeader, size - kInputHeader);
  for (std::size_t at = 0; at + kFrameHeaderLength <= stream.size(); ++at) {
    checkStep(stream.subspan(at));
  }
  std::vector<uint8_t> sent;
  sent.reserve(stream.size() * repeats);
  for (std::size_t r = 0; r < repeats; ++r) {
    sent.insert(sent.end(), stream.begin(), stream.end());
  }

  // As the reader: append a block, parse, repeat.
  std::vector<uint8_t> rxBuffer;
  std::vector<DistanceFrame> frames;
  std::size_t offset = 0;
  for (std::size_t turn = 0; offset < sent.size(); ++turn) {
    const std::size_t piece =
        std::min(pieceSizes[turn % kPieceSizeBytes] % kReadBlock + 1, sent.size() - offset);
    appendReceived(rxBuffer, sent.data() + offset, piece);
    require(rxBuffer.size() <= kBufferLimit + kReadBlock);
    // Whatever is cut, the newest bytes stay.
    require(rxBuffer.size() >= piece &&
            std::equal(rxBuffer.end() - static_cast<std::ptrdiff_t>(piece), rxBuffer.end(),
                       sent.begin() + static_cast<std::ptrdiff_t>(offset)));
    offset += piece;
    const std::size_t before = rxBuffer.size();
    parseBuffer(rxBuffer, [&](const DistanceFrame& frame) {
      checkFrame(frame);
      frames.push_back(frame);
    });
    require(rxBuffer.size() <= before);
  }
  drain(rxBuffer, frames);

  // As the configuration read: its answer among the frames is the same however the stream was
  // cut when it was read, and is text.
  const ReplyLineSearch atOnce = findReplyLine(sent);
  require(atOnce.consumed <= sent.size() && (!atOnce.line || isReplyText(*atOnce.line)));
  std::vector<uint8_t> received;
  std::optional<std::string> found;
  offset = 0;
  for (std::size_t turn = 0; offset < sent.size() && !found; ++turn) {
    const std::size_t piece =
        std::min(pieceSizes[turn % kPieceSizeBytes] % kReadBlock + 1, sent.size() - offset);
    received.insert(received.end(), sent.begin() + static_cast<std::ptrdiff_t>(offset),
                    sent.begin() + static_cast<std::ptrdiff_t>(offset + piece));
    offset += piece;
    const ReplyLineSearch search = findReplyLine(received);
    require(search.consumed <= received.size());
    found = search.line;
    received.erase(received.begin(), received.begin() + static_cast<std::ptrdiff_t>(search.consumed));
  }
  require(found == atOnce.line);

  // Below the limit nothing is cut, so the pieces decode as the whole stream does at once.
  if (sent.size() <= kBufferLimit) {
    std::vector<uint8_t> whole = sent;
    std::vector<DistanceFrame> wholeFrames;
    drain(whole, wholeFrames);
    require(pending(whole) == pending(rxBuffer));
    require(std::equal(frames.begin(), frames.end(), wholeFrames.begin(), wholeFrames.end(),
                       sameFrame));
  }
  return 0;
}

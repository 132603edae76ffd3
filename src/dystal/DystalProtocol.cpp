#include "dystal/DystalProtocol.h"

#include <algorithm>

#include "core/CommandLineNumber.h"

namespace halvern::dystal {
namespace {

int16_t int16At(const uint8_t* data, std::size_t offset) {
  return static_cast<int16_t>(data[offset] | (data[offset + 1] << 8U));
}

// Offsets within a chunk frame.
constexpr std::size_t kChunkSequence = 0;
constexpr std::size_t kChunkIndex = 1;
constexpr std::size_t kChunkFirstDistance = 2;

// Offsets within a binary frame.
constexpr std::size_t kFrameLengthField = 2;
constexpr std::size_t kFrameType = 4;
constexpr std::size_t kFrameSequence = 5;
constexpr std::size_t kFrameCount = 6;
constexpr std::size_t kFrameFlags = 7;

constexpr std::string_view kOutputDataRatePrefix = "ODR,";

}  // namespace

Config decodeConfigReply(const uint8_t* data, std::size_t length) {
  if (data == nullptr || length < kCanFrameLength) {
    return Config{};
  }
  return Config{.version = data[0],
                .distanceEnabled = data[1],
                .canFdEnabled = data[2],
                .canBrsEnabled = data[3],
                .canID = data[4],
                .valid = 1};
}

std::array<uint8_t, kCanFrameLength> configReplyPayload(const Config& config) {
  return {config.version,
          config.distanceEnabled,
          config.canFdEnabled,
          config.canBrsEnabled,
          config.canID,
          0,
          0,
          0};
}

std::array<uint8_t, kCanFrameLength> distanceChunkPayload(
    uint8_t sequence, uint8_t chunk, const std::array<uint16_t, kDistancesPerChunk>& distances) {
  std::array<uint8_t, kCanFrameLength> frame{};
  frame[kChunkSequence] = sequence;
  frame[kChunkIndex] = chunk;
  for (std::size_t p = 0; p < distances.size(); ++p) {
    frame.at(kChunkFirstDistance + 2 * p) = static_cast<uint8_t>(distances.at(p) & 0xFFU);
    frame.at(kChunkFirstDistance + 2 * p + 1) = static_cast<uint8_t>(distances.at(p) >> 8U);
  }
  return frame;
}

void ChunkGathering::add(const uint8_t* data, std::size_t length) {
  if (data == nullptr || length < kCanFrameLength) {
    return;
  }
  Chunk& chunk = chunks[data[kChunkSequence]][data[kChunkIndex]];
  for (std::size_t p = 0; p < chunk.size(); ++p) {
    chunk.at(p) = int16At(data, kChunkFirstDistance + 2 * p);
  }
}

ScanData ChunkGathering::assemble(int count) const {
  ScanData scan{};
  if (chunks.empty() || count <= 0) {
    return scan;
  }
  count = std::min(count, kMaxDistances);

  // The sequence with the most chunks; a later one with as many wins if it holds chunk 0.
  uint8_t bestSequence = 0;
  std::size_t bestChunks = 0;
  for (const auto& [sequence, received] : chunks) {
    if (received.size() > bestChunks || (received.size() == bestChunks && received.contains(0))) {
      bestSequence = sequence;
      bestChunks = received.size();
    }
  }
  const auto best = chunks.find(bestSequence);

  int lastPresent = -1;
  for (int k = 0; k < count; ++k) {
    int16_t distance = kMissingDistance;
    if (best != chunks.end()) {
      const auto chunk = best->second.find(static_cast<uint8_t>(k / kDistancesPerChunk));
      if (chunk != best->second.end()) {
        distance = chunk->second.at(static_cast<std::size_t>(k % kDistancesPerChunk));
      }
    }
    scan.distance[k] = distance;
    if (distance != kMissingDistance) {
      lastPresent = k;
    }
  }
  scan.sequence = bestSequence;
  scan.count = lastPresent >= 0 ? lastPresent + 1 : count;
  return scan;
}

std::string outputDataRateLine(int rate) {
  return std::string(kOutputDataRatePrefix) + std::to_string(rate);
}

bool isReplyText(std::string_view line) {
  return !line.empty() && std::all_of(line.begin(), line.end(),
                                      [](char c) { return c == '\t' || (c >= ' ' && c <= '~'); });
}

namespace detail {

std::optional<std::size_t> findSync(std::span<const uint8_t> bytes, std::size_t from) {
  for (std::size_t i = from; i + 1 < bytes.size(); ++i) {
    if (bytes[i] == kSyncFirst && bytes[i + 1] == kSyncSecond) {
      return i;
    }
  }
  return std::nullopt;
}

}  // namespace detail

ReplyLineSearch findReplyLine(std::span<const uint8_t> bytes) {
  ReplyLineSearch search;
  std::string& line = search.pendingText;
  // Text after a non-text byte is the rest of a frame cut before these bytes (the port is
  // purged before the request), not a line of its own, until the next line break or frame.
  bool inFramePiece = false;
  std::size_t i = 0;
  while (i < bytes.size()) {
    if (bytes[i] == kSyncFirst) {
      // A frame ends the text before it, which was not the answer (the sensor answers between
      // frames); one not all here yet waits for more bytes.
      if (i + 1 == bytes.size()) {
        line.clear();  // perhaps the first half of a sync
        break;
      }
      if (bytes[i + 1] == kSyncSecond) {
        const FrameStep step = decodeFrame(bytes.subspan(i));
        line.clear();
        if (step.outcome == FrameStep::Outcome::NeedMore) {
          break;
        }
        if (step.outcome == FrameStep::Outcome::Consumed) {
          i += step.consumed;
          search.consumed = i;
          inFramePiece = false;
          continue;
        }
      }
    }
    const auto byte = static_cast<char>(bytes[i++]);
    if (byte == '\n') {
      if (!inFramePiece && isReplyText(line)) {
        search.line = std::move(line);
        search.pendingText.clear();
        search.consumed = i;
        return search;
      }
      line.clear();
      inFramePiece = false;
      search.consumed = i;
    } else if (byte == '\r') {
      continue;
    } else if (isReplyText(std::string_view(&byte, 1))) {
      line.push_back(byte);
    } else {
      line.clear();  // a piece of a frame; kept until its end shows, so a search again agrees
      inFramePiece = true;
    }
  }
  if (inFramePiece) {
    line.clear();
  }
  return search;
}

FrameStep decodeFrame(std::span<const uint8_t> bytes) {
  FrameStep step;
  if (bytes.size() < kFrameHeaderLength) {
    return step;  // NeedMore
  }
  if (bytes[0] != kSyncFirst || bytes[1] != kSyncSecond) {
    step.outcome = FrameStep::Outcome::DroppedByte;
    step.consumed = 1;
    return step;
  }
  const std::size_t frameLength =
      static_cast<std::size_t>(bytes[kFrameLengthField] | (bytes[kFrameLengthField + 1] << 8U)) +
      kUncountedFrameBytes;
  // A frame longer than the buffer may grow could never be completed: the buffer would be
  // cut first, the stale header holding up every frame behind it until then.
  if (frameLength < kFrameHeaderLength || frameLength > kBufferLimit) {
    step.outcome = FrameStep::Outcome::DroppedByte;
    step.consumed = 1;
    return step;
  }
  if (bytes.size() < frameLength) {
    return step;  // NeedMore
  }

  // From here the whole frame is consumed, whatever it holds.
  step.outcome = FrameStep::Outcome::Consumed;
  step.consumed = frameLength;
  const std::size_t count = bytes[kFrameCount];
  if (bytes[kFrameType] != kDistanceFrameType ||
      (bytes[kFrameFlags] & kDistancesPresentFlag) == 0 ||
      frameLength - kFrameHeaderLength < 2 * count) {
    return step;
  }
  DistanceFrame frame;
  frame.sequence = bytes[kFrameSequence];
  frame.count = static_cast<uint8_t>(std::min<std::size_t>(count, kMaxDistances));
  frame.distances.fill(kMissingDistance);
  for (std::size_t k = 0; k < frame.count; ++k) {
    frame.distances.at(k) = int16At(bytes.data(), kFrameHeaderLength + 2 * k);
  }
  step.frame = frame;
  return step;
}

void appendReceived(std::vector<uint8_t>& rxBuffer, const uint8_t* bytes, std::size_t count) {
  if (bytes == nullptr || count == 0) {
    return;
  }
  rxBuffer.insert(rxBuffer.end(), bytes, bytes + count);
  if (rxBuffer.size() > kBufferLimit) {
    rxBuffer.erase(rxBuffer.begin(), rxBuffer.end() - static_cast<std::ptrdiff_t>(kBufferKeep));
  }
}

// --- USB, the sensor's side ---------------------------------------------------------------------

std::vector<uint8_t> encodeDistanceFrame(uint8_t sequence, std::span<const int16_t> distances) {
  const std::size_t count = std::min<std::size_t>(distances.size(), kMaxDistances);
  const auto length = static_cast<uint16_t>(kFrameHeaderLength - kUncountedFrameBytes + 2 * count);
  std::vector<uint8_t> frame(kFrameHeaderLength + 2 * count);
  frame[0] = kSyncFirst;
  frame[1] = kSyncSecond;
  frame[kFrameLengthField] = static_cast<uint8_t>(length & 0xFFU);
  frame[kFrameLengthField + 1] = static_cast<uint8_t>(length >> 8U);
  frame[kFrameType] = kDistanceFrameType;
  frame[kFrameSequence] = sequence;
  frame[kFrameCount] = static_cast<uint8_t>(count);
  frame[kFrameFlags] = kDistancesPresentFlag;
  for (std::size_t zone = 0; zone < count; ++zone) {
    const auto raw = static_cast<uint16_t>(distances[zone]);
    frame[kFrameHeaderLength + 2 * zone] = static_cast<uint8_t>(raw & 0xFFU);
    frame[kFrameHeaderLength + 2 * zone + 1] = static_cast<uint8_t>(raw >> 8U);
  }
  return frame;
}

std::optional<int> parseOutputDataRateLine(std::string_view line) {
  return numberAfter(line, kOutputDataRatePrefix);
}

}  // namespace halvern::dystal

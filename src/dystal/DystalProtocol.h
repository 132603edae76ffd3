// The Dystal distance sensor's wire formats: CAN identifiers, distance chunks and the
// configuration reply, the USB text commands, and the USB binary frame.
//
// Pure functions only: nothing here touches the bus or a port.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "halvern/Dystal.h"

namespace halvern::dystal {

using ScanData = DystalScanData;
using Config = DystalConfig;
using Reading = DystalReading;

/** The most distances a reading holds. */
inline constexpr int kMaxDistances = DYSTAL_MAX_DISTANCES;
/** A position for which nothing was received; a distance of 0xFFFF reads the same. */
inline constexpr int16_t kMissingDistance = -1;

// --- CAN ------------------------------------------------------------------------------------

/** The stream session collects every frame of the sensor's device type and manufacturer. */
inline constexpr uint32_t kStreamId = 0x06090000;
inline constexpr uint32_t kStreamMask = 0x1FFF0000;
inline constexpr uint32_t kStreamDepth = 128;
inline constexpr uint32_t kExactMask = 0x1FFFFFFF;
/** Every identifier of one sensor: its type, manufacturer and CAN ID, any API number. */
inline constexpr uint32_t kSensorMask = 0x1FFF003F;

/** The sensor's API numbers. */
enum class Api : uint32_t {
  DistanceChunk = 1,   // from the sensor: three distances of a reading
  ConfigRequest = 16,  // to the sensor: eight zero bytes
  ConfigReply = 17,    // from the sensor: the configuration
};

/** Device type 6, manufacturer 9, the API number and the 6-bit CAN ID. */
constexpr uint32_t canMessageId(uint8_t canId, Api api) {
  return kStreamId + static_cast<uint32_t>(api) * 64U + (canId & 0x3FU);
}

/** Every CAN frame of the sensor carries 8 data bytes; shorter ones are ignored. */
inline constexpr std::size_t kCanFrameLength = 8;
/** A distance chunk carries distances 3c, 3c+1 and 3c+2 of its reading. */
inline constexpr int kDistancesPerChunk = 3;

/** The configuration request's payload: eight zero bytes. */
inline constexpr std::array<uint8_t, kCanFrameLength> kConfigRequestPayload{};

/** The configuration reply (at least 8 bytes) as a valid Config; an invalid one if shorter. */
Config decodeConfigReply(const uint8_t* data, std::size_t length);

/** The sensor's side: the configuration reply it sends (decodeConfigReply's twin; `valid` is not
 *  sent). */
std::array<uint8_t, kCanFrameLength> configReplyPayload(const Config& config);

/** The sensor's side: one distance chunk, distances as raw 16-bit words (0xFFFF: none). */
std::array<uint8_t, kCanFrameLength> distanceChunkPayload(
    uint8_t sequence, uint8_t chunk, const std::array<uint16_t, kDistancesPerChunk>& distances);

/**
 * Gathers distance chunks of several readings, keyed by sequence number and chunk index; a
 * later chunk with the same sequence and index replaces the earlier one. A reading is then
 * assembled from the sequence that holds the most chunks.
 */
class ChunkGathering {
 public:
  using Chunk = std::array<int16_t, kDistancesPerChunk>;

  /** Takes one chunk frame's data; frames shorter than 8 bytes are ignored. */
  void add(const uint8_t* data, std::size_t length);
  [[nodiscard]] bool empty() const { return chunks.empty(); }

  /**
   * The reading of the best sequence: the one with the most chunks, ties going to a later
   * sequence that holds chunk 0 (sequence numbers do not wrap here). Positions of missing
   * chunks read -1; `count` is one past the last position that is not -1, or the requested
   * count when every position is -1. An empty ScanData when nothing was gathered. `count`
   * must be 1 to 64.
   */
  [[nodiscard]] ScanData assemble(int count) const;

 private:
  std::map<uint8_t, std::map<uint8_t, Chunk>> chunks;
};

// --- USB ------------------------------------------------------------------------------------

inline constexpr int kBaudRate = 115200;
inline constexpr const char* kTag = "Dystal";

inline constexpr std::string_view kGetConfigLine = "GETCONFIG";
inline constexpr std::string_view kVerboseOffLine = "VERBOSE,0";
inline constexpr std::string_view kBinaryFormatLine = "DATAFORMAT,BIN";
/** "ODR,<rate>": the output data rate. */
std::string outputDataRateLine(int rate);
/**
 * Whether a received line is the sensor's text: not empty, and printable ASCII or tabs only.
 * A piece of a binary frame read as a line is not.
 */
bool isReplyText(std::string_view line);

/** What findReplyLine found in the bytes read so far. */
struct ReplyLineSearch {
  std::optional<std::string> line;  // the first whole line of reply text, '\r' dropped
  std::size_t consumed = 0;         // bytes up to the line's end, or passed over for good
                                    // (up to the last line break or whole frame)
  std::string pendingText;          // without a whole line: the text after the last break
};

/**
 * The sensor's text among the binary frames it keeps streaming while it answers: whole frames
 * (decodeFrame) are skipped, text before a frame and a line holding a byte that is not text are
 * pieces of frames and are passed over. However the bytes were cut when they were read, an
 * answer between frames is found.
 */
ReplyLineSearch findReplyLine(std::span<const uint8_t> bytes);

/** The binary frame: A5 5A, a 16-bit length of what follows, then type, sequence, n, flags. */
inline constexpr uint8_t kSyncFirst = 0xA5;
inline constexpr uint8_t kSyncSecond = 0x5A;
inline constexpr std::size_t kFrameHeaderLength = 8;
/** The length field counts the bytes after it: a frame is that many bytes longer. */
inline constexpr std::size_t kUncountedFrameBytes = 4;
inline constexpr uint8_t kDistanceFrameType = 1;
inline constexpr uint8_t kDistancesPresentFlag = 0x01;

/** Above this many buffered bytes, all but the newest kBufferKeep are dropped. */
inline constexpr std::size_t kBufferLimit = 8192;
inline constexpr std::size_t kBufferKeep = 4096;

/** A decoded distance frame. Positions from `count` on hold -1. */
struct DistanceFrame {
  uint8_t sequence = 0;
  uint8_t count = 0;  // at most 64
  std::array<int16_t, kMaxDistances> distances{};
};

/** What decodeFrame did with the front of the buffer. */
struct FrameStep {
  enum class Outcome {
    DroppedByte,  // no sync, or a length below 8 or above the buffer limit: one byte goes,
                  // then the pass stops
    NeedMore,     // a frame has begun but is not all here yet
    Consumed,     // a whole frame was taken (decoded into `frame` if it is a distance frame)
  };
  Outcome outcome = Outcome::NeedMore;
  std::size_t consumed = 0;  // bytes to drop from the front
  std::optional<DistanceFrame> frame;
};

/**
 * Decodes the frame at the front of `bytes` (at least 8 bytes). A frame of another type, one
 * without its distances-present flag, or one too short for its count is consumed and yields
 * no frame.
 */
FrameStep decodeFrame(std::span<const uint8_t> bytes);

/** Appends received bytes, cutting the buffer to its newest 4096 bytes above 8192. */
void appendReceived(std::vector<uint8_t>& rxBuffer, const uint8_t* bytes, std::size_t count);

/**
 * Decodes every whole frame in `rxBuffer`, calling onFrame(const DistanceFrame&) for each
 * distance frame in order, and drops what it consumed. Bytes before a sync are dropped; a frame
 * not yet complete stays for the next pass. A pass also stops after an impossible length, one
 * byte later, until more bytes arrive.
 */
template <typename OnFrame>
void parseBuffer(std::vector<uint8_t>& rxBuffer, OnFrame&& onFrame);

// --- USB, the sensor's side: what a simulated sensor writes and reads ------------------------

/**
 * A distance frame as the sensor sends it: type 1, the distances-present flag set, the first 64
 * distances at most. decodeFrame reads it back.
 */
std::vector<uint8_t> encodeDistanceFrame(uint8_t sequence, std::span<const int16_t> distances);
/** The rate of an "ODR,<rate>" line (any number, as written); none for another line. */
std::optional<int> parseOutputDataRateLine(std::string_view line);

// --- Implementation of the template -----------------------------------------------------------

namespace detail {
/** The offset of the first sync in `bytes` at or after `from`, or none. */
std::optional<std::size_t> findSync(std::span<const uint8_t> bytes, std::size_t from);
}  // namespace detail

template <typename OnFrame>
void parseBuffer(std::vector<uint8_t>& rxBuffer, OnFrame&& onFrame) {
  // Consumed bytes are dropped once at the end rather than frame by frame.
  std::size_t start = 0;
  while (rxBuffer.size() - start >= kFrameHeaderLength) {
    const std::span<const uint8_t> rest(rxBuffer.data() + start, rxBuffer.size() - start);
    const auto sync = detail::findSync(rest, 0);
    if (!sync) {
      start = rxBuffer.size() - 1;  // the last byte may be the first half of a sync
      break;
    }
    start += *sync;
    if (rxBuffer.size() - start < kFrameHeaderLength) {
      break;
    }
    const FrameStep step =
        decodeFrame(std::span<const uint8_t>(rxBuffer.data() + start, rxBuffer.size() - start));
    start += step.consumed;
    if (step.outcome != FrameStep::Outcome::Consumed) {
      break;
    }
    if (step.frame) {
      onFrame(*step.frame);
    }
  }
  rxBuffer.erase(rxBuffer.begin(), rxBuffer.begin() + static_cast<std::ptrdiff_t>(start));
}

}  // namespace halvern::dystal

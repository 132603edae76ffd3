// Turns the distance chunks the sensor streams on CAN into whole readings, one sequence at a
// time, as they arrive.
//
// When a reading is complete: the sensor sends the chunks of one reading back to back, in
// chunk order, and all of a reading's chunks before any of the next. So a reading is complete,
// and handed on at once, as soon as
//   - its last chunk arrives (chunk 21, the one holding zone 63), or
//   - a chunk of another sequence arrives (the sensor has moved on: whatever arrived of the
//     reading is all there will be; a lost chunk's zones read -1), or
//   - the chunks pause (nothing for kChunkPause), which ends a reading of fewer zones.
// A chunk of a reading already handed on (one sent again, or late) updates it, and the updated
// reading is handed on again. Within one reading the chunk rules are the gathering's own
// (ChunkGathering): a chunk sent again replaces the earlier one, missing zones read -1.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "dystal/DystalProtocol.h"

namespace halvern::dystal {

/** A reading as it was completed: its chunks and the CAN stamp of the frame completing it. */
struct CompletedReading {
  ChunkGathering chunks;
  int64_t timestampUs = 0;
};

class ReadingAssembler {
 public:
  /** The chunk holding the last zone of a full reading. */
  static constexpr uint8_t kLastChunk =
      (kMaxDistances + kDistancesPerChunk - 1) / kDistancesPerChunk - 1;
  static_assert(kLastChunk * kDistancesPerChunk <= kMaxDistances - 1 &&
                    (kLastChunk + 1) * kDistancesPerChunk > kMaxDistances - 1,
                "the last chunk is the one holding the last zone");
  /** A pause this long after a chunk ends a reading of fewer zones. Chunks of one reading
   *  follow each other within a fraction of a millisecond on the bus. */
  static constexpr std::chrono::milliseconds kChunkPause{4};

  /**
   * Takes one chunk frame (shorter than 8 bytes: ignored) stamped `stampUs`. Calls
   * onComplete(const CompletedReading&) for each reading it completes: the previous one when
   * this chunk starts another, and this one when the chunk completes it.
   */
  template <typename OnComplete>
  void add(const uint8_t* data, std::size_t length, int64_t stampUs, OnComplete&& onComplete);

  /** The chunks paused: completes the reading in progress, if one is not handed on yet. */
  template <typename OnComplete>
  void pause(OnComplete&& onComplete);

  /** Whether a reading has chunks that were not handed on yet. */
  [[nodiscard]] bool pending() const { return inProgress && !handedOn; }

 private:
  static constexpr std::size_t kSequenceByte = 0;
  static constexpr std::size_t kChunkByte = 1;

  CompletedReading current;
  uint8_t currentSequence = 0;
  bool inProgress = false;
  bool handedOn = false;
};

template <typename OnComplete>
void ReadingAssembler::add(const uint8_t* data, std::size_t length, int64_t stampUs,
                           OnComplete&& onComplete) {
  if (data == nullptr || length < kCanFrameLength) {
    return;
  }
  const uint8_t sequence = data[kSequenceByte];
  if (inProgress && sequence != currentSequence) {
    pause(onComplete);
    current = CompletedReading{};
    handedOn = false;
  }
  inProgress = true;
  currentSequence = sequence;
  current.chunks.add(data, length);
  current.timestampUs = stampUs;
  // Once handed on, every chunk of the same reading is news about it.
  if (data[kChunkByte] >= kLastChunk || handedOn) {
    handedOn = true;
    onComplete(static_cast<const CompletedReading&>(current));
  }
}

template <typename OnComplete>
void ReadingAssembler::pause(OnComplete&& onComplete) {
  if (pending()) {
    handedOn = true;
    onComplete(static_cast<const CompletedReading&>(current));
  }
}

}  // namespace halvern::dystal

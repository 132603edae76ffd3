// Feeds arbitrary chunk frames to the distance sensor's CAN chunk gathering and assembles a
// reading of every count from 1 to 64, checking it against the chunks that were given.
//
// Input: records of a length byte (% 9: 0 to 8 data bytes, so short frames occur) followed by
// that many bytes of chunk frame.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>

#include "FuzzChecks.h"
#include "dystal/DystalProtocol.h"

namespace {

using halvern::fuzz::require;

using namespace halvern::dystal;  // NOLINT(google-build-using-namespace)

// What the gathering should hold: the latest chunk for each sequence and index.
using Model = std::map<uint8_t, std::map<uint8_t, ChunkGathering::Chunk>>;

void addToModel(Model& model, const uint8_t* frame) {
  ChunkGathering::Chunk& chunk = model[frame[0]][frame[1]];
  for (std::size_t i = 0; i < chunk.size(); ++i) {
    chunk[i] = static_cast<int16_t>(frame[2 + 2 * i] | (frame[3 + 2 * i] << 8));
  }
}

void checkEmpty(const ScanData& scan) {
  require(scan.sequence == 0 && scan.count == 0);
  require(std::all_of(std::begin(scan.distance), std::end(scan.distance),
                      [](int16_t d) { return d == 0; }));
}

// The sequences a reading may come from: those with the most chunks, and among them those that
// hold chunk 0 if any does.
std::set<uint8_t> bestSequences(const Model& model) {
  std::size_t most = 0;
  for (const auto& [sequence, chunks] : model) {
    most = std::max(most, chunks.size());
  }
  std::set<uint8_t> best;
  std::set<uint8_t> bestWithChunkZero;
  for (const auto& [sequence, chunks] : model) {
    if (chunks.size() == most) {
      best.insert(sequence);
      if (chunks.contains(0)) {
        bestWithChunkZero.insert(sequence);
      }
    }
  }
  return bestWithChunkZero.empty() ? best : bestWithChunkZero;
}

void checkReading(const Model& model, const ScanData& scan, int count) {
  require(scan.count >= 1 && scan.count <= count);
  const auto& chosen = model.at(scan.sequence);
  int lastPresent = -1;
  for (int k = 0; k < count; ++k) {
    const auto chunk = chosen.find(static_cast<uint8_t>(k / kDistancesPerChunk));
    const int16_t expected = chunk == chosen.end()
                                 ? kMissingDistance
                                 : chunk->second[static_cast<std::size_t>(k % kDistancesPerChunk)];
    require(scan.distance[k] == expected);
    if (expected != kMissingDistance) {
      lastPresent = k;
    }
  }
  require(scan.count == (lastPresent >= 0 ? lastPresent + 1 : count));
  for (int k = count; k < kMaxDistances; ++k) {
    require(scan.distance[k] == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ChunkGathering gathering;
  Model model;
  std::size_t offset = 0;
  while (offset < size) {
    const std::size_t length =
        std::min<std::size_t>(data[offset] % (kCanFrameLength + 1), size - offset - 1);
    const uint8_t* frame = data + offset + 1;
    gathering.add(frame, length);
    if (length >= kCanFrameLength) {
      addToModel(model, frame);
    }
    offset += 1 + length;
  }
  require(gathering.empty() == model.empty());

  if (model.empty()) {
    for (int count = 1; count <= kMaxDistances; ++count) {
      checkEmpty(gathering.assemble(count));
    }
    return 0;
  }
  // Every count reads the same sequence, one of the best.
  const std::set<uint8_t> best = bestSequences(model);
  const uint8_t sequence = gathering.assemble(kMaxDistances).sequence;
  require(best.contains(sequence));
  for (int count = 1; count <= kMaxDistances; ++count) {
    const ScanData scan = gathering.assemble(count);
    require(scan.sequence == sequence);
    checkReading(model, scan, count);
  }
  return 0;
}

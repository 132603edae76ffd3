// The distance sensor's decoding: USB frames fed in the reader thread's blocks (its only work),
// and a reading assembled from its CAN chunks (the CPU side of a getData on CAN).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/DualTransportDevice.h"
#include "dystal/DystalProtocol.h"

namespace {

using namespace halvern::dystal;  // NOLINT(google-build-using-namespace)

// The reader thread receives bytes in blocks of this size.
constexpr auto kReadBlock = static_cast<std::size_t>(halvern::DualTransportDevice::kReadBlockSize);

constexpr int kFramesPerRun = 100;
constexpr int kChunksPerReading = (kMaxDistances + kDistancesPerChunk - 1) / kDistancesPerChunk;

void putInt16(std::vector<uint8_t>& bytes, int16_t value) {
  const auto raw = static_cast<uint16_t>(value);
  bytes.push_back(static_cast<uint8_t>(raw & 0xFFU));
  bytes.push_back(static_cast<uint8_t>(raw >> 8U));
}

int16_t distanceOf(int zone, int reading) {
  return static_cast<int16_t>(400 + 13 * zone + reading % 7);
}

// Back-to-back frames of 64 distances, as a sensor streams them.
std::vector<uint8_t> sensorOutput() {
  std::vector<uint8_t> bytes;
  for (int reading = 0; reading < kFramesPerRun; ++reading) {
    const std::size_t frameLength = kFrameHeaderLength + 2 * kMaxDistances;
    const auto lengthField = static_cast<uint16_t>(frameLength - 4);  // counts what follows it
    bytes.insert(bytes.end(),
                 {kSyncFirst, kSyncSecond, static_cast<uint8_t>(lengthField & 0xFFU),
                  static_cast<uint8_t>(lengthField >> 8U), kDistanceFrameType,
                  static_cast<uint8_t>(reading), kMaxDistances, kDistancesPresentFlag});
    for (int zone = 0; zone < kMaxDistances; ++zone) {
      putInt16(bytes, distanceOf(zone, reading));
    }
  }
  return bytes;
}

void UsbFrames(benchmark::State& state) {
  const std::vector<uint8_t> stream = sensorOutput();
  std::vector<uint8_t> rxBuffer;
  int64_t frames = 0;
  for (auto _ : state) {
    for (std::size_t offset = 0; offset < stream.size(); offset += kReadBlock) {
      const std::size_t block = std::min(kReadBlock, stream.size() - offset);
      appendReceived(rxBuffer, stream.data() + offset, block);
      parseBuffer(rxBuffer, [&](const DistanceFrame& frame) {
        benchmark::DoNotOptimize(frame.distances.data());
        ++frames;
      });
    }
  }
  if (frames != static_cast<int64_t>(state.iterations()) * kFramesPerRun) {
    state.SkipWithError("frames went missing");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(stream.size()));
  state.counters["frames"] =
      benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}

// The chunk frames of one 64-distance reading.
std::vector<std::vector<uint8_t>> readingChunks() {
  std::vector<std::vector<uint8_t>> chunks;
  for (int c = 0; c < kChunksPerReading; ++c) {
    std::vector<uint8_t> frame{42, static_cast<uint8_t>(c)};
    for (int k = 0; k < kDistancesPerChunk; ++k) {
      const int zone = c * kDistancesPerChunk + k;
      putInt16(frame, zone < kMaxDistances ? distanceOf(zone, 0) : kMissingDistance);
    }
    chunks.push_back(frame);
  }
  return chunks;
}

// assemble() alone, on a gathering holding one whole reading.
void ChunkAssembly(benchmark::State& state) {
  ChunkGathering gathering;
  for (const auto& frame : readingChunks()) {
    gathering.add(frame.data(), frame.size());
  }
  for (auto _ : state) {
    ScanData scan = gathering.assemble(kMaxDistances);
    benchmark::DoNotOptimize(scan);
  }
}

// Gathering the reading's chunks into a fresh gathering, then assembling it.
void ChunkGatherAndAssemble(benchmark::State& state) {
  const auto chunks = readingChunks();
  for (auto _ : state) {
    ChunkGathering gathering;
    for (const auto& frame : chunks) {
      gathering.add(frame.data(), frame.size());
    }
    ScanData scan = gathering.assemble(kMaxDistances);
    benchmark::DoNotOptimize(scan);
  }
  state.counters["chunks"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kChunksPerReading, benchmark::Counter::kIsRate);
}

BENCHMARK(UsbFrames);
BENCHMARK(ChunkAssembly);
BENCHMARK(ChunkGatherAndAssemble);

}  // namespace

BENCHMARK_MAIN();

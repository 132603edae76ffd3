// Throughput of the colour sensor's line assembly and parsing, the reader thread's only work.
#include <benchmark/benchmark.h>

#include <string>

#include "iridel/IridelProtocol.h"

namespace {

using halvern::iridel::LineAssembler;
using halvern::iridel::parseColorLine;

std::string sensorOutput(bool distanceMode) {
  std::string text;
  for (int i = 0; i < 1000; ++i) {
    if (distanceMode) {
      text += "DIST: 123  ";
    }
    text += "XYZ: 0." + std::to_string(1000 + i) + ", 0.5012, 0.7498\r\n";
  }
  return text;
}

void lineParsing(benchmark::State& state, bool distanceMode) {
  const std::string text = sensorOutput(distanceMode);
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  LineAssembler assembler;
  int samples = 0;
  for (auto _ : state) {
    assembler.feed(bytes, text.size(),
                   [&](std::string_view line) { samples += parseColorLine(line) ? 1 : 0; });
  }
  benchmark::DoNotOptimize(samples);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 1000);
}

void XyzLines(benchmark::State& state) { lineParsing(state, false); }
void DistXyzLines(benchmark::State& state) { lineParsing(state, true); }

BENCHMARK(XyzLines);
BENCHMARK(DistXyzLines);

}  // namespace

BENCHMARK_MAIN();

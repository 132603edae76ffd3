// Building and decoding Ordex payloads alone: the pure part of every setter and reading.
// Linked to the library's internal static twin, so it runs in a process of its own.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "ordex/OrdexMessages.h"

namespace {

namespace msg = halvern::ordex;

// Inputs vary per iteration so nothing is folded into a constant.
constexpr std::array<double, 4> kSpeeds{-0.75, 0.0, 0.5, 1.2};
constexpr std::array<float, 4> kVelocities{-1234.567F, 0.0F, 99.995F, 5800.0F};

void motorSpeedPayload(benchmark::State& state) {
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(msg::motorSpeedPayload(1, kSpeeds.at(i++ % kSpeeds.size())));
  }
}
BENCHMARK(motorSpeedPayload);

void targetVelocityPayload(benchmark::State& state) {
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        msg::targetVelocityPayload(2, kVelocities.at(i++ % kVelocities.size())));
  }
}
BENCHMARK(targetVelocityPayload);

void targetAnglePayload(benchmark::State& state) {
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(msg::targetAnglePayload(3, 90.0 * static_cast<double>(i++ % 5)));
  }
}
BENCHMARK(targetAnglePayload);

void decodeHundredths(benchmark::State& state) {
  msg::Frame frame{0x3A, 0xE2, 0x01, 0, 0, 0, 0, 0};
  for (auto _ : state) {
    benchmark::DoNotOptimize(frame);
    benchmark::DoNotOptimize(msg::decodeHundredths(frame));
  }
}
BENCHMARK(decodeHundredths);

}  // namespace

BENCHMARK_MAIN();

// A timed tool for the analog board: the wall time of one c_getRawValue against the simulated
// converter on the stand-in HAL's I2C bus, beside the 1 ms wait every reading holds, taken by
// one thread and by two threads reading at once (the library takes readings one at a time).
//   ferix_reading [readings, default 1000]
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "SimFerix.h"
#include "TimingSupport.h"
#include "hal/I2C.h"
#include "halsim/SimControl.h"
#include "halvern/Ferix.h"

namespace {

using Clock = std::chrono::steady_clock;
using Micros = std::chrono::duration<double, std::micro>;

using halvern::bench::percentile;

// Inputs 0 and 1 at 0.8 V and 1.5 V: 800 and 1500 counts on +-2.048 V.
constexpr std::array<int, 2> kCounts{800, 1500};

void printTimes(const char* what, const std::vector<double>& micros) {
  halvern::bench::printMicros(std::string(what) + " over " + std::to_string(micros.size()), micros);
}

// Takes `count` readings of `channel`, each timed; counts the readings that were wrong.
void readTimed(uint8_t channel, int count, std::vector<double>& micros, int& wrong) {
  micros.reserve(micros.size() + static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const auto start = Clock::now();
    const int raw = c_getRawValue(channel);
    micros.push_back(Micros(Clock::now() - start).count());
    if (raw != kCounts.at(channel)) {
      ++wrong;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int readings = argc > 1 ? std::max(10, std::atoi(argv[1])) : 1000;

  const auto board = halvern::sim::SimFerixConverter::attach();
  board->setInputVoltage(0, 0.8);
  board->setInputVoltage(1, 1.5);
  if (!c_initializeI2C(5)) {
    std::fprintf(stderr, "the simulated board did not answer\n");
    return 1;
  }

  // What a reading cannot go under: the wait alone, as this machine's scheduler keeps it.
  std::vector<double> sleeps;
  sleeps.reserve(static_cast<std::size_t>(readings));
  for (int i = 0; i < readings; ++i) {
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    sleeps.push_back(Micros(Clock::now() - start).count());
  }
  printTimes("sleep_for(1 ms) alone", sleeps);

  // The rest of a reading: its three transfers, straight through the HAL, without the wait.
  const std::array<uint8_t, 3> configWrite{0x01, 0xC4, 0x80};
  const std::array<uint8_t, 2> pointerWrite{0x00, 0x00};
  std::array<uint8_t, 2> result{};
  std::vector<double> transfers;
  transfers.reserve(static_cast<std::size_t>(readings));
  for (int i = 0; i < readings; ++i) {
    const auto start = Clock::now();
    HAL_WriteI2C(HAL_I2C_kMXP, 0x48, configWrite.data(), configWrite.size());
    HAL_WriteI2C(HAL_I2C_kMXP, 0x48, pointerWrite.data(), pointerWrite.size());
    HAL_ReadI2C(HAL_I2C_kMXP, 0x48, result.data(), result.size());
    transfers.push_back(Micros(Clock::now() - start).count());
  }
  std::printf("the three transfers alone over %zu: median %.2f us, p99 %.2f us\n", transfers.size(),
              percentile(transfers, 0.5), percentile(transfers, 0.99));

  // One thread reading.
  int wrong = 0;
  std::vector<double> alone;
  readTimed(0, 10, alone, wrong);  // warm-up
  alone.clear();
  board->clearTransfers();
  readTimed(0, readings, alone, wrong);
  printTimes("c_getRawValue, one thread", alone);
  std::printf("  median beyond the wait alone: %+.1f us\n",
              percentile(alone, 0.5) - percentile(sleeps, 0.5));

  // Two threads reading their own inputs at once: each reading waits for the other's.
  board->clearTransfers();
  std::array<std::vector<double>, 2> both;
  std::array<int, 2> bothWrong{};
  const auto start = Clock::now();
  std::thread other([&] { readTimed(1, readings, both[1], bothWrong[1]); });
  readTimed(0, readings, both[0], bothWrong[0]);
  other.join();
  const double wallMs = Micros(Clock::now() - start).count() / 1000.0;
  std::vector<double> together = both[0];
  together.insert(together.end(), both[1].begin(), both[1].end());
  printTimes("c_getRawValue, two threads at once", together);
  std::printf("  %d readings in %.0f ms: %.0f readings/s, %.0f us a reading\n", 2 * readings,
              wallMs, 2 * readings / (wallMs / 1000.0), wallMs * 1000.0 / (2 * readings));

  wrong += bothWrong[0] + bothWrong[1];
  c_closeI2C();
  halsim::reset();
  if (wrong != 0) {
    std::fprintf(stderr, "%d readings returned another input's count\n", wrong);
    return 1;
  }
  return 0;
}

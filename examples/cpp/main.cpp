// A robot program in miniature on the simulated robot: it reads the four-input analog board on
// the expansion-port I2C bus through HalvernDriver's C++ class halvern::Ferix, with a simulated
// board playing the hardware. Prints every reading and exits with 1 if one is not what the
// board's inputs should give.
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <thread>

#include "halvern/Ferix.hpp"
#include "halvern/sim/SimFerix.h"

namespace {

constexpr int kReferenceVolts = 5;
// The voltage at each input, as the simulated board sees it.
constexpr std::array<double, 4> kInputVolts{0.25, 0.5, 1.0, 1.5};

// The board converts over +-2.048 V in 2048 counts (1 mV a count); HalvernDriver scales a count
// by reference voltage / 2048 (in single precision).
int expectedCount(double volts) { return static_cast<int>(std::lround(volts * 1000.0)); }
double expectedVolts(int count) {
  return static_cast<double>(static_cast<float>(count) *
                             (static_cast<float>(kReferenceVolts) /
                              static_cast<float>(halvern::Ferix::kFullScaleCount)));
}

}  // namespace

int main() {
  // The hardware: an analog board on the HAL's I2C bus, its inputs at fixed voltages.
  auto board = halvern::sim::SimFerixConverter::attach();
  for (int channel = 0; channel < 4; ++channel) {
    board->setInputVoltage(channel, kInputVolts[static_cast<std::size_t>(channel)]);
  }

  try {
    // robotInit: the board is the robot's for as long as `ferix` lives.
    const halvern::Ferix ferix(kReferenceVolts);
    if (!ferix.IsConnected()) {
      std::fprintf(stderr, "FAIL: no analog board answered on the I2C bus\n");
      return 1;
    }

    // robotPeriodic, three times 20 ms apart
    int wrong = 0;
    for (int cycle = 1; cycle <= 3; ++cycle) {
      std::printf("cycle %d:", cycle);
      for (int channel = 0; channel < halvern::Ferix::kChannels; ++channel) {
        const int count = ferix.GetRaw(channel);
        const double volts = ferix.GetVoltage(channel);
        const int wantCount = expectedCount(kInputVolts[static_cast<std::size_t>(channel)]);
        const bool right = count == wantCount && std::fabs(volts - expectedVolts(wantCount)) < 1e-4;
        std::printf("  input %d: %4d counts %.4f V%s", channel, count, volts,
                    right ? "" : " (WRONG)");
        if (!right) {
          ++wrong;
        }
      }
      std::printf("\n");
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // The bus closes as `ferix` goes.
    if (wrong > 0) {
      std::fprintf(stderr, "FAIL: %d readings were not what the inputs give\n", wrong);
      return 1;
    }
  } catch (const std::exception& error) {  // an argument the class refused
    std::fprintf(stderr, "FAIL: %s\n", error.what());
    return 1;
  }
  std::printf("All readings right.\n");
  return 0;
}

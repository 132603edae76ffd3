// A robot program in miniature on the simulated robot: it reads the four-input analog board on
// the expansion-port I2C bus through HalvernDriver, with a simulated board playing the hardware.
// Prints every reading and exits with 1 if one is not what the board's inputs should give.
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <thread>

#include "halvern/Ferix.h"
#include "halvern/sim/SimFerix.h"

namespace {

constexpr int kReferenceVolts = 5;
// The voltage at each input, as the simulated board sees it.
constexpr std::array<double, 4> kInputVolts{0.25, 0.5, 1.0, 1.5};

// The board converts over +-2.048 V in 2048 counts (1 mV a count); HalvernDriver scales a count
// by reference voltage / 2048.
int expectedCount(double volts) { return static_cast<int>(std::lround(volts * 1000.0)); }
float expectedVolts(int count) {
  return static_cast<float>(count) * (static_cast<float>(kReferenceVolts) / 2048.0F);
}

}  // namespace

int main() {
  // The hardware: an analog board on the HAL's I2C bus, its inputs at fixed voltages.
  auto board = halvern::sim::SimFerixConverter::attach();
  for (int channel = 0; channel < 4; ++channel) {
    board->setInputVoltage(channel, kInputVolts[static_cast<std::size_t>(channel)]);
  }

  // robotInit
  if (!c_initializeI2C(kReferenceVolts)) {
    std::fprintf(stderr, "FAIL: no analog board answered on the I2C bus\n");
    return 1;
  }

  // robotPeriodic, three times 20 ms apart
  int wrong = 0;
  for (int cycle = 1; cycle <= 3; ++cycle) {
    std::printf("cycle %d:", cycle);
    for (uint8_t channel = 0; channel < 4; ++channel) {
      const int count = c_getRawValue(channel);
      const float volts = c_getVoltage(channel);
      const int wantCount = expectedCount(kInputVolts[channel]);
      const bool right =
          count == wantCount && std::fabs(volts - expectedVolts(wantCount)) < 1e-4F;
      std::printf("  input %u: %4d counts %.4f V%s", static_cast<unsigned>(channel), count,
                  static_cast<double>(volts), right ? "" : " (WRONG)");
      if (!right) {
        ++wrong;
      }
    }
    std::printf("\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  c_closeI2C();

  if (wrong > 0) {
    std::fprintf(stderr, "FAIL: %d readings were not what the inputs give\n", wrong);
    return 1;
  }
  std::printf("All readings right.\n");
  return 0;
}

#include "ferix/ConverterRegisters.h"

#include <algorithm>
#include <cmath>

namespace halvern::sim::converter {
namespace {

constexpr int kMaxCount = 2047;
constexpr int kMinCount = -2048;
constexpr double kFullScaleCount = 2048.0;

/** Full-scale range in volts, by bits 11 to 9. */
constexpr std::array<double, 8> kFullScaleVolts{6.144, 4.096, 2.048, 1.024,
                                                0.512, 0.256, 0.256, 0.256};
/** Samples per second, by bits 7 to 5. */
constexpr std::array<int64_t, 8> kSamplesPerSecond{128, 250, 490, 920, 1600, 2400, 3300, 3300};

double fullScaleVolts(uint16_t config) { return kFullScaleVolts.at((config >> 9U) & 0x7U); }

}  // namespace

std::chrono::nanoseconds samplePeriod(uint16_t config) {
  constexpr int64_t kNanosecondsPerSecond = 1'000'000'000;
  return std::chrono::nanoseconds(kNanosecondsPerSecond /
                                  kSamplesPerSecond.at((config >> 5U) & 0x7U));
}

double selectedVoltage(const std::array<double, 4>& inputs, uint16_t config) {
  const unsigned mux = (config >> 12U) & 0x7U;
  switch (mux) {
    case 0:
      return inputs[0] - inputs[1];
    case 1:
      return inputs[0] - inputs[3];
    case 2:
      return inputs[1] - inputs[3];
    case 3:
      return inputs[2] - inputs[3];
    default:
      return inputs.at(mux - 4);
  }
}

uint16_t convert(double volts, uint16_t config) {
  if (std::isnan(volts)) {
    return 0;
  }
  // To the nearest count: the full-scale ranges are not exact in binary, so 1 V over 2.048 V
  // comes out a hair below 1000 counts.
  const double count = std::clamp(std::round(volts / fullScaleVolts(config) * kFullScaleCount),
                                  static_cast<double>(kMinCount), static_cast<double>(kMaxCount));
  return ferix::encodeConversion(static_cast<int>(count));
}

double countVoltage(int count, uint16_t config) {
  return count * fullScaleVolts(config) / kFullScaleCount;
}

}  // namespace halvern::sim::converter

// The analog board's register protocol: addresses, the configuration word of a reading and the
// decoding of its result. Pure functions, no I/O.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>

#include "halvern/Ferix.h"

namespace halvern::ferix {

inline constexpr int32_t kI2CPort = 1;           // the expansion-port bus
inline constexpr int32_t kDeviceAddress = 0x48;  // 7-bit
inline constexpr uint8_t kConversionRegister = 0;
inline constexpr uint8_t kConfigRegister = 1;
inline constexpr uint8_t kChannelCount = FERIX_CHANNELS;
/** Time given to the converter between starting a conversion and reading it. */
inline constexpr std::chrono::milliseconds kConversionWait{1};
/** The count that reads as the reference voltage. */
inline constexpr float kFullScaleCount = static_cast<float>(FERIX_FULL_SCALE_COUNT);

/** The converter settings folded into every configuration word. */
struct ConverterSettings {
  uint16_t mode = 0;      // bit 8: 0 continuous conversion
  uint16_t gain = 0;      // bits 11 to 9: full-scale range
  uint16_t dataRate = 0;  // bits 7 to 5
};

/** Continuous conversion, +-2.048 V full scale, 1600 samples per second. */
inline constexpr ConverterSettings kBoardSettings{0x0000, 0x0400, 0x0080};

inline constexpr uint16_t kStartConversion = 0x8000;
inline constexpr uint16_t kSingleEndedInput0 = 0x4000;  // input 0 against ground
inline constexpr uint16_t kInputStep = 0x1000;

/** The configuration word that starts converting `channel` (0 to 3) against ground. */
constexpr uint16_t configWord(uint8_t channel, ConverterSettings settings) {
  return static_cast<uint16_t>(kStartConversion | (kSingleEndedInput0 + channel * kInputStep) |
                               settings.gain | settings.mode | settings.dataRate);
}

/** Register pointer, then the word most significant byte first. */
constexpr std::array<uint8_t, 3> configWrite(uint16_t word) {
  return {kConfigRegister, static_cast<uint8_t>(word >> 8U), static_cast<uint8_t>(word & 0xFFU)};
}

/** Points the converter at its conversion register (the second byte is sent as it is). */
inline constexpr std::array<uint8_t, 2> kConversionPointerWrite{kConversionRegister, 0x00};

/** A register's two bytes as sent, most significant first, as one word. */
constexpr uint16_t registerWord(uint8_t high, uint8_t low) {
  return static_cast<uint16_t>((high << 8U) | low);
}

/** The 12-bit count in the conversion register's upper bits, unsigned: 0 to 4095. */
constexpr int decodeConversion(uint8_t high, uint8_t low) { return registerWord(high, low) >> 4U; }

/** The converter's side: the conversion register holding a 12-bit count (its low 12 bits). */
constexpr uint16_t encodeConversion(int count) {
  return static_cast<uint16_t>((static_cast<unsigned>(count) & 0x0FFFU) << 4U);
}

/** A count in volts; the scale is worked out first, in single precision. */
constexpr float countToVolts(int count, float referenceVoltage) {
  return static_cast<float>(count) * (referenceVoltage / kFullScaleCount);
}

}  // namespace halvern::ferix

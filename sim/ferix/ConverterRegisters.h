// The simulated board's converter as plain functions of its configuration word: register
// addresses, full-scale range, sample period, input selection and the conversion itself.
// Nothing here knows the I2C bus.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>

#include "ferix/FerixProtocol.h"

namespace halvern::sim::converter {

inline constexpr uint8_t kConversionRegister = ferix::kConversionRegister;
inline constexpr uint8_t kConfigRegister = ferix::kConfigRegister;
inline constexpr uint8_t kLowThresholdRegister = 2;
inline constexpr uint8_t kPointerMask = 0x03;  // the pointer register's two address bits

inline constexpr uint16_t kStartOrIdle = 0x8000;  // bit 15: write 1 to start; reads 1 while idle
inline constexpr uint16_t kSingleShot = 0x0100;   // bit 8

/** Continuous mode converts again and again; single-shot once a start. */
constexpr bool continuousMode(uint16_t config) { return (config & kSingleShot) == 0; }

/** How long one conversion takes: 1 / the data rate of bits 7 to 5. */
std::chrono::nanoseconds samplePeriod(uint16_t config);

/** The voltage the input selection (bits 14 to 12) measures: 4 to 7 the single-ended inputs 0
 *  to 3, 0 to 3 the differential pairs 0-1, 0-3, 1-3 and 2-3. */
double selectedVoltage(const std::array<double, 4>& inputs, uint16_t config);

/** The conversion register for a voltage: 12-bit two's complement of V / full scale x 2048, to
 *  the nearest count and clamped to the range, in the upper 12 bits; 0 for NaN. */
uint16_t convert(double volts, uint16_t config);

/** The voltage that converts to `count` (-2048 to 2047) under `config`: convert's inverse. */
double countVoltage(int count, uint16_t config);

}  // namespace halvern::sim::converter

// The analog board's register protocol alone: configuration words, the writes of a reading,
// the decoding of the conversion register and the scaling to volts.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>

#include "ferix/FerixProtocol.h"

namespace {

using namespace halvern::ferix;

// The board's documentation, written out rather than taken from the library.
constexpr std::array<uint16_t, 4> kDocumentedWords{0xC480, 0xD480, 0xE480, 0xF480};

unsigned field(uint16_t word, unsigned shift, unsigned mask) {
  return (static_cast<unsigned>(word) >> shift) & mask;
}

TEST(FerixProtocol, BusAndAddress) {
  EXPECT_EQ(kI2CPort, 1);
  EXPECT_EQ(kDeviceAddress, 0x48);
  EXPECT_EQ(kChannelCount, 4);
  EXPECT_EQ(kConversionWait, std::chrono::milliseconds(1));
}

TEST(FerixProtocol, ConfigWordOfEachChannel) {
  for (uint8_t channel = 0; channel < kChannelCount; ++channel) {
    SCOPED_TRACE(channel);
    const uint16_t word = configWord(channel, kBoardSettings);
    EXPECT_EQ(word, kDocumentedWords.at(channel));
    EXPECT_EQ(field(word, 15, 0x1), 1U);            // start a conversion
    EXPECT_EQ(field(word, 12, 0x7), 4U + channel);  // single-ended input `channel`
    EXPECT_EQ(field(word, 9, 0x7), 2U);             // +-2.048 V
    EXPECT_EQ(field(word, 8, 0x1), 0U);             // continuous
    EXPECT_EQ(field(word, 5, 0x7), 4U);             // 1600 samples/s: 625 us < the 1 ms wait
    EXPECT_EQ(field(word, 0, 0x1F), 0U);            // comparator left at its defaults
  }
}

TEST(FerixProtocol, ConfigWriteIsPointerThenWordMostSignificantFirst) {
  EXPECT_EQ(configWrite(0xC480), (std::array<uint8_t, 3>{0x01, 0xC4, 0x80}));
  EXPECT_EQ(configWrite(0xF480), (std::array<uint8_t, 3>{0x01, 0xF4, 0x80}));
  EXPECT_EQ(configWrite(0x0000), (std::array<uint8_t, 3>{0x01, 0x00, 0x00}));
  EXPECT_EQ(configWrite(0xFFFF), (std::array<uint8_t, 3>{0x01, 0xFF, 0xFF}));
  EXPECT_EQ(kConversionPointerWrite, (std::array<uint8_t, 2>{0x00, 0x00}));
}

TEST(FerixProtocol, EveryRegisterValueDecodesAsItsUpperTwelveBits) {
  for (uint32_t value = 0; value <= 0xFFFF; ++value) {
    const auto high = static_cast<uint8_t>(value >> 8U);
    const auto low = static_cast<uint8_t>(value & 0xFFU);
    ASSERT_EQ(decodeConversion(high, low), static_cast<int>(value >> 4U)) << value;
  }
  EXPECT_EQ(decodeConversion(0x7F, 0xF0), 2047);
  EXPECT_EQ(decodeConversion(0xFF, 0xF0), 4095);  // a slightly negative input
  EXPECT_EQ(decodeConversion(0x80, 0x00), 2048);  // the most negative
  EXPECT_EQ(decodeConversion(0x00, 0x0F), 0);     // the unused low bits
}

TEST(FerixProtocol, CountToVolts) {
  EXPECT_EQ(countToVolts(0, 5.0F), 0.0F);
  EXPECT_EQ(countToVolts(2047, 0.0F), 0.0F);  // before any initialise
  EXPECT_EQ(countToVolts(2048, 5.0F), 5.0F);
  EXPECT_EQ(countToVolts(1024, 4.0F), 2.0F);
  EXPECT_NEAR(countToVolts(2047, 5.0F), 4.9976, 1e-4);
  EXPECT_EQ(countToVolts(2047, 5.0F), 2047.0F * (5.0F / 2048.0F));
  // Every count under every whole reference voltage a caller might pass: the quotient is
  // taken first, in single precision, and then multiplied.
  for (int reference = -12; reference <= 24; ++reference) {
    const auto volts = static_cast<float>(reference);
    const float scale = volts / 2048.0F;
    for (int count = 0; count <= 4095; ++count) {
      ASSERT_EQ(countToVolts(count, volts), static_cast<float>(count) * scale)
          << count << " at " << reference;
      // Exact here: a whole reference over 2048 and its product with a count are exact floats.
      ASSERT_EQ(static_cast<double>(countToVolts(count, volts)), count * reference / 2048.0)
          << count << " at " << reference;
    }
  }
  // A reference that is not a whole number or power of two: still quotient first.
  const float odd = 3.3F;
  EXPECT_EQ(countToVolts(4095, odd), 4095.0F * (odd / 2048.0F));
}

// The converter's side against the library's: every count the register can hold reads back.
TEST(FerixRoundTrip, ConversionRegisterCountsReadBack) {
  for (int count = 0; count < 4096; ++count) {
    const uint16_t word = encodeConversion(count);
    ASSERT_EQ(
        decodeConversion(static_cast<uint8_t>(word >> 8U), static_cast<uint8_t>(word & 0xFFU)),
        count);
  }
  EXPECT_EQ(encodeConversion(-1), 0xFFF0);  // two's complement, as the converter holds it
  const auto write = configWrite(0xC480);
  EXPECT_EQ(registerWord(write[1], write[2]), 0xC480);
}

}  // namespace

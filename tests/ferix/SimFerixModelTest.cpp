// The simulated analog board's converter itself, through raw HAL transfers: the behaviour the
// library's tests rely on.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "SimFerix.h"
#include "hal/I2C.h"
#include "halsim/SimControl.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using halvern::sim::SimFerixConverter;
using Bytes = std::vector<uint8_t>;

constexpr HAL_I2CPort kPort = HAL_I2C_kMXP;
constexpr int32_t kAddress = 0x48;

class SimFerixModel : public ::testing::Test {
 protected:
  void SetUp() override {
    halsim::reset();
    board = SimFerixConverter::attach();
    int32_t status = -1;
    HAL_InitializeI2C(kPort, &status);
    ASSERT_EQ(status, 0);
  }
  void TearDown() override {
    HAL_CloseI2C(kPort);
    halsim::reset();
  }

  static int32_t write(const Bytes& bytes) {
    return HAL_WriteI2C(kPort, kAddress, bytes.data(), static_cast<int32_t>(bytes.size()));
  }
  static void writeConfig(uint16_t word) {
    ASSERT_EQ(write({0x01, static_cast<uint8_t>(word >> 8U), static_cast<uint8_t>(word & 0xFFU)}),
              3);
  }
  // Points at `pointer` and reads its two bytes as a word.
  static uint16_t readRegister(uint8_t pointer) {
    EXPECT_EQ(write({pointer}), 1);
    std::array<uint8_t, 2> bytes{};
    EXPECT_EQ(HAL_ReadI2C(kPort, kAddress, bytes.data(), 2), 2);
    return static_cast<uint16_t>((bytes[0] << 8U) | bytes[1]);
  }

  std::shared_ptr<SimFerixConverter> board;
};

TEST_F(SimFerixModel, PowerOnRegisters) {
  EXPECT_EQ(readRegister(1), 0x8583);
  EXPECT_EQ(readRegister(0), 0x0000);
  EXPECT_EQ(readRegister(2), 0x8000);
  EXPECT_EQ(readRegister(3), 0x7FF0);
}

// Single-ended input 0 then input 1, +-2.048 V, continuous, 128 samples/s (7.8 ms a sample).
TEST_F(SimFerixModel, ConversionFollowsTheConfigurationAfterOneSamplePeriod) {
  constexpr auto kPeriod = std::chrono::microseconds(7812);
  board->setInputVoltage(0, 1.0);
  board->setInputVoltage(1, 0.5);

  const auto written = Clock::now();
  writeConfig(0xC400);
  const uint16_t early = readRegister(0);
  if (Clock::now() - written < kPeriod) {  // a slow machine may have taken the whole period
    EXPECT_EQ(early, 0x0000);              // still the previous result
    EXPECT_EQ(readRegister(1), 0x4400);    // bit 15 reads 0: converting
  }
  std::this_thread::sleep_for(kPeriod + 2ms);
  EXPECT_EQ(readRegister(0), 1000 << 4);
  EXPECT_EQ(readRegister(1), 0xC400);

  const auto switched = Clock::now();
  writeConfig(0xD400);
  const uint16_t stillInputZero = readRegister(0);
  if (Clock::now() - switched < kPeriod) {
    EXPECT_EQ(stillInputZero, 1000 << 4);
  }
  std::this_thread::sleep_for(kPeriod + 2ms);
  EXPECT_EQ(readRegister(0), 500 << 4);
  EXPECT_EQ(board->conversionRegister(), 500 << 4);
}

// The board's own settings: 1600 samples/s, so a conversion is done well within 1 ms.
TEST_F(SimFerixModel, BoardSettingsConvertWithinAMillisecond) {
  board->setInputVoltage(2, 1.5);
  writeConfig(0xE480);
  std::this_thread::sleep_for(1ms);
  EXPECT_EQ(readRegister(0), 1500 << 4);
  // Continuous: the register follows the input.
  board->setInputVoltage(2, 0.25);
  std::this_thread::sleep_for(1ms);
  EXPECT_EQ(readRegister(0), 250 << 4);
}

TEST_F(SimFerixModel, ConvertGivesTwelveBitTwosComplement) {
  constexpr uint16_t kTwoVolts = 0xC480;  // +-2.048 V
  EXPECT_EQ(SimFerixConverter::convert(1.0, kTwoVolts), 0x3E80);
  EXPECT_EQ(SimFerixConverter::convert(0.0, kTwoVolts), 0x0000);
  EXPECT_EQ(SimFerixConverter::convert(-0.001, kTwoVolts), 0xFFF0);
  EXPECT_EQ(SimFerixConverter::convert(2.047, kTwoVolts), 0x7FF0);
  EXPECT_EQ(SimFerixConverter::convert(2.5, kTwoVolts), 0x7FF0);  // clamped
  EXPECT_EQ(SimFerixConverter::convert(-2.048, kTwoVolts), 0x8000);
  EXPECT_EQ(SimFerixConverter::convert(-9.0, kTwoVolts), 0x8000);  // clamped
  // The other full-scale ranges, 1 V on each.
  EXPECT_EQ(SimFerixConverter::convert(1.0, 0xC080), 333 << 4);     // 6.144 V
  EXPECT_EQ(SimFerixConverter::convert(1.0, 0xC280), 500 << 4);     // 4.096 V
  EXPECT_EQ(SimFerixConverter::convert(0.5, 0xC680), 1000 << 4);    // 1.024 V
  EXPECT_EQ(SimFerixConverter::convert(0.25, 0xC880), 1000 << 4);   // 0.512 V
  EXPECT_EQ(SimFerixConverter::convert(0.125, 0xCA80), 1000 << 4);  // 0.256 V
  EXPECT_EQ(SimFerixConverter::convert(0.125, 0xCE80), 1000 << 4);  // 0.256 V too
}

TEST_F(SimFerixModel, DifferentialPairs) {
  board->setInputVoltage(0, 1.0);
  board->setInputVoltage(1, 0.25);
  board->setInputVoltage(2, 0.5);
  board->setInputVoltage(3, 1.5);
  const std::array<std::pair<uint16_t, int>, 4> pairs{
      {{0x0480, 750}, {0x1480, -500 & 0xFFF}, {0x2480, -1250 & 0xFFF}, {0x3480, -1000 & 0xFFF}}};
  for (const auto& [word, count] : pairs) {
    SCOPED_TRACE(word);
    writeConfig(word);
    std::this_thread::sleep_for(1ms);
    EXPECT_EQ(readRegister(0), count << 4);
  }
}

TEST_F(SimFerixModel, TwoByteWriteMovesOnlyThePointer) {
  ASSERT_EQ(write({0x01, 0x12}), 2);
  std::array<uint8_t, 2> bytes{};
  ASSERT_EQ(HAL_ReadI2C(kPort, kAddress, bytes.data(), 2), 2);
  EXPECT_EQ(bytes, (std::array<uint8_t, 2>{0x85, 0x83}));  // the configuration, unchanged
  // A one-byte read gives the high byte alone.
  std::array<uint8_t, 1> high{};
  ASSERT_EQ(HAL_ReadI2C(kPort, kAddress, high.data(), 1), 1);
  EXPECT_EQ(high[0], 0x85);
}

TEST_F(SimFerixModel, ThresholdsCanBeWrittenAndConversionCannot) {
  ASSERT_EQ(write({0x02, 0x12, 0x30}), 3);
  ASSERT_EQ(write({0x00, 0x45, 0x60}), 3);
  EXPECT_EQ(readRegister(2), 0x1230);
  EXPECT_EQ(readRegister(0), 0x0000);
  EXPECT_EQ(readRegister(1), 0x8583);
}

TEST_F(SimFerixModel, Faults) {
  board->setInputVoltage(0, 1.0);
  writeConfig(0xC480);
  std::this_thread::sleep_for(1ms);
  ASSERT_EQ(readRegister(0), 1000 << 4);

  board->setReadsFail(true);
  std::array<uint8_t, 2> bytes{};
  EXPECT_LT(HAL_ReadI2C(kPort, kAddress, bytes.data(), 2), 0);
  EXPECT_EQ(bytes, (std::array<uint8_t, 2>{0xFF, 0xFF}));  // never the register's bytes
  board->setReadsFail(false);

  board->setWritesFail(true);
  EXPECT_LT(write({0x01, 0xD4, 0x80}), 0);
  EXPECT_LT(write({0x01}), 0);
  board->setWritesFail(false);
  EXPECT_EQ(board->configRegister(), 0xC480);
  std::array<uint8_t, 2> still{};
  ASSERT_EQ(HAL_ReadI2C(kPort, kAddress, still.data(), 2), 2);  // the pointer did not move
  EXPECT_EQ(still, (std::array<uint8_t, 2>{0x3E, 0x80}));

  board->setAbsent(true);
  EXPECT_LT(write({0x00}), 0);
  EXPECT_LT(HAL_ReadI2C(kPort, kAddress, bytes.data(), 1), 0);
  board->setAbsent(false);

  const auto transfers = board->transfers();
  std::size_t failed = 0;
  for (const auto& transfer : transfers) {
    failed += transfer.failed ? 1U : 0U;
  }
  EXPECT_EQ(failed, 5U);
}

}  // namespace

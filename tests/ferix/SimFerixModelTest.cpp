// The simulated analog board's converter itself, through raw HAL transfers: the behaviour the
// library's tests rely on.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <thread>
#include <vector>

#include "SimFerix.h"
#include "SimHal.h"
#include "TestPlatform.h"
#include "core/HalPlatform.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using halvern::sim::SimFerixConverter;
using Bytes = std::vector<uint8_t>;

constexpr int32_t kPort = halvern::platform::kExpansionI2CPort;
constexpr int32_t kAddress = 0x48;

class SimFerixModel : public ::testing::Test {
 protected:
  void SetUp() override {
    halvern::test::resetSimulation();
    board = SimFerixConverter::attach();
    int32_t status = 0;
    halvern::platform::i2cInitialize(kPort, status);
    ASSERT_EQ(status, 0);
  }
  void TearDown() override {
    halvern::platform::i2cClose(kPort);
    halvern::test::resetSimulation();
  }

  // A transfer that reached the converter gives 0 (WPILib's simulation reports no count).
  static int32_t write(const Bytes& bytes) {
    return halvern::platform::i2cWrite(kPort, kAddress, bytes);
  }
  static int32_t read(std::span<uint8_t> buffer) {
    return halvern::platform::i2cRead(kPort, kAddress, buffer);
  }
  static void writeConfig(uint16_t word) {
    ASSERT_EQ(write({0x01, static_cast<uint8_t>(word >> 8U), static_cast<uint8_t>(word & 0xFFU)}), 0);
  }
  // Points at `pointer` and reads its two bytes as a word.
  static uint16_t readRegister(uint8_t pointer) {
    EXPECT_EQ(write({pointer}), 0);
    std::array<uint8_t, 2> bytes{};
    EXPECT_EQ(read(bytes), 0);
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
  ASSERT_EQ(write({0x01, 0x12}), 0);
  std::array<uint8_t, 2> bytes{};
  ASSERT_EQ(read(bytes), 0);
  EXPECT_EQ(bytes, (std::array<uint8_t, 2>{0x85, 0x83}));  // the configuration, unchanged
  // A one-byte read gives the high byte alone.
  std::array<uint8_t, 1> high{};
  ASSERT_EQ(read(high), 0);
  EXPECT_EQ(high[0], 0x85);
}

TEST_F(SimFerixModel, ThresholdsCanBeWrittenAndConversionCannot) {
  ASSERT_EQ(write({0x02, 0x12, 0x30}), 0);
  ASSERT_EQ(write({0x00, 0x45, 0x60}), 0);
  EXPECT_EQ(readRegister(2), 0x1230);
  EXPECT_EQ(readRegister(0), 0x0000);
  EXPECT_EQ(readRegister(1), 0x8583);
}

TEST_F(SimFerixModel, FailedTransfersNeverReachTheConverter) {
  HALVERN_NEEDS_STANDIN();
  board->setInputVoltage(0, 1.0);
  writeConfig(0xC480);
  std::this_thread::sleep_for(1ms);
  ASSERT_EQ(readRegister(0), 1000 << 4);
  board->clearTransfers();

  halvern::test::setI2CReadFault(kPort, true);
  std::array<uint8_t, 2> bytes{};
  EXPECT_LT(read(bytes), 0);
  EXPECT_EQ(bytes, (std::array<uint8_t, 2>{0xFF, 0xFF}));  // never the register's bytes
  halvern::test::setI2CReadFault(kPort, false);

  halvern::test::setI2CWriteFault(kPort, [](std::span<const uint8_t>) { return true; });
  EXPECT_LT(write({0x01, 0xD4, 0x80}), 0);
  EXPECT_LT(write({0x01}), 0);
  halvern::test::setI2CWriteFault(kPort, nullptr);
  EXPECT_EQ(board->configRegister(), 0xC480);
  std::array<uint8_t, 2> still{};
  ASSERT_EQ(read(still), 0);  // the pointer did not move
  EXPECT_EQ(still, (std::array<uint8_t, 2>{0x3E, 0x80}));

  halvern::test::setI2CAbsent(kPort, true);
  EXPECT_LT(write({0x00}), 0);
  EXPECT_LT(read(std::span(bytes.data(), 1)), 0);
  halvern::test::setI2CAbsent(kPort, false);

  EXPECT_EQ(board->transfers().size(), 1U);  // only the read that succeeded
}

// The board as WPILib's simulation shows it: a SimDevice whose four inputs are its voltages,
// in both directions.
TEST_F(SimFerixModel, SimDeviceShowsAndTakesTheInputVoltages) {
  const HAL_SimDeviceHandle device = HALSIM_GetSimDeviceHandle("Ferix[1,72]");
  ASSERT_NE(device, 0);
  EXPECT_EQ(board->simDeviceName(), "Ferix[1,72]");
  const HAL_SimValueHandle voltage2 = HALSIM_GetSimValueHandle(device, "Voltage 2");
  ASSERT_NE(voltage2, 0);
  board->setInputVoltage(2, 1.5);
  EXPECT_DOUBLE_EQ(HAL_GetSimValueDouble(voltage2), 1.5);

  // Fed by the simulation: the next conversion of input 2 takes it.
  HAL_SetSimValueDouble(voltage2, 0.75);
  writeConfig(0xE480);  // single-ended input 2, 2.048 V full scale
  std::this_thread::sleep_for(2ms);
  EXPECT_EQ(readRegister(0), 750 << 4);
  EXPECT_DOUBLE_EQ(board->inputVoltage(2), 0.75);

  // A second board on the same port and address cannot take the name; the first keeps it.
  const auto second = SimFerixConverter::attach();
  EXPECT_EQ(HALSIM_GetSimDeviceHandle("Ferix[1,72]"), device);
}

}  // namespace

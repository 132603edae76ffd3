// The analog board through the library's C face, against the simulated converter on the
// stand-in HAL's I2C bus.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <thread>
#include <vector>

#include "FerixBoardTest.h"
#include "SimFerix.h"
#include "SimHal.h"
#include "TestPlatform.h"
#include "core/HalPlatform.h"
#include "halvern/Ferix.h"

namespace {

using namespace std::chrono_literals;
using halvern::sim::SimFerixConverter;
using Transfer = SimFerixConverter::Transfer;
using Bytes = std::vector<uint8_t>;
using halvern::test::ferix::kInputCounts;

// The board's documentation, written out rather than taken from the library, so a wrong
// constant there cannot agree with itself here.
constexpr int32_t kPort = 1;
constexpr std::array<uint16_t, 4> kConfigWords{0xC480, 0xD480, 0xE480, 0xF480};

Bytes configWriteBytes(uint16_t word) {
  return {0x01, static_cast<uint8_t>(word >> 8U), static_cast<uint8_t>(word & 0xFFU)};
}

const Bytes kPointerWrite{0x00, 0x00};

class FerixC : public halvern::test::ferix::FerixBoardTest {
 protected:
  // Initialises with `referenceVolts` and forgets the presence check's transfer.
  void initialize(int referenceVolts) {
    ASSERT_TRUE(c_initializeI2C(referenceVolts));
    board->clearTransfers();
  }

  // On the 2 V range, each input at its count of kInputCounts.
  void initializeWithFourInputs() {
    initialize(2);
    setInputsToTheirCounts();
  }
};

// Checks that `transfers` from `first` are one reading's: the configuration write of `word`,
// the pointer write, then a 2-byte read.
void expectReading(const std::vector<Transfer>& transfers, std::size_t first, uint16_t word) {
  ASSERT_GE(transfers.size(), first + 3);
  const Transfer& config = transfers[first];
  const Transfer& pointer = transfers[first + 1];
  const Transfer& read = transfers[first + 2];
  EXPECT_EQ(config.kind, Transfer::Kind::Write);
  EXPECT_EQ(config.bytes, configWriteBytes(word));
  EXPECT_EQ(config.count, 3);
  EXPECT_EQ(pointer.kind, Transfer::Kind::Write);
  EXPECT_EQ(pointer.bytes, kPointerWrite);
  EXPECT_EQ(pointer.count, 2);
  EXPECT_EQ(read.kind, Transfer::Kind::Read);
  EXPECT_EQ(read.count, 2);
  // The converter is given its millisecond before it is pointed at the result.
  EXPECT_GE(pointer.at - config.at, 1ms);
  EXPECT_GE(read.at, pointer.at);
}

TEST_F(FerixC, InitializeChecksPresenceWithAOneByteRead) {
  EXPECT_TRUE(c_initializeI2C(5));
  EXPECT_TRUE(HALSIM_GetI2CInitialized(kPort));
  const auto transfers = board->transfers();
  ASSERT_EQ(transfers.size(), 1U);
  EXPECT_EQ(transfers[0].kind, Transfer::Kind::Read);  // no register pointer written first
  EXPECT_EQ(transfers[0].count, 1);
  // The converter's configuration is left as it was.
  EXPECT_EQ(board->configRegister(), SimFerixConverter::kPowerOnConfig);
}

TEST_F(FerixC, ReadingOfInputZeroOnTheBus) {
  initialize(5);
  board->setInputVoltage(0, 1.0);  // 1000 counts at +-2.048 V
  EXPECT_EQ(c_getRawValue(0), 1000);
  const auto transfers = board->transfers();
  ASSERT_EQ(transfers.size(), 3U);
  expectReading(transfers, 0, 0xC480);
  EXPECT_EQ(transfers[2].bytes, (Bytes{0x3E, 0x80}));
  EXPECT_EQ(board->configRegister(), 0xC480);
}

TEST_F(FerixC, ReadingOfInputThreeOnTheBus) {
  initialize(5);
  board->setInputVoltage(3, 2.0);
  board->setInputVoltage(0, 1.0);  // not the input asked for
  EXPECT_EQ(c_getRawValue(3), 2000);
  const auto transfers = board->transfers();
  ASSERT_EQ(transfers.size(), 3U);
  expectReading(transfers, 0, 0xF480);
  EXPECT_EQ(transfers[2].bytes, (Bytes{0x7D, 0x00}));
}

TEST_F(FerixC, EachInputHasItsConfigurationWord) {
  initializeWithFourInputs();
  for (uint8_t channel = 0; channel < 4; ++channel) {
    SCOPED_TRACE(static_cast<int>(channel));
    board->clearTransfers();
    EXPECT_EQ(c_getRawValue(channel), kInputCounts.at(channel));
    expectReading(board->transfers(), 0, kConfigWords.at(channel));
    // The same reading in volts: 2 V over 2048 counts.
    EXPECT_EQ(c_getVoltage(channel),
              static_cast<float>(kInputCounts.at(channel)) * (2.0F / 2048.0F));
  }
}

TEST_F(FerixC, EdgeValues) {
  initialize(5);
  board->setInputVoltage(0, 2.5);     // above full scale: 0x7FF0
  board->setInputVoltage(1, -0.001);  // slightly negative: 0xFFF0
  board->setInputVoltage(2, -3.0);    // below full scale: 0x8000
  board->setInputVoltage(3, 0.0);

  EXPECT_EQ(c_getRawValue(0), 2047);
  EXPECT_EQ(board->transfers().back().bytes, (Bytes{0x7F, 0xF0}));
  EXPECT_EQ(c_getRawValue(1), 4095);
  EXPECT_EQ(board->transfers().back().bytes, (Bytes{0xFF, 0xF0}));
  EXPECT_EQ(c_getRawValue(2), 2048);
  EXPECT_EQ(board->transfers().back().bytes, (Bytes{0x80, 0x00}));
  EXPECT_EQ(c_getRawValue(3), 0);

  const float topVolts = c_getVoltage(0);
  EXPECT_EQ(topVolts, 2047.0F * (5.0F / 2048.0F));  // the quotient first, in float
  EXPECT_NEAR(topVolts, 4.9976, 1e-4);
  EXPECT_EQ(c_getVoltage(1), 4095.0F * (5.0F / 2048.0F));  // unsigned: near 10 V, not negative
  EXPECT_EQ(c_getVoltage(3), 0.0F);
}

TEST_F(FerixC, InputsAboveThreeGiveZeroWithNoBusTraffic) {
  initialize(5);
  for (int channel = 0; channel < 4; ++channel) {
    board->setInputVoltage(channel, 1.0);
  }
  for (const uint8_t channel : std::array<uint8_t, 4>{4, 5, 128, 255}) {
    EXPECT_EQ(c_getRawValue(channel), 0) << static_cast<int>(channel);
    EXPECT_EQ(c_getVoltage(channel), 0.0F) << static_cast<int>(channel);
  }
  EXPECT_TRUE(board->transfers().empty());
}

TEST_F(FerixC, AbsentBoard) {
  HALVERN_NEEDS_STANDIN();
  halvern::test::setI2CAbsent(kPort, true);
  board->setInputVoltage(0, 1.0);
  EXPECT_FALSE(c_initializeI2C(5));
  EXPECT_TRUE(HALSIM_GetI2CInitialized(kPort));  // the port stays open
  EXPECT_EQ(c_getRawValue(0), 0);
  EXPECT_EQ(c_getVoltage(0), 0.0F);
  EXPECT_TRUE(board->transfers().empty());  // every transfer failed on the bus

  // A board that turns up later is read without initialising again.
  halvern::test::setI2CAbsent(kPort, false);
  EXPECT_EQ(c_getRawValue(0), 1000);
  EXPECT_EQ(c_getVoltage(0), 1000.0F * (5.0F / 2048.0F));
}

// With no simulated board, transfers succeed on WPILib's simulation but nothing fills the
// buffers: the readings are 0, never garbage.
TEST_F(FerixC, NoSimulatedBoardReadsZero) {
  board.reset();
  static_cast<void>(c_initializeI2C(5));
  EXPECT_TRUE(HALSIM_GetI2CInitialized(kPort));
  EXPECT_EQ(c_getRawValue(0), 0);
  EXPECT_EQ(c_getVoltage(3), 0.0F);
}

TEST_F(FerixC, FailedReadGivesZeroNotThePreviousReading) {
  HALVERN_NEEDS_STANDIN();
  initialize(5);
  board->setInputVoltage(0, 1.0);
  ASSERT_EQ(c_getRawValue(0), 1000);
  ASSERT_GT(c_getVoltage(0), 2.0F);

  // A failed read leaves 0xFF in the buffer (4095 if decoded) and the converter keeps its
  // conversion (1000): the reading must be neither.
  halvern::test::setI2CReadFault(kPort, true);
  EXPECT_EQ(c_getRawValue(0), 0);
  EXPECT_EQ(c_getVoltage(0), 0.0F);
  EXPECT_EQ(c_getRawValue(1), 0);

  halvern::test::setI2CReadFault(kPort, false);
  EXPECT_EQ(c_getRawValue(0), 1000);
}

TEST_F(FerixC, FailedReadAtInitializeReportsAbsent) {
  HALVERN_NEEDS_STANDIN();
  halvern::test::setI2CReadFault(kPort, true);
  EXPECT_FALSE(c_initializeI2C(5));
  EXPECT_TRUE(HALSIM_GetI2CInitialized(kPort));
  halvern::test::setI2CReadFault(kPort, false);
  EXPECT_TRUE(c_initializeI2C(5));
}

TEST_F(FerixC, FailedWritesGiveZeroNotAnotherInputsReading) {
  HALVERN_NEEDS_STANDIN();
  const auto allWrites = [](std::span<const uint8_t>) { return true; };
  // The presence check only reads, so a board whose writes fail still answers it.
  halvern::test::setI2CWriteFault(kPort, allWrites);
  EXPECT_TRUE(c_initializeI2C(5));
  board->setInputVoltage(0, 1.0);
  EXPECT_EQ(c_getRawValue(0), 0);
  EXPECT_EQ(board->configRegister(), SimFerixConverter::kPowerOnConfig);

  halvern::test::setI2CWriteFault(kPort, nullptr);
  ASSERT_EQ(c_getRawValue(0), 1000);
  board->setInputVoltage(3, 2.0);
  halvern::test::setI2CWriteFault(kPort, allWrites);
  board->clearTransfers();
  // The converter still holds input 0's conversion (1000): reading input 3 must not return it.
  EXPECT_EQ(c_getRawValue(3), 0);
  EXPECT_EQ(c_getVoltage(3), 0.0F);
  EXPECT_EQ(board->configRegister(), 0xC480);
  // The readings were still made whole: only their two-byte reads reached the converter.
  const auto transfers = board->transfers();
  ASSERT_EQ(transfers.size(), 2U);
  EXPECT_EQ(transfers[0].kind, Transfer::Kind::Read);
  EXPECT_EQ(transfers[1].kind, Transfer::Kind::Read);

  halvern::test::setI2CWriteFault(kPort, nullptr);
  EXPECT_EQ(c_getRawValue(3), 2000);  // 2.0 V of the 2.048 V full scale
}

// The configuration write alone fails: the pointer write and the read succeed, and the
// converter hands back the conversion of the input configured before. That is not this
// input's reading, so it gives 0.
TEST_F(FerixC, FailedConfigurationWriteAloneGivesZero) {
  HALVERN_NEEDS_STANDIN();
  initialize(5);
  board->setInputVoltage(0, 1.0);
  board->setInputVoltage(2, 0.5);
  ASSERT_EQ(c_getRawValue(0), 1000);
  halvern::test::setI2CWriteFault(
      kPort, [](std::span<const uint8_t> bytes) { return bytes.size() == 3; });
  board->clearTransfers();
  EXPECT_EQ(c_getRawValue(2), 0);
  EXPECT_EQ(c_getVoltage(2), 0.0F);
  // Of each of the two readings, the pointer write and the read got through.
  const auto transfers = board->transfers();
  ASSERT_EQ(transfers.size(), 4U);
  for (std::size_t first : {0U, 2U}) {
    EXPECT_EQ(transfers[first].bytes, kPointerWrite);
    EXPECT_EQ(transfers[first + 1].kind, Transfer::Kind::Read);
  }

  halvern::test::setI2CWriteFault(kPort, nullptr);
  EXPECT_EQ(c_getRawValue(2), 500);
}

TEST_F(FerixC, PortThatFailsToOpen) {
  HALVERN_NEEDS_STANDIN();
  board->setInputVoltage(0, 1.0);
  halvern::test::setI2CInitializeStatus(-1);
  EXPECT_FALSE(c_initializeI2C(5));
  EXPECT_FALSE(HALSIM_GetI2CInitialized(kPort));
  EXPECT_EQ(c_getRawValue(0), 0);
  EXPECT_EQ(c_getVoltage(0), 0.0F);
  EXPECT_TRUE(board->transfers().empty());  // nothing reached the board

  halvern::test::setI2CInitializeStatus(0);
  EXPECT_TRUE(c_initializeI2C(5));
  EXPECT_TRUE(HALSIM_GetI2CInitialized(kPort));
  EXPECT_EQ(c_getRawValue(0), 1000);
}

TEST_F(FerixC, InitializingAgainReplacesTheReferenceVoltage) {
  board->setInputVoltage(0, 1.024);  // 1024 counts
  ASSERT_TRUE(c_initializeI2C(5));
  EXPECT_EQ(c_getVoltage(0), 2.5F);
  ASSERT_TRUE(c_initializeI2C(3));
  EXPECT_TRUE(HALSIM_GetI2CInitialized(kPort));
  EXPECT_EQ(c_getVoltage(0), 1.5F);
  EXPECT_EQ(c_getRawValue(0), 1024);
  if (halvern::test::hasStandinControls()) {
    // An absent board's answer does not keep the old voltage either.
    halvern::test::setI2CAbsent(kPort, true);
    EXPECT_FALSE(c_initializeI2C(8));
    halvern::test::setI2CAbsent(kPort, false);
    EXPECT_EQ(c_getVoltage(0), 4.0F);
  }
}

TEST_F(FerixC, CloseKeepsTheReferenceVoltage) {
  board->setInputVoltage(2, 1.024);
  ASSERT_TRUE(c_initializeI2C(4));
  EXPECT_EQ(c_getVoltage(2), 2.0F);
  c_closeI2C();
  EXPECT_FALSE(HALSIM_GetI2CInitialized(kPort));

  if (halvern::test::hasStandinControls()) {
    // Closed, on a controller (and the stand-in): readings give 0 and nothing reaches the board.
    board->clearTransfers();
    EXPECT_EQ(c_getRawValue(2), 0);
    EXPECT_EQ(c_getVoltage(2), 0.0F);
    EXPECT_TRUE(board->transfers().empty());
  }

  // The port opened again by someone else: the library still scales by 4 V.
  int32_t status = 0;
  halvern::platform::i2cInitialize(halvern::platform::kExpansionI2CPort, status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(c_getVoltage(2), 2.0F);
}

// Four threads, each reading its own input. The simulated converter converts whichever input
// the latest configuration write chose, so a reading whose configuration write was followed
// by another thread's would return the other thread's input: the library must take readings
// one at a time.
TEST_F(FerixC, ConcurrentReadingsEachReturnTheirOwnInput) {
  initializeWithFourInputs();
  constexpr int kReadingsPerThread = 25;
  std::atomic<int> wrong{0};
  std::atomic<int> ready{0};
  std::vector<std::thread> readers;
  for (uint8_t channel = 0; channel < 4; ++channel) {
    readers.emplace_back([&, channel] {
      ready.fetch_add(1);
      while (ready.load() < 4) {
        std::this_thread::yield();
      }
      const int expected = kInputCounts.at(channel);
      const float expectedVolts = static_cast<float>(expected) * (2.0F / 2048.0F);
      for (int i = 0; i < kReadingsPerThread; ++i) {
        const bool right = i % 2 == 0 ? c_getRawValue(channel) == expected
                                      : c_getVoltage(channel) == expectedVolts;
        if (!right) {
          wrong.fetch_add(1);
        }
      }
    });
  }
  for (auto& reader : readers) {
    reader.join();
  }
  EXPECT_EQ(wrong.load(), 0);

  // On the bus, every reading's three transfers follow one another, none interleaved.
  const auto transfers = board->transfers();
  ASSERT_EQ(transfers.size(), 4U * kReadingsPerThread * 3U);
  for (std::size_t at = 0; at < transfers.size(); at += 3) {
    SCOPED_TRACE(at);
    ASSERT_EQ(transfers[at].bytes.size(), 3U);
    const int channel = ((transfers[at].bytes[1] >> 4U) & 0x7) - 4;
    ASSERT_TRUE(channel >= 0 && channel < 4);
    expectReading(transfers, at, kConfigWords.at(static_cast<std::size_t>(channel)));
    const auto count =
        static_cast<uint16_t>(kInputCounts.at(static_cast<std::size_t>(channel)) << 4U);
    EXPECT_EQ(transfers[at + 2].bytes,
              (Bytes{static_cast<uint8_t>(count >> 8U), static_cast<uint8_t>(count & 0xFFU)}));
  }
}

}  // namespace

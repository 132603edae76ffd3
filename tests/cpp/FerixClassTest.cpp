// halvern::Ferix through the C face, against the simulated analog board.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>

#include "ClassTestSupport.h"
#include "SimFerix.h"
#include "TestPlatform.h"
#include "WaitFor.h"
#include "core/HalPlatform.h"
#include "halvern/Ferix.hpp"

namespace {

// Waits for an event; the limit only bounds a failure, on however busy a machine.
template <typename Condition>
bool waitForEvent(Condition condition) {
  return halvern::test::waitFor(condition, std::chrono::seconds(5));
}

using halvern::Ferix;
using halvern::sim::SimFerixConverter;
using halvern::test::expectRejected;

class FerixClass : public testing::Test {
 protected:
  void SetUp() override {
    halvern::test::resetSimulation();
    board = SimFerixConverter::attach();
    for (int channel = 0; channel < Ferix::kChannels; ++channel) {
      board->setInputVoltage(channel, 0.25 * (channel + 1));
    }
  }
  void TearDown() override {
    board.reset();
    halvern::test::resetSimulation();
  }

  // Waits until the board has a conversion of every input: the constructor's own wait
  // (100 ms) is one a loaded machine can outlast.
  static void expectConverted(const Ferix& ferix) {
    EXPECT_TRUE(waitForEvent([&] {
      for (int channel = 0; channel < Ferix::kChannels; ++channel) {
        if (ferix.GetReading(channel).timestampUs == 0) {
          return false;
        }
      }
      return true;
    }));
  }

  std::shared_ptr<SimFerixConverter> board;
};

TEST_F(FerixClass, ReadsEveryInputThroughTheBus) {
  const Ferix ferix(5);
  expectConverted(ferix);
  EXPECT_TRUE(ferix.IsConnected());
  EXPECT_EQ(ferix.GetReferenceVoltage(), 5);
  for (int channel = 0; channel < Ferix::kChannels; ++channel) {
    const int expected = 250 * (channel + 1);  // 1 mV a count
    EXPECT_EQ(ferix.GetRaw(channel), expected) << "input " << channel;
    EXPECT_NEAR(ferix.GetVoltage(channel), expected * 5.0 / Ferix::kFullScaleCount, 1e-4);
  }
}

TEST_F(FerixClass, ChecksItsArguments) {
  expectRejected([] { const Ferix ferix(0); }, "Reference voltage 0 V is not positive");
  const Ferix ferix(5);
  expectRejected([&] { (void)ferix.GetRaw(4); }, "Channel 4 out of range [0;3]");
  expectRejected([&] { (void)ferix.GetVoltage(-1); }, "Channel -1 out of range [0;3]");
  // The background conversions keep the bus busy; none of its readings is for another input.
  for (const auto& transfer : board->transfers()) {
    if (transfer.bytes.size() == 3) {
      const int input = ((transfer.bytes[1] >> 4U) & 0x7) - 4;
      EXPECT_TRUE(input >= 0 && input < Ferix::kChannels) << input;
    }
  }
}

TEST_F(FerixClass, AnAbsentBoardReadsZeroWithoutThrowing) {
  HALVERN_NEEDS_STANDIN();
  halvern::test::setI2CAbsent(SimFerixConverter::kDefaultPort, true);
  const Ferix ferix(5);
  EXPECT_FALSE(ferix.IsConnected());
  EXPECT_EQ(ferix.GetRaw(0), 0);
  EXPECT_EQ(ferix.GetVoltage(0), 0.0);
  halvern::test::setI2CAbsent(SimFerixConverter::kDefaultPort, false);
}

TEST_F(FerixClass, ANewerBoardReplacesTheOlderWhoseDestructionLeavesItAlone) {
  auto older = std::make_unique<Ferix>(5);
  const Ferix newer(3);
  EXPECT_TRUE(older->IsClosed());
  EXPECT_FALSE(older->IsConnected());
  EXPECT_EQ(older->GetRaw(0), 0);
  older.reset();
  expectConverted(newer);
  EXPECT_FALSE(newer.IsClosed());
  EXPECT_EQ(newer.GetRaw(1), 500);
  EXPECT_NEAR(newer.GetVoltage(1), 500 * 3.0 / Ferix::kFullScaleCount, 1e-4);
  if (halvern::test::hasStandinControls()) {
    EXPECT_TRUE(halvern::test::i2cPortOpen(1));
  }
}

TEST_F(FerixClass, MovingHandsTheBoardOverAndTheLastOwnerClosesTheBus) {
  Ferix first(5);
  Ferix second(std::move(first));
  expectConverted(second);
  EXPECT_TRUE(first.IsClosed());  // NOLINT(bugprone-use-after-move): moved-from is empty
  EXPECT_EQ(first.GetRaw(0), 0);
  EXPECT_EQ(second.GetRaw(0), 250);
  first.Close();  // the moved-from object owns nothing to close
  EXPECT_EQ(second.GetRaw(0), 250);
  second.Close();
  EXPECT_TRUE(second.IsClosed());
  if (halvern::test::hasStandinControls()) {
    EXPECT_FALSE(halvern::test::i2cPortOpen(1));
  }
}

// Readings come from the background conversions: timestamped, following the inputs, and the
// connection follows the board being unplugged and plugged back.
TEST_F(FerixClass, ReadingsAreTimestampedAndTheConnectionFollowsTheBoard) {
  const int64_t before = halvern::platform::robotTimeMicros();
  const Ferix ferix(2);
  expectConverted(ferix);
  const Ferix::Reading first = ferix.GetReading(3);
  EXPECT_EQ(first.raw, 1000);
  EXPECT_NEAR(first.volts, 1000 * 2.0 / Ferix::kFullScaleCount, 1e-6);
  EXPECT_GT(first.timestampUs, before);
  EXPECT_LE(first.timestampUs, halvern::platform::robotTimeMicros());
  EXPECT_TRUE(
      waitForEvent([&] { return ferix.GetReading(3).timestampUs > first.timestampUs; }));

  board->setInputVoltage(0, 1.5);
  EXPECT_TRUE(waitForEvent([&] { return ferix.GetRaw(0) == 1500; }));

  board->unplug();
  EXPECT_TRUE(waitForEvent([&] { return !ferix.IsConnected(); }));
  EXPECT_TRUE(waitForEvent([&] { return ferix.GetReading(0).timestampUs == 0; }));
  EXPECT_EQ(ferix.GetVoltage(0), 0.0);
  board = SimFerixConverter::attach();
  board->setInputVoltage(0, 0.5);
  EXPECT_TRUE(
      waitForEvent([&] { return ferix.IsConnected() && ferix.GetRaw(0) == 500; }));
}

}  // namespace

// The analog board's background conversions through the C face, against the simulated
// converter: readings that follow the inputs without the caller waiting, their timestamps, the
// board's connection, and their sharing of the bus with the board's waiting readings.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <iterator>
#include <memory>
#include <thread>
#include <vector>

#include "FerixBoardTest.h"
#include "ProcessEntries.h"
#include "SimFerix.h"
#include "TestPlatform.h"
#include "WaitFor.h"
#include "core/HalPlatform.h"
#include "halvern/Ferix.h"

namespace {

using namespace std::chrono_literals;
using halvern::sim::SimFerixConverter;
// Bounds a wait for something that takes milliseconds, on however busy a machine.
constexpr auto kLimit = std::chrono::seconds(5);

template <typename Condition>
bool waitFor(Condition condition) {
  return halvern::test::waitFor(condition, kLimit);
}
using Transfer = SimFerixConverter::Transfer;

constexpr int32_t kPort = 1;
using halvern::test::ferix::kInputCounts;

class FerixBackground : public halvern::test::ferix::FerixBoardTest {
 protected:
  void SetUp() override {
    FerixBoardTest::SetUp();
    setInputsToTheirCounts();
    ASSERT_TRUE(c_initializeI2C(2));
  }

  static FerixReading latest(uint8_t channel) {
    FerixReading reading{};
    c_Ferix_getLatest(channel, &reading);
    return reading;
  }

  static bool allInputsRead() {
    for (uint8_t channel = 0; channel < 4; ++channel) {
      if (latest(channel).raw != kInputCounts.at(channel)) {
        return false;
      }
    }
    return true;
  }
};

// Transfers from `first` on come in whole readings: a configuration write, the pointer write,
// then the 2-byte read; returns the input each reading configured.
std::vector<int> readingsOnTheBus(const std::vector<Transfer>& transfers) {
  std::vector<int> inputs;
  for (std::size_t at = 0; at + 2 < transfers.size(); at += 3) {
    EXPECT_EQ(transfers[at].bytes.size(), 3U) << at;
    EXPECT_EQ(transfers[at + 1].bytes, (std::vector<uint8_t>{0x00, 0x00})) << at;
    EXPECT_EQ(transfers[at + 2].kind, Transfer::Kind::Read) << at;
    if (transfers[at].bytes.size() == 3) {
      inputs.push_back(((transfers[at].bytes[1] >> 4U) & 0x7) - 4);
    }
  }
  return inputs;
}

// The log from its first configuration write on: a log cleared while the converter was in the
// middle of a reading begins with that reading's last transfers.
std::vector<Transfer> fromFirstReading(std::vector<Transfer> transfers) {
  const auto first = std::find_if(transfers.begin(), transfers.end(), [](const Transfer& t) {
    return t.kind == Transfer::Kind::Write && t.bytes.size() == 3;
  });
  transfers.erase(transfers.begin(), first);
  return transfers;
}

TEST_F(FerixBackground, NothingConvertsUntilStarted) {
  // A program of the board's own readings sees only their traffic.
  board->clearTransfers();
  EXPECT_EQ(c_getRawValue(1), kInputCounts[1]);
  EXPECT_EQ(board->transfers().size(), 3U);
  FerixReading reading{.raw = 7, .volts = 1.0F, .timestampUs = 9};
  EXPECT_FALSE(c_Ferix_getLatest(0, &reading));
  EXPECT_EQ(reading.raw, 0);
  EXPECT_EQ(reading.timestampUs, 0);
  EXPECT_FALSE(c_Ferix_isConnected());
  EXPECT_FALSE(c_Ferix_getLatest(0, nullptr));
}

TEST_F(FerixBackground, ReadingsFollowTheInputs) {
  ASSERT_TRUE(c_Ferix_startConversions());
  EXPECT_TRUE(c_Ferix_startConversions());  // already running
  ASSERT_TRUE(c_Ferix_waitForConversions(5000));
  ASSERT_TRUE(waitFor(allInputsRead));
  for (uint8_t channel = 0; channel < 4; ++channel) {
    const FerixReading reading = latest(channel);
    EXPECT_EQ(reading.volts, static_cast<float>(kInputCounts.at(channel)) * (2.0F / 2048.0F));
    EXPECT_GT(reading.timestampUs, 0);
  }
  EXPECT_TRUE(c_Ferix_isConnected());

  board->setInputVoltage(2, 1.024);
  EXPECT_TRUE(waitFor([] { return latest(2).raw == 1024; }));
  EXPECT_EQ(latest(2).volts, 1.0F);
  for (const uint8_t beyond : {uint8_t{4}, uint8_t{255}}) {
    FerixReading none{};
    EXPECT_FALSE(c_Ferix_getLatest(beyond, &none));
    EXPECT_EQ(none.raw, 0);
  }
}

// The board's waiting readings from one thread, the background conversions beside them: every
// reading returns its own input and the bus sees whole readings, never two interleaved.
TEST_F(FerixBackground, WaitingReadingsAndConversionsTakeTurnsOnTheBus) {
  ASSERT_TRUE(c_Ferix_startConversions());
  ASSERT_TRUE(c_Ferix_waitForConversions(5000));  // every input has a background reading
  board->clearTransfers();
  const auto newestStamp = [this] {
    int64_t newest = 0;
    for (uint8_t channel = 0; channel < 4; ++channel) {
      newest = std::max(newest, latest(channel).timestampUs);
    }
    return newest;
  };
  std::atomic<int> wrong{0};
  std::atomic<bool> done{false};
  std::thread caller([&] {
    for (int i = 0; i < 40; ++i) {
      const auto channel = static_cast<uint8_t>(i % 4);
      if (c_getRawValue(channel) != kInputCounts.at(channel)) {
        wrong.fetch_add(1);
      }
    }
    done.store(true);
  });
  int backgroundChecked = 0;
  do {
    for (uint8_t channel = 0; channel < 4; ++channel) {
      const FerixReading reading = latest(channel);
      ++backgroundChecked;
      if (reading.raw != kInputCounts.at(channel)) {
        wrong.fetch_add(1);
      }
    }
    std::this_thread::yield();
  } while (!done.load());
  caller.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_GT(backgroundChecked, 0);
  // One more background conversion after the caller's readings, so the log holds both kinds
  // whatever the scheduler did meanwhile.
  const int64_t afterCaller = newestStamp();
  ASSERT_TRUE(waitFor([&] { return newestStamp() > afterCaller; }));
  c_closeI2C();  // stops the conversions, so the log ends on a whole reading
  const std::vector<Transfer> log = fromFirstReading(board->transfers());
  const std::vector<int> inputs = readingsOnTheBus(log);
  EXPECT_EQ(log.size() % 3, 0U);
  EXPECT_GT(inputs.size(), 40U);  // the caller's 40 and the background's
  for (const int input : inputs) {
    EXPECT_TRUE(input >= 0 && input < 4) << input;
  }
}

// A reading's timestamp is the moment its bytes came off the bus: just after the simulated
// converter handed over exactly those bytes.
TEST_F(FerixBackground, TimestampsAreWhenTheConversionArrived) {
  ASSERT_TRUE(c_Ferix_startConversions());
  ASSERT_TRUE(c_Ferix_waitForConversions(5000));
  std::vector<FerixReading> seen;
  std::vector<uint8_t> channels;
  int64_t previous = 0;
  for (int sample = 0; sample < 20; ++sample) {
    ASSERT_TRUE(waitFor([&] { return latest(1).timestampUs > previous; }));
    const FerixReading reading = latest(1);
    EXPECT_GT(reading.timestampUs, previous);  // increasing
    previous = reading.timestampUs;
    seen.push_back(reading);
  }
  c_closeI2C();
  const auto transfers = board->transfers();
  for (const FerixReading& reading : seen) {
    // The last read handed over at or before the stamp is this reading's own.
    const auto own = std::find_if(transfers.rbegin(), transfers.rend(), [&](const Transfer& t) {
      return t.kind == Transfer::Kind::Read &&
             static_cast<int64_t>(t.atHalMicros) <= reading.timestampUs;
    });
    ASSERT_NE(own, transfers.rend());
    ASSERT_EQ(own->bytes.size(), 2U);
    EXPECT_EQ(((own->bytes[0] << 8U) | own->bytes[1]) >> 4U, reading.raw);
    // Stamped just after: before anything else happened on the bus, however long the machine
    // kept the thread waiting in between.
    if (own != transfers.rbegin()) {
      EXPECT_GE(static_cast<int64_t>(std::prev(own)->atHalMicros), reading.timestampUs)
          << "the transfer after the reading's own came before its stamp";
    }
  }
}

TEST_F(FerixBackground, AnUnpluggedBoardReadsDisconnectedAndIsFoundAgain) {
  ASSERT_TRUE(c_Ferix_startConversions());
  ASSERT_TRUE(waitFor([] { return c_Ferix_isConnected() && allInputsRead(); }));

  board->unplug();
  const int64_t unplugged = halvern::platform::robotTimeMicros();
  EXPECT_TRUE(waitFor([] { return !c_Ferix_isConnected(); }));
  // Once an input's conversion goes unanswered its old reading is dropped.
  EXPECT_TRUE(waitFor([] {
    FerixReading reading{};
    return !c_Ferix_getLatest(0, &reading) && reading.timestampUs == 0;
  }));
  // Within the stated silence: after unplugging, no conversion was answered and the limit is
  // 100 ms, so disconnection is never later than that after the last answer (a stalled
  // machine can only make it earlier relative to now).
  for (uint8_t channel = 0; channel < 4; ++channel) {
    EXPECT_LE(latest(channel).timestampUs, unplugged);
  }

  board = SimFerixConverter::attach();  // plugged back
  board->setInputVoltage(3, 1.5);
  EXPECT_TRUE(waitFor([] { return c_Ferix_isConnected() && latest(3).raw == 1500; }));
}

TEST_F(FerixBackground, AnAbsentBoardNeverReadsConnected) {
  HALVERN_NEEDS_STANDIN();
  ASSERT_TRUE(c_Ferix_startConversions());
  ASSERT_TRUE(waitFor(c_Ferix_isConnected));
  halvern::test::setI2CAbsent(kPort, true);
  EXPECT_TRUE(waitFor([] { return !c_Ferix_isConnected(); }));
  EXPECT_TRUE(waitFor([] { return latest(2).timestampUs == 0; }));
  halvern::test::setI2CAbsent(kPort, false);
  EXPECT_TRUE(waitFor([] { return c_Ferix_isConnected() && allInputsRead(); }));
}

TEST_F(FerixBackground, InitialisingAgainOrClosingStopsTheConversions) {
  ASSERT_TRUE(c_Ferix_startConversions());
  ASSERT_TRUE(c_Ferix_waitForConversions(5000));

  // A new initialisation replaces the conversions: none run until started again.
  ASSERT_TRUE(c_initializeI2C(4));
  EXPECT_FALSE(c_Ferix_getLatest(0, nullptr));
  EXPECT_EQ(latest(0).timestampUs, 0);
  board->clearTransfers();
  EXPECT_EQ(c_getRawValue(0), kInputCounts[0]);
  EXPECT_EQ(board->transfers().size(), 3U);  // only this reading's

  ASSERT_TRUE(c_Ferix_startConversions());
  ASSERT_TRUE(waitFor([] { return latest(1).raw == kInputCounts[1]; }));
  EXPECT_EQ(latest(1).volts,
            static_cast<float>(kInputCounts[1]) * (4.0F / 2048.0F));  // the new 4 V

  c_closeI2C();
  EXPECT_EQ(latest(1).timestampUs, 0);
  EXPECT_FALSE(c_Ferix_isConnected());
  EXPECT_FALSE(c_Ferix_startConversions());  // the bus is closed
  EXPECT_FALSE(c_Ferix_waitForConversions(0));
}

#if defined(__linux__)
TEST_F(FerixBackground, StartAndCloseCyclesLeaveNoThread) {
  // One cycle first: a sanitizer's runtime starts a thread of its own at the first thread.
  ASSERT_TRUE(c_Ferix_startConversions());
  c_closeI2C();
  const std::size_t threadsBefore = halvern::testing::settledThreadCount();
  for (int cycle = 0; cycle < 200; ++cycle) {
    ASSERT_TRUE(c_initializeI2C(2));
    ASSERT_TRUE(c_Ferix_startConversions());
    if (cycle % 50 == 0) {
      ASSERT_TRUE(c_Ferix_waitForConversions(5000));  // some cycles mid-conversion, some not
    }
    c_closeI2C();
  }
  EXPECT_EQ(halvern::testing::threadCountSettledAt(threadsBefore), threadsBefore);
}
#endif

}  // namespace

// The analog board recorded into a data log and replayed: the library logs each background
// conversion, the reference voltage and the board's drop; a fresh simulated board fed by the
// player then gives the library the same counts and volts at the same times.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ReadingReplay.h"
#include "SimFerix.h"
#include "SimLogPlayer.h"
#include "TestPlatform.h"
#include "WaitFor.h"
#include "core/HalPlatform.h"
#include "halvern/Ferix.h"

namespace {

using namespace std::chrono_literals;
using namespace halvern::test::replay;  // NOLINT(google-build-using-namespace)
using halvern::sim::SimFerixConverter;
using halvern::sim::SimLogPlayer;
using halvern::test::kWaitLimit;
using halvern::test::waitFor;

const std::string kBoard = "Ferix[1,72]";
constexpr int kReference = 5;
// Long enough for several conversions of each input (one every 10 ms or so), and for a replay
// on a loaded machine, whose conversions may come late, still to catch each value before the next.
constexpr auto kHold = 300ms;

// Counts at 1 mV a count (+-2.048 V full scale): from a fresh board's 0 V, each input its own.
constexpr std::array<std::array<int, 4>, 3> kSteps{{{250, 800, 1500, 2000},
                                                    {1200, 40, 2047, 600},
                                                    {7, 1999, 300, 1024}}};

class FerixReplay : public testing::Test {
 protected:
  void SetUp() override { halvern::test::resetSimulation(); }
  void TearDown() override {
    c_closeI2C();
    c_Halvern_stopDataLog();
    halvern::test::resetSimulation();
  }
};

std::string input(int channel, const char* signal) {
  return "Input " + std::to_string(channel) + "/" + signal;
}

bool allRead(const std::array<int, 4>& counts) {
  for (uint8_t channel = 0; channel < 4; ++channel) {
    FerixReading reading{};
    if (!c_Ferix_getLatest(channel, &reading) || reading.raw != counts.at(channel)) {
      return false;
    }
  }
  return true;
}

void show(SimFerixConverter& board, const std::array<int, 4>& counts) {
  for (int channel = 0; channel < 4; ++channel) {
    board.setInputVoltage(channel, counts.at(static_cast<std::size_t>(channel)) / 1000.0);
  }
  ASSERT_TRUE(waitFor([&] { return allRead(counts); }, kWaitLimit));
  std::this_thread::sleep_for(kHold);
}

struct Readings {
  std::array<std::vector<Change<int64_t>>, 4> raw;
  std::array<std::vector<Change<double>>, 4> volts;
  std::vector<Change<bool>> connected;

  explicit Readings(const SimLogPlayer& log)
      : connected(changesOf(log.values(kBoard, "Connected"),
                            [](const RecordedValue& value) { return value.boolean; })) {
    for (int channel = 0; channel < 4; ++channel) {
      const auto at = static_cast<std::size_t>(channel);
      raw.at(at) = changesOf(log.values(kBoard, input(channel, "Raw")),
                             [](const RecordedValue& value) { return value.integer; });
      volts.at(at) = changesOf(log.values(kBoard, input(channel, "Voltage")),
                               [](const RecordedValue& value) { return value.number; });
    }
  }
};

TEST_F(FerixReplay, ARecordedRunGivesTheSameCountsAndVoltsAtTheSameTimesFromAFreshBoard) {
  LibraryLogFile recording("recorded");
  int64_t resumedAt = 0;
  {
    const auto board = SimFerixConverter::attach();
    ASSERT_TRUE(c_initializeI2C(kReference));
    ASSERT_TRUE(c_Ferix_startConversions());
    ASSERT_TRUE(waitFor([] { return allRead({0, 0, 0, 0}); }, kWaitLimit));
    std::this_thread::sleep_for(kHold);
    show(*board, kSteps[0]);
    show(*board, kSteps[1]);
    // A drop and a return, each once the library reads it (the log has it then too, but
    // WPILib's writer may hold it unwritten until the log closes).
    board->setSilent(true);
    ASSERT_TRUE(waitFor([] { return !c_Ferix_isConnected(); }, kWaitLimit));
    resumedAt = halvern::platform::robotTimeMicros();
    board->setSilent(false);
    ASSERT_TRUE(waitFor([] { return c_Ferix_isConnected(); }, kWaitLimit));
    show(*board, kSteps[2]);
    c_closeI2C();
  }
  recording.finish();

  const WpilogContents contents = recording.read();
  for (int channel = 0; channel < 4; ++channel) {
    expectEntry(contents, kBoard, input(channel, "Raw"), "int64", "counts");
    expectEntry(contents, kBoard, input(channel, "Voltage"), "double", "V");
  }
  expectEntry(contents, kBoard, "Reference Voltage", "double", "V");
  expectEntry(contents, kBoard, "Connected", "boolean");

  const SimLogPlayer recorded(recording.read());
  const auto reference = recorded.values(kBoard, "Reference Voltage");
  ASSERT_EQ(reference.size(), 1U);
  EXPECT_EQ(reference.front().number, kReference);
  const Readings recordedReadings(recorded);
  for (std::size_t channel = 0; channel < 4; ++channel) {
    EXPECT_EQ(valuesOf(recordedReadings.raw.at(channel)),
              (std::vector<int64_t>{0, kSteps[0].at(channel), kSteps[1].at(channel),
                                    kSteps[2].at(channel)}))
        << channel;
    // Each conversion's volts are its count on the reference's scale.
    const auto raws = recorded.values(kBoard, input(static_cast<int>(channel), "Raw"));
    const auto volts = recorded.values(kBoard, input(static_cast<int>(channel), "Voltage"));
    ASSERT_EQ(raws.size(), volts.size());
    for (std::size_t i = 0; i < raws.size(); ++i) {
      EXPECT_EQ(volts[i].timestamp, raws[i].timestamp);
      EXPECT_EQ(volts[i].number, static_cast<double>(static_cast<float>(raws[i].integer) *
                                                     (static_cast<float>(kReference) / 2048.0F)));
    }
  }
  // Connected from the first conversion; not once the bus closed and conversions ended.
  ASSERT_FALSE(recordedReadings.connected.empty());
  EXPECT_TRUE(recordedReadings.connected.front().value);
  EXPECT_FALSE(recordedReadings.connected.back().value);

  // Replayed into a fresh board, logged again.
  LibraryLogFile replaying("replayed");
  SimLogPlayer player(recording.path());
  ASSERT_EQ(player.error(), "");
  const auto board = SimFerixConverter::attach();
  player.attach(*board);
  ASSERT_TRUE(c_initializeI2C(kReference));
  ASSERT_TRUE(c_Ferix_startConversions());
  ASSERT_TRUE(waitFor([] { return allRead({0, 0, 0, 0}); }, kWaitLimit));
  player.start();
  const auto span = std::chrono::microseconds(player.lastMicros() - player.firstMicros());
  ASSERT_TRUE(waitFor([&] { return player.finished(); }, kWaitLimit + span));
  // Until the library has read the recording's end, the board going silent: every conversion
  // before it is logged then.
  ASSERT_TRUE(waitFor([] { return !c_Ferix_isConnected(); }, kWaitLimit));
  c_closeI2C();
  replaying.finish();

  const Readings replayed{SimLogPlayer(replaying.read())};
  const int64_t offset = player.clockOffsetMicros();
  for (std::size_t channel = 0; channel < 4; ++channel) {
    const std::string name = input(static_cast<int>(channel), "");
    expectReplayed(recordedReadings.raw.at(channel), replayed.raw.at(channel), offset,
                   name + "Raw");
    expectReplayed(recordedReadings.volts.at(channel), replayed.volts.at(channel), offset,
                   name + "Voltage");
  }
  // (The last drop was the bus closing, which a replay cannot tell from the board going silent.)
  expectDropReplayed(recordedReadings.connected, replayed.connected, resumedAt, offset,
                     std::chrono::milliseconds(FERIX_CONNECTION_SILENCE_MS));
}

// A blocking read is a reading too: each answered one is logged at its own time with what it
// returned; the idle bus of a silent board is not, as in the background.
TEST_F(FerixReplay, AnsweredBlockingReadsAreLoggedAsTheyReturned) {
  LibraryLogFile log("blocking");
  const auto board = SimFerixConverter::attach();
  ASSERT_TRUE(c_initializeI2C(kReference));
  board->setInputVoltage(2, 1.5);
  const int64_t before = halvern::platform::robotTimeMicros();
  const int raw = c_getRawValue(2);
  const float volts = c_getVoltage(2);
  const int64_t after = halvern::platform::robotTimeMicros();
  board->setSilent(true);
  c_getRawValue(2);
  c_closeI2C();
  log.finish();

  const auto raws = loggedValues(log, kBoard, input(2, "Raw"));
  const auto voltages = loggedValues(log, kBoard, input(2, "Voltage"));
  ASSERT_EQ(raws.size(), 2U);
  ASSERT_EQ(voltages.size(), 2U);
  EXPECT_EQ(raws[0].integer, raw);
  EXPECT_EQ(voltages[1].number, static_cast<double>(volts));
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(voltages[i].timestamp, raws[i].timestamp);
    EXPECT_GE(raws[i].timestamp, before);
    EXPECT_LE(raws[i].timestamp, after);
  }
  // Connection is the background conversions' to tell.
  EXPECT_TRUE(loggedValues(log, kBoard, "Connected").empty());
}

}  // namespace

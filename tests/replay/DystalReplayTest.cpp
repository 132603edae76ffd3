// A distance sensor's run on CAN recorded into a data log and played back into a fresh simulator:
// what the library logs (readings with their missing zones, configuration, connection), and that
// the library reading the replay reads the same readings at the same times, and loses the
// connection where it did.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "OwnedHandle.h"
#include "RecordedRun.h"
#include "SimDystal.h"
#include "SimLogPlayer.h"
#include "WaitFor.h"
#include "dystal/DystalSignals.h"
#include "halvern/Dystal.h"

namespace {

using namespace std::chrono_literals;
using halvern::sim::SimDystalCan;
using halvern::sim::SimLogPlayer;
using halvern::test::kWaitLimit;
using halvern::test::RecordedRun;
using halvern::test::waitFor;
namespace names = halvern::dystal::signals;

using Sensor = halvern::test::OwnedHandle<c_Dystal_destroy>;

constexpr int kCanId = 4;
constexpr int64_t kSilenceMicros = 250'000;
// How much longer than that the recorded silence lasts: the replay's sensor, which sees the same
// silence, has that long to notice it too.
constexpr auto kSilenceMargin = 100ms;
constexpr int kReadingsEachKind = 5;
constexpr auto kReadingSpacing = 50ms;

struct Reading {
  int64_t sequence = 0;
  std::vector<int64_t> distances;
  int64_t micros = 0;
  bool operator==(const Reading& other) const {
    return sequence == other.sequence && distances == other.distances;
  }
  friend void PrintTo(const Reading& reading, std::ostream* out) {
    *out << "#" << reading.sequence << " at " << reading.micros << ":";
    for (const int64_t distance : reading.distances) {
      *out << " " << distance;
    }
  }
};

struct Logged {
  std::vector<Reading> readings;
  std::vector<bool> connected;
  std::vector<int64_t> connectionMicros;
};

Logged loggedBy(const std::string& path, const std::string& device) {
  const SimLogPlayer player(path);
  EXPECT_EQ(player.error(), "");
  Logged logged;
  const auto sequences = player.values(device, std::string{names::kSequence});
  const auto distances = player.values(device, std::string{names::kDistances});
  EXPECT_EQ(distances.size(), sequences.size());
  for (size_t i = 0; i < sequences.size() && i < distances.size(); ++i) {
    EXPECT_EQ(distances[i].timestamp, sequences[i].timestamp);
    logged.readings.push_back(
        {sequences[i].integer, distances[i].integers, distances[i].timestamp});
  }
  for (const auto& value : player.values(device, std::string{names::kConnected})) {
    logged.connected.push_back(value.boolean);
    logged.connectionMicros.push_back(value.timestamp);
  }
  return logged;
}

DystalReading latest(void* sensor) {
  DystalReading reading{};
  c_Dystal_getLatest(sensor, &reading, DYSTAL_MAX_DISTANCES);
  return reading;
}

/**
 * Sends a reading and waits for the library to complete it; what the library reported. The
 * readings keep about the sensor's own spacing (15 a second at most): replayed faster, a few
 * readings' chunks would fill the stream session while its reader waits for a busy machine.
 */
Reading sendAndRead(SimDystalCan& sim, void* sensor) {
  std::this_thread::sleep_for(kReadingSpacing);
  sim.sendReading();
  const uint8_t sent = sim.lastSequence();
  EXPECT_TRUE(waitFor([&] { return latest(sensor).sequence == sent; }, kWaitLimit));
  const DystalReading read = latest(sensor);
  return {read.sequence, {read.distance, read.distance + read.count}, read.timestampUs};
}

TEST(DystalReplay, ACanSensorLogsItsReadingsAndConfigurationAndPlaysBackAtTheRecordedTimes) {
  halvern::test::resetSimulationClock();
  const std::string device = "Dystal[4]";
  RecordedRun recording("recorded");
  std::vector<Reading> read;  // what the library reported while recording
  size_t withMissingZones = 0;
  size_t lastBeforeSilence = 0;
  {
    SimDystalCan sim(kCanId);
    sim.setConfig(
        {.version = 5, .distanceEnabled = true, .canFdEnabled = true, .canBrsEnabled = false});
    Sensor sensor(c_Dystal_create(kCanId));
    ASSERT_NE(sensor, nullptr);
    DystalConfig config{};
    c_Dystal_getConfig(sensor.get(), &config, 500);
    ASSERT_EQ(config.valid, 1);

    // Several readings each side of a silence, so that a few late ones on a busy machine do not
    // decide the times' median.
    for (int i = 0; i < kReadingsEachKind; ++i) {
      read.push_back(sendAndRead(sim, sensor.get()));  // all 64 zones
    }
    sim.setDistances({100, 200, 300, 400, 500, 600, 700, 800, 900, 1000});  // ends at a pause
    read.push_back(sendAndRead(sim, sensor.get()));
    sim.setDistances(halvern::sim::defaultDystalDistances());
    sim.setMissingChunks({2});  // zones 6 to 8 read -1
    withMissingZones = read.size();
    read.push_back(sendAndRead(sim, sensor.get()));
    lastBeforeSilence = read.size() - 1;
    ASSERT_TRUE(halvern::test::waitForLoggedDrop(recording, device));
    std::this_thread::sleep_for(kSilenceMargin);
    sim.setMissingChunks({});
    sim.setDistances({-1, 42, -1, 43});
    for (int i = 0; i < kReadingsEachKind; ++i) {
      read.push_back(sendAndRead(sim, sensor.get()));
    }
  }
  recording.finish();

  const auto contents = recording.read();
  struct Expected {
    std::string_view signal, type, unit;
  };
  for (const Expected& expected :
       std::vector<Expected>{{names::kSequence, "int64", ""},
                             {names::kDistances, "int64[]", "mm"},
                             {names::kConnected, "boolean", ""},
                             {names::kConfigVersion, "int64", ""},
                             {names::kConfigDistanceEnabled, "boolean", ""},
                             {names::kConfigCanFdEnabled, "boolean", ""},
                             {names::kConfigCanBrsEnabled, "boolean", ""}}) {
    const auto entry = halvern::test::entryNamed(
        contents, "Halvern/" + device + "/" + std::string{expected.signal});
    ASSERT_NE(entry, nullptr) << expected.signal;
    EXPECT_EQ(entry->type, expected.type) << expected.signal;
    EXPECT_EQ(entry->metadata, halvern::test::metadataWithUnit(expected.unit)) << expected.signal;
  }
  const SimLogPlayer player(recording.path());
  const auto only = [&](std::string_view signal) {
    const auto values = player.values(device, std::string{signal});
    EXPECT_EQ(values.size(), 1U) << signal;
    return values.empty() ? halvern::sim::RecordedValue{} : values.front();
  };
  EXPECT_EQ(only(names::kConfigVersion).integer, 5);
  EXPECT_TRUE(only(names::kConfigDistanceEnabled).boolean);
  EXPECT_TRUE(only(names::kConfigCanFdEnabled).boolean);
  EXPECT_FALSE(only(names::kConfigCanBrsEnabled).boolean);

  // Each reading as the library reported it, missing zones included, at its own time; the
  // connection came, went 250 ms after the last reading before the silence, and came back.
  const Logged recorded = loggedBy(recording.path(), device);
  ASSERT_EQ(recorded.readings, read);
  for (size_t i = 0; i < read.size(); ++i) {
    EXPECT_EQ(recorded.readings[i].micros, read[i].micros) << i;
  }
  EXPECT_EQ(recorded.readings[withMissingZones].distances[6], -1);
  EXPECT_EQ(recorded.readings[withMissingZones - 1].distances.size(), 10U);
  EXPECT_EQ(recorded.readings.back().distances, (std::vector<int64_t>{-1, 42, -1, 43}));
  ASSERT_EQ(recorded.connected, (std::vector<bool>{true, false, true}));
  EXPECT_EQ(recorded.connectionMicros[1],
            recorded.readings[lastBeforeSilence].micros + kSilenceMicros);

  // Played into a fresh simulator, with the library reading it as the program did.
  halvern::test::resetSimulationClock();
  RecordedRun replay("replayed");
  SimLogPlayer replaying(recording.path());
  SimDystalCan sim(kCanId);
  Sensor sensor(c_Dystal_create(kCanId));
  ASSERT_NE(sensor, nullptr);
  replaying.attach(sim);
  replaying.start();
  ASSERT_TRUE(waitFor([&] { return replaying.finished(); }, kWaitLimit));
  ASSERT_TRUE(replay.waitForValues(
      "Halvern/" + device + "/" + std::string{names::kDistances}, [](const auto&) { return true; },
      read.size()));
  sensor.reset();
  replay.finish();

  const Logged replayed = loggedBy(replay.path(), device);
  ASSERT_EQ(replayed.readings, recorded.readings);
  ASSERT_EQ(replayed.connected, recorded.connected);
  std::vector<int64_t> recordedMicros = recorded.connectionMicros;
  std::vector<int64_t> replayedMicros = replayed.connectionMicros;
  for (size_t i = 0; i < recorded.readings.size(); ++i) {
    recordedMicros.push_back(recorded.readings[i].micros);
    replayedMicros.push_back(replayed.readings[i].micros);
  }
  halvern::test::expectOnTime(recordedMicros, replayedMicros, replaying.clockOffsetMicros());
}

}  // namespace

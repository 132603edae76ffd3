// The distance sensor's background gathering on the simulated CAN bus, through the C face:
// readings appear without the caller waiting, with their frames' stamps, beside the gathering
// call; and the connection follows the sensor.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "DystalReadings.h"
#include "ProcessEntries.h"
#include "SensorOnCan.h"
#include "SimCanBus.h"
#include "SimDystal.h"
#include "SimHal.h"
#include "TestPlatform.h"
#include "WaitFor.h"
#include "halvern/Dystal.h"

namespace {

using namespace std::chrono_literals;

// Bounds a wait for something that takes milliseconds, on however busy a machine.
constexpr auto kLimit = 5s;

template <typename Read, typename Done>
auto waitForValue(Read read, Done done) {
  return halvern::test::waitForValue(read, done, kLimit);
}
using halvern::sim::SimDystalCan;
using namespace halvern::test::dystal;  // NOLINT(google-build-using-namespace)

constexpr uint8_t kCanId = 11;
// A 2026-style HAL stamps frames in whole milliseconds: a stamp may lie up to 1 ms before the
// moment it stands for.
constexpr int64_t kStampResolutionUs = 1000;

int64_t halNow() { return static_cast<int64_t>(halvern::sim::simhal::halMicros()); }

DystalReading latestOf(void* sensor, int count = DYSTAL_MAX_DISTANCES) {
  DystalReading reading{};
  EXPECT_EQ(c_Dystal_getLatest(sensor, &reading, count), &reading);
  return reading;
}

DystalScanData gatheredOf(void* sensor, int count = DYSTAL_MAX_DISTANCES) {
  DystalScanData scan{};
  EXPECT_EQ(c_Dystal_getData(sensor, &scan, count), &scan);
  return scan;
}

Distances distancesOf(const DystalReading& reading) {
  return {std::begin(reading.distance), std::begin(reading.distance) + reading.count};
}

class DystalGathering
    : public halvern::test::SensorOnCan<SimDystalCan, c_Dystal_create, c_Dystal_destroy, kCanId> {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(SensorOnCan::SetUp());
    ASSERT_TRUE(c_Dystal_startGathering(sensor.get()));
  }

  // The latest reading once it is the simulator's newest.
  DystalReading newest(int count = DYSTAL_MAX_DISTANCES) {
    const uint8_t sequence = device.lastSequence();
    return waitForValue([&] { return latestOf(sensor.get(), count); },
                        [&](const DystalReading& r) { return r.sequence == sequence; });
  }

};

TEST_F(DystalGathering, ReadingsAppearAsTheSimulatorSentThem) {
  const DystalReading none = latestOf(sensor.get());
  EXPECT_EQ(none.sequence, 0);
  EXPECT_EQ(none.count, 0);
  EXPECT_EQ(none.timestampUs, 0);

  device.sendReading();
  const DystalReading whole = newest();
  EXPECT_EQ(whole.sequence, device.lastSequence());
  EXPECT_EQ(whole.count, 64);
  EXPECT_EQ(distancesOf(whole), halvern::sim::defaultDystalDistances());

  // Lost chunks read -1 in their zones; a shorter request is cut as the gathering call cuts.
  device.setMissingChunks({1, 21});
  device.sendReading();
  const DystalReading lossy = newest();
  EXPECT_EQ(lossy.count, 63);
  EXPECT_EQ(lossy.distance[2], 520);
  EXPECT_EQ(Distances(lossy.distance + 3, lossy.distance + 6), Distances(3, -1));
  EXPECT_EQ(lossy.distance[62], 1120);
  EXPECT_EQ(lossy.distance[63], -1);
  const DystalReading cut = latestOf(sensor.get(), 5);
  EXPECT_EQ(cut.count, 3);  // one past the last zone received, within the request
  EXPECT_EQ(Distances(cut.distance, cut.distance + 6), (Distances{500, 510, 520, -1, -1, 0}));

  // A reading of fewer zones ends with a pause in the chunks.
  device.setMissingChunks({});
  device.setDistances({7, 8, 9, 10});
  device.sendReading();
  const DystalReading fourZones = newest();
  EXPECT_EQ(distancesOf(fourZones), (Distances{7, 8, 9, 10}));
  EXPECT_EQ(latestOf(sensor.get(), 0).count, 0);
}

TEST_F(DystalGathering, ReadingsCarryTheStampOfTheFrameThatCompletedThem) {
  int64_t previous = 0;
  for (int reading = 0; reading < 5; ++reading) {
    const int64_t before = halNow();
    device.sendReading();
    const int64_t after = halNow();
    const DystalReading latest = newest();
    EXPECT_GE(latest.timestampUs, before - kStampResolutionUs) << "reading " << reading;
    EXPECT_LE(latest.timestampUs, after) << "reading " << reading;
    EXPECT_GE(latest.timestampUs, previous) << "reading " << reading;
    previous = latest.timestampUs;
    std::this_thread::sleep_for(2ms);  // so that the stamps (whole ms on some HALs) differ
  }
  // Streamed: every reading seen is stamped later than the one before.
  device.startReadings(10ms);
  int64_t last = latestOf(sensor.get()).timestampUs;
  for (int seen = 0; seen < 5; ++seen) {
    const DystalReading next =
        waitForValue([&] { return latestOf(sensor.get()); },
                     [&](const DystalReading& r) { return r.timestampUs > last; });
    ASSERT_GT(next.timestampUs, last);
    EXPECT_EQ(next.count, 64);
    last = next.timestampUs;
  }
  device.stopReadings();
}

TEST_F(DystalGathering, TheGatheringCallReturnsTheBackgroundsReadingsWithoutStealingFrames) {
  // Nothing gathered yet: the gathering call gives an empty reading (after its usual window).
  const DystalScanData nothing = gatheredOf(sensor.get());
  EXPECT_EQ(nothing.sequence, 0);
  EXPECT_EQ(nothing.count, 0);

  device.startReadings(5ms);
  // The gathering call waits for the background's first reading no longer than it would gather:
  // the test lets that first reading come before it calls.
  ASSERT_EQ(waitForValue([&] { return latestOf(sensor.get()).count; }, [](int n) { return n == 64; }),
            64);
  for (int round = 0; round < 10; ++round) {
    // Both calls see the simulator's readings, whole, whichever reads first.
    const DystalScanData old = gatheredOf(sensor.get());
    EXPECT_EQ(old.count, 64) << "round " << round;
    EXPECT_EQ(Distances(old.distance, old.distance + 64), halvern::sim::defaultDystalDistances());
    const DystalReading latest = latestOf(sensor.get());
    EXPECT_EQ(latest.count, 64) << "round " << round;
  }
  device.stopReadings();

  // Once the sensor is quiet both calls give the same, newest reading.
  const DystalReading settled = newest();
  const DystalScanData old = gatheredOf(sensor.get());
  EXPECT_EQ(old.sequence, settled.sequence);
  EXPECT_EQ(old.sequence, device.lastSequence());
  EXPECT_EQ(Distances(old.distance, old.distance + old.count), distancesOf(settled));
}

TEST(DystalGatheringStart, AGatheringCallerKeepsItsBehaviourUntilTheBackgroundStarts) {
  halvern::test::resetSimulation();
  SimDystalCan device(kCanId);
  const Sensor sensor(c_Dystal_create(kCanId));
  ASSERT_NE(sensor, nullptr);
  // Chunks of two sequences: the gathering call picks the one with the most chunks.
  device.sendChunk(5, 0, 50, 50, 50);
  device.sendChunk(5, 1, 51, 51, 51);
  device.sendChunk(6, 0, 60, 60, 60);
  EXPECT_EQ(gatheredOf(sensor.get(), 6).sequence, 5);

  // The first non-blocking call starts the gathering: from then on the newest reading counts.
  EXPECT_EQ(latestOf(sensor.get()).count, 0);
  device.sendChunk(7, 0, 70, 70, 70);
  device.sendChunk(7, 1, 71, 71, 71);
  device.sendChunk(8, 0, 80, 80, 80);  // completes 7; 8 completes after the pause
  const DystalReading eight = waitForValue([&] { return latestOf(sensor.get(), 6); },
                                           [](const DystalReading& r) { return r.sequence == 8; });
  EXPECT_EQ(eight.count, 3);
  EXPECT_EQ(gatheredOf(sensor.get(), 6).sequence, 8);
  EXPECT_TRUE(c_Dystal_startGathering(sensor.get()));  // again: nothing changes
  EXPECT_FALSE(c_Dystal_startGathering(nullptr));
  EXPECT_FALSE(c_Dystal_isConnected(nullptr));
  DystalReading out{};
  out.count = 5;
  EXPECT_EQ(c_Dystal_getLatest(nullptr, &out, 64), &out);
  EXPECT_EQ(out.count, 0);
  EXPECT_EQ(c_Dystal_getLatest(sensor.get(), nullptr, 64), nullptr);
}

TEST_F(DystalGathering, TheConnectionFollowsTheSensorsFrames) {
  EXPECT_FALSE(c_Dystal_isConnected(sensor.get()));
  device.startReadings(10ms);
  EXPECT_TRUE(
      waitForValue([&] { return c_Dystal_isConnected(sensor.get()); }, [](bool on) { return on; }));
  device.stopReadings();  // silenced
  EXPECT_FALSE(waitForValue([&] { return c_Dystal_isConnected(sensor.get()); },
                            [](bool on) { return !on; }));
  device.startReadings(10ms);  // resumed
  EXPECT_TRUE(
      waitForValue([&] { return c_Dystal_isConnected(sensor.get()); }, [](bool on) { return on; }));
  device.stopReadings();

  // Another sensor's frames are not this one's traffic.
  SimDystalCan neighbour(kCanId + 1);
  EXPECT_FALSE(waitForValue([&] { return c_Dystal_isConnected(sensor.get()); },
                            [](bool on) { return !on; }));
  neighbour.startReadings(10ms);
  const uint8_t seen = neighbour.lastSequence();
  waitForValue([&] { return neighbour.lastSequence(); },
               [&](uint8_t s) { return static_cast<uint8_t>(s - seen) >= 5; });
  EXPECT_FALSE(c_Dystal_isConnected(sensor.get()));
  neighbour.stopReadings();
}

#if defined(__linux__)
TEST(DystalGatheringCycles, CreateDestroyCyclesWithARunningGathererLeaveNoThread) {
  halvern::test::resetSimulation();
  SimDystalCan device(kCanId);
  device.startReadings(5ms);
  const int sessionsBefore = halvern::sim::openStreamSessionCount();
  const std::size_t threadsBefore = halvern::testing::settledThreadCount();
  for (int cycle = 0; cycle < 200; ++cycle) {
    const Sensor sensor(c_Dystal_create(kCanId));
    ASSERT_NE(sensor, nullptr) << "cycle " << cycle;
    ASSERT_TRUE(c_Dystal_startGathering(sensor.get()));
    if (cycle % 40 == 0) {
      EXPECT_EQ(
          waitForValue([&] { return latestOf(sensor.get()).count; }, [](int n) { return n == 64; }),
          64)
          << "cycle " << cycle;
    }
  }
  device.stopReadings();
  EXPECT_EQ(halvern::testing::threadCountSettledAt(threadsBefore), threadsBefore);
  EXPECT_EQ(halvern::sim::openStreamSessionCount(), sessionsBefore);
}
#endif

}  // namespace

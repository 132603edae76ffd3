// A distance sensor's run on USB recorded into a data log and played back through a fresh
// simulated port: the same readings, connection changes and times.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
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

using halvern::sim::SimDystalUsb;
using halvern::sim::SimLogPlayer;
using halvern::test::kWaitLimit;
using halvern::test::RecordedRun;
using halvern::test::waitFor;
namespace names = halvern::dystal::signals;
using Sensor = halvern::test::OwnedHandle<c_Dystal_destroy>;

constexpr int kRate = 20;  // readings a second
constexpr int kReadingsEachKind = 5;

int latestSequence(void* sensor) {
  DystalReading reading{};
  c_Dystal_getLatest(sensor, &reading, DYSTAL_MAX_DISTANCES);
  return reading.count > 0 ? reading.sequence : -1;
}

std::vector<std::vector<int64_t>> distancesOf(const std::string& path, const std::string& device,
                                              std::vector<int64_t>& micros) {
  const SimLogPlayer player(path);
  std::vector<std::vector<int64_t>> all;
  for (const auto& value : player.values(device, std::string{names::kDistances})) {
    all.push_back(value.integers);
    micros.push_back(value.timestamp);
  }
  return all;
}

TEST(DystalReplay, AUsbSensorsReadingsPlayBackThroughAFreshPort) {
  halvern::test::resetSimulationClock();
  RecordedRun recording("recorded");
  std::string device;
  int last = 0;
  {
    SimDystalUsb sim;
    Sensor sensor(c_Dystal_createUsb(sim.devicePath().c_str(), kRate));
    ASSERT_NE(sensor, nullptr);
    device = halvern::test::portDevice(names::kFamily, sim.devicePath());
    // Several readings, so that a few late ones on a busy machine do not decide the times'
    // median.
    const auto readMore = [&](int readings) {
      ASSERT_TRUE(waitFor([&] { return latestSequence(sensor.get()) >= 0; }, kWaitLimit));
      const int from = latestSequence(sensor.get());
      ASSERT_TRUE(
          waitFor([&] { return latestSequence(sensor.get()) >= from + readings; }, kWaitLimit));
    };
    readMore(kReadingsEachKind);
    sim.setDistances({-1, 7, 8});
    readMore(kReadingsEachKind);
    sim.setSilent(true);
    ASSERT_TRUE(halvern::test::waitForLoggedDrop(recording, device));
    last = latestSequence(sensor.get());
  }
  recording.finish();
  std::vector<int64_t> recordedMicros;
  const auto recorded = distancesOf(recording.path(), device, recordedMicros);
  ASSERT_EQ(recorded.back(), (std::vector<int64_t>{-1, 7, 8}));
  const SimLogPlayer player(recording.path());
  ASSERT_EQ(player.values(device, std::string{names::kOutputDataRate}).size(), 1U);
  EXPECT_EQ(player.values(device, std::string{names::kSequence}).back().integer, last);

  halvern::test::resetSimulationClock();
  RecordedRun replay("replayed");
  SimLogPlayer replaying(recording.path());
  SimDystalUsb sim;
  replaying.attach(sim, device);
  Sensor sensor(c_Dystal_createUsb(sim.devicePath().c_str(), kRate));
  ASSERT_NE(sensor, nullptr);
  const std::string replayDevice = halvern::test::portDevice(names::kFamily, sim.devicePath());
  replaying.start();
  ASSERT_TRUE(waitFor([&] { return replaying.finished(); }, kWaitLimit));
  ASSERT_TRUE(halvern::test::waitForLoggedDrop(replay, replayDevice));
  sensor.reset();
  replay.finish();
  std::vector<int64_t> replayedMicros;
  EXPECT_EQ(distancesOf(replay.path(), replayDevice, replayedMicros), recorded);
  halvern::test::expectOnTime(recordedMicros, replayedMicros, replaying.clockOffsetMicros());
}

}  // namespace

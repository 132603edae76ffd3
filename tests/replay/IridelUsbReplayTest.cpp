// A colour sensor's run on USB recorded into a data log and played back through a fresh
// simulated port: the same samples, connection changes and times.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>

#include "IridelRecording.h"

namespace {

using namespace halvern::test::iridel_replay;
using halvern::test::kWaitLimit;
using halvern::test::RecordedRun;
using halvern::test::waitFor;

TEST(IridelReplay, AUsbSensorsSamplesPlayBackThroughAFreshPortAtTheRecordedTimes) {
  halvern::test::resetSimulationClock();
  RecordedRun recording("recorded");
  std::string device;
  uint16_t last = 0;
  {
    SimIridelUsb sim;
    sim.setColor(0.125F, 0.25F, 0.5F);
    Sensor sensor(c_Iridel_createUsb(sim.devicePath().c_str(), kSampleTimeMs));
    ASSERT_NE(sensor, nullptr);
    device = halvern::test::portDevice(names::kFamily, sim.devicePath());
    const auto readMore = [&](int samples) {
      const auto from = latest(sensor.get()).sequence;
      ASSERT_TRUE(
          waitFor([&] { return latest(sensor.get()).sequence >= from + samples; }, kWaitLimit));
    };
    readMore(3);
    sim.setColor(0.75F, 1.0F, 0.0625F);
    ASSERT_TRUE(waitFor([&] { return latest(sensor.get()).x == 0.75F; }, kWaitLimit));
    readMore(2);
    sim.setSilent(true);
    ASSERT_TRUE(halvern::test::waitForLoggedDrop(recording, device));
    std::this_thread::sleep_for(kSilenceMargin);
    sim.setSilent(false);
    readMore(3);
    sim.setSilent(true);  // so that the last sample read is the last one logged
    ASSERT_TRUE(halvern::test::waitForLoggedDrop(recording, device, 2));
    last = latest(sensor.get()).sequence;
  }
  recording.finish();

  const auto contents = recording.read();
  for (const auto signal :
       {names::kSequence, names::kX, names::kConnected, names::kColorFormat, names::kSampleTime}) {
    EXPECT_NE(halvern::test::entryNamed(contents, "Halvern/" + device + "/" + std::string{signal}),
              nullptr)
        << signal;
  }
  const SimLogPlayer player(recording.path());
  ASSERT_EQ(player.values(device, std::string{names::kColorFormat}).size(), 1U);
  EXPECT_EQ(player.values(device, std::string{names::kColorFormat}).front().text, "XYZ");
  ASSERT_EQ(player.values(device, std::string{names::kSampleTime}).size(), 1U);
  EXPECT_EQ(player.values(device, std::string{names::kSampleTime}).front().integer, kSampleTimeMs);
  const Logged recorded = loggedBy(recording.path(), device);
  ASSERT_EQ(recorded.samples.size(), last);  // every sample the library read, in order
  for (size_t i = 0; i < recorded.samples.size(); ++i) {
    EXPECT_EQ(recorded.samples[i].sequence, static_cast<int64_t>(i + 1));
  }
  ASSERT_EQ(recorded.connection.size(), 4U);  // came, went, came back and went

  // The simulator sends only what the log holds from the moment it is attached: attached before
  // the library opens its port, it sends no sample of its own.
  halvern::test::resetSimulationClock();
  RecordedRun replay("replayed");
  SimLogPlayer replaying(recording.path());
  SimIridelUsb sim;
  replaying.attach(sim, device);
  Sensor sensor(c_Iridel_createUsb(sim.devicePath().c_str(), kSampleTimeMs));
  ASSERT_NE(sensor, nullptr);
  replaying.start();
  ASSERT_TRUE(waitFor([&] { return replaying.finished(); }, kWaitLimit));
  ASSERT_TRUE(waitForSequence(sensor.get(), last));
  const std::string replayDevice = halvern::test::portDevice(names::kFamily, sim.devicePath());
  ASSERT_TRUE(halvern::test::waitForLoggedDrop(replay, replayDevice, 2));
  sensor.reset();
  replay.finish();
  expectReplayed(recorded, loggedBy(replay.path(), replayDevice), replaying.clockOffsetMicros());
}

}  // namespace

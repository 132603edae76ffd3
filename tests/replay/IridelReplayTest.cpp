// A colour sensor's run on CAN recorded into a data log and played back into a fresh simulator:
// what the library logs (samples, commands, connection), and that the library reading the replay
// reads the same samples at the same times, and loses the connection where it did.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "IridelRecording.h"

namespace {

using namespace halvern::test::iridel_replay;
using halvern::test::kWaitLimit;
using halvern::test::RecordedRun;
using halvern::test::waitFor;

TEST(IridelReplay, ACanSensorLogsWhatItReadAndWasToldAndPlaysBackAtTheRecordedTimes) {
  halvern::test::resetSimulationClock();
  const std::string device = "Iridel[3]";
  RecordedRun recording("recorded");
  std::vector<IridelReading> read;  // what the library reported while recording
  {
    SimIridelCan sim(kCanId);
    sim.setConfigValue(77);
    Sensor sensor(c_Iridel_create(kCanId));
    ASSERT_NE(sensor, nullptr);
    ASSERT_TRUE(c_Iridel_setSampleTimeMs(sensor.get(), kSampleTimeMs));
    ASSERT_TRUE(c_Iridel_setColorFormat(sensor.get(), 1));
    ASSERT_TRUE(c_Iridel_setBrightness(sensor.get(), 140));  // sent as 100
    ASSERT_TRUE(c_Iridel_setStatusLed(sensor.get(), true, 30));
    ASSERT_TRUE(c_Iridel_setMeasureMode(sensor.get(), 2, 1.5F));
    ASSERT_FALSE(c_Iridel_setMeasureMode(sensor.get(), 9, 0.0F));  // not sent: not logged
    ASSERT_TRUE(c_Iridel_setZmm(sensor.get(), 0.25F));
    ASSERT_TRUE(c_Iridel_setUsbOverride(sensor.get(), false));
    uint32_t value = 0;
    ASSERT_TRUE(c_Iridel_getConfig(sensor.get(), 5, &value));
    // The replies are the sensor's traffic too. The replay's program sends its commands before
    // the player starts: a silence after them, in both runs, keeps them apart from the samples.
    ASSERT_TRUE(halvern::test::waitForLoggedDrop(recording, device));
    std::this_thread::sleep_for(kSilenceMargin);

    uint16_t sequence = 0;
    const auto sendSamples = [&] {
      for (int i = 0; i < kSamplesEachSide; ++i) {
        ++sequence;
        sim.sendColor(sequence, 0.1F * static_cast<float>(sequence), 0.5F, -0.25F);
        ASSERT_TRUE(waitForSequence(sensor.get(), sequence));
        read.push_back(latest(sensor.get()));
        std::this_thread::sleep_for(kSampleSpacing);
      }
    };
    sendSamples();
    ASSERT_TRUE(halvern::test::waitForLoggedDrop(recording, device, 2));  // silent for 200 ms
    std::this_thread::sleep_for(kSilenceMargin);
    sendSamples();
  }
  recording.finish();

  const auto contents = recording.read();
  struct Expected {
    std::string_view signal, type, unit;
  };
  for (const Expected& expected :
       std::vector<Expected>{{names::kSequence, "int64", ""},
                             {names::kX, "double", ""},
                             {names::kY, "double", ""},
                             {names::kZ, "double", ""},
                             {names::kConnected, "boolean", ""},
                             {names::kSampleTime, "int64", "ms"},
                             {names::kColorFormat, "string", ""},
                             {names::kBrightness, "int64", "%"},
                             {names::kStatusLed, "boolean", ""},
                             {names::kStatusLedLevel, "int64", "%"},
                             {names::kMeasureMode, "int64", ""},
                             {names::kMeasureModeParameter, "double", ""},
                             {names::kZmm, "double", ""},
                             {names::kUsbOverride, "boolean", ""},
                             {"Config/5", "int64", ""}}) {
    const auto entry = halvern::test::entryNamed(
        contents, "Halvern/" + device + "/" + std::string{expected.signal});
    ASSERT_NE(entry, nullptr) << expected.signal;
    EXPECT_EQ(entry->type, expected.type) << expected.signal;
    EXPECT_EQ(entry->metadata, halvern::test::metadataWithUnit(expected.unit)) << expected.signal;
  }
  EXPECT_EQ(halvern::test::entryNamed(contents, "Halvern/" + device + "/CAN ID"),
            nullptr);  // never set

  const SimLogPlayer player(recording.path());
  const auto only = [&](std::string_view signal) {
    const auto values = player.values(device, std::string{signal});
    EXPECT_EQ(values.size(), 1U) << signal;
    return values.empty() ? halvern::sim::RecordedValue{} : values.front();
  };
  EXPECT_EQ(only(names::kSampleTime).integer, kSampleTimeMs);
  EXPECT_EQ(only(names::kColorFormat).text, "RAW");
  EXPECT_EQ(only(names::kBrightness).integer, 100);
  EXPECT_TRUE(only(names::kStatusLed).boolean);
  EXPECT_EQ(only(names::kStatusLedLevel).integer, 30);
  EXPECT_EQ(only(names::kMeasureMode).integer, 2);
  EXPECT_EQ(only(names::kMeasureModeParameter).number, 1.5);
  EXPECT_EQ(only(names::kZmm).number, 0.25);
  EXPECT_FALSE(only(names::kUsbOverride).boolean);
  EXPECT_EQ(only("Config/5").integer, 77);

  // The samples are the ones the library reported, with their own times; the connection came,
  // went 200 ms after the last sample before the silence, and came back.
  const Logged recorded = loggedBy(recording.path(), device);
  ASSERT_EQ(recorded.samples.size(), read.size());
  for (size_t i = 0; i < read.size(); ++i) {
    EXPECT_EQ(recorded.samples[i], (Sample{read[i].sequence, read[i].x, read[i].y, read[i].z}));
    EXPECT_EQ(recorded.samples[i].micros, read[i].timestampUs);
  }
  ASSERT_EQ(recorded.connection.size(), 5U);  // replies, samples and samples again
  for (size_t i = 0; i < recorded.connection.size(); ++i) {
    EXPECT_EQ(recorded.connection[i].connected, i % 2 == 0) << i;
  }
  EXPECT_EQ(recorded.connection[2].micros, recorded.samples[0].micros);
  EXPECT_EQ(recorded.connection[3].micros,
            recorded.samples[kSamplesEachSide - 1].micros + kSilenceMicros);
  EXPECT_EQ(recorded.connection[4].micros, recorded.samples[kSamplesEachSide].micros);

  // Played into a fresh simulator, with the library reading it as the program did.
  halvern::test::resetSimulationClock();
  RecordedRun replay("replayed");
  SimLogPlayer replaying(recording.path());
  SimIridelCan sim(kCanId);
  Sensor sensor(c_Iridel_create(kCanId));
  ASSERT_NE(sensor, nullptr);
  ASSERT_TRUE(c_Iridel_setSampleTimeMs(sensor.get(), kSampleTimeMs));
  replaying.attach(sim);
  replaying.start();
  ASSERT_TRUE(waitFor([&] { return replaying.finished(); }, kWaitLimit));
  ASSERT_TRUE(waitForSequence(sensor.get(), static_cast<uint16_t>(2 * kSamplesEachSide)));
  sensor.reset();
  replay.finish();
  expectReplayed(recorded, loggedBy(replay.path(), device), replaying.clockOffsetMicros());
}

}  // namespace

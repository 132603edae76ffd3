// The colour sensor's latest sample and connection status through the C face: on the simulated
// CAN bus beside the once-per-frame read, and on a simulated USB port.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>

#include "OwnedHandle.h"
#include "SensorOnCan.h"
#include "SimCanBus.h"
#include "SimHal.h"
#include "SimIridel.h"
#include "TestPlatform.h"
#include "WaitFor.h"
#include "halvern/Iridel.h"

namespace {


using namespace std::chrono_literals;

// Bounds a wait for something that takes milliseconds, on however busy a machine.
constexpr auto kLimit = std::chrono::seconds(5);

template <typename Read, typename Done>
auto waitForValue(Read read, Done done) {
  return halvern::test::waitForValue(read, done, kLimit);
}
using halvern::sim::SimIridelCan;

constexpr uint32_t kColorFrameId = 0x04090540;
// A 2026-style HAL stamps frames in whole milliseconds: a stamp may lie up to 1 ms before the
// moment it stands for.
constexpr int64_t kStampResolutionUs = 1000;

using Sensor = halvern::test::OwnedHandle<c_Iridel_destroy>;

int64_t halNow() { return static_cast<int64_t>(halvern::sim::simhal::halMicros()); }

IridelReading latestOf(void* sensor) {
  IridelReading reading{};
  EXPECT_EQ(c_Iridel_getLatestColor(sensor, &reading), &reading);
  return reading;
}

ColorData onceOf(void* sensor) {
  ColorData color{};
  c_Iridel_getColor(sensor, &color);
  return color;
}

class IridelLatestCan
    : public halvern::test::SensorOnCan<SimIridelCan, c_Iridel_create, c_Iridel_destroy, 3> {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(SensorOnCan::SetUp());
    // A frame stamped in the HAL's first millisecond reads as stamped 0, "never": the tests
    // send theirs later.
    waitForValue(halNow, [](int64_t now) { return now > 2 * kStampResolutionUs; });
  }

  bool connected() { return c_Iridel_isConnected(sensor.get()); }
};

TEST_F(IridelLatestCan, TheLatestSampleStaysWithTheStampOfItsFrame) {
  const IridelReading none = latestOf(sensor.get());
  EXPECT_FALSE(none.valid);
  EXPECT_EQ(none.sequence, 0);
  EXPECT_EQ(none.timestampUs, 0);

  const int64_t before = halNow();
  device.sendColor(41, -1.0F, 0.0F, 1.0F);
  const int64_t after = halNow();
  const IridelReading first = latestOf(sensor.get());
  ASSERT_TRUE(first.valid);
  EXPECT_EQ(first.sequence, 41);
  EXPECT_EQ(first.x, -1.0F);
  EXPECT_EQ(first.y, 0.0F);
  EXPECT_EQ(first.z, 1.0F);
  EXPECT_GE(first.timestampUs, before - kStampResolutionUs);
  EXPECT_LE(first.timestampUs, after);

  const IridelReading again = latestOf(sensor.get());
  EXPECT_EQ(again.sequence, 41);
  EXPECT_EQ(again.timestampUs, first.timestampUs);

  // Streamed: each newer sample is stamped no earlier than the one before.
  device.startColorFrames(5ms, 0.5F, 0.25F, 0.125F);
  int64_t last = first.timestampUs;
  uint16_t lastSequence = first.sequence;
  for (int seen = 0; seen < 5; ++seen) {
    const IridelReading next =
        waitForValue([&] { return latestOf(sensor.get()); },
                     [&](const IridelReading& r) { return r.sequence != lastSequence; });
    ASSERT_NE(next.sequence, lastSequence);
    EXPECT_GE(next.timestampUs, last);
    EXPECT_EQ(next.x, 0.5F);
    last = next.timestampUs;
    lastSequence = next.sequence;
  }
  device.stopColorFrames();
}

TEST_F(IridelLatestCan, TheOnceReadAndTheLatestReadTakeNoFrameFromEachOther) {
  // Taken by the latest read first: the once read still returns it, once.
  device.sendColor(1, 0.1F, 0.2F, 0.3F);
  EXPECT_EQ(latestOf(sensor.get()).sequence, 1);
  const ColorData once = onceOf(sensor.get());
  EXPECT_TRUE(once.valid);
  EXPECT_EQ(once.sequence, 1);
  EXPECT_EQ(once.x, 0.1F);
  EXPECT_FALSE(onceOf(sensor.get()).valid);
  EXPECT_EQ(latestOf(sensor.get()).sequence, 1);  // the latest stays

  // Taken by the once read first: the latest read still has it.
  device.sendColor(2, 0.0F, 0.0F, 0.0F);
  EXPECT_EQ(onceOf(sensor.get()).sequence, 2);
  EXPECT_EQ(latestOf(sensor.get()).sequence, 2);
  EXPECT_FALSE(onceOf(sensor.get()).valid);

  // A connection look takes a frame too, and the once read still gets it.
  device.sendColor(3, 0.0F, 0.0F, 0.0F);
  EXPECT_TRUE(waitForValue([&] { return connected(); }, [](bool on) { return on; }));
  EXPECT_EQ(onceOf(sensor.get()).sequence, 3);

  // A short colour frame is no sample: the once read reports none, the latest keeps the last
  // whole one.
  halvern::sim::transmitToRobot(kColorFrameId, std::array<uint8_t, 4>{9, 0, 0, 0});
  EXPECT_FALSE(onceOf(sensor.get()).valid);
  EXPECT_EQ(latestOf(sensor.get()).sequence, 3);
}

TEST_F(IridelLatestCan, TheConnectionFollowsTheColourFrames) {
  EXPECT_FALSE(connected());
  device.startColorFrames(20ms, 0.0F, 0.0F, 0.0F);
  EXPECT_TRUE(waitForValue([&] { return connected(); }, [](bool on) { return on; }));
  device.stopColorFrames();  // silenced
  EXPECT_FALSE(waitForValue([&] { return connected(); }, [](bool on) { return !on; }));
  device.startColorFrames(20ms, 0.0F, 0.0F, 0.0F);  // resumed
  EXPECT_TRUE(waitForValue([&] { return connected(); }, [](bool on) { return on; }));
  device.stopColorFrames();

  // Replies are the sensor's traffic too: settings answered while no colour frame comes.
  EXPECT_FALSE(waitForValue([&] { return connected(); }, [](bool on) { return !on; }));
  EXPECT_TRUE(waitForValue([&] { return c_Iridel_setBrightness(sensor.get(), 10) && connected(); },
                           [](bool on) { return on; }));
  EXPECT_FALSE(c_Iridel_isConnected(nullptr));
  IridelReading out{};
  out.valid = true;
  EXPECT_EQ(c_Iridel_getLatestColor(nullptr, &out), &out);
  EXPECT_FALSE(out.valid);
  EXPECT_EQ(c_Iridel_getLatestColor(sensor.get(), nullptr), nullptr);
}

#if !defined(_WIN32)
TEST(IridelLatestUsb, SamplesCarryTheMomentTheirLineArrivedAndTheConnectionFollowsThem) {
  halvern::sim::SimIridelUsb device;
  const Sensor sensor(c_Iridel_createUsb(device.devicePath().c_str(), 20));
  ASSERT_NE(sensor, nullptr);
  const IridelReading first = waitForValue([&] { return latestOf(sensor.get()); },
                                           [](const IridelReading& r) { return r.valid; });
  ASSERT_TRUE(first.valid);
  EXPECT_TRUE(
      waitForValue([&] { return c_Iridel_isConnected(sensor.get()); }, [](bool on) { return on; }));

  // Silenced: the last sample's stamp is no earlier than the simulator's sending it. A loaded
  // machine may read it disconnected before the reader took that sample: the test waits for
  // every byte sent to be read.
  device.setSilent(true);
  EXPECT_FALSE(waitForValue([&] { return c_Iridel_isConnected(sensor.get()); },
                            [](bool on) { return !on; }));
  EXPECT_TRUE(waitForValue([&] { return device.allSentWasRead(); }, [](bool read) { return read; }));
  const auto sent = static_cast<int64_t>(device.lastSampleSentMicros());
  const IridelReading last = waitForValue([&] { return latestOf(sensor.get()); },
                                          [&](const IridelReading& r) { return r.timestampUs >= sent; });
  EXPECT_GE(last.timestampUs, sent);
  EXPECT_GE(last.timestampUs, first.timestampUs);
  EXPECT_GE(last.sequence, first.sequence);

  device.setSilent(false);  // resumed
  EXPECT_TRUE(
      waitForValue([&] { return c_Iridel_isConnected(sensor.get()); }, [](bool on) { return on; }));
  const IridelReading newer =
      waitForValue([&] { return latestOf(sensor.get()); },
                   [&](const IridelReading& r) { return r.timestampUs > last.timestampUs; });
  EXPECT_GT(newer.timestampUs, last.timestampUs);

  device.unplug();  // disconnected, the last sample kept
  EXPECT_FALSE(waitForValue([&] { return c_Iridel_isConnected(sensor.get()); },
                            [](bool on) { return !on; }));
  EXPECT_TRUE(latestOf(sensor.get()).valid);
}
#endif

}  // namespace

// halvern::Dystal through the C face, against the simulated distance sensors.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ClassTestSupport.h"
#include "SimCanBus.h"
#include "SimDystal.h"
#include "TestPlatform.h"
#include "WaitFor.h"
#include "halvern/Dystal.hpp"

namespace {

using halvern::test::waitForValue;

using namespace std::chrono_literals;
using halvern::Dystal;
using halvern::sim::SimDystalCan;
using halvern::test::expectRejected;

constexpr int kCanId = 9;

// Reads until `done` holds of the reading, for up to 2 s; the last reading.
class DystalClass : public halvern::test::FreshSimulation {
 protected:
  SimDystalCan device{kCanId};
};

TEST_F(DystalClass, CanSensorReachesItsExports) {
  const Dystal sensor(kCanId);
  EXPECT_EQ(sensor.GetTransport(), Dystal::Transport::kCAN);
  EXPECT_EQ(sensor.GetCanId(), kCanId);
  EXPECT_EQ(sensor.GetData(), Dystal::ScanData{});  // nothing sent yet

  EXPECT_FALSE(sensor.IsConnected());

  device.setDistances({250, 260, 270, 280, 290, 300});
  device.sendReading();
  // Gathered in the background: the reading appears without GetData waiting for it.
  const Dystal::ScanData four = waitForValue([&] { return sensor.GetData(4); },
                                             [&](const auto& scan) { return scan.sequence != 0; });
  EXPECT_EQ(four.sequence, device.lastSequence());
  EXPECT_EQ(four.distancesMm, (std::vector<int>{250, 260, 270, 280}));
  EXPECT_EQ(sensor.GetData(4).timestampUs, four.timestampUs);  // the same reading again

  device.setConfig({4, true, true, false});
  const auto config = sensor.GetConfig();
  ASSERT_TRUE(config.has_value());
  EXPECT_EQ(*config, (Dystal::Config{4, true, true, false, kCanId}));
  device.setConfigSilent(true);
  EXPECT_EQ(sensor.GetConfig(50), std::nullopt);
}

TEST_F(DystalClass, ArgumentsAreChecked) {
  expectRejected([] { const Dystal sensor(64); }, "CAN ID 64 out of range [0;63]");
  expectRejected([] { const Dystal sensor("/dev/null", -1); }, "Output data rate -1 is negative");
  const Dystal sensor(kCanId);
  expectRejected([&] { (void)sensor.GetData(0); }, "Distance count 0 out of range [1;64]");
  expectRejected([&] { (void)sensor.GetData(65); }, "Distance count 65 out of range [1;64]");
  expectRejected([&] { (void)sensor.GetConfig(-1); }, "Timeout -1 is negative");
  EXPECT_EQ(device.configRequests(), 0);
}

TEST_F(DystalClass, AFailedCreateThrowsTheLibrarysMessage) {
  halvern::test::expectCreationFails(
      [] { const Dystal sensor("/dev/halvern-no-such-port", 15); },
      "Dystal on /dev/halvern-no-such-port could not be initialized");
}

TEST_F(DystalClass, MovingHandsTheSensorOver) {
  Dystal first(kCanId);
  const Dystal second(std::move(first));
  EXPECT_TRUE(first.IsClosed());  // NOLINT(bugprone-use-after-move): moved-from is empty
  EXPECT_EQ(first.GetCanId(), -1);
  device.sendReading();
  EXPECT_EQ(first.GetData(), Dystal::ScanData{});
  EXPECT_FALSE(first.IsConnected());
  EXPECT_EQ(first.GetConfig(10), std::nullopt);
  EXPECT_EQ(waitForValue([&] { return second.GetData(); },
                         [](const auto& scan) { return scan.distancesMm.size() == 64U; })
                .distancesMm.size(),
            64U);
}

#if !defined(_WIN32)
TEST_F(DystalClass, UsbSensorStreamsReadings) {
  halvern::sim::SimDystalUsb usb;
  usb.setDistances({1000, 1001, 1002});
  const Dystal sensor(usb.devicePath(), 30);
  EXPECT_EQ(sensor.GetTransport(), Dystal::Transport::kUSB);
  EXPECT_EQ(sensor.GetCanId(), -1);
  EXPECT_EQ(usb.outputDataRate(), 30);
  const Dystal::ScanData scan = waitForValue(
      [&] { return sensor.GetData(); },
      [](const Dystal::ScanData& s) { return !s.distancesMm.empty(); }, 5s);
  EXPECT_EQ(scan.distancesMm, (std::vector<int>{1000, 1001, 1002}));
  EXPECT_GT(scan.sequence, 0);
  EXPECT_GT(scan.timestampUs, 0);
  EXPECT_TRUE(
      waitForValue([&] { return sensor.IsConnected(); }, [](bool on) { return on; }, 5s));
  usb.setSilent(true);
  EXPECT_FALSE(
      waitForValue([&] { return sensor.IsConnected(); }, [](bool on) { return !on; }, 5s));
}
#endif

}  // namespace

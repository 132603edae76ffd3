// halvern::Iridel through the C face, against the simulated colour sensors.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ClassTestSupport.h"
#include "SimCanBus.h"
#include "SimIridel.h"
#include "TestPlatform.h"
#include "WaitFor.h"
#include "halvern/Iridel.hpp"

namespace {

using namespace std::chrono_literals;
using halvern::Iridel;
using halvern::sim::SimIridelCan;
using halvern::test::expectRejected;
using Bytes = std::vector<uint8_t>;

class IridelClass : public halvern::test::FreshSimulation {
 protected:
  Bytes lastPayload(uint8_t code) const {
    const auto commands = device.commands();
    return commands.empty() || commands.back().code != code ? Bytes{} : commands.back().payload;
  }

  SimIridelCan device{7};
};

TEST_F(IridelClass, CanSensorReachesItsExports) {
  Iridel sensor(7);
  EXPECT_EQ(sensor.GetTransport(), Iridel::Transport::kCAN);
  EXPECT_EQ(sensor.GetCanId(), 7);
  EXPECT_EQ(sensor.GetColor(), std::nullopt);
  EXPECT_FALSE(sensor.IsConnected());
  device.sendColor(0x1234, -1.0F, 0.0F, 1.0F);
  const auto color = sensor.GetColor();
  ASSERT_TRUE(color.has_value());
  EXPECT_EQ(*color, (Iridel::ColorData{0x1234, -1.0F, 0.0F, 1.0F}));
  // The latest sample stays, stamp and all, until a newer one arrives.
  ASSERT_TRUE(sensor.GetColor().has_value());
  EXPECT_EQ(sensor.GetColor()->timestampUs, color->timestampUs);

  EXPECT_TRUE(sensor.SetMeasureMode(2, 1.5F));
  EXPECT_EQ(lastPayload(18), (Bytes{0x02, 0x00, 0x00, 0x00, 0xC0, 0x3F}));
  EXPECT_TRUE(sensor.SetColorFormat(Iridel::ColorFormat::kSRGB));
  EXPECT_EQ(lastPayload(19), (Bytes{2}));
  EXPECT_TRUE(sensor.SetSampleTime(300));
  EXPECT_EQ(lastPayload(20), (Bytes{0x2C, 0x01}));
  EXPECT_TRUE(sensor.SetBrightness(150));  // clamped, as documented
  EXPECT_EQ(lastPayload(21), (Bytes{100}));
  EXPECT_TRUE(sensor.SetUsbOverride(true));
  EXPECT_EQ(lastPayload(22), (Bytes{1}));
  EXPECT_TRUE(sensor.SetStatusLed(true, 40));
  EXPECT_EQ(lastPayload(23), (Bytes{1, 40}));
  EXPECT_TRUE(sensor.SetCanId(12));
  EXPECT_EQ(lastPayload(24), (Bytes{12, 0, 0, 0}));
  EXPECT_EQ(sensor.GetCanId(), 7);
  EXPECT_TRUE(sensor.SetZmm(1.5F));
  EXPECT_EQ(lastPayload(25), (Bytes{0x00, 0x00, 0xC0, 0x3F}));
  device.setConfigValue(4000000000U);
  EXPECT_EQ(sensor.GetConfig(5), std::optional<uint32_t>(4000000000U));
  EXPECT_EQ(lastPayload(26), (Bytes{5}));
  device.setReplies(SimIridelCan::Replies::Silent);
  EXPECT_EQ(sensor.GetConfig(5), std::nullopt);
}

TEST_F(IridelClass, ArgumentsAreCheckedBeforeAnythingIsSent) {
  expectRejected([] { const Iridel sensor(64); }, "CAN ID 64 out of range [0;63]");
  expectRejected([] { const Iridel sensor(-1); }, "CAN ID -1 out of range [0;63]");
  expectRejected([] { const Iridel sensor("/dev/null", 65536); },
                 "Sample time 65536 out of range [0;65535]");
  Iridel sensor(7);
  const std::size_t sent = device.commands().size();
  expectRejected([&] { sensor.SetSampleTime(-1); }, "Sample time -1 out of range [0;65535]");
  expectRejected([&] { sensor.SetMeasureMode(3); }, "Measure mode 3 out of range [0;2]");
  expectRejected([&] { sensor.SetCanId(64); }, "CAN ID 64 out of range [0;63]");
  expectRejected([&] { (void)sensor.GetConfig(256); },
                 "Configuration key 256 out of range [0;255]");
  EXPECT_EQ(device.commands().size(), sent);
}

TEST_F(IridelClass, AFailedCreateThrowsTheLibrarysMessage) {
  halvern::test::expectCreationFails(
      [] { const Iridel sensor("/dev/halvern-no-such-port", 50); },
      "Iridel on /dev/halvern-no-such-port could not be initialized");
}

TEST_F(IridelClass, MovingHandsTheSensorOver) {
  Iridel first(7);
  Iridel second(std::move(first));
  EXPECT_TRUE(first.IsClosed());  // NOLINT(bugprone-use-after-move): moved-from is empty
  EXPECT_EQ(first.GetCanId(), -1);
  EXPECT_FALSE(first.SetBrightness(10));
  EXPECT_EQ(first.GetColor(), std::nullopt);
  EXPECT_TRUE(second.SetBrightness(10));
  const int sessions = halvern::sim::openStreamSessionCount();
  second = Iridel(7);  // the old sensor is destroyed, its session closed
  EXPECT_EQ(halvern::sim::openStreamSessionCount(), sessions);
  second.Close();
  EXPECT_EQ(halvern::sim::openStreamSessionCount(), sessions - 1);
}

#if !defined(_WIN32)
TEST_F(IridelClass, UsbSensorReadsSamplesAndRefusesCanSettings) {
  halvern::sim::SimIridelUsb usb;
  Iridel sensor(usb.devicePath(), 30);
  EXPECT_EQ(sensor.GetTransport(), Iridel::Transport::kUSB);
  EXPECT_EQ(sensor.GetCanId(), -1);
  usb.setColor(0.125F, 0.25F, 0.5F);
  const std::optional<Iridel::ColorData> color = halvern::test::waitForValue(
      [&] { return sensor.GetColor(); },
      [](const std::optional<Iridel::ColorData>& c) { return c && c->x == 0.125F; }, 5s);
  ASSERT_TRUE(color.has_value());
  EXPECT_EQ(color->y, 0.25F);
  EXPECT_EQ(color->z, 0.5F);
  EXPECT_GT(color->timestampUs, 0);
  EXPECT_TRUE(halvern::test::waitFor([&] { return sensor.IsConnected(); }, 5s));
  EXPECT_TRUE(sensor.SetSampleTime(40));
  halvern::test::expectThrows<std::logic_error>(
      [&] { sensor.SetBrightness(10); },
      "SetBrightness needs a sensor on CAN; Iridel on " + usb.devicePath() + " is on USB");
  EXPECT_THROW((void)sensor.GetConfig(1), std::logic_error);
}
#endif

}  // namespace

// halvern::Ordex through the C face, against the simulated controller.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "ClassTestSupport.h"
#include "RawHal.h"
#include "SimCanBus.h"
#include "SimOrdex.h"
#include "TestPlatform.h"
#include "WaitFor.h"
#include "halvern/Ordex.hpp"

namespace {

using namespace std::chrono_literals;
using halvern::Ordex;
using halvern::sim::OrdexDriveMode;
using halvern::sim::OrdexTiming;
using halvern::sim::SimOrdex;
using halvern::test::expectRejected;
using halvern::test::kWaitLimit;
using halvern::test::waitFor;

constexpr int kDevice = 5;

class OrdexClass : public halvern::test::FreshSimulation {
 protected:
  // What the readings' cases find reported: motor 1 at 321.5 rpm towards 400, encoder 2 at 777
  // counts, both limit switches of motor 3 pressed, 41.5 degrees, and 12.34 on position 0.
  void setReadings() {
    device.setRpmOverride(1, 321.5);
    device.setTargetRpmOverride(1, 400.0);
    device.setEncoderCount(2, 777);
    device.setLimitSwitch(3, true, true);
    device.setTemperatureOverride(41.5);
    device.setQuorinPosition(0, 12.34);
  }

  SimOrdex device{kDevice, {OrdexTiming::Manual}};
};

TEST_F(OrdexClass, LivesAsLongAsTheObject) {
  {
    const Ordex ordex(kDevice, 1000);
    EXPECT_FALSE(ordex.IsClosed());
    EXPECT_EQ(ordex.GetDeviceId(), kDevice);
    for (int motor = 0; motor < Ordex::kMotorCount; ++motor) {
      EXPECT_EQ(device.motor(motor).frequency, 1000);
    }
    EXPECT_TRUE(waitFor([&] { return !device.heartbeats().empty(); }, kWaitLimit));
  }
  device.clearReceived();
  // A heartbeat loop started afresh for another controller serves it two rounds: none for the
  // object that went.
  const SimOrdex witness(kDevice + 1, {OrdexTiming::Manual});
  const Ordex other(kDevice + 1, 1000);
  ASSERT_TRUE(waitFor([&] { return witness.heartbeats().size() >= 2; }, kWaitLimit));
  EXPECT_TRUE(device.heartbeats().empty()) << "the heartbeat outlived the object";
}

TEST_F(OrdexClass, CommandsReachTheController) {
  Ordex ordex(kDevice, 1000);
  ordex.SetMotorSpeed(2, 0.5);
  EXPECT_EQ(device.motor(2).mode, OrdexDriveMode::Duty);
  EXPECT_DOUBLE_EQ(device.motor(2).duty, 0.5);
  ordex.DisableMotor(2);
  EXPECT_EQ(device.motor(2).mode, OrdexDriveMode::Coast);
  ordex.SetTargetVelocity(1, 1500.0);
  EXPECT_EQ(device.motor(1).mode, OrdexDriveMode::Velocity);
  ordex.SetTargetDistance(3, -1000);
  EXPECT_EQ(device.motor(3).targetDistance, -1000);
  ordex.SetTargetAngle(0, 90.0);
  EXPECT_EQ(device.motor(0).targetAngleDegrees, std::optional<double>(90.0));
  ordex.SetPositionHold(0, true);
  EXPECT_TRUE(device.motor(0).positionHold);
  ordex.SetCurrentLimit(1, 12.5);
  EXPECT_DOUBLE_EQ(device.motor(1).currentLimitAmps, 12.5);
  ordex.SetEncoderResolution(2, 4096);
  EXPECT_EQ(device.motor(2).countsPerRevolution, 4096);
  ordex.ConfigureMotor(3, 2000);
  EXPECT_EQ(device.motor(3).frequency, 2000);
  EXPECT_EQ(device.motor(0).frequency, 1000);
}

TEST_F(OrdexClass, ReadingsComeFromTheController) {
  device.setSerialWords({0x1, 0xABCDEF12, 0xFFFFFFFF});
  Ordex ordex(kDevice, 1000);
  // Asked in the background from construction: waited for here, never by the getters.
  ASSERT_TRUE(waitFor([&] { return ordex.TryGetReportedDeviceId().has_value(); }, kWaitLimit));
  EXPECT_EQ(ordex.GetReportedDeviceId(), kDevice);
  EXPECT_EQ(ordex.GetFirmwareVersion(), "Firmware Version: [1.4.2]");
  EXPECT_EQ(ordex.GetHardwareVersion(), "Hardware: Ordex Quad, Version: 3");
  EXPECT_EQ(ordex.GetSerialNumber(), "00000001-ABCDEF12-FFFFFFFF");

  EXPECT_EQ(ordex.TryGetRPM(1), std::nullopt);  // nothing reported yet
  EXPECT_EQ(ordex.TryGetTargetRPMs(), std::nullopt);
  setReadings();
  device.publishNow();
  EXPECT_DOUBLE_EQ(ordex.GetRPM(1), 321.5);
  EXPECT_EQ(ordex.TryGetRPM(1), std::optional<double>(321.5));
  EXPECT_EQ(ordex.TryGetTargetRPM(1), std::optional<double>(400.0));
  ASSERT_TRUE(ordex.TryGetTargetRPMs().has_value());
  EXPECT_DOUBLE_EQ(ordex.TryGetTargetRPMs()->at(1), 400.0);
  EXPECT_DOUBLE_EQ(ordex.GetEncoderSpeed(1), 321.5);
  EXPECT_EQ(ordex.GetEncoderCount(2), 777);
  EXPECT_DOUBLE_EQ(ordex.GetEncoderRaw(2), 777.0);
  Ordex::SetEncoderDistancePerCount(2, 0.5);
  EXPECT_DOUBLE_EQ(ordex.GetEncoderDistance(2), 388.5);
  Ordex::SetEncoderDistancePerCount(2, 1.0);
  EXPECT_TRUE(ordex.GetLimitSwitch(3, true));
  EXPECT_FALSE(ordex.GetLimitSwitch(3, false));
  EXPECT_NEAR(ordex.GetTemperature(), 41.5, 0.01);
  EXPECT_NEAR(ordex.GetQuorinPosition(0), 12.34, 1e-9);
}

TEST_F(OrdexClass, IdentityGettersAreEmptyUntilTheControllerAnswers) {
  device.setIdentityBehaviour(halvern::sim::IdentityBehaviour::Silent);
  Ordex ordex(kDevice, 1000);
  ASSERT_TRUE(waitFor([&] { return device.identityRequestCount() >= 2; }, kWaitLimit));
  testing::internal::CaptureStderr();
  EXPECT_EQ(ordex.GetReportedDeviceId(), 0);
  EXPECT_EQ(ordex.GetFirmwareVersion(), "");
  EXPECT_EQ(ordex.GetHardwareVersion(), "");
  EXPECT_EQ(ordex.TryGetReportedDeviceId(), std::nullopt);
  EXPECT_EQ(ordex.TryGetFirmwareVersion(), std::nullopt);
  EXPECT_EQ(ordex.TryGetHardwareVersion(), std::nullopt);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // nothing asked on this thread

  device.setIdentityBehaviour(halvern::sim::IdentityBehaviour::Answer);  // powered on late
  ASSERT_TRUE(waitFor([&] { return ordex.TryGetFirmwareVersion().has_value(); }, kWaitLimit));
  EXPECT_EQ(ordex.TryGetFirmwareVersion(), std::optional<std::string>("Firmware Version: [1.4.2]"));
  EXPECT_EQ(ordex.TryGetHardwareVersion(),
            std::optional<std::string>("Hardware: Ordex Quad, Version: 3"));
  EXPECT_EQ(ordex.TryGetReportedDeviceId(), std::optional<int>(kDevice));

  // Closing during a fetch returns at once and leaves nothing asking.
  SimOrdex silent(6, {OrdexTiming::Manual});
  silent.setIdentityBehaviour(halvern::sim::IdentityBehaviour::Silent);
  Ordex other(6, 1000);
  ASSERT_TRUE(waitFor([&] { return silent.identityRequestCount() >= 1; }, kWaitLimit));
  const auto start = std::chrono::steady_clock::now();
  other.Close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_EQ(other.TryGetFirmwareVersion(), std::nullopt);
  EXPECT_FALSE(other.IsConnected());
}

TEST_F(OrdexClass, TimestampedReadingsAndConnection) {
  Ordex ordex(kDevice, 1000);
  EXPECT_FALSE(ordex.IsConnected());  // no status frame yet
  const auto never = ordex.GetRPMTimestamped(0);
  EXPECT_EQ(never.value, 0.0);
  EXPECT_EQ(never.timestampUs, 0);

  setReadings();
  device.setFrequencyOverride(1234);
  const auto before = static_cast<int64_t>(halvern::test::rawhal::halMicros()) / 1000 * 1000;
  device.publishNow();
  const auto after = static_cast<int64_t>(halvern::test::rawhal::halMicros());
  EXPECT_TRUE(ordex.IsConnected());

  const auto rpm = ordex.GetRPMTimestamped(1);
  EXPECT_DOUBLE_EQ(rpm.value, 321.5);
  EXPECT_GE(rpm.timestampUs, before);
  EXPECT_LE(rpm.timestampUs, after);
  EXPECT_DOUBLE_EQ(ordex.GetTargetRPMTimestamped(1).value, 400.0);
  EXPECT_EQ(ordex.GetEncoderCountTimestamped(2).value, 777);
  Ordex::SetEncoderDistancePerCount(2, 2.0);
  EXPECT_DOUBLE_EQ(ordex.GetEncoderDistanceTimestamped(2).value, 1554.0);
  Ordex::SetEncoderDistancePerCount(2, 1.0);
  EXPECT_TRUE(ordex.GetLimitSwitchTimestamped(3, true).value);
  EXPECT_FALSE(ordex.GetLimitSwitchTimestamped(3, false).value);
  EXPECT_NEAR(ordex.GetTemperatureTimestamped().value, 41.5, 0.01);
  EXPECT_EQ(ordex.GetReportedFrequencyTimestamped().value, 1234);
  EXPECT_NEAR(ordex.GetQuorinPositionTimestamped(0).value, 12.34, 1e-9);
  for (const int64_t stamp : {ordex.GetTargetRPMTimestamped(1).timestampUs,
                              ordex.GetEncoderCountTimestamped(2).timestampUs,
                              ordex.GetLimitSwitchTimestamped(3, true).timestampUs,
                              ordex.GetTemperatureTimestamped().timestampUs,
                              ordex.GetReportedFrequencyTimestamped().timestampUs,
                              ordex.GetQuorinPositionTimestamped(0).timestampUs}) {
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, after);
  }
  expectRejected([&] { (void)ordex.GetRPMTimestamped(4); }, "Motor 4 out of range [0;3]");
  expectRejected([&] { (void)ordex.GetEncoderCountTimestamped(-1); },
                 "Encoder -1 out of range [0;3]");

  // Silent for longer than the limit: disconnected.
  ASSERT_TRUE(waitFor([&] { return !ordex.IsConnected(); }, kWaitLimit));
  const auto newest = ordex.GetTemperatureTimestamped().timestampUs;
  EXPECT_GT(static_cast<int64_t>(halvern::test::rawhal::halMicros()) - newest,
            Ordex::kConnectionSilenceMs * 1000);
  device.publishNow();
  EXPECT_TRUE(ordex.IsConnected());
  EXPECT_GT(ordex.GetTemperatureTimestamped().timestampUs, newest);
  ordex.Close();
  EXPECT_FALSE(ordex.IsConnected());
  EXPECT_EQ(ordex.GetRPMTimestamped(1).timestampUs, 0);
}

TEST_F(OrdexClass, ArgumentsAreCheckedBeforeAnythingIsSent) {
  expectRejected([] { const Ordex ordex(0, 1000); }, "Device ID 0 out of range [1;63]");
  expectRejected([] { const Ordex ordex(64, 1000); }, "Device ID 64 out of range [1;63]");
  expectRejected([] { const Ordex ordex(kDevice, 20001); },
                 "Motor frequency 20001 out of range [0;20000]");

  Ordex ordex(kDevice, 1000);
  expectRejected([&] { ordex.SetMotorSpeed(4, 1.0); }, "Motor 4 out of range [0;3]");
  expectRejected([&] { (void)ordex.GetRPM(-1); }, "Motor -1 out of range [0;3]");
  expectRejected([&] { (void)ordex.GetEncoderCount(4); }, "Encoder 4 out of range [0;3]");
  expectRejected([&] { ordex.ConfigureMotor(0, -1); }, "Motor frequency -1 out of range [0;20000]");
  expectRejected([&] { ordex.SetTargetDistance(0, 1 << 23); },
                 "Target distance 8388608 out of range [-8388608;8388607]");
  expectRejected([&] { ordex.SetEncoderResolution(0, 65536); },
                 "Encoder resolution 65536 out of range [0;65535]");
  expectRejected([&] { ordex.SetMotorPIDType(0, 3); }, "PID type 3 out of range [0;2]");
  expectRejected([&] { ordex.SetSensitivity(0, 11); }, "Sensitivity 11 out of range [0;10]");
  expectRejected([&] { ordex.SetCurrentLimitMode(0, 2); },
                 "Current limit mode 2 out of range [0;1]");
  expectRejected([&] { ordex.SetCanSensorDelay(-1); }, "CAN sensor delay -1 out of range [0;65535]");
  expectRejected([] { Ordex::SetEncoderDistancePerCount(4, 1.0); }, "Encoder 4 out of range [0;3]");
  EXPECT_EQ(device.motor(0).mode, OrdexDriveMode::Coast);
  EXPECT_EQ(device.motor(0).frequency, 1000);
  EXPECT_EQ(device.motor(0).countsPerRevolution, 2048);
}

TEST_F(OrdexClass, AFailedCreateThrowsTheLibrarysMessage) {
  HALVERN_NEEDS_STANDIN();
  halvern::test::setInitializeCanStatus(-1);
  testing::internal::CaptureStdout();
  halvern::test::expectThrows<std::runtime_error>(
      [] { const Ordex ordex(kDevice, 1000); }, "Ordex on CAN device 5 could not be initialized");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Ordex could not be initialized\n");
}

TEST_F(OrdexClass, MovingHandsTheControllerOver) {
  Ordex first(kDevice, 1000);
  Ordex second(std::move(first));
  EXPECT_TRUE(first.IsClosed());  // NOLINT(bugprone-use-after-move): moved-from is empty
  EXPECT_FALSE(second.IsClosed());
  first.SetMotorSpeed(0, 1.0);
  EXPECT_EQ(device.motor(0).mode, OrdexDriveMode::Coast);
  EXPECT_EQ(first.GetFirmwareVersion(), "");
  EXPECT_EQ(first.TryGetRPM(0), std::nullopt);
  second.SetMotorSpeed(0, 0.25);
  EXPECT_DOUBLE_EQ(device.motor(0).duty, 0.25);

  SimOrdex other(6, {OrdexTiming::Manual});
  const int handlesBefore =
      halvern::test::hasStandinControls() ? halvern::test::openCanHandleCount() : 0;
  Ordex third(6, 1000);
  third = std::move(second);  // closes controller 6
  EXPECT_EQ(third.GetDeviceId(), kDevice);
  if (halvern::test::hasStandinControls()) {
    EXPECT_EQ(halvern::test::openCanHandleCount(), handlesBefore);
  }
  third.SetMotorSpeed(1, -0.5);
  EXPECT_DOUBLE_EQ(device.motor(1).duty, -0.5);
  third.Close();
  third.Close();
  EXPECT_TRUE(third.IsClosed());
}

}  // namespace

// A C++ class once closed: nothing more reaches its device, every reading is empty or zero
// although the device had reported, and its arguments are still checked first.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>

#include "ClassTestSupport.h"
#include "SimOrdex.h"
#include "WaitFor.h"
#include "halvern/Ordex.hpp"

namespace {

using halvern::Ordex;
using halvern::sim::OrdexTiming;
using halvern::sim::SimOrdex;
using halvern::test::expectRejected;
using halvern::test::waitFor;
// Bounds a failure only: what normally takes milliseconds, on a machine that may be very busy.
constexpr auto kWaitLimit = std::chrono::seconds(10);

class ClosedClass : public halvern::test::FreshSimulation {};

TEST_F(ClosedClass, AClosedControllerSendsNothingReadsZeroAndStillChecksItsArguments) {
  SimOrdex device(5, {OrdexTiming::Manual});
  device.setRpmOverride(1, 321.5);
  device.setEncoderCount(2, 777);
  device.setTemperatureOverride(41.5);
  Ordex ordex(5, 1000);
  // What closing must hide: the identity, the connection and readings the controller reported.
  ASSERT_TRUE(waitFor([&] { return ordex.TryGetReportedDeviceId().has_value(); }, kWaitLimit));
  device.publishNow();
  ASSERT_TRUE(ordex.IsConnected());
  ASSERT_DOUBLE_EQ(ordex.GetRPM(1), 321.5);
  ASSERT_EQ(ordex.GetEncoderCount(2), 777);
  ordex.Close();
  device.clearReceived();

  ordex.SetMotorSpeed(0, 1.0);
  ordex.DisableMotor(0);
  ordex.ConfigureMotor(0, 2000);
  ordex.SetTargetVelocity(0, 100.0);
  ordex.SetTargetDistance(0, 100);
  ordex.SetTargetAngle(0, 90.0);
  ordex.SetPositionHold(0, true);
  ordex.SetEncoderResolution(0, 4096);
  ordex.SetCurrentLimit(0, 10.0);
  ordex.SetCurrentLimitMode(0, 1);
  ordex.SetMotorStopMode(1);
  ordex.SetPIDType(1);
  ordex.SetMotorPIDType(0, 1);
  ordex.SetSensitivity(0, 5);
  ordex.SetCanSensorDelay(10);
  ordex.AutotuneAll();
  ordex.AutotuneMotor(0);
  ordex.ResetEncoder(0);
  EXPECT_TRUE(device.receivedFrames().empty());

  EXPECT_FALSE(ordex.IsConnected());
  EXPECT_EQ(ordex.GetRPM(1), 0.0);
  EXPECT_EQ(ordex.TryGetRPM(1), std::nullopt);
  EXPECT_EQ(ordex.TryGetTargetRPM(1), std::nullopt);
  EXPECT_EQ(ordex.TryGetTargetRPMs(), std::nullopt);
  EXPECT_EQ(ordex.GetEncoderCount(2), 0);
  EXPECT_EQ(ordex.GetEncoderRaw(2), 0.0);
  EXPECT_EQ(ordex.GetEncoderSpeed(1), 0.0);
  EXPECT_EQ(ordex.GetEncoderDistance(2), 0.0);
  EXPECT_FALSE(ordex.GetLimitSwitch(3, true));
  EXPECT_EQ(ordex.GetTemperature(), 0.0);
  EXPECT_EQ(ordex.GetQuorinPosition(0), 0.0);
  EXPECT_EQ(ordex.GetReportedFrequency(), 0);
  EXPECT_EQ(ordex.GetReportedDeviceId(), 0);
  EXPECT_EQ(ordex.TryGetFirmwareVersion(), std::nullopt);
  EXPECT_EQ(ordex.TryGetHardwareVersion(), std::nullopt);
  EXPECT_EQ(ordex.GetSerialNumber(), "");
  for (const Ordex::Timestamped<double> reading :
       {ordex.GetRPMTimestamped(1), ordex.GetTargetRPMTimestamped(1),
        ordex.GetEncoderDistanceTimestamped(2), ordex.GetTemperatureTimestamped(),
        ordex.GetQuorinPositionTimestamped(0)}) {
    EXPECT_EQ(reading.value, 0.0);
    EXPECT_EQ(reading.timestampUs, 0);
  }
  EXPECT_EQ(ordex.GetEncoderCountTimestamped(2).timestampUs, 0);
  EXPECT_EQ(ordex.GetReportedFrequencyTimestamped().timestampUs, 0);
  EXPECT_EQ(ordex.GetLimitSwitchTimestamped(3, true).timestampUs, 0);
  EXPECT_EQ(device.serialRequestCount(), 0);

  expectRejected([&] { ordex.SetMotorSpeed(4, 1.0); }, "Motor 4 out of range [0;3]");
  expectRejected([&] { (void)ordex.GetRPM(-1); }, "Motor -1 out of range [0;3]");
  expectRejected([&] { (void)ordex.TryGetRPM(4); }, "Motor 4 out of range [0;3]");
  expectRejected([&] { (void)ordex.GetEncoderCountTimestamped(4); },
                 "Encoder 4 out of range [0;3]");
  expectRejected([&] { ordex.SetPIDType(3); }, "PID type 3 out of range [0;2]");
}

}  // namespace

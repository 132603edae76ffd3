// The simulated Ordex's motor model and status frames, on simulated time: every case steps the
// model itself, so the figures are exact enough to check closely.
#include <gtest/gtest.h>

#include <chrono>

#include "RobotSide.h"
#include "SimOrdex.h"
#include "SimCanBus.h"
#include "TestPlatform.h"

namespace {

using namespace std::chrono_literals;
using halvern::sim::OrdexDriveMode;
using halvern::sim::OrdexTiming;
using halvern::sim::SimOrdex;
using halvern::sim::testing::int32At;
using halvern::sim::testing::int32Payload;
using halvern::sim::testing::RobotSide;
namespace msg = halvern::ordex;

constexpr int32_t kDevice = 9;

class SimOrdexModel : public ::testing::Test {
 protected:
  void SetUp() override { halvern::test::resetSimulation(); }
  void TearDown() override { halvern::test::resetSimulation(); }

  // Time passes with a heartbeat every 100 ms, as under an enabled robot.
  void runEnabled(std::chrono::milliseconds duration) {
    for (auto elapsed = 0ms; elapsed < duration; elapsed += 100ms) {
      robot.enabledHeartbeat();
      controller.advance(std::min(100ms, duration - elapsed));
    }
  }

  SimOrdex controller{kDevice, {.timing = OrdexTiming::Manual}};
  RobotSide robot{kDevice};
};

TEST_F(SimOrdexModel, DutyDrivesTowardsItsShareOfFreeSpeedWithALag) {
  robot.motorSpeed(0, 50);
  robot.motorSpeed(1, -25);
  runEnabled(100ms);
  // One time constant: about 63 % of the way, not there at once.
  EXPECT_NEAR(controller.motor(0).rpm, 3000.0 * 0.632, 60.0);
  runEnabled(1000ms);
  EXPECT_NEAR(controller.motor(0).rpm, 3000.0, 5.0);
  EXPECT_NEAR(controller.motor(1).rpm, -1500.0, 5.0);
  EXPECT_EQ(controller.motor(1).mode, OrdexDriveMode::Duty);
  EXPECT_DOUBLE_EQ(controller.motor(1).targetRpm, -1500.0);
  EXPECT_DOUBLE_EQ(controller.motor(2).rpm, 0.0);

  robot.motorSpeed(0, 100);
  runEnabled(1000ms);
  EXPECT_NEAR(controller.motor(0).rpm, SimOrdex::kFreeSpeedRpm, 5.0);
}

TEST_F(SimOrdexModel, VelocityTargetIsFollowedAndLimitedToFreeSpeed) {
  robot.send(msg::Api::TargetVelocity, int32Payload(2, 123456));  // 1234.56 rpm
  robot.send(msg::Api::TargetVelocity, int32Payload(3, -900000));
  runEnabled(1200ms);
  EXPECT_EQ(controller.motor(2).mode, OrdexDriveMode::Velocity);
  EXPECT_NEAR(controller.motor(2).rpm, 1234.56, 1.0);
  EXPECT_DOUBLE_EQ(controller.motor(3).targetRpm, -SimOrdex::kFreeSpeedRpm);

  // A duty command takes the motor back from its velocity target.
  robot.motorSpeed(2, 10);
  runEnabled(1200ms);
  EXPECT_NEAR(controller.motor(2).rpm, 600.0, 1.0);
}

TEST_F(SimOrdexModel, MotorsRunOnlyWhileEnabledHeartbeatsArrive) {
  robot.motorSpeed(0, 50);
  controller.advance(1000ms);
  EXPECT_FALSE(controller.motorsEnabled());
  EXPECT_DOUBLE_EQ(controller.motor(0).rpm, 0.0);

  runEnabled(1000ms);
  ASSERT_NEAR(controller.motor(0).rpm, 3000.0, 10.0);
  // Heartbeats stop (the last one 100 ms ago): the motor runs on until the timeout, then
  // coasts down, not at once.
  controller.advance(100ms);
  EXPECT_TRUE(controller.motorsEnabled());
  EXPECT_NEAR(controller.motor(0).rpm, 3000.0, 10.0);
  controller.advance(300ms);
  EXPECT_FALSE(controller.motorsEnabled());
  EXPECT_LT(controller.motor(0).rpm, 2900.0);
  EXPECT_GT(controller.motor(0).rpm, 1500.0);
  controller.advance(5000ms);
  EXPECT_LT(controller.motor(0).rpm, 1.0);

  // A disabled heartbeat stops driving at once, without waiting for the timeout.
  runEnabled(1000ms);
  robot.send(msg::Api::DisabledHeartbeat);
  EXPECT_FALSE(controller.motorsEnabled());
}

TEST_F(SimOrdexModel, BrakeStopsFasterThanDisableCoasts) {
  robot.motorSpeed(0, 80);
  robot.motorSpeed(1, 80);
  runEnabled(1000ms);
  robot.motorSpeed(0, 0);  // both flags: brake
  robot.send(msg::Api::DisableMotor, {1, 0, 0, 0, 0, 0, 0, 0});
  runEnabled(100ms);
  EXPECT_EQ(controller.motor(0).mode, OrdexDriveMode::Brake);
  EXPECT_EQ(controller.motor(1).mode, OrdexDriveMode::Coast);
  EXPECT_LT(controller.motor(0).rpm, 0.05 * 4800.0);
  EXPECT_GT(controller.motor(1).rpm, 0.7 * 4800.0);
  EXPECT_DOUBLE_EQ(controller.motor(1).targetRpm, 0.0);
}

TEST_F(SimOrdexModel, EncoderCountsRevolutionsAtItsResolution) {
  // Motor 1 counts 1000 a revolution, motor 0 the default. Both turn 50 rev/s (3000 rpm).
  robot.send(msg::Api::EncoderResolution, {1, 0xE8, 0x03, 0, 0, 0, 0, 0});
  robot.motorSpeed(0, 50);
  robot.motorSpeed(1, -50);
  runEnabled(1000ms);
  const auto before0 = controller.motor(0).encoderCount;
  const auto before1 = controller.motor(1).encoderCount;
  runEnabled(1000ms);
  EXPECT_EQ(controller.motor(0).countsPerRevolution, 2048);
  EXPECT_NEAR(controller.motor(0).encoderCount - before0, 50 * 2048, 50);
  EXPECT_EQ(controller.motor(1).countsPerRevolution, 1000);
  EXPECT_NEAR(controller.motor(1).encoderCount - before1, -50 * 1000, 25);

  robot.send(msg::Api::ResetEncoder, {0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(controller.motor(0).encoderCount, 0);
  EXPECT_NE(controller.motor(1).encoderCount, 0);

  // A set count is where the encoder counts on from.
  controller.setEncoderCount(1, 2147483000);  // near the top: the counter wraps
  EXPECT_EQ(controller.motor(1).encoderCount, 2147483000);
  robot.motorSpeed(1, 50);
  runEnabled(1000ms);
  EXPECT_LT(controller.motor(1).encoderCount, 0);
}

TEST_F(SimOrdexModel, RecordsSettingsAndIgnoresMotorsBeyondThree) {
  robot.send(msg::Api::ConfigureMotor, {2, 0x98, 0x3A, 0, 0, 0, 0, 0});  // 15000 Hz
  robot.send(msg::Api::CurrentLimit, {2, 0xDC, 0x05, 0, 0, 0, 0, 0});    // 15.00 A
  robot.send(msg::Api::CurrentLimitMode, {2, 1, 0, 0, 0, 0, 0, 0});
  robot.send(msg::Api::TargetDistance, {2, 0xFB, 0xFF, 0xFF, 0, 0, 0, 0});  // -5 in 24 bits
  robot.send(msg::Api::TargetAngle, {2, 0x5A, 0x23, 0, 0, 0, 0, 0});        // 90.50°
  robot.send(msg::Api::PositionHold, {2, 1, 0, 0, 0, 0, 0, 0});
  robot.motorSpeed(4, 100);
  robot.send(msg::Api::TargetVelocity, int32Payload(255, 100000));
  runEnabled(500ms);

  const auto motor = controller.motor(2);
  EXPECT_EQ(motor.frequency, 15000);
  EXPECT_DOUBLE_EQ(motor.currentLimitAmps, 15.0);
  EXPECT_TRUE(motor.currentLimitEnabled);
  EXPECT_EQ(motor.targetDistance, -5);
  ASSERT_TRUE(motor.targetAngleDegrees.has_value());
  EXPECT_DOUBLE_EQ(*motor.targetAngleDegrees, 90.5);
  EXPECT_TRUE(motor.positionHold);
  EXPECT_EQ(motor.mode, OrdexDriveMode::Coast);  // position targets are recorded, not driven
  for (int m = 0; m < 4; ++m) {
    EXPECT_DOUBLE_EQ(controller.motor(m).rpm, 0.0) << "motor " << m;
  }
  EXPECT_THROW((void)controller.motor(4), std::out_of_range);
  EXPECT_EQ(controller.receivedFrames().size(), 8U + 5U);  // and the heartbeats
}

TEST_F(SimOrdexModel, TemperatureRisesWithLoadUnlessOverridden) {
  EXPECT_DOUBLE_EQ(controller.temperature(), SimOrdex::kAmbientCelsius);
  runEnabled(10000ms);
  EXPECT_DOUBLE_EQ(controller.temperature(), SimOrdex::kAmbientCelsius);  // idle
  for (uint8_t m = 0; m < 4; ++m) {
    robot.motorSpeed(m, 100);
  }
  runEnabled(20000ms);
  EXPECT_GT(controller.temperature(), SimOrdex::kAmbientCelsius + 15.0);
  EXPECT_LT(controller.temperature(), SimOrdex::kAmbientCelsius + 40.0);

  controller.setTemperatureOverride(41.07);
  EXPECT_DOUBLE_EQ(controller.temperature(), 41.07);
  controller.setTemperatureOverride(std::nullopt);
  EXPECT_GT(controller.temperature(), SimOrdex::kAmbientCelsius + 15.0);
}

// --- Status frames ---------------------------------------------------------------------------

TEST_F(SimOrdexModel, StatusFramesCarryTheModelInTheirLayouts) {
  robot.send(msg::Api::ConfigureMotor, {1, 0xE8, 0x03, 0, 0, 0, 0, 0});  // 1000 Hz
  robot.motorSpeed(3, -50);
  runEnabled(2000ms);
  controller.publishNow();

  const auto rpm3 = robot.latest(msg::Api::MotorRPM, 3);
  const auto target3 = robot.latest(msg::Api::TargetRPM, 3);
  const auto count3 = robot.latest(msg::Api::EncoderCount, 3);
  const auto frequency = robot.latest(msg::Api::FrequencyStatus);
  ASSERT_TRUE(rpm3 && target3 && count3 && frequency);
  EXPECT_NEAR(int32At(*rpm3), -300000, 100);  // hundredths
  EXPECT_EQ(int32At(*target3), -300000);
  EXPECT_EQ(int32At(*count3), controller.motor(3).encoderCount);
  EXPECT_LT(int32At(*count3), -50000);
  EXPECT_EQ(*frequency, (msg::Frame{0xE8, 0x03, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(robot.latest(msg::Api::ControllerTemp).value_or(msg::Frame{})[0], 25);
}

TEST_F(SimOrdexModel, SetValuesAreReportedExactly) {
  controller.setRpmOverride(1, -1234.5);
  controller.setTargetRpmOverride(2, 777.77);
  controller.setEncoderCount(0, -42);
  controller.setLimitSwitch(2, true, true);
  controller.setLimitSwitch(0, false, true);
  controller.setTemperatureOverride(41.07);
  controller.setQuorinPosition(3, 12.34);
  controller.setQuorinPosition(0, 1000.0);  // beyond the frame: the largest it can say
  controller.setFrequencyOverride(20000);
  controller.publishNow();

  EXPECT_EQ(int32At(robot.latest(msg::Api::MotorRPM, 1).value()), -123450);
  EXPECT_EQ(int32At(robot.latest(msg::Api::TargetRPM, 2).value()), 77777);
  EXPECT_EQ(int32At(robot.latest(msg::Api::EncoderCount, 0).value()), -42);
  EXPECT_EQ(robot.latest(msg::Api::LimitSwitches).value(), (msg::Frame{1, 0, 0, 0, 0, 1, 0, 0}));
  EXPECT_EQ(robot.latest(msg::Api::ControllerTemp).value(), (msg::Frame{41, 7, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(robot.latest(msg::Api::QuorinPositions).value(),
            (msg::Frame{0xFF, 0xFF, 0, 0, 0, 0, 0xD2, 0x04}));
  EXPECT_EQ(robot.latest(msg::Api::FrequencyStatus).value(),
            (msg::Frame{0x20, 0x4E, 0, 0, 0, 0, 0, 0}));

  // Removing an override hands the report back to the model.
  controller.setRpmOverride(1, std::nullopt);
  controller.publishNow();
  EXPECT_EQ(int32At(robot.latest(msg::Api::MotorRPM, 1).value()), 0);
}

TEST_F(SimOrdexModel, ASilentMotorSendsNoneOfItsFrames) {
  controller.setMotorSilent(2, true);
  controller.publishNow();
  for (int m = 0; m < 4; ++m) {
    const bool expected = m != 2;
    EXPECT_EQ(robot.latest(msg::Api::MotorRPM, m).has_value(), expected) << "motor " << m;
    EXPECT_EQ(robot.latest(msg::Api::EncoderCount, m).has_value(), expected) << "motor " << m;
    EXPECT_EQ(robot.latest(msg::Api::TargetRPM, m).has_value(), expected) << "motor " << m;
  }
  EXPECT_TRUE(robot.latest(msg::Api::LimitSwitches).has_value());

  halvern::test::resetSimulation();
  controller.setMotorSilent(2, false);
  controller.publishNow();
  EXPECT_TRUE(robot.latest(msg::Api::MotorRPM, 2).has_value());
}

TEST_F(SimOrdexModel, AStatusSilentControllerStillAnswersRequests) {
  controller.setStatusSilent(true);
  controller.publishNow();
  robot.send(msg::Api::IdentityRequest);
  for (int api : {36, 37, 41, 45, 47, 48, 12}) {
    EXPECT_FALSE(robot.latest(api).has_value()) << "API " << api;
  }
  EXPECT_EQ(robot.latest(msg::Api::IdentityReply).value_or(msg::Frame{})[0], kDevice);
}

}  // namespace

// The bytes of every Ordex payload and the decoding of every reading, without a bus.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ordex/OrdexMessages.h"

namespace {

using namespace halvern::ordex;  // NOLINT(google-build-using-namespace)

Frame bytes(std::initializer_list<uint8_t> values) {
  Frame frame{};
  std::copy(values.begin(), values.end(), frame.begin());
  return frame;
}

TEST(OrdexIdentifiers, FollowTheRobotCanLayout) {
  EXPECT_EQ(ordexMessageId(Api::MotorSpeed, 5), 0x020C0085U);
  EXPECT_EQ(ordexMessageId(Api::EnabledHeartbeat, 5), 0x020C0045U);
  EXPECT_EQ(ordexMessageId(Api::DisabledHeartbeat, 12), 0x020C000CU);
  EXPECT_EQ(ordexMessageId(Api::EnabledHeartbeat, 12), 0x020C004CU);
  EXPECT_EQ(messageBase(Api::AutotuneMotor), 0x020C06C0U);
  EXPECT_EQ(messageBase(Api::CANSensorOsDelay), 0x020C0680U);
  EXPECT_EQ(ordexMessageId(Api::ConfigureMotor, 0), 0x020C0280U);
}

TEST(OrdexIdentifiers, ChannelsOutsideOneToThreeSelectTheFirstMessage) {
  EXPECT_EQ(channelApi(Api::MotorRPM, 0), 41);
  EXPECT_EQ(channelApi(Api::MotorRPM, 3), 44);
  EXPECT_EQ(channelApi(Api::MotorRPM, 7), 41);
  EXPECT_EQ(channelApi(Api::EncoderCount, -1), 37);
  EXPECT_EQ(channelApi(Api::TargetRPM, 2), 50);
}

TEST(OrdexPayloads, MotorSpeedFlagsAndDuty) {
  EXPECT_EQ(motorSpeedPayload(1, 0.5), bytes({1, 50, 1, 0}));
  EXPECT_EQ(motorSpeedPayload(1, -2.0), bytes({1, 100, 0, 1}));
  EXPECT_EQ(motorSpeedPayload(1, 0.0), bytes({1, 0, 1, 1}));
  EXPECT_EQ(motorSpeedPayload(1, 0.999), bytes({1, 99, 1, 0}));
  EXPECT_EQ(motorSpeedPayload(2, 3.0), bytes({2, 100, 1, 0}));
  // Not a number counts as reverse at zero duty rather than an undefined conversion.
  EXPECT_EQ(motorSpeedPayload(0, std::nan("")), bytes({0, 0, 0, 1}));
}

TEST(OrdexPayloads, ConfigureMotorCarriesTheLowSixteenBitsOfTheFrequency) {
  EXPECT_EQ(configureMotorPayload(3, 15000), bytes({3, 0x98, 0x3A}));
  EXPECT_EQ(configureMotorPayload(0, 0x12345), bytes({0, 0x45, 0x23}));
}

TEST(OrdexPayloads, TargetVelocityRoundsHalfAwayFromZero) {
  EXPECT_EQ(targetVelocityPayload(0, 12.345F), bytes({0, 0xD3, 0x04, 0x00, 0x00}));
  EXPECT_EQ(targetVelocityPayload(0, -12.345F), bytes({0, 0x2D, 0xFB, 0xFF, 0xFF}));
  EXPECT_EQ(targetVelocityPayload(-1, 1.0F), bytes({255, 100, 0, 0, 0}));
  EXPECT_EQ(targetVelocityPayload(1, std::numeric_limits<float>::infinity()),
            bytes({1, 0xFF, 0xFF, 0xFF, 0x7F}));
  EXPECT_EQ(targetVelocityPayload(1, std::nanf("")), bytes({1}));
}

TEST(OrdexPayloads, TargetDistanceKeepsTwentyFourBits) {
  EXPECT_EQ(targetDistancePayload(2, 0x12345678), bytes({2, 0x78, 0x56, 0x34, 0}));
  EXPECT_EQ(targetDistancePayload(2, -1), bytes({2, 0xFF, 0xFF, 0xFF, 0}));
}

TEST(OrdexPayloads, TargetAngleIsClampedAndInHundredths) {
  EXPECT_EQ(targetAnglePayload(0, 400.0), bytes({0, 0xA0, 0x8C}));  // 36000
  EXPECT_EQ(targetAnglePayload(0, -5.0), bytes({0, 0, 0}));
  EXPECT_EQ(targetAnglePayload(0, 90.129), bytes({0, 0x34, 0x23}));  // 9012
}

TEST(OrdexPayloads, CurrentLimitIsNonNegativeHundredthsLowSixteenBits) {
  EXPECT_EQ(currentLimitPayload(1, 12.5F), bytes({1, 0xE2, 0x04}));  // 1250
  EXPECT_EQ(currentLimitPayload(1, -3.0F), bytes({1, 0, 0}));
  EXPECT_EQ(currentLimitPayload(1, 1000.0F), bytes({1, 0xA0, 0x86}));  // 100000 & 0xFFFF
}

TEST(OrdexPayloads, SmallSettings) {
  EXPECT_EQ(pidTypePayload(kAllMotors, 2), bytes({255, 2, 195}));
  EXPECT_EQ(pidTypePayload(1, 0), bytes({1, 0, 195}));
  EXPECT_EQ(sensorDelayPayload(0), bytes({5, 0}));
  EXPECT_EQ(sensorDelayPayload(1000), bytes({0xE8, 0x03}));
  EXPECT_EQ(currentLimitModePayload(3, 7), bytes({3, 1}));
  EXPECT_EQ(currentLimitModePayload(3, 0), bytes({3, 0}));
  EXPECT_EQ(positionHoldPayload(2, true), bytes({2, 1}));
  EXPECT_EQ(encoderResolutionPayload(1, 0xABCD), bytes({1, 0xCD, 0xAB}));
  EXPECT_EQ(sensitivityPayload(0, 10), bytes({0, 10}));
  EXPECT_EQ(motorStopModePayload(1), bytes({1}));
  EXPECT_EQ(channelPayload(-1), bytes({255}));
}

TEST(OrdexDecoding, Readings) {
  EXPECT_DOUBLE_EQ(decodeTemperature(bytes({36, 25})), 36.25);
  EXPECT_DOUBLE_EQ(decodeHundredths(bytes({0x18, 0xFC, 0xFF, 0xFF})), -10.0);
  EXPECT_EQ(decodeInt32(bytes({0x18, 0xFC, 0xFF, 0xFF})), -1000);
  EXPECT_EQ(decodeUint32(bytes({0xCD, 0xAB, 0x12, 0x00})), 0x0012ABCDU);
  const Frame switches = bytes({0, 1, 0, 0, 0, 0, 5, 0});
  EXPECT_FALSE(decodeLimitSwitch(switches, 0, false));
  EXPECT_TRUE(decodeLimitSwitch(switches, 0, true));
  EXPECT_TRUE(decodeLimitSwitch(switches, 3, false));
  EXPECT_DOUBLE_EQ(decodeQuorinPosition(bytes({0, 0, 0, 0, 0x10, 0x27}), 2), 100.0);
}

TEST(OrdexTexts, IdentityAndSerialNumber) {
  EXPECT_EQ(firmwareVersionText(bytes({5, 2, 1, 7})), "Firmware Version: [2.1.7]");
  EXPECT_EQ(firmwareVersionText(bytes({5, 255, 0, 10})), "Firmware Version: [255.0.10]");
  EXPECT_EQ(hardwareVersionText(bytes({5, 0, 0, 0, 1, 3})), "Hardware: Ordex Quad, Version: 3");
  EXPECT_EQ(hardwareVersionText(bytes({5, 0, 0, 0, 2, 12})), "Hardware: Ordex Small, Version: 12");
  EXPECT_EQ(hardwareVersionText(bytes({5, 0, 0, 0, 3, 1})), "No Hardware Found!");
  EXPECT_EQ(serialNumberText({0x0012ABCD, 0, 0xFFFFFFFF}), "0012ABCD-00000000-FFFFFFFF");
}

// The controller's side of each frame against the library's: what one writes the other reads.

TEST(OrdexRoundTrip, CommandsTheLibrarySendsReadBackOnTheControllersSide) {
  EXPECT_EQ(decodeMotorSpeed(motorSpeedPayload(2, 0.42)),
            (MotorSpeedCommand{.duty = 42, .forward = true, .reverse = false}));
  EXPECT_EQ(decodeMotorSpeed(motorSpeedPayload(2, -1.0)),
            (MotorSpeedCommand{.duty = 100, .forward = false, .reverse = true}));
  EXPECT_EQ(decodeMotorSpeed(motorSpeedPayload(2, 0.0)),
            (MotorSpeedCommand{.duty = 0, .forward = true, .reverse = true}));
  EXPECT_EQ(decodeChannel(motorSpeedPayload(3, 0.5)), 3);

  EXPECT_EQ(decodeChannelUint16(configureMotorPayload(1, 20000)), 20000);
  EXPECT_EQ(decodeChannelUint16(encoderResolutionPayload(1, 4096)), 4096);
  EXPECT_DOUBLE_EQ(decodeTargetVelocity(targetVelocityPayload(0, 1234.56F)), 1234.56);
  EXPECT_DOUBLE_EQ(decodeTargetVelocity(targetVelocityPayload(0, -250.25F)), -250.25);
  EXPECT_DOUBLE_EQ(decodeChannelHundredths(currentLimitPayload(0, 12.5F)), 12.5);
  EXPECT_DOUBLE_EQ(decodeChannelHundredths(targetAnglePayload(0, 90.25)), 90.25);
  for (const int32_t distance : {0, 1, -1, 0x7FFFFF, -0x800000}) {
    EXPECT_EQ(decodeTargetDistance(targetDistancePayload(0, distance)), distance) << distance;
  }
  EXPECT_TRUE(decodeChannelFlag(currentLimitModePayload(0, 7)));
  EXPECT_FALSE(decodeChannelFlag(currentLimitModePayload(0, 0)));
  EXPECT_TRUE(decodeChannelFlag(positionHoldPayload(0, true)));
  EXPECT_FALSE(decodeChannelFlag(positionHoldPayload(0, false)));
}

TEST(OrdexRoundTrip, IdentifiersReadBackTheirApi) {
  EXPECT_EQ(messageApi(ordexMessageId(Api::TargetVelocity, 33)), Api::TargetVelocity);
  EXPECT_EQ(messageApi(ordexMessageId(Api::EnabledHeartbeat, 1)), Api::EnabledHeartbeat);
  for (int8_t channel = 0; channel < kChannelCount; ++channel) {
    EXPECT_EQ(apiNumber(messageApi(channelMessageId(Api::MotorRPM, channel, 9))),
              channelApi(Api::MotorRPM, channel));
    EXPECT_EQ(channelMessageId(Api::EncoderCount, channel, 9) & 0x3FU, 9U);
  }
}

TEST(OrdexRoundTrip, StatusFramesTheControllerSendsReadBackInTheLibrary) {
  EXPECT_DOUBLE_EQ(decodeHundredths(hundredthsPayload(-1234.56)), -1234.56);
  EXPECT_DOUBLE_EQ(decodeHundredths(hundredthsPayload(6000.0)), 6000.0);
  EXPECT_DOUBLE_EQ(decodeHundredths(hundredthsPayload(1e300)),
                   std::numeric_limits<int32_t>::max() / 100.0);
  EXPECT_DOUBLE_EQ(decodeHundredths(hundredthsPayload(std::nan(""))), 0.0);
  EXPECT_EQ(decodeInt32(uint32Payload(static_cast<uint32_t>(-123456))), -123456);
  EXPECT_EQ(decodeUint32(uint32Payload(0xFFFFFFFFU)), 0xFFFFFFFFU);
  EXPECT_EQ(decodeUint16(frequencyPayload(15000)), 15000);

  EXPECT_DOUBLE_EQ(decodeTemperature(temperaturePayload(37.25)), 37.25);
  EXPECT_DOUBLE_EQ(decodeTemperature(temperaturePayload(300.0)), 255.99);
  EXPECT_DOUBLE_EQ(decodeTemperature(temperaturePayload(-4.0)), 0.0);

  std::array<bool, 2 * kChannelCount> switches{};
  switches[3] = true;  // motor 1, second direction
  switches[6] = true;  // motor 3, first direction
  const Frame switchFrame = limitSwitchesPayload(switches);
  for (int8_t motor = 0; motor < kChannelCount; ++motor) {
    for (const bool direction : {false, true}) {
      EXPECT_EQ(decodeLimitSwitch(switchFrame, motor, direction),
                switches.at(2 * static_cast<std::size_t>(motor) + (direction ? 1 : 0)));
    }
  }

  const Frame quorin = quorinPositionsPayload({0, 1, 32768, 65535});
  EXPECT_DOUBLE_EQ(decodeQuorinPosition(quorin, 1), 0.01);
  EXPECT_DOUBLE_EQ(decodeQuorinPosition(quorin, 2), 327.68);
  EXPECT_DOUBLE_EQ(decodeQuorinPosition(quorin, 3), 655.35);
}

TEST(OrdexRoundTrip, TheIdentityReplyReadsAsItsTexts) {
  const Frame reply = identityReplyPayload(
      {.deviceNumber = 7, .firmware = {1, 4, 2}, .hardwareKind = 2, .hardwareVersion = 3});
  EXPECT_TRUE(isValidIdentity(reply));
  EXPECT_EQ(firmwareVersionText(reply), "Firmware Version: [1.4.2]");
  EXPECT_EQ(hardwareVersionText(reply), "Hardware: Ordex Small, Version: 3");
  EXPECT_FALSE(isValidIdentity(identityReplyPayload({.deviceNumber = 0})));
}

}  // namespace

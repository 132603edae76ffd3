// The Ordex C operations against the simulated bus: the exact frames they send and how they
// decode what the controller reports.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "SimOrdex.h"
#include "SimCanBus.h"
#include "TestPlatform.h"
#include "halvern/Ordex.h"

namespace {

using Bytes = std::array<uint8_t, 8>;
constexpr uint32_t kExactId = 0x1FFFFFFF;
constexpr int32_t kDevice = 5;

uint32_t idFor(uint32_t api, uint32_t device = kDevice) { return 0x020C0000U + api * 64U + device; }

class OrdexOperations : public testing::Test {
 protected:
  void SetUp() override {
    halvern::test::resetSimulation();
    handle = c_Ordex_create(kDevice, 1000);
    ASSERT_NE(handle, 0);
    halvern::sim::clearSentFrames();
  }
  void TearDown() override {
    c_Ordex_destroy(handle);
    halvern::test::resetSimulation();
  }

  // Payloads of the frames sent with one API number to the device, oldest first.
  static std::vector<Bytes> sent(uint32_t api, uint32_t device = kDevice) {
    std::vector<Bytes> payloads;
    for (const auto& frame : halvern::sim::sentFrames(idFor(api, device), kExactId)) {
      EXPECT_EQ(frame.length, 8);
      payloads.push_back(frame.data);
    }
    return payloads;
  }
  static std::vector<Bytes> takeSent(uint32_t api) {
    auto payloads = sent(api);
    halvern::sim::clearSentFrames();
    return payloads;
  }
  // The controller reports a message.
  static void report(uint32_t api, const std::vector<uint8_t>& bytes) {
    halvern::sim::transmitToRobot(idFor(api), bytes);
  }

  int32_t handle = 0;
};

using Sent = std::vector<Bytes>;

TEST_F(OrdexOperations, MotorSpeedDutyAndDirection) {
  c_Ordex_setMotorSpeed(handle, 1, 0.5);
  EXPECT_EQ(takeSent(2), (Sent{{1, 50, 1, 0}}));
  c_Ordex_setMotorSpeed(handle, 1, -2.0);
  EXPECT_EQ(takeSent(2), (Sent{{1, 100, 0, 1}}));
  c_Ordex_setMotorSpeed(handle, 1, 0.0);
  EXPECT_EQ(takeSent(2), (Sent{{1, 0, 1, 1}}));
  c_Ordex_setMotorSpeed(handle, 3, 0.999);
  EXPECT_EQ(takeSent(2), (Sent{{3, 99, 1, 0}}));
  c_Ordex_setMotorSpeed(handle, 4, 0.5);
  c_Ordex_setMotorSpeed(handle, -1, 0.5);
  EXPECT_TRUE(takeSent(2).empty());
}

TEST_F(OrdexOperations, TargetsKeepNegativeMotorsButNotMotorsAboveThree) {
  c_Ordex_setTargetVelocity(handle, 0, 12.345F);
  c_Ordex_setTargetVelocity(handle, 0, -12.345F);
  c_Ordex_setTargetVelocity(handle, -1, 1.0F);
  c_Ordex_setTargetVelocity(handle, 4, 1.0F);
  EXPECT_EQ(sent(16), (Sent{{0, 0xD3, 0x04, 0, 0}, {0, 0x2D, 0xFB, 0xFF, 0xFF}, {255, 100}}));

  c_Ordex_autotuneMotor(handle, -1);
  c_Ordex_autotuneMotor(handle, 4);
  EXPECT_TRUE(sent(27).empty());
  c_Ordex_autotuneMotor(handle, 2);
  EXPECT_EQ(sent(27), (Sent{{2}}));

  c_Ordex_setTargetAngle(handle, 1, 400.0);
  c_Ordex_setTargetAngle(handle, 1, -5.0);
  c_Ordex_setTargetAngle(handle, 7, 10.0);
  EXPECT_EQ(sent(23), (Sent{{1, 0xA0, 0x8C}, {1, 0, 0}}));

  c_Ordex_setTargetDistance(handle, 2, 0x01234567);
  EXPECT_EQ(sent(17), (Sent{{2, 0x67, 0x45, 0x23, 0}}));
  c_Ordex_setPositionHold(handle, 3, true);
  c_Ordex_setPositionHold(handle, 3, false);
  EXPECT_EQ(sent(24), (Sent{{3, 1}, {3, 0}}));
}

TEST_F(OrdexOperations, ConfigurationLimits) {
  c_Ordex_setCurrentLimit(handle, 0, 12.5F);
  c_Ordex_setCurrentLimit(handle, 0, -1.0F);
  EXPECT_EQ(sent(14), (Sent{{0, 0xE2, 0x04}, {0, 0, 0}}));

  c_Ordex_setCANSensorOsDelay(handle, 0);
  c_Ordex_setCANSensorOsDelay(handle, 1000);
  EXPECT_EQ(sent(26), (Sent{{5, 0}, {0xE8, 0x03}}));

  c_Ordex_setPIDType(handle, 3);
  c_Ordex_setPIDType(handle, 2);
  c_Ordex_setMotorPIDType(handle, -1, 1);
  c_Ordex_setMotorPIDType(handle, 1, 3);
  c_Ordex_setMotorPIDType(handle, 1, 1);
  EXPECT_EQ(sent(20), (Sent{{255, 2, 195}, {1, 1, 195}}));

  c_Ordex_setSensitivity(handle, 0, 11);
  c_Ordex_setSensitivity(handle, 0, 10);
  c_Ordex_setSensitivity(handle, 4, 1);
  EXPECT_EQ(sent(22), (Sent{{0, 10}}));

  c_Ordex_setCurrentLimitMode(handle, 2, 9);
  c_Ordex_setEncoderResolution(handle, 2, 4096);
  c_Ordex_setMotorStopMode(handle, 1);
  c_Ordex_configureMotor(handle, 7, 0x12345);
  c_Ordex_disableMotor(handle, 2);
  c_Ordex_resetEncoder(handle, 3);
  c_Ordex_autotuneAll(handle);
  EXPECT_EQ(sent(19), (Sent{{2, 1}}));
  EXPECT_EQ(sent(18), (Sent{{2, 0x00, 0x10}}));
  EXPECT_EQ(sent(15), (Sent{{1}}));
  EXPECT_EQ(sent(10), (Sent{{7, 0x45, 0x23}}));
  EXPECT_EQ(sent(3), (Sent{{2}}));
  EXPECT_EQ(sent(13), (Sent{{3}}));
  EXPECT_EQ(sent(21), (Sent{{}}));
}

TEST_F(OrdexOperations, AnUnregisteredHandleSendsToDeviceZero) {
  c_Ordex_setMotorSpeed(424242, 0, 1.0);
  EXPECT_EQ(sent(2, 0), (Sent{{0, 100, 1, 0}}));
}

TEST_F(OrdexOperations, ReadingsDecodeWhatTheControllerReported) {
  EXPECT_DOUBLE_EQ(c_Ordex_getRPM(handle, 2), 0.0);  // never reported
  report(41 + 2, {0x18, 0xFC, 0xFF, 0xFF});
  EXPECT_DOUBLE_EQ(c_Ordex_getRPM(handle, 2), -10.0);
  EXPECT_DOUBLE_EQ(c_Ordex_getEncoderSpeed(handle, 2), -10.0);
  report(41, {0x10, 0x27});
  EXPECT_DOUBLE_EQ(c_Ordex_getRPM(handle, 7), 100.0);  // channel 7 reads motor 0

  report(47, {36, 25});
  EXPECT_DOUBLE_EQ(c_Ordex_getControllerTemp(handle), 36.25);
  report(12, {0x98, 0x3A});
  EXPECT_EQ(c_Ordex_getFrequency(handle), 15000);

  report(37 + 1, {0xFF, 0xFF, 0xFF, 0xFF});
  EXPECT_EQ(c_Ordex_getEncoderCount(handle, 1), -1);
  EXPECT_DOUBLE_EQ(c_Ordex_getEncoderRaw(handle, 1), -1.0);

  report(45, {0, 1, 0, 0, 0, 0, 1, 0});
  EXPECT_FALSE(c_Ordex_getLimitSwitch(handle, 0, false));
  EXPECT_TRUE(c_Ordex_getLimitSwitch(handle, 0, true));
  EXPECT_TRUE(c_Ordex_getLimitSwitch(handle, 3, false));
  EXPECT_FALSE(c_Ordex_getLimitSwitch(handle, 4, false));  // beyond the frame: no read
  EXPECT_FALSE(c_Ordex_getLimitSwitch(handle, -1, true));

  report(36, {0, 0, 0x10, 0x27, 0, 0, 0x39, 0x30});
  EXPECT_DOUBLE_EQ(c_Ordex_getQuorinPosition(handle, 1), 100.0);
  EXPECT_DOUBLE_EQ(c_Ordex_getQuorinPosition(handle, 3), 123.45);
  EXPECT_DOUBLE_EQ(c_Ordex_getQuorinPosition(handle, 4), 0.0);
}

TEST_F(OrdexOperations, EncoderScaleIsSharedByEveryController) {
  halvern::sim::SimOrdex other(6, {.timing = halvern::sim::OrdexTiming::Manual});
  const int32_t second = c_Ordex_create(6, 1000);
  ASSERT_NE(second, 0);
  report(37 + 2, {100});
  halvern::sim::transmitToRobot(idFor(37 + 2, 6), std::vector<uint8_t>{50});

  c_Ordex_setEncoder(handle, 2, 0.5);
  c_Ordex_setEncoder(handle, 4, 9.0);  // no such encoder: changes nothing
  c_Ordex_setEncoder(handle, -1, 9.0);
  EXPECT_DOUBLE_EQ(c_Ordex_getEncoderDistance(handle, 2), 50.0);
  EXPECT_DOUBLE_EQ(c_Ordex_getEncoderDistance(second, 2), 25.0);
  EXPECT_DOUBLE_EQ(c_Ordex_getEncoderDistance(handle, 4), 0.0);
  EXPECT_DOUBLE_EQ(c_Ordex_getEncoderRaw(handle, 2), 100.0);  // raw is unscaled
  c_Ordex_setEncoder(0, 2, 1.0);
  EXPECT_DOUBLE_EQ(c_Ordex_getEncoderDistance(second, 2), 50.0);
  c_Ordex_destroy(second);
}

TEST_F(OrdexOperations, TryGetReportsWhetherTheControllerAnswered) {
  double rpm = 42.0;
  EXPECT_FALSE(c_Ordex_tryGetRPM(handle, 1, &rpm));
  EXPECT_EQ(rpm, 0.0);
  EXPECT_FALSE(c_Ordex_tryGetRPM(handle, 1, nullptr));
  report(41, {0xE8, 0x03});
  EXPECT_TRUE(c_Ordex_tryGetRPM(handle, 4, &rpm));  // motor 4 reads motor 0
  EXPECT_DOUBLE_EQ(rpm, 10.0);

  rpm = 42.0;
  report(48, {0x10, 0x27});
  EXPECT_FALSE(c_Ordex_tryGetTargetRPM(handle, 4, &rpm));
  EXPECT_EQ(rpm, 42.0);  // untouched
  EXPECT_TRUE(c_Ordex_tryGetTargetRPM(handle, 0, &rpm));
  EXPECT_DOUBLE_EQ(rpm, 100.0);

  report(48 + 2, {0x20, 0x4E});
  std::array<double, 4> targets{9, 9, 9, 9};
  EXPECT_FALSE(c_Ordex_getTargetRPMFromDevice(handle, targets.data()));
  EXPECT_EQ(targets, (std::array<double, 4>{100.0, 0.0, 200.0, 0.0}));
  report(48 + 1, {0x64});
  report(48 + 3, {0x9C, 0xFF, 0xFF, 0xFF});
  EXPECT_TRUE(c_Ordex_getTargetRPMFromDevice(handle, targets.data()));
  EXPECT_EQ(targets, (std::array<double, 4>{100.0, 1.0, 200.0, -1.0}));
  EXPECT_FALSE(c_Ordex_getTargetRPMFromDevice(handle, nullptr));
}

TEST_F(OrdexOperations, SerialNumberAsksAndFormatsThreeWords) {
  halvern::sim::SimOrdex controller(kDevice, {.timing = halvern::sim::OrdexTiming::Manual});
  controller.setSerialWords({0x0012ABCD, 0, 0xFFFFFFFF});
  EXPECT_EQ(c_Ordex_getSerialNumber(handle), "0012ABCD-00000000-FFFFFFFF");
  EXPECT_EQ(sent(6), (Sent{{}}));
  controller.setSerialWords({1, 0xDEADBEEF, 0x80000000});
  EXPECT_EQ(c_Ordex_getSerialNumber(handle), "00000001-DEADBEEF-80000000");
}

TEST_F(OrdexOperations, SerialWordsThatDoNotArriveReadAsZeros) {
  report(7, {0x01});
  report(8, {0x02});
  report(9, {0x03});
  EXPECT_EQ(c_Ordex_getSerialNumber(handle), "00000001-00000002-00000003");
  // Nothing new arrived since: the words are not read twice.
  EXPECT_EQ(c_Ordex_getSerialNumber(handle), "00000000-00000000-00000000");
}

TEST_F(OrdexOperations, IdentityTextsComeFromTheCache) {
  report(5, {kDevice, 3, 0, 12, 7, 1});
  // The reply is already there: the first identity call asks once and caches it.
  EXPECT_EQ(c_Ordex_getHardwareVersion(handle), "No Hardware Found!");
  EXPECT_EQ(c_Ordex_getFirmwareVersion(handle), "Firmware Version: [3.0.12]");
  EXPECT_EQ(c_Ordex_getID(handle), kDevice);
  EXPECT_EQ(sent(4).size(), 1U);
}

}  // namespace

// The colour sensor on the simulated CAN bus, through the library's C face.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "OwnedHandle.h"
#include "SensorOnCan.h"
#include "SimCanBus.h"
#include "SimIridel.h"
#include "TestPlatform.h"
#include "halvern/Iridel.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using halvern::sim::SimIridelCan;
using Bytes = std::vector<uint8_t>;

using Sensor = halvern::test::OwnedHandle<c_Iridel_destroy>;

class IridelCan
    : public halvern::test::SensorOnCan<SimIridelCan, c_Iridel_create, c_Iridel_destroy, 7> {
 protected:
  // The last command the simulated sensor received, if it has the code.
  Bytes lastPayload(uint8_t code) const {
    const auto commands = device.commands();
    if (commands.empty() || commands.back().code != code) {
      return {};
    }
    return commands.back().payload;
  }

};

std::pair<Sensor, std::string> createCapturing(int canId) {
  testing::internal::CaptureStdout();
  Sensor sensor(c_Iridel_create(canId));
  return {std::move(sensor), testing::internal::GetCapturedStdout()};
}

TEST(IridelCanCreation, ChecksTheCanIdAndTheStreamSession) {
  halvern::test::resetSimulation();
  for (const int bad : {64, -1}) {
    const auto [sensor, printed] = createCapturing(bad);
    EXPECT_EQ(sensor, nullptr);
    EXPECT_EQ(printed, "[Iridel] CAN ID " + std::to_string(bad) + " is out of range (0 - 63)\n");
  }
  for (const int good : {0, 63}) {
    const auto [sensor, printed] = createCapturing(good);
    ASSERT_NE(sensor, nullptr);
    EXPECT_EQ(printed, "");
    EXPECT_EQ(c_Iridel_getCanID(sensor.get()), good);
    EXPECT_EQ(c_Iridel_getTransport(sensor.get()), 0);
  }
  EXPECT_EQ(halvern::sim::openStreamSessionCount(), 0);  // destroyed sensors closed theirs
}

TEST(IridelCanCreation, ReportsARefusedStreamSession) {
  HALVERN_NEEDS_STANDIN();
  halvern::test::resetSimulation();
  halvern::test::setStreamOpenStatus(-44088);
  const auto [refused, printed] = createCapturing(5);
  EXPECT_EQ(refused, nullptr);
  EXPECT_EQ(printed, "[Iridel] Failed to open CAN stream session (status -44088)\n");
  EXPECT_EQ(halvern::sim::openStreamSessionCount(), 0);
  halvern::test::resetSimulation();
}

// What a failed create returns must not crash the robot program when it is used.
TEST(IridelNullHandle, EveryOperationAnswersWithoutTouchingADevice) {
  halvern::test::resetSimulation();
  ColorData color{7, 1.0F, 2.0F, 3.0F, true};
  EXPECT_EQ(c_Iridel_getColor(nullptr, &color), &color);
  EXPECT_FALSE(color.valid);
  EXPECT_EQ(color.sequence, 0);
  EXPECT_EQ(color.x, 0.0F);
  EXPECT_EQ(c_Iridel_getColor(nullptr, nullptr), nullptr);
  uint32_t value = 5;
  EXPECT_FALSE(c_Iridel_setColorFormat(nullptr, 4));
  EXPECT_FALSE(c_Iridel_setSampleTimeMs(nullptr, 10));
  EXPECT_FALSE(c_Iridel_setBrightness(nullptr, 10));
  EXPECT_FALSE(c_Iridel_setStatusLed(nullptr, true, 10));
  EXPECT_FALSE(c_Iridel_setMeasureMode(nullptr, 0, 0.0F));
  EXPECT_FALSE(c_Iridel_setZmm(nullptr, 1.0F));
  EXPECT_FALSE(c_Iridel_setUsbOverride(nullptr, true));
  EXPECT_FALSE(c_Iridel_setCanId(nullptr, 3));
  EXPECT_FALSE(c_Iridel_getConfig(nullptr, 1, &value));
  EXPECT_EQ(value, 5U);
  EXPECT_EQ(c_Iridel_getCanID(nullptr), -1);
  EXPECT_EQ(c_Iridel_getTransport(nullptr), -1);
  c_Iridel_destroy(nullptr);
  EXPECT_TRUE(halvern::sim::sentFrames(0, 0).empty());
}

TEST_F(IridelCan, ColorFramesAreScaledByTenThousand) {
  ColorData color{};
  EXPECT_FALSE(c_Iridel_getColor(sensor.get(), &color)->valid);
  device.sendColor(0x1234, -1.0F, 0.0F, 1.0F);
  EXPECT_EQ(c_Iridel_getColor(sensor.get(), &color), &color);
  EXPECT_TRUE(color.valid);
  EXPECT_EQ(color.sequence, 0x1234);
  EXPECT_FLOAT_EQ(color.x, -1.0F);
  EXPECT_FLOAT_EQ(color.y, 0.0F);
  EXPECT_FLOAT_EQ(color.z, 1.0F);

  halvern::sim::transmitToRobot(0x04090540, Bytes{1, 0, 2, 0, 3, 0, 4});  // one byte short
  EXPECT_FALSE(c_Iridel_getColor(sensor.get(), &color)->valid);
}

TEST_F(IridelCan, CommandsSendTheirPayloadsAndSucceedOnAReply) {
  EXPECT_TRUE(c_Iridel_setMeasureMode(sensor.get(), 2, 1.5F));
  EXPECT_EQ(lastPayload(18), (Bytes{0x02, 0x00, 0x00, 0x00, 0xC0, 0x3F}));
  EXPECT_TRUE(c_Iridel_setBrightness(sensor.get(), 150));
  EXPECT_EQ(lastPayload(21), (Bytes{100}));
  EXPECT_TRUE(c_Iridel_setSampleTimeMs(sensor.get(), 70000));
  EXPECT_EQ(lastPayload(20), (Bytes{0xFF, 0xFF}));
  EXPECT_TRUE(c_Iridel_setSampleTimeMs(sensor.get(), -5));
  EXPECT_EQ(lastPayload(20), (Bytes{0, 0}));
  EXPECT_TRUE(c_Iridel_setColorFormat(sensor.get(), 2));
  EXPECT_EQ(lastPayload(19), (Bytes{2}));
  EXPECT_TRUE(c_Iridel_setStatusLed(sensor.get(), true, 40));
  EXPECT_EQ(lastPayload(23), (Bytes{1, 40}));
  EXPECT_TRUE(c_Iridel_setUsbOverride(sensor.get(), false));
  EXPECT_EQ(lastPayload(22), (Bytes{0}));
  EXPECT_TRUE(c_Iridel_setZmm(sensor.get(), 1.5F));
  EXPECT_EQ(lastPayload(25), (Bytes{0x00, 0x00, 0xC0, 0x3F}));
  EXPECT_TRUE(c_Iridel_setCanId(sensor.get(), 12));
  EXPECT_EQ(lastPayload(24), (Bytes{12, 0, 0, 0}));
  EXPECT_EQ(c_Iridel_getCanID(sensor.get()), 7);  // the object keeps its own

  const std::size_t sent = device.commands().size();
  EXPECT_FALSE(c_Iridel_setMeasureMode(sensor.get(), 3, 1.0F));
  EXPECT_FALSE(c_Iridel_setColorFormat(sensor.get(), 5));
  EXPECT_EQ(device.commands().size(), sent);
}

TEST_F(IridelCan, ConfigValuesAreUnsignedAndDeliveredEvenOnAFailedStatus) {
  uint32_t value = 0;
  device.setConfigValue(4000000000U);
  EXPECT_TRUE(c_Iridel_getConfig(sensor.get(), 0x105, &value));
  EXPECT_EQ(lastPayload(26), (Bytes{0x05}));
  EXPECT_EQ(value, 4000000000U);
  EXPECT_FALSE(c_Iridel_getConfig(sensor.get(), 1, nullptr));

  device.setReplyStatus(3);
  device.setConfigValue(77);
  EXPECT_FALSE(c_Iridel_getConfig(sensor.get(), 1, &value));
  EXPECT_EQ(value, 77U);
  EXPECT_FALSE(c_Iridel_setBrightness(sensor.get(), 10));
}

TEST_F(IridelCan, RepliesAreFoundWhileColourFramesOverflowTheStream) {
  // More frames than the session holds arrive between commands; the reply still counts. The
  // test sends them itself: a stream at a fixed rate would push the reply out of the session
  // whenever a busy machine left the command unscheduled for a few dozen frames.
  uint16_t sequence = 0;
  for (int i = 0; i < 5; ++i) {
    for (int frame = 0; frame < 100; ++frame) {
      device.sendColor(sequence++, 0.1F, 0.2F, 0.3F);
    }
    EXPECT_TRUE(c_Iridel_setBrightness(sensor.get(), 10 + i));
  }
}

TEST_F(IridelCan, AnUnansweredCommandTimesOutAfterHalfASecond) {
  for (const auto replies : {SimIridelCan::Replies::Silent, SimIridelCan::Replies::OtherCode}) {
    device.setReplies(replies);
    const auto start = Clock::now();
    EXPECT_FALSE(c_Iridel_setBrightness(sensor.get(), 10));
    const auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, 490ms);
    EXPECT_LT(elapsed, 5s);  // it gives up rather than hanging
  }
}

}  // namespace

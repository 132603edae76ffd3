// CAN devices on the robot controller's several buses, through the library's C faces and the
// simulated devices: a bus the platform lacks is refused at creation with nothing sent, and on
// a platform with several buses (WPILib 2027) devices with the same number on two buses are
// two independent devices.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "SimCanBus.h"
#include "SimDystal.h"
#include "SimHal.h"
#include "SimIridel.h"
#include "SimOrdex.h"
#include "TestPlatform.h"
#include "WaitFor.h"
#include "core/HalPlatform.h"
#include "halvern/Dystal.h"
#include "halvern/Iridel.h"
#include "halvern/Ordex.h"

namespace {

using namespace std::chrono_literals;
using halvern::sim::SimDystalCan;
using halvern::sim::SimIridelCan;
using halvern::sim::SimOrdex;
using halvern::sim::SimOrdexOptions;
using halvern::test::kWaitLimit;
using halvern::test::waitFor;
namespace platform = halvern::platform;

constexpr uint32_t kAnyId = 0;
constexpr uint32_t kAnyMask = 0;
constexpr int kDevice = 5;
constexpr int32_t kFrequency = 1000;

class CanBuses : public testing::Test {
 protected:
  void SetUp() override { halvern::test::resetSimulation(); }
  void TearDown() override { halvern::test::resetSimulation(); }
};

/** Skips a case that needs a second CAN bus, which only WPILib 2027's HAL has. */
#define NEEDS_SEVERAL_BUSES()                                                               \
  do {                                                                                      \
    if (platform::kCanBusCount < 4) {                                                       \
      GTEST_SKIP() << "needs CAN buses 0 to 3 (WPILib 2027); this platform has only bus 0"; \
    }                                                                                       \
  } while (false)

template <typename Create>
std::string printedBy(Create create) {
  testing::internal::CaptureStdout();
  create();
  return testing::internal::GetCapturedStdout();
}

std::string highestBus() { return std::to_string(platform::kMaxCanBus); }

bool anythingSentOn(int32_t bus) {
  return !halvern::sim::sentFramesOnBus(bus, kAnyId, kAnyMask).empty();
}

TEST_F(CanBuses, ABusThePlatformLacksIsRefusedWithNothingSent) {
  const bool counted = halvern::test::hasStandinControls();
  const int handlesBefore = counted ? halvern::test::openCanHandleCount() : 0;
  const int sessionsBefore = halvern::sim::openStreamSessionCount();
  for (const int32_t bus : {platform::kCanBusCount, platform::kCanBusCount + 1, -1}) {
    SCOPED_TRACE("bus " + std::to_string(bus));
    const std::string busText = std::to_string(bus);
    int32_t ordex = -1;
    EXPECT_EQ(printedBy([&] { ordex = c_Ordex_createOnBus(bus, kDevice, kFrequency); }),
              "CAN bus out of range [0;" + highestBus() + "]\n");
    EXPECT_EQ(ordex, 0);
    void* iridel = &ordex;
    EXPECT_EQ(printedBy([&] { iridel = c_Iridel_createOnBus(bus, 3); }),
              "[Iridel] CAN bus " + busText + " is out of range (0 - " + highestBus() + ")\n");
    EXPECT_EQ(iridel, nullptr);
    void* dystal = &ordex;
    EXPECT_EQ(printedBy([&] { dystal = c_Dystal_createOnBus(bus, 7); }),
              "[Dystal] CAN bus " + busText + " is out of range (0 - " + highestBus() + ")\n");
    EXPECT_EQ(dystal, nullptr);
    EXPECT_FALSE(anythingSentOn(bus));
  }
  EXPECT_FALSE(anythingSentOn(platform::kDefaultCanBus));
  EXPECT_EQ(halvern::sim::openStreamSessionCount(), sessionsBefore);
  if (counted) {
    EXPECT_EQ(halvern::test::openCanHandleCount(), handlesBefore);
  }
}

TEST_F(CanBuses, OtherArgumentsAreCheckedFirst) {
  const int32_t missing = platform::kCanBusCount;
  EXPECT_EQ(printedBy([&] { EXPECT_EQ(c_Ordex_createOnBus(missing, 64, kFrequency), 0); }),
            "Device ID out of range [1;63]\n");
  EXPECT_EQ(printedBy([&] { EXPECT_EQ(c_Ordex_createOnBus(missing, kDevice, -1), 0); }),
            "Motor frequency out of range [0;20000]\n");
  EXPECT_EQ(printedBy([&] { EXPECT_EQ(c_Iridel_createOnBus(missing, 64), nullptr); }),
            "[Iridel] CAN ID 64 is out of range (0 - 63)\n");
  EXPECT_EQ(printedBy([&] { EXPECT_EQ(c_Dystal_createOnBus(missing, -1), nullptr); }),
            "[Dystal] CAN ID -1 is out of range (0 - 63)\n");
}

TEST_F(CanBuses, TheDefaultBusIsBusZero) {
  const int32_t ordex = c_Ordex_create(kDevice, kFrequency);
  ASSERT_NE(ordex, 0);
  EXPECT_EQ(c_Ordex_getCanBus(ordex), 0);
  void* iridel = c_Iridel_create(3);
  ASSERT_NE(iridel, nullptr);
  EXPECT_EQ(c_Iridel_getCanBus(iridel), 0);
  void* dystal = c_Dystal_createOnBus(0, 7);
  ASSERT_NE(dystal, nullptr);
  EXPECT_EQ(c_Dystal_getCanBus(dystal), 0);
  EXPECT_EQ(c_Dystal_getCanID(dystal), 7);

  c_Ordex_destroy(ordex);
  EXPECT_EQ(c_Ordex_getCanBus(ordex), -1) << "a destroyed controller has no bus";
  c_Iridel_destroy(iridel);
  c_Dystal_destroy(dystal);
  EXPECT_EQ(c_Iridel_getCanBus(nullptr), -1);
  EXPECT_EQ(c_Dystal_getCanBus(nullptr), -1);
}

TEST_F(CanBuses, SimulatedDevicesAreNamedByTheirBus) {
  EXPECT_EQ(halvern::sim::canDeviceName("Ordex", 5, 0), "Ordex[5]");
  EXPECT_EQ(halvern::sim::canDeviceName("Ordex", 5, 2), "Ordex[5,bus 2]");
  const SimOrdex onZero(kDevice);
  const SimOrdex onTwo(kDevice, SimOrdexOptions{.bus = 2});
  const SimIridelCan iridel(3, 4);
  const SimDystalCan dystal(7, 5);
  EXPECT_EQ(onZero.simDeviceName(), "Ordex[5]");
  EXPECT_EQ(onTwo.simDeviceName(), "Ordex[5,bus 2]");
  EXPECT_EQ(iridel.simDeviceName(), "Iridel[3,bus 4]");
  EXPECT_EQ(dystal.simDeviceName(), "Dystal[7,bus 5]");
  // Two SimDevices: the second name is free, so both show their values.
  EXPECT_NE(HALSIM_GetSimDeviceHandle("Ordex[5]"), 0);
  EXPECT_NE(HALSIM_GetSimDeviceHandle("Ordex[5,bus 2]"), 0);
}

TEST_F(CanBuses, ASimulatedDeviceSendsOnItsOwnBusOnly) {
  // A frame a device sends on bus 2 is never what a receive on bus 0 returns.
  const std::array<uint8_t, 2> payload{1, 2};
  constexpr uint32_t kId = 0x0A0B0C01;
  const auto subscription =
      halvern::sim::subscribeToRobotFrames(kId, 0x1FFFFFFF, [](const auto&) {}, 2);
  halvern::sim::transmitToRobot(kId, payload, 2);
  platform::CanFrame frame;
  EXPECT_EQ(platform::canReceive(platform::kDefaultCanBus, kId, platform::kCanExactMask, frame),
            platform::kCanMessageNotFound);
  if (platform::canBusExists(2)) {
    EXPECT_EQ(platform::canReceive(2, kId, platform::kCanExactMask, frame), 0);
    EXPECT_EQ(frame.length, payload.size());
  }
}

// --- WPILib 2027: several buses -------------------------------------------------------------

TEST_F(CanBuses, ControllersWithOneNumberOnTwoBusesAreDrivenIndependently) {
  NEEDS_SEVERAL_BUSES();
  SimOrdex onZero(kDevice);
  SimOrdex onTwo(kDevice, SimOrdexOptions{.bus = 2});
  halvern::test::setRobotEnabled(true);
  const int32_t first = c_Ordex_createOnBus(0, kDevice, kFrequency);
  const int32_t second = c_Ordex_createOnBus(2, kDevice, 2000);
  ASSERT_NE(first, 0);
  ASSERT_NE(second, 0);
  EXPECT_NE(first, second);
  EXPECT_EQ(c_Ordex_getCanBus(first), 0);
  EXPECT_EQ(c_Ordex_getCanBus(second), 2);
  // Each configured with its own frequency: the configuration went to its own bus only.
  EXPECT_EQ(onZero.motor(0).frequency, kFrequency);
  EXPECT_EQ(onTwo.motor(0).frequency, 2000);

  c_Ordex_setMotorSpeed(first, 1, 0.5);
  c_Ordex_setMotorSpeed(second, 1, -0.25);
  EXPECT_DOUBLE_EQ(onZero.motor(1).duty, 0.5);
  EXPECT_DOUBLE_EQ(onTwo.motor(1).duty, -0.25);
  // Each bus carried its own controller's four motor configurations, and nothing went to a
  // bus without controllers.
  constexpr uint32_t kConfigureDevice5 = 0x020C0285;
  EXPECT_EQ(halvern::sim::sentFramesOnBus(0, kConfigureDevice5, 0x1FFFFFFF).size(), 4U);
  EXPECT_EQ(halvern::sim::sentFramesOnBus(2, kConfigureDevice5, 0x1FFFFFFF).size(), 4U);
  EXPECT_FALSE(anythingSentOn(1));

  // Each reads its own simulated speeds.
  onZero.setRpmOverride(1, 1234.0);
  onTwo.setRpmOverride(1, -4321.0);
  EXPECT_TRUE(waitFor([&] { return c_Ordex_getRPM(first, 1) == 1234.0; }, kWaitLimit))
      << c_Ordex_getRPM(first, 1);
  EXPECT_TRUE(waitFor([&] { return c_Ordex_getRPM(second, 1) == -4321.0; }, kWaitLimit))
      << c_Ordex_getRPM(second, 1);

  // Both hear their heartbeat, enabled.
  ASSERT_TRUE(waitFor([&] { return onZero.motorsEnabled() && onTwo.motorsEnabled(); }, kWaitLimit));

  // Destroying the one on bus 2 leaves the one on bus 0 its heartbeat.
  c_Ordex_destroy(second);
  const std::size_t lastOnTwo = onTwo.heartbeats().size();
  const std::size_t onZeroAtDestroy = onZero.heartbeats().size();
  EXPECT_TRUE(
      waitFor([&] { return onZero.heartbeats().size() >= onZeroAtDestroy + 3; }, kWaitLimit))
      << "the controller on bus 0 lost its heartbeat";
  EXPECT_EQ(onTwo.heartbeats().size(), lastOnTwo)
      << "a heartbeat went to the destroyed controller's bus";
  EXPECT_EQ(c_Ordex_getRPM(first, 1), 1234.0);
  c_Ordex_destroy(first);
}

float latestX(void* iridel) {
  IridelReading reading{};
  c_Iridel_getLatestColor(iridel, &reading);
  return reading.valid ? reading.x : std::nanf("");
}

int16_t latestFirstDistance(void* dystal) {
  DystalReading reading{};
  c_Dystal_getLatest(dystal, &reading, 1);
  return reading.count > 0 ? reading.distance[0] : int16_t{-2};
}

TEST_F(CanBuses, SensorsOnBusThreeReadTheirOwnValues) {
  NEEDS_SEVERAL_BUSES();
  constexpr int32_t kBus = 3;
  // The same sensors on bus 0 send other values: none of them may reach the sensors on bus 3.
  SimIridelCan colourOnZero(4);
  SimIridelCan colourOnThree(4, kBus);
  SimDystalCan distanceOnZero(7);
  SimDystalCan distanceOnThree(7, kBus);
  distanceOnZero.setDistances(std::vector<int16_t>(64, 111));
  distanceOnThree.setDistances(std::vector<int16_t>(64, 333));

  void* colour = c_Iridel_createOnBus(kBus, 4);
  void* distance = c_Dystal_createOnBus(kBus, 7);
  void* distanceZero = c_Dystal_createOnBus(0, 7);
  ASSERT_NE(colour, nullptr);
  ASSERT_NE(distance, nullptr);
  ASSERT_NE(distanceZero, nullptr);
  EXPECT_EQ(c_Iridel_getCanBus(colour), kBus);
  EXPECT_EQ(c_Dystal_getCanBus(distance), kBus);

  colourOnZero.startColorFrames(5ms, 0.9F, 0.9F, 0.9F);
  colourOnThree.startColorFrames(5ms, 0.25F, 0.5F, 0.75F);
  distanceOnZero.startReadings(5ms);
  distanceOnThree.startReadings(5ms);

  EXPECT_TRUE(waitFor([&] { return std::abs(latestX(colour) - 0.25F) < 1e-3F; }, kWaitLimit))
      << latestX(colour);
  EXPECT_TRUE(waitFor([&] { return latestFirstDistance(distance) == 333; }, kWaitLimit))
      << latestFirstDistance(distance);
  EXPECT_TRUE(waitFor([&] { return latestFirstDistance(distanceZero) == 111; }, kWaitLimit))
      << latestFirstDistance(distanceZero);
  // A command goes to the sensor on bus 3 only.
  EXPECT_TRUE(c_Iridel_setBrightness(colour, 5));
  EXPECT_EQ(colourOnThree.commands().size(), 1U);
  EXPECT_TRUE(colourOnZero.commands().empty());

  // Destroying the sensor on bus 0 leaves the stream of the one on bus 3 running.
  c_Dystal_destroy(distanceZero);
  distanceOnThree.setDistances(std::vector<int16_t>(64, 444));
  EXPECT_TRUE(waitFor([&] { return latestFirstDistance(distance) == 444; }, kWaitLimit))
      << latestFirstDistance(distance);
  EXPECT_TRUE(c_Dystal_isConnected(distance));

  colourOnZero.stopColorFrames();
  colourOnThree.stopColorFrames();
  distanceOnZero.stopReadings();
  distanceOnThree.stopReadings();
  c_Iridel_destroy(colour);
  c_Dystal_destroy(distance);
}

}  // namespace

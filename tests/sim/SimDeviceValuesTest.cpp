// The simulated devices as WPILib's simulation shows them: SimDevices whose outputs follow what
// the library commanded and whose inputs, set by the simulation (a team's physics model), are
// what the library then reads. Through the public C faces, on WPILib's HAL as on the stand-in.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "SimDystal.h"
#include "SimHal.h"
#include "SimIridel.h"
#include "SimOrdex.h"
#include "TestPlatform.h"
#include "halvern/Dystal.h"
#include "halvern/Iridel.h"
#include "halvern/Ordex.h"

namespace {

using namespace std::chrono_literals;
using halvern::sim::SimDystalCan;
using halvern::sim::SimIridelCan;
using halvern::sim::SimOrdex;

/**
 * True once `condition` holds, checked every few milliseconds for up to ten seconds (the limit
 * only bounds a failure).
 */
bool eventually(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) {
      return true;
    }
    std::this_thread::sleep_for(5ms);
  }
  return condition();
}

HAL_SimValueHandle valueOf(const std::string& device, const std::string& key) {
  const HAL_SimDeviceHandle handle = HALSIM_GetSimDeviceHandle(device.c_str());
  return handle == 0 ? 0 : HALSIM_GetSimValueHandle(handle, key.c_str());
}

std::set<std::string> simDeviceNames() {
  std::set<std::string> names;
  HALSIM_EnumerateSimDevices("", &names, [](const char* name, void* param, HAL_SimDeviceHandle) {
    static_cast<std::set<std::string>*>(param)->insert(name);
  });
  return names;
}

class SimDeviceValues : public ::testing::Test {
 protected:
  void SetUp() override { halvern::test::resetSimulation(); }
  void TearDown() override { halvern::test::resetSimulation(); }
};

TEST_F(SimDeviceValues, EachSimulatedDeviceIsListedByFamilyAndIdUntilItGoes) {
  {
    const SimOrdex controller(5);
    const SimIridelCan colour(3);
    const SimDystalCan ranger(7);
    const auto names = simDeviceNames();
    for (const char* name : {"Ordex[5]", "Iridel[3]", "Dystal[7]"}) {
      EXPECT_TRUE(names.contains(name)) << name;
    }
    EXPECT_EQ(controller.simDeviceName(), "Ordex[5]");
    EXPECT_EQ(colour.simDeviceName(), "Iridel[3]");
    EXPECT_EQ(ranger.simDeviceName(), "Dystal[7]");
    EXPECT_NE(valueOf("Ordex[5]", "Motor 3 Encoder"), 0);
    EXPECT_NE(valueOf("Dystal[7]", "Distance 63"), 0);
  }
  const auto names = simDeviceNames();
  EXPECT_FALSE(names.contains("Ordex[5]"));
  EXPECT_FALSE(names.contains("Dystal[7]"));
}

TEST_F(SimDeviceValues, MotorControllerShowsCommandsAndReportsWhatTheSimulationFeeds) {
  const SimOrdex controller(5);
  const int32_t handle = c_Ordex_create(5, 15000);
  ASSERT_NE(handle, 0);
  halvern::test::setRobotEnabled(true);

  c_Ordex_setMotorSpeed(handle, 0, 0.4);
  c_Ordex_setTargetVelocity(handle, 2, 1500.0F);
  EXPECT_DOUBLE_EQ(HAL_GetSimValueDouble(valueOf("Ordex[5]", "Motor 0 Duty")), 0.4);
  EXPECT_EQ(HAL_GetSimValueEnum(valueOf("Ordex[5]", "Motor 0 Mode")), 1);  // Duty
  EXPECT_EQ(HAL_GetSimValueEnum(valueOf("Ordex[5]", "Motor 2 Mode")), 3);  // Velocity
  EXPECT_DOUBLE_EQ(HAL_GetSimValueDouble(valueOf("Ordex[5]", "Motor 2 Target RPM")), 1500.0);
  EXPECT_TRUE(eventually(
      [] { return HAL_GetSimValueBoolean(valueOf("Ordex[5]", "Heartbeat Enabled")) != 0; }));

  // A physics model feeds motor 1's speed, motor 3's encoder and the temperature.
  HAL_SetSimValueDouble(valueOf("Ordex[5]", "Motor 1 RPM"), 1234.5);
  HAL_SetSimValueInt(valueOf("Ordex[5]", "Motor 3 Encoder"), 40000);
  HAL_SetSimValueDouble(valueOf("Ordex[5]", "Temperature"), 61.25);
  EXPECT_TRUE(eventually([handle] { return c_Ordex_getRPM(handle, 1) == 1234.5; }))
      << c_Ordex_getRPM(handle, 1);
  EXPECT_TRUE(eventually([handle] { return c_Ordex_getControllerTemp(handle) == 61.25; }))
      << c_Ordex_getControllerTemp(handle);
  EXPECT_TRUE(eventually([handle] { return c_Ordex_getEncoderCount(handle, 3) >= 40000; }))
      << c_Ordex_getEncoderCount(handle, 3);
  // The fed speed holds, and motor 1's encoder counts with it.
  const int32_t counted = c_Ordex_getEncoderCount(handle, 1);
  EXPECT_TRUE(eventually([handle, counted] { return c_Ordex_getEncoderCount(handle, 1) > counted; }));
  EXPECT_EQ(c_Ordex_getRPM(handle, 1), 1234.5);

  halvern::test::setRobotEnabled(false);
  EXPECT_TRUE(eventually(
      [] { return HAL_GetSimValueBoolean(valueOf("Ordex[5]", "Heartbeat Enabled")) == 0; }));
  c_Ordex_destroy(handle);
}

TEST_F(SimDeviceValues, ColourSensorSendsTheColourTheSimulationSets) {
  SimIridelCan sensor(3);
  sensor.startColorFrames(10ms, 0.1F, 0.2F, 0.3F);
  void* const iridel = c_Iridel_create(3);
  ASSERT_NE(iridel, nullptr);
  EXPECT_NEAR(HAL_GetSimValueDouble(valueOf("Iridel[3]", "Y")), 0.2, 1e-6);
  HAL_SetSimValueDouble(valueOf("Iridel[3]", "Y"), 0.65);
  EXPECT_TRUE(eventually([iridel] {
    ColorData color{};
    c_Iridel_getColor(iridel, &color);
    return color.valid && std::fabs(color.y - 0.65F) < 1e-4F && std::fabs(color.x - 0.1F) < 1e-4F;
  }));
  sensor.stopColorFrames();
  c_Iridel_destroy(iridel);
}

TEST_F(SimDeviceValues, DistanceSensorMeasuresTheDistancesTheSimulationSets) {
  SimDystalCan sensor(7);
  void* const dystal = c_Dystal_create(7);
  ASSERT_NE(dystal, nullptr);
  EXPECT_EQ(HAL_GetSimValueInt(valueOf("Dystal[7]", "Distance 10")), 600);  // the model's own
  HAL_SetSimValueInt(valueOf("Dystal[7]", "Distance 10"), 1234);
  HAL_SetSimValueInt(valueOf("Dystal[7]", "Distance 63"), -1);  // measures nothing: 63 counted
  sensor.startReadings();
  EXPECT_TRUE(eventually([dystal] {
    DystalScanData scan{};
    c_Dystal_getData(dystal, &scan, 64);
    return scan.count == 63 && scan.distance[10] == 1234 && scan.distance[63] == -1 &&
           scan.distance[9] == 590;
  }));
  sensor.stopReadings();
  c_Dystal_destroy(dystal);
}

}  // namespace

// The simulated devices' C++ style classes (DeviceSims.hpp) feeding the library's C++ classes,
// as a robot program's simulationPeriodic would.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "ClassTestSupport.h"
#include "DeviceSims.hpp"
#include "TestPlatform.h"
#include "halvern/Dystal.hpp"
#include "halvern/Ferix.hpp"
#include "halvern/Iridel.hpp"
#include "halvern/Ordex.hpp"

namespace {

using namespace std::chrono_literals;

// Polls until `done` holds, for up to five seconds.
bool eventually(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

class DeviceSims : public halvern::test::FreshSimulation {};

TEST_F(DeviceSims, OrdexSimSeesCommandsAndFeedsMeasurements) {
  halvern::sim::OrdexSim sim(4);
  halvern::Ordex ordex(4, 1000);
  ordex.SetMotorSpeed(1, -0.75);
  EXPECT_DOUBLE_EQ(sim.GetMotorDuty(1), -0.75);
  sim.SetMotorRPM(1, 2500.0);
  sim.SetEncoderCount(2, 4096);
  sim.SetTemperatureCelsius(38.0);
  sim.SetLimitSwitch(0, true, true);
  EXPECT_TRUE(eventually([&] { return ordex.GetRPM(1) == 2500.0; }));
  EXPECT_TRUE(eventually([&] { return ordex.GetEncoderCount(2) == 4096; }));
  EXPECT_TRUE(eventually([&] { return ordex.GetLimitSwitch(0, true); }));
  EXPECT_NEAR(ordex.GetTemperature(), 38.0, 0.01);

  halvern::sim::OrdexSim moved(std::move(sim));  // the simulator stays where it is
  moved.ClearMotorRPM(1);
  EXPECT_DOUBLE_EQ(moved.GetMotorDuty(1), -0.75);
}

TEST_F(DeviceSims, SensorSimsFeedColoursAndDistances) {
  halvern::sim::IridelSim colourSim(3);
  halvern::Iridel colour(3);
  colourSim.SetColor(0.5F, 0.25F, 0.125F);
  EXPECT_TRUE(eventually([&] {
    const auto sample = colour.GetColor();
    return sample && sample->x == 0.5F && sample->y == 0.25F && sample->z == 0.125F;
  }));

  halvern::sim::DystalSim distanceSim(8);
  const halvern::Dystal distance(8);
  distanceSim.SetDistancesMm({100, 200, 300});
  EXPECT_TRUE(eventually([&] {
    return distance.GetData(3).distancesMm == std::vector<int>{100, 200, 300};
  })) << testing::PrintToString(distance.GetData(3).distancesMm);
}

TEST_F(DeviceSims, FerixSimFeedsInputVoltages) {
  halvern::sim::FerixSim boardSim;
  boardSim.SetInputVoltage(3, 1.024);
  EXPECT_DOUBLE_EQ(boardSim.GetInputVoltage(3), 1.024);
  const halvern::Ferix ferix(4);
  // The constructor waits a while for the first conversions; a busy machine may need longer.
  EXPECT_TRUE(eventually([&] { return ferix.GetRaw(3) != 0; }));
  EXPECT_EQ(ferix.GetRaw(3), 1024);
  EXPECT_NEAR(ferix.GetVoltage(3), 2.0, 1e-4);  // 1024 x 4 / 2048
}

}  // namespace

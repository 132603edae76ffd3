// A test case with one sensor on the simulated CAN bus: the simulator answers at `CanId`, and the
// sensor is created through the C face after the simulation was reset and destroyed before it is
// reset again, so no case sees another's frames or handles.
#pragma once

#include <gtest/gtest.h>

#include "OwnedHandle.h"
#include "TestPlatform.h"

namespace halvern::test {

template <typename Simulator, auto Create, auto Destroy, int CanId>
class SensorOnCan : public ::testing::Test {
 protected:
  void SetUp() override {
    resetSimulation();
    sensor.reset(Create(CanId));
    ASSERT_NE(sensor, nullptr);
  }
  void TearDown() override {
    sensor.reset();
    resetSimulation();
  }

  Simulator device{CanId};
  OwnedHandle<Destroy> sensor;
};

}  // namespace halvern::test

// halvern::MockDS through the C face, with the robot program's side receiving on UDP port 1110.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <thread>

#include "SimRobotDriverStation.h"
#include "halvern/MockDS.hpp"

namespace {

using namespace std::chrono_literals;
using halvern::MockDS;
using halvern::sim::SimRobotDriverStation;

// Waits until the robot program's side sees itself enabled (or disabled).
bool waitForEnabled(const SimRobotDriverStation& robot, bool enabled, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (robot.robotEnabled() == enabled) {
      return true;
    }
    std::this_thread::sleep_for(10ms);
  }
  return robot.robotEnabled() == enabled;
}

TEST(MockDSClass, EnablesTheRobotAfterItsWarmUpAndDisablesItOnClose) {
  SimRobotDriverStation robot;
  auto station = std::make_unique<MockDS>();
  ASSERT_TRUE(robot.waitForCount(3, 2s));
  EXPECT_FALSE(robot.robotEnabled());
  EXPECT_FALSE(station->IsEnabled());
  station->Enable();
  EXPECT_TRUE(station->IsEnabled());
  std::this_thread::sleep_for(500ms);
  EXPECT_FALSE(robot.robotEnabled()) << "enabled during the warm-up";
  EXPECT_TRUE(waitForEnabled(robot, true, 3s));
  station->Disable();
  EXPECT_TRUE(waitForEnabled(robot, false, 1s));
  station->Enable();
  EXPECT_TRUE(waitForEnabled(robot, true, 1s)) << "the warm-up came again";
  station.reset();
  EXPECT_TRUE(waitForEnabled(robot, false, 1s));
  robot.clear();
  EXPECT_TRUE(robot.waitForCount(3, 2s)) << "datagrams stopped when the object went";
}

TEST(MockDSClass, ANewerStationReplacesTheOlderWhichThenChangesNothing) {
  SimRobotDriverStation robot;
  auto older = std::make_unique<MockDS>();
  older->Enable();
  MockDS newer;
  EXPECT_TRUE(older->IsClosed());
  EXPECT_FALSE(older->IsEnabled());
  EXPECT_FALSE(newer.IsEnabled());
  older->Enable();  // a replaced station does nothing
  older.reset();
  EXPECT_FALSE(newer.IsClosed());
  std::this_thread::sleep_for(1500ms);
  EXPECT_FALSE(robot.robotEnabled());

  MockDS moved(std::move(newer));
  EXPECT_TRUE(newer.IsClosed());  // NOLINT(bugprone-use-after-move): moved-from is empty
  newer.Enable();
  EXPECT_FALSE(newer.IsEnabled());
  moved.Enable();
  EXPECT_TRUE(waitForEnabled(robot, true, 3s));
  moved.Close();
  EXPECT_TRUE(moved.IsClosed());
  EXPECT_TRUE(waitForEnabled(robot, false, 1s));
}

}  // namespace

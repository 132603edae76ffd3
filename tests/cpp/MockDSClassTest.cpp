// halvern::MockDS through the C face, with the robot program's side receiving on UDP port 1110.
#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>

#include "SimRobotDriverStation.h"
#include "halvern/MockDS.hpp"

namespace {

using namespace std::chrono_literals;
using halvern::MockDS;
using halvern::sim::SimRobotDriverStation;

using Clock = std::chrono::steady_clock;

// Bounds a failure only: what normally takes a few periods, or the one-second warm-up.
constexpr std::chrono::milliseconds kLimit{10000};
constexpr std::chrono::milliseconds kPeriod{MOCKDS_PERIOD_MS};

// Waits until the robot program's side sees itself enabled (or disabled).
bool waitForEnabled(const SimRobotDriverStation& robot, bool enabled) {
  const auto deadline = Clock::now() + kLimit;
  while (Clock::now() < deadline) {
    if (robot.robotEnabled() == enabled) {
      return true;
    }
    std::this_thread::sleep_for(2ms);
  }
  return robot.robotEnabled() == enabled;
}

/**
 * The most datagrams a station made after `start` can have picked its control byte for by `by`:
 * datagram k waits for its slot, (k + 1) periods after the station started at the earliest.
 */
std::size_t mostPickedBy(Clock::time_point start, Clock::time_point by) {
  return by <= start ? 0U : static_cast<std::size_t>((by - start + 1ms) / kPeriod);
}

/** The sequence number of the first datagram received that says enabled, if any. */
std::optional<uint16_t> firstEnabledFrom(const SimRobotDriverStation& robot, std::size_t from) {
  const auto received = robot.received();
  for (std::size_t i = from; i < received.size(); ++i) {
    if (received[i].control.enabled) {
      return received[i].control.sequence;
    }
  }
  return std::nullopt;
}

TEST(MockDSClass, EnablesTheRobotAfterItsWarmUpAndDisablesItOnClose) {
  SimRobotDriverStation robot;
  const auto created = Clock::now();
  auto station = std::make_unique<MockDS>();
  ASSERT_TRUE(robot.waitForCount(3, kLimit));
  EXPECT_FALSE(robot.robotEnabled());
  EXPECT_FALSE(station->IsEnabled());
  // Picked before the enable, at least: the ones received.
  const std::size_t before = robot.received().back().control.sequence + 1U;
  station->Enable();
  EXPECT_TRUE(station->IsEnabled());
  EXPECT_TRUE(waitForEnabled(robot, true));
  // Fifty datagrams picked after the enable still say disabled.
  const auto firstEnabled = firstEnabledFrom(robot, 0);
  ASSERT_TRUE(firstEnabled.has_value());
  EXPECT_GE(*firstEnabled, before + 50) << "enabled during the warm-up";
  station->Disable();
  EXPECT_TRUE(waitForEnabled(robot, false));
  const std::size_t disabledSeen = robot.receivedCount();
  station->Enable();
  const std::size_t enabledBy = mostPickedBy(created, Clock::now());
  EXPECT_TRUE(waitForEnabled(robot, true));
  // At once: by the first datagram picked after the call, not fifty later.
  const auto again = firstEnabledFrom(robot, disabledSeen);
  ASSERT_TRUE(again.has_value());
  EXPECT_LE(*again, enabledBy) << "the warm-up came again";
  station.reset();
  EXPECT_TRUE(waitForEnabled(robot, false));
  robot.clear();
  EXPECT_TRUE(robot.waitForCount(3, kLimit)) << "datagrams stopped when the object went";
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
  // Past where a warm-up begun by either enable would have ended, nothing said enabled.
  constexpr uint16_t kPastAWarmUp = 60;
  const auto giveUp = Clock::now() + kLimit;
  while (robot.received().empty() || robot.received().back().control.sequence < kPastAWarmUp) {
    ASSERT_LT(Clock::now(), giveUp) << "the newer station stopped";
    std::this_thread::sleep_for(2ms);
  }
  const auto stream = robot.received();
  for (const auto& datagram : stream) {
    EXPECT_FALSE(datagram.control.enabled) << "datagram " << datagram.control.sequence;
  }
  EXPECT_FALSE(robot.robotEnabled());

  MockDS moved(std::move(newer));
  EXPECT_TRUE(newer.IsClosed());  // NOLINT(bugprone-use-after-move): moved-from is empty
  newer.Enable();
  EXPECT_FALSE(newer.IsEnabled());
  moved.Enable();
  EXPECT_TRUE(waitForEnabled(robot, true));
  moved.Close();
  EXPECT_TRUE(moved.IsClosed());
  EXPECT_TRUE(waitForEnabled(robot, false));
}

}  // namespace

// The simulated robot program's side of the driver-station link on its own, fed by datagrams
// sent from here: what it keeps, what it ignores, and when the robot counts itself enabled.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "MockDSTestSupport.h"
#include "SimHal.h"
#include "TestPlatform.h"

namespace {

using namespace halvern::mockds::testing;  // NOLINT(google-build-using-namespace)

using Bytes = std::vector<uint8_t>;
// WPILib's UDP client and logger, under whichever names this WPILib gives them.
using Logger = halvern::sim::simhal::Logger;
using UDPClient = halvern::sim::simhal::UDPClient;

class RobotSide : public ::testing::Test {
 protected:
  void SetUp() override {
    robot = listenAsRobot();
    ASSERT_NE(robot, nullptr);
    ASSERT_EQ(sender.start(), 0);
  }

  void send(const Bytes& datagram) {
    ASSERT_EQ(
        sender.send(std::span<const uint8_t>(datagram), "127.0.0.1", Robot::kDriverStationPort),
        static_cast<int>(datagram.size()));
  }

  Logger logger;
  UDPClient sender{logger};
  std::unique_ptr<Robot> robot;
};

TEST_F(RobotSide, KeepsControlDatagramsAndIgnoresShortOnes) {
  send({0x01, 0x02, 0x01, 0x06, 0x10, 0x04});
  send({0x01, 0x03, 0x01});                                   // too short
  send({0x01, 0x04, 0x01, 0x00, 0x10, 0x00, 2, 0x0F, 0xAA});  // a tag after the fixed part
  send({0x01, 0x05, 0x01, 0x00, 0x10, 0x00, 9, 0x0F});        // a tag that runs over
  ASSERT_TRUE(robot->waitForCount(3, 2000ms));
  ASSERT_TRUE(waitUntil([&] { return robot->ignoredCount() == 1; }, 2000ms));

  const auto received = robot->received();
  ASSERT_EQ(received.size(), 3U);
  EXPECT_EQ(received[0].control.sequence, 0x0102);
  EXPECT_TRUE(received[0].control.enabled);
  EXPECT_TRUE(received[0].control.autonomous);
  EXPECT_TRUE(received[0].control.dsAttached);
  EXPECT_EQ(received[0].control.station, 4);
  EXPECT_EQ(received[1].control.sequence, 0x0104);
  EXPECT_TRUE(received[1].control.tagsWellFormed);
  EXPECT_EQ(received[2].control.sequence, 0x0105);
  EXPECT_FALSE(received[2].control.tagsWellFormed);
  EXPECT_LE(received[0].at, received[1].at);
  EXPECT_LE(received[1].at, received[2].at);

  robot->clear();
  EXPECT_EQ(robot->receivedCount(), 0U);
  EXPECT_EQ(robot->ignoredCount(), 0U);
  EXPECT_FALSE(robot->robotEnabled());
}

TEST_F(RobotSide, EnabledOnlyWhileEnabledDatagramsKeepComing) {
  EXPECT_FALSE(robot->robotEnabled());  // nothing yet
  send({0, 1, 1, 0x06, 0x10, 0});
  ASSERT_TRUE(robot->waitForCount(1, 2000ms));
  // Within 100 ms of the datagram (a loaded machine may take longer to get here).
  const auto arrived = robot->received().back().at;
  const bool enabled = robot->robotEnabled();
  if (Clock::now() - arrived < 90ms) {
    EXPECT_TRUE(enabled);
  }
  // No datagram for 100 ms: disabled.
  std::this_thread::sleep_for(120ms);
  EXPECT_FALSE(robot->robotEnabled());
}

TEST_F(RobotSide, NotEnabledWithoutAnAttachedStationOrUnderEmergencyStop) {
  const auto enabledAfter = [&](const Bytes& datagram) {
    robot->clear();
    send(datagram);
    EXPECT_TRUE(robot->waitForCount(1, 2000ms));
    return robot->robotEnabled();
  };
  EXPECT_FALSE(enabledAfter({0, 1, 1, 0x06, 0x00, 0}));  // request says no station
  EXPECT_FALSE(enabledAfter({0, 2, 1, 0x86, 0x10, 0}));  // emergency stop
  EXPECT_FALSE(enabledAfter({0, 3, 1, 0x02, 0x10, 0}));  // autonomous, not enabled
}

TEST_F(RobotSide, WaitForCountTimesOut) {
  const auto start = Clock::now();
  EXPECT_FALSE(robot->waitForCount(1, 60ms));
  EXPECT_GE(Clock::now() - start, 55ms);
}

// WPILib's own UDP client binds with SO_REUSEADDR, so there a second robot side binds too.
TEST_F(RobotSide, ThePortCanBeBoundOnlyOnce) {
  HALVERN_NEEDS_STANDIN();
  EXPECT_THROW(Robot second, std::runtime_error);
}

TEST_F(RobotSide, StopsPromptly) {
  const auto start = Clock::now();
  robot.reset();
  // One receive wait is 50 ms; the limit only tells a listener that never looks at its stop
  // flag from a slow machine.
  EXPECT_LT(Clock::now() - start, 10s);
  // And the port is free again.
  robot = listenAsRobot();
  EXPECT_NE(robot, nullptr);
}

// The stand-in UDP client the robot program's side receives with: a time-out shorter than the
// socket's resolution (a microsecond here, a millisecond on Windows) must still time out, not
// wait forever as a time-out of 0 does.
TEST(UdpClientTimeout, ATimeoutBelowTheResolutionStillTimesOut) {
  HALVERN_NEEDS_STANDIN();  // WPILib's own client waits forever there: the robot side never asks it
  for (const double timeout : {0.0000004, 0.0004}) {
    Logger logger;
    UDPClient client("127.0.0.1", logger);
    ASSERT_EQ(client.start(Robot::kDriverStationPort), 0);
    ASSERT_EQ(client.set_timeout(timeout), 0);
    std::atomic<bool> returned{false};
    std::thread receiver([&] {
      std::array<uint8_t, 16> buffer{};
      EXPECT_EQ(client.receive(buffer.data(), static_cast<int>(buffer.size())), 0) << timeout;
      returned.store(true);
    });
    const bool timedOut = waitUntil([&] { return returned.load(); }, 10000ms);
    EXPECT_TRUE(timedOut) << "a time-out of " << timeout << " s waits forever";
    if (!timedOut) {
      // Wake the receive with a datagram so that the thread can be joined.
      UDPClient waker(logger);
      waker.start();
      const std::array<uint8_t, 1> nudge{0};
      waker.send(std::span<const uint8_t>(nudge), "127.0.0.1", Robot::kDriverStationPort);
    }
    receiver.join();
  }
}

}  // namespace

// halvern::LidarMini through the C face, against the simulated lidar on a pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "ClassTestSupport.h"
#include "ListedPort.h"
#include "SimLidarMini.h"
#include "halvern/LidarMini.hpp"

namespace {

using namespace std::chrono_literals;
using halvern::LidarMini;
using halvern::sim::SimLidarMini;
using halvern::test::ListedPort;

LidarMini::ScanData nextRevolution(const LidarMini& lidar) {
  LidarMini::ScanData scan;
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (scan.points.empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(20ms);
    scan = lidar.GetData();
  }
  return scan;
}

TEST(LidarMiniClass, ScansWholeRevolutionsAsPoints) {
  SimLidarMini sim;
  const ListedPort listed(sim.devicePath());
  testing::internal::CaptureStdout();
  LidarMini lidar(LidarMini::kFirstPort);
  EXPECT_FALSE(lidar.IsScanning());
  EXPECT_EQ(lidar.GetData(), LidarMini::ScanData{});
  lidar.Start();
  EXPECT_TRUE(lidar.IsScanning());
  const LidarMini::ScanData scan = nextRevolution(lidar);
  ASSERT_GT(scan.points.size(), 100U);
  EXPECT_GT(scan.timestampNs, 0);
  EXPECT_EQ(scan.points.front().angleDegrees, 0.0F);
  EXPECT_TRUE(std::all_of(scan.points.begin(), scan.points.end(), [](const auto& point) {
    return point.angleDegrees >= 0.0F && point.angleDegrees < 360.0F &&
           (point.distanceMeters == LidarMini::kMissingDistance ||
            (point.distanceMeters > 0.0F && point.distanceMeters <= 12.0F));
  }));
  lidar.Stop();
  EXPECT_FALSE(lidar.IsScanning());
  EXPECT_EQ(lidar.GetData(), LidarMini::ScanData{});
  testing::internal::GetCapturedStdout();
}

TEST(LidarMiniClass, IdentityHealthAndFrequencySteps) {
  SimLidarMini sim;
  sim.setHealth({2, 0x1234});
  const ListedPort listed(sim.devicePath());
  testing::internal::CaptureStdout();
  LidarMini lidar(LidarMini::kFirstPort);
  const LidarMini::LidarInfo info = lidar.GetInfo();
  EXPECT_EQ(info.model, 0x28);
  EXPECT_EQ(info.firmwareVersion, 0x0105);
  EXPECT_EQ(info.hardwareVersion, 2);
  EXPECT_EQ(info.serialnum, SimLidarMini::Identity{}.serial);
  EXPECT_EQ(lidar.GetHealth(), (LidarMini::LidarHealth{2, 0x1234}));
  testing::internal::GetCapturedStdout();

  testing::internal::CaptureStderr();
  lidar.DecreaseFrequency(true);  // already at the lowest
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "[LidarMini] decreaseFrequency blocked: min is 6 Hz\n");
  testing::internal::CaptureStderr();
  for (int step = LidarMini::kMinFrequencyHz; step <= LidarMini::kMaxFrequencyHz; ++step) {
    lidar.IncreaseFrequency(true);
  }
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_NE(printed.find("[LidarMini] increaseFrequency blocked: max is 12 Hz\n"),
            std::string::npos)
      << printed;
}

TEST(LidarMiniClass, AFailedCreateThrowsAndAMovedFromLidarIsEmpty) {
  if (std::filesystem::exists(halvern::detail::FindDevicePath(LidarMini::kSecondPort))) {
    GTEST_SKIP() << "this machine has a second serial port";
  }
  halvern::test::expectCreationFails([] { const LidarMini lidar(LidarMini::kSecondPort); },
                                     "LidarMini on port 3 could not be initialized");

  SimLidarMini sim;
  const ListedPort listed(sim.devicePath());
  testing::internal::CaptureStdout();
  LidarMini first(LidarMini::kFirstPort);
  first.Start();
  LidarMini second(std::move(first));
  EXPECT_TRUE(first.IsClosed());  // NOLINT(bugprone-use-after-move): moved-from is empty
  EXPECT_FALSE(first.IsScanning());
  EXPECT_TRUE(second.IsScanning());
  first.Start();
  EXPECT_EQ(first.GetInfo(), LidarMini::LidarInfo{});
  EXPECT_EQ(first.GetData(), LidarMini::ScanData{});
  EXPECT_FALSE(nextRevolution(second).points.empty());
  second.Close();
  EXPECT_TRUE(second.IsClosed());
  testing::internal::GetCapturedStdout();
}

}  // namespace

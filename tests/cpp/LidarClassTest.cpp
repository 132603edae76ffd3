// halvern::Lidar through the C face, against the simulated lidar on the stand-in HAL's serial
// port.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <limits>
#include <optional>
#include <thread>

#include "ClassTestSupport.h"
#include "SimLidar.h"
#include "WaitFor.h"
#include "halvern/Lidar.hpp"

namespace {

using namespace std::chrono_literals;
using halvern::Lidar;
using halvern::sim::SimLidar;
using halvern::test::expectRejected;

// Waits until the tables hold most of the room.
bool waitForRoom(const Lidar& lidar) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (std::chrono::steady_clock::now() < deadline) {
    if (lidar.GetData().InRangeCount() > 200) {
      return true;
    }
    std::this_thread::sleep_for(20ms);
  }
  return false;
}

// Three more revolutions streamed: at most the one under way when the port closed reached it.
void expectPortClosed(const SimLidar& sim, const char* otherwise) {
  const int sent = sim.revolutionsSent();
  const int streamed = sim.revolutionsStreamed();
  ASSERT_TRUE(
      halvern::test::waitFor([&] { return sim.revolutionsStreamed() >= streamed + 3; }, 10s));
  EXPECT_LE(sim.revolutionsSent(), sent + 1) << otherwise;
}

TEST(LidarClass, ReadsTheRoomAndStopsAndStarts) {
  SimLidar sim(0);
  Lidar lidar(Lidar::Port::kOnboard);
  EXPECT_TRUE(lidar.IsScanning());
  ASSERT_TRUE(waitForRoom(lidar));
  const Lidar::ScanData scan = lidar.GetData();
  for (int degree = 0; degree < Lidar::kDegrees; ++degree) {
    const auto i = static_cast<std::size_t>(degree);
    EXPECT_GE(scan.angleDegrees[i], static_cast<float>(degree));
    EXPECT_LT(scan.angleDegrees[i], static_cast<float>(degree + 1));
  }
  lidar.Stop();
  EXPECT_FALSE(lidar.IsScanning());
  ASSERT_NO_FATAL_FAILURE(expectPortClosed(sim, "the port stayed open"));
  EXPECT_GT(lidar.GetData().InRangeCount(), 200) << "the tables lost their values";
  lidar.Start();
  EXPECT_TRUE(lidar.IsScanning());
}

TEST(LidarClass, FiltersAndTheirArguments) {
  SimLidar sim(0);
  Lidar lidar(Lidar::Port::kOnboard);
  EXPECT_EQ(lidar.GetFilter(), std::nullopt);
  lidar.EnableFilter(Lidar::FilterType::kMedian);
  EXPECT_EQ(lidar.GetFilter(), Lidar::FilterType::kMedian);
  lidar.SetMedianWindow(3);
  lidar.ConfigureCluster(20.0F, 3);
  lidar.ConfigureKalman(0.001F, 0.5F, 1.0F);
  lidar.SetMovingAverageWindow(10);
  lidar.SetJitterThreshold(30.0F);
  EXPECT_TRUE(waitForRoom(lidar));
  lidar.DisableFilters();
  EXPECT_EQ(lidar.GetFilter(), std::nullopt);

  expectRejected([&] { lidar.ConfigureCluster(-1.0F, 5); },
                 "Cluster tolerance -1 is negative or not finite");
  expectRejected([&] { lidar.ConfigureCluster(50.0F, 11); }, "Cluster size 11 out of range [1;10]");
  expectRejected([&] { lidar.ConfigureKalman(0.0F, 0.0F, 1.0F); },
                 "Measurement noise 0.0 is not positive");
  expectRejected([&] { lidar.SetMedianWindow(0); }, "Median window 0 out of range [1;10]");
  expectRejected([&] { lidar.SetMovingAverageWindow(11); },
                 "Moving average window 11 out of range [1;10]");
  EXPECT_THROW(lidar.SetJitterThreshold(std::numeric_limits<float>::quiet_NaN()),
               std::invalid_argument);
  EXPECT_THROW(lidar.ConfigureKalman(std::numeric_limits<float>::infinity(), 1.0F, 1.0F),
               std::invalid_argument);
}

TEST(LidarClass, ANewerLidarReplacesTheOlderWhoseDestructionLeavesItAlone) {
  SimLidar sim(0);
  auto older = std::make_unique<Lidar>(Lidar::Port::kOnboard);
  older->EnableFilter(Lidar::FilterType::kJitter);
  Lidar newer(Lidar::Port::kOnboard);
  EXPECT_TRUE(older->IsClosed());
  EXPECT_FALSE(older->IsScanning());
  EXPECT_EQ(older->GetData(), Lidar::ScanData{});
  EXPECT_EQ(newer.GetFilter(), std::nullopt);  // the new one starts without a filter
  older->Stop();  // a replaced lidar changes nothing
  older.reset();
  EXPECT_TRUE(newer.IsScanning());
  EXPECT_TRUE(waitForRoom(newer));

  Lidar moved(std::move(newer));
  EXPECT_TRUE(newer.IsClosed());  // NOLINT(bugprone-use-after-move): moved-from is empty
  EXPECT_TRUE(moved.IsScanning());
  moved.Close();
  EXPECT_TRUE(moved.IsClosed());
  expectPortClosed(sim, "closing left the port open");
}

}  // namespace

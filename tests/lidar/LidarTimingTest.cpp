// The serial lidar's sample times and connection, through the C face, against the simulated
// lidar on the stand-in HAL's serial port: times against the simulator's own send times.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "SimLidar.h"
#include "WaitFor.h"
#include "core/HalPlatform.h"
#include "halvern/Lidar.h"

namespace {

using namespace std::chrono_literals;
using halvern::sim::SimLidar;
using halvern::test::waitFor;

constexpr int32_t kPort = 0;

std::unique_ptr<LidarTimedScan> timedScan() {
  auto scan = std::make_unique<LidarTimedScan>();
  EXPECT_EQ(c_Lidar_getTimedData(scan.get()), scan.get());
  return scan;
}

class LidarTiming : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Before any create there is no reader: no samples, no times, not connected.
    auto before = timedScan();
    EXPECT_EQ(before->firstPacketUs, 0);
    EXPECT_EQ(before->lastPacketUs, 0);
    EXPECT_EQ(before->sampleUs[0], 0);
    EXPECT_EQ(before->distance[0], -1.0F);
    EXPECT_FALSE(c_Lidar_isConnected());
    c_Lidar_create(kPort);
  }
};

// Every degree's time is when its packet arrived: at or after the simulator sent the packet
// holding the degree, and the tables' first and last times bracket every degree's.
TEST_F(LidarTiming, EachDegreeCarriesTheTimeOfItsPacket) {
  SimLidar sim(kPort);
  // Two whole revolutions after now, so that every degree holds a sample of this simulator.
  const int64_t from = halvern::platform::robotTimeMicros();
  ASSERT_TRUE(waitFor([&] { return sim.revolutionsSent() >= 3; }, 5s));
  ASSERT_TRUE(waitFor([&] { return timedScan()->firstPacketUs > from; }, 5s));
  const auto scan = timedScan();
  const std::vector<SimLidar::SentPacket> sent = sim.sentPackets();
  const int64_t now = halvern::platform::robotTimeMicros();

  EXPECT_LE(scan->firstPacketUs, scan->lastPacketUs);
  EXPECT_LE(scan->lastPacketUs, now);
  std::vector<int64_t> lags;
  for (int degree = 0; degree < LIDAR_DEGREES; ++degree) {
    const int64_t at = scan->sampleUs[degree];
    ASSERT_GE(at, scan->firstPacketUs) << degree;
    ASSERT_LE(at, scan->lastPacketUs) << degree;
    // The packet is the latest the simulator sent before the library stamped it.
    const auto packet = std::find_if(sent.rbegin(), sent.rend(), [&](const auto& p) {
      return static_cast<int64_t>(p.halMicros) <= at;
    });
    ASSERT_NE(packet, sent.rend()) << degree;
    lags.push_back(at - static_cast<int64_t>(packet->halMicros));
  }
  std::sort(lags.begin(), lags.end());
  // A few milliseconds on an idle machine; more where the reader waits to be scheduled, yet well
  // under the 100 ms revolution.
  EXPECT_LT(lags[lags.size() / 2], 40'000) << "median microseconds from sending to stamp";
  // A revolution takes 100 ms: every degree was refreshed within about the last one.
  EXPECT_LT(scan->lastPacketUs - scan->firstPacketUs, 200'000);

  // Later tables are newer: the times increase from revolution to revolution.
  const int64_t seen = scan->lastPacketUs;
  const int64_t oldest = scan->firstPacketUs;
  ASSERT_TRUE(waitFor([&] { return timedScan()->firstPacketUs > seen; }, 5s));
  EXPECT_GT(timedScan()->firstPacketUs, oldest);
}

TEST_F(LidarTiming, ConnectedWhilePacketsArriveAndNotWhenSilentOrStopped) {
  SimLidar sim(kPort);
  EXPECT_TRUE(waitFor(c_Lidar_isConnected));
  sim.setSilent(true);
  EXPECT_TRUE(waitFor([] { return !c_Lidar_isConnected(); }));
  sim.setSilent(false);
  EXPECT_TRUE(waitFor(c_Lidar_isConnected));

  c_Lidar_stop();
  EXPECT_FALSE(c_Lidar_isConnected());  // a closed port brings nothing
  c_Lidar_start();
  EXPECT_TRUE(waitFor(c_Lidar_isConnected));
  EXPECT_EQ(c_Lidar_getTimedData(nullptr), nullptr);
}

}  // namespace

// The serial lidar's sample times and connection, through the C face, against the simulated
// lidar on the stand-in HAL's serial port: times against the simulator's own send times.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ReadWindow.h"
#include "SimLidar.h"
#include "WaitFor.h"
#include "core/HalPlatform.h"
#include "hal/SerialPort.h"
#include "halsim/SimControl.h"
#include "halvern/Lidar.h"

namespace {

using namespace std::chrono_literals;
using halvern::sim::SimLidar;
using halvern::test::waitFor;

constexpr int32_t kPort = 0;
// Bounds a wait for the reader or the simulator; it only decides a failure.
constexpr auto kPatience = 10s;

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
  ASSERT_TRUE(waitFor([&] { return sim.revolutionsSent() >= 3; }, kPatience));
  ASSERT_TRUE(waitFor([&] { return timedScan()->firstPacketUs > from; }, kPatience));
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
  // How near the stamps come to the sending depends on the machine: recorded, not judged here
  // (ItsOwnPacketsArrivalIsEachDegreesTime bounds them by events).
  std::sort(lags.begin(), lags.end());
  RecordProperty("median_lag_us", std::to_string(lags[lags.size() / 2]));

  // Later tables are newer: the times increase from revolution to revolution.
  const int64_t seen = scan->lastPacketUs;
  const int64_t oldest = scan->firstPacketUs;
  ASSERT_TRUE(waitFor([&] { return timedScan()->firstPacketUs > seen; }, kPatience));
  EXPECT_GT(timedScan()->firstPacketUs, oldest);
}

TEST_F(LidarTiming, ConnectedWhilePacketsArriveAndNotWhenSilentOrStopped) {
  SimLidar sim(kPort);
  EXPECT_TRUE(waitFor(c_Lidar_isConnected, kPatience));
  sim.setSilent(true);
  EXPECT_TRUE(waitFor([] { return !c_Lidar_isConnected(); }, kPatience));
  sim.setSilent(false);
  EXPECT_TRUE(waitFor(c_Lidar_isConnected, kPatience));

  c_Lidar_stop();
  EXPECT_FALSE(c_Lidar_isConnected());  // a closed port brings nothing
  c_Lidar_start();
  EXPECT_TRUE(waitFor(c_Lidar_isConnected, kPatience));
  EXPECT_EQ(c_Lidar_getTimedData(nullptr), nullptr);
}

// Packet by packet: a degree's time lies between its packet's sending and the reader's taking of
// a later one, windows that do not overlap from packet to packet; so the time is when its own
// packet arrived, not one of another packet nor of a later read. A second round refreshes every
// degree's time to its newest packet's.
TEST_F(LidarTiming, ItsOwnPacketsArrivalIsEachDegreesTime) {
  SimLidar sim(kPort);
  sim.setSilent(true);  // only the packets sent here
  ASSERT_TRUE(halsim::serialSettings(kPort).open);
  const auto bytesWaiting = [] {
    int32_t status = 0;
    // Initialising an open port again hands out its handle and changes nothing.
    const HAL_SerialPortHandle handle = HAL_InitializeSerialPort(HAL_SerialPort_Onboard, &status);
    return status == 0 ? HAL_GetSerialBytesReceived(handle, &status) : -1;
  };
  // Once the bytes after a packet are taken too, the reader has dealt with the packet.
  const auto sendOne = [&](const std::vector<uint8_t>& packet) {
    return halvern::test::sendWithinWindow(
        sim, packet, [&] { return bytesWaiting() == 0; }, kPatience);
  };
  // Samples without a return, which the lidar's angle correction leaves where they are.
  const auto packetAt = [](int degree) {
    const auto raw = static_cast<uint16_t>(degree * 128 + 64);
    return SimLidar::packet(false, raw, raw, {0});
  };
  constexpr std::array kDegrees{10, 100, 200, 300};

  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::array<halvern::test::ReadWindow, kDegrees.size()> windows{};
    for (std::size_t i = 0; i < kDegrees.size(); ++i) {
      windows[i] = sendOne(packetAt(kDegrees[i]));
    }
    const auto scan = timedScan();
    for (std::size_t i = 0; i < kDegrees.size(); ++i) {
      const int64_t at = scan->sampleUs[kDegrees[i]];
      EXPECT_GE(at, windows[i].sentUs) << "degree " << kDegrees[i];
      EXPECT_LE(at, windows[i].readUs) << "degree " << kDegrees[i];
    }
  }
}

}  // namespace

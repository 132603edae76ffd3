// The lidar's revolutions' packet times and its connection, through the C face, against the
// simulated lidar on a pseudo-terminal: times against the simulator's own send times.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ListedPort.h"
#include "OwnedHandle.h"
#include "ReadWindow.h"
#include "SimLidarMini.h"
#include "WaitFor.h"
#include "core/HalPlatform.h"
#include "halvern/LidarMini.h"

namespace {

using namespace std::chrono_literals;
using halvern::sim::SimLidarMini;
using halvern::test::ReadWindow;
using halvern::test::waitFor;

// Bounds a wait for the library or the simulator; it only decides a failure.
constexpr auto kPatience = 10s;

using Lidar = halvern::test::OwnedHandle<c_LidarMini_destroy>;

// A lidar on the simulator's port, the only one listed, scanning; its messages kept off the log.
Lidar scanningOn(const SimLidarMini& sim) {
  const halvern::test::ListedPort listed(sim.devicePath());
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  Lidar lidar(c_LidarMini_create(0));
  c_LidarMini_start(lidar.get());
  testing::internal::GetCapturedStdout();
  testing::internal::GetCapturedStderr();
  return lidar;
}

void quietly(void (*call)(void*), void* lidar) {
  testing::internal::CaptureStdout();
  call(lidar);
  testing::internal::GetCapturedStdout();
}

struct Revolution {
  int32_t points = 0;
  LidarMiniScanTimes times{};
};

Revolution latest(void* lidar) {
  std::vector<float> angles(4096);
  Revolution revolution;
  revolution.points =
      c_LidarMini_copyDataTimed(lidar, angles.data(), nullptr, nullptr,
                                static_cast<int32_t>(angles.size()), nullptr, &revolution.times);
  return revolution;
}

// The next `count` revolutions as they are published, each once.
std::vector<Revolution> nextRevolutions(void* lidar, int count) {
  std::vector<Revolution> revolutions;
  int64_t after = latest(lidar).times.firstPacketUs;
  for (int k = 0; k < count; ++k) {
    Revolution next;
    if (!waitFor(
            [&] {
              next = latest(lidar);
              return next.times.firstPacketUs > after;
            },
            kPatience)) {
      break;
    }
    after = next.times.firstPacketUs;
    revolutions.push_back(next);
  }
  return revolutions;
}

TEST(LidarMiniTiming, EachRevolutionCarriesTheTimesOfItsOwnFirstAndLastPackets) {
  SimLidarMini sim;
  Lidar lidar = scanningOn(sim);
  const std::vector<Revolution> revolutions = nextRevolutions(lidar.get(), 5);
  ASSERT_EQ(revolutions.size(), 5U);
  const std::vector<SimLidarMini::SentPacket> sent = sim.sentPackets();
  const int64_t now = halvern::platform::robotTimeMicros();
  const auto firstStart =
      std::find_if(sent.begin(), sent.end(), [](const auto& packet) { return packet.start; });
  ASSERT_NE(firstStart, sent.end());

  for (std::size_t k = 0; k < revolutions.size(); ++k) {
    const LidarMiniScanTimes& times = revolutions[k].times;
    EXPECT_GT(revolutions[k].points, 0);
    EXPECT_LE(times.firstPacketUs, times.lastPacketUs);
    EXPECT_LE(times.lastPacketUs, now);
    // Bytes arrive after they are sent.
    EXPECT_GE(times.firstPacketUs, static_cast<int64_t>(firstStart->halMicros));
    if (k + 1 < revolutions.size()) {
      // Increasing, and a revolution's last packet came before the next one's first, or at the
      // latest in the same read.
      EXPECT_GT(revolutions[k + 1].times.firstPacketUs, times.firstPacketUs);
      EXPECT_LE(times.lastPacketUs, revolutions[k + 1].times.firstPacketUs);
    }
  }
}

// The same packet by packet: each stamp lies between the packet's sending and the library's
// reading of it, and the windows of different packets do not overlap, so a stamp taken from
// another packet, another revolution or when the revolution was published does not fit.
TEST(LidarMiniTiming, ARevolutionsTimesAreWhenItsFirstAndLastPacketsArrived) {
  SimLidarMini sim;
  sim.setSilent(true);  // sends only what the test hands it
  Lidar lidar = scanningOn(sim);
  // Sends one packet and returns from just before its sending to after a read that follows it.
  const auto sendOne = [&](const std::vector<uint8_t>& bytes) {
    return halvern::test::sendWithinWindow(
        sim, bytes, [&] { return sim.libraryCaughtUp(); }, kPatience);
  };
  const auto start = SimLidarMini::scanPacket(true, 0, 0, {{.intensity = 9, .distanceMm = 1000}});
  const auto middle = SimLidarMini::scanPacket(false, 90 * 128, 180 * 128,
                                               {{.distanceMm = 1500}, {.distanceMm = 1600}});
  const auto last = SimLidarMini::scanPacket(false, 270 * 128, 270 * 128, {{.distanceMm = 1700}});

  // Past its settling, the scan thread reads what comes next as part of the scan.
  sendOne({0x00});
  ReadWindow first = sendOne(start);
  for (int revolution = 0; revolution < 3; ++revolution) {
    SCOPED_TRACE("revolution " + std::to_string(revolution));
    sendOne(middle);
    const ReadWindow lastPacket = sendOne(last);
    const ReadWindow next = sendOne(start);  // ends this revolution and begins the next
    const Revolution published = latest(lidar.get());
    EXPECT_EQ(published.points, 4);
    EXPECT_GE(published.times.firstPacketUs, first.sentUs);
    EXPECT_LE(published.times.firstPacketUs, first.readUs);
    EXPECT_GE(published.times.lastPacketUs, lastPacket.sentUs);
    EXPECT_LE(published.times.lastPacketUs, lastPacket.readUs);
    EXPECT_LT(published.times.lastPacketUs, next.sentUs);
    first = next;
  }
}

TEST(LidarMiniTiming, ConnectedWhilePacketsArriveAndNotWhenSilentStoppedOrUnplugged) {
  SimLidarMini sim;
  Lidar lidar = scanningOn(sim);
  EXPECT_TRUE(waitFor([&] { return c_LidarMini_isConnected(lidar.get()); }, kPatience));

  sim.setSilent(true);
  EXPECT_TRUE(waitFor([&] { return !c_LidarMini_isConnected(lidar.get()); }, kPatience));
  sim.setSilent(false);
  EXPECT_TRUE(waitFor([&] { return c_LidarMini_isConnected(lidar.get()); }, kPatience));

  // While stopped the lidar sends nothing, so it never reads connected; nor does its revolution
  // have times.
  quietly(c_LidarMini_stop, lidar.get());
  EXPECT_FALSE(c_LidarMini_isConnected(lidar.get()));
  const Revolution stopped = latest(lidar.get());
  EXPECT_EQ(stopped.points, 0);
  EXPECT_EQ(stopped.times.firstPacketUs, 0);
  EXPECT_EQ(stopped.times.lastPacketUs, 0);
  testing::internal::CaptureStdout();
  c_LidarMini_start(lidar.get());
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(waitFor([&] { return c_LidarMini_isConnected(lidar.get()); }, kPatience));

  sim.unplug();
  EXPECT_TRUE(waitFor([&] { return !c_LidarMini_isConnected(lidar.get()); }, kPatience));

  EXPECT_FALSE(c_LidarMini_isConnected(nullptr));
  LidarMiniScanTimes none{.firstPacketUs = 1, .lastPacketUs = 2};
  EXPECT_EQ(c_LidarMini_copyDataTimed(nullptr, nullptr, nullptr, nullptr, 0, nullptr, &none), 0);
  EXPECT_EQ(none.firstPacketUs, 0);
  EXPECT_EQ(none.lastPacketUs, 0);
}

}  // namespace

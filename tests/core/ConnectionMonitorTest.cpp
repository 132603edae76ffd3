#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "core/ConnectionMonitor.h"
#include "core/HalPlatform.h"

namespace {

using halvern::ConnectionMonitor;
using std::chrono::microseconds;

TEST(ConnectionMonitor, ConnectedOnlyWithinTheSilenceAfterTraffic) {
  ConnectionMonitor monitor(microseconds(100'000));
  EXPECT_FALSE(monitor.connectedAt(1'000'000)) << "nothing seen yet";
  monitor.noteTraffic(1'000'000);
  EXPECT_TRUE(monitor.connectedAt(1'000'000));
  EXPECT_TRUE(monitor.connectedAt(1'100'000));
  EXPECT_FALSE(monitor.connectedAt(1'100'001));
  monitor.reset();
  EXPECT_FALSE(monitor.connectedAt(1'000'000));
  EXPECT_EQ(monitor.lastTrafficMicros(), 0);
}

TEST(ConnectionMonitor, AnOlderStampNeverMovesTheLatestTrafficBack) {
  ConnectionMonitor monitor(microseconds(100'000));
  monitor.noteTraffic(2'000'000);
  monitor.noteTraffic(1'500'000);  // a frame stamped earlier, read late
  EXPECT_EQ(monitor.lastTrafficMicros(), 2'000'000);
}

TEST(ConnectionMonitor, ThreadsNotingTrafficKeepTheNewest) {
  ConnectionMonitor monitor(microseconds(100'000));
  std::vector<std::thread> writers;
  for (int64_t t = 0; t < 4; ++t) {
    writers.emplace_back([&monitor, t] {
      for (int64_t i = 1; i <= 10'000; ++i) {
        monitor.noteTraffic(i * 4 + t);
      }
    });
  }
  for (auto& writer : writers) {
    writer.join();
  }
  EXPECT_EQ(monitor.lastTrafficMicros(), 40'003);
}

TEST(ConnectionMonitor, TrafficNotedNowIsOnTheRobotClock) {
  ConnectionMonitor monitor(halvern::kLongestConnectionSilence);
  const int64_t before = halvern::platform::robotTimeMicros();
  monitor.noteTrafficNow();
  EXPECT_GE(monitor.lastTrafficMicros(), before);
  EXPECT_LE(monitor.lastTrafficMicros(), halvern::platform::robotTimeMicros());
  EXPECT_TRUE(monitor.connected());
}

}  // namespace

// The mock driver station through the library's C face, as the simulated robot program on UDP
// port 1110 sees it.
//
// Each case creates its own instance, which replaces the one before (if the cases run in one
// process); the robot program's side keeps only what the fresh instance sent (freshStream).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "MockDSTestSupport.h"
#include "halvern/MockDS.h"
#include "TestPlatform.h"

namespace {

using namespace halvern::mockds::testing;  // NOLINT(google-build-using-namespace)

class MockDS : public ::testing::Test {
 protected:
  void SetUp() override {
    robot = listenAsRobot();
    ASSERT_NE(robot, nullptr);
    if (lastCreate) {
      // An earlier case's instance: disabled (so its last datagrams cannot look enabled) and old
      // enough that freshStream tells its sequence numbers from a fresh instance's.
      c_MockDS_disable();
      std::this_thread::sleep_for(50ms);
      std::this_thread::sleep_until(*lastCreate + 250ms);
    }
  }

  void TearDown() override {
    if (halvern::test::hasStandinControls()) {
      halvern::test::setUdpStartFailure(false);
    }
  }

  /** Creates an instance (replacing any other); the time just before. */
  Clock::time_point createFresh() {
    replacedAnInstance = lastCreate.has_value();
    robot->clear();
    const auto start = Clock::now();
    c_MockDS_create();
    lastCreate = Clock::now();
    return start;
  }

  [[nodiscard]] std::vector<Received> fresh() const { return freshStream(robot->received()); }

  [[nodiscard]] bool waitForFresh(std::size_t count, std::chrono::milliseconds limit) const {
    return waitUntil([&] { return fresh().size() >= count; }, limit);
  }

  [[nodiscard]] bool waitForRobotEnabled(bool enabled, std::chrono::milliseconds limit) const {
    return waitUntil([&] { return robot->robotEnabled() == enabled; }, limit);
  }

  std::unique_ptr<Robot> robot;
  bool replacedAnInstance = false;
  // The last create of this process, by any case.
  // NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables)
  static inline std::optional<Clock::time_point> lastCreate;
};

TEST_F(MockDS, SendsEvery20msDisabledFromSequenceZero) {
  const auto start = createFresh();
  ASSERT_TRUE(waitForFresh(10, 3000ms));
  const auto stream = fresh();
  EXPECT_TRUE(consecutive(stream));
  EXPECT_EQ(stream.front().control.sequence, 0);
  for (const Received& datagram : stream) {
    EXPECT_EQ(datagram.control.protocolVersion, 0x01);
    EXPECT_EQ(datagram.control.control, kDisabled);
    EXPECT_EQ(datagram.control.request, 0x10);
    EXPECT_EQ(datagram.control.station, 0x00);
    EXPECT_TRUE(datagram.control.dsAttached);
    EXPECT_FALSE(datagram.control.enabled);
  }
  EXPECT_FALSE(robot->robotEnabled());
  // Datagram k goes at the sender's start + 20 (k + 1) ms, never earlier: about 5 in 100 ms,
  // the first about 20 ms after create.
  for (std::size_t k = 0; k < stream.size(); ++k) {
    const auto ideal = 20ms * static_cast<int>(k + 1);
    const auto since = millisecondsBetween(start, stream[k].at);
    EXPECT_GE(since, ideal - 1ms) << "datagram " << k;
    EXPECT_LE(since, ideal + 250ms) << "datagram " << k << " (a loaded machine?)";
  }
  std::size_t inFirst110ms = 0;
  for (const Received& datagram : stream) {
    inFirst110ms += datagram.at - start <= 110ms ? 1U : 0U;
  }
  EXPECT_LE(inFirst110ms, 5U);
  // The mean period over the ten, with room for a late first or last one.
  const auto span = millisecondsBetween(stream.front().at, stream.back().at);
  EXPECT_GE(span, 9 * 20ms - 60ms);
  EXPECT_LE(span, 9 * 20ms + 150ms);
}

TEST_F(MockDS, EnableGivesOneSecondOfDisabledWarmupThenEnabled) {
  const auto start = createFresh();
  c_MockDS_enable();
  // What the robot program reports while the warm-up runs: {enabled, datagrams seen after}.
  std::vector<std::pair<bool, std::size_t>> looks;
  waitUntil(
      [&] {
        const bool enabled = robot->robotEnabled();
        const std::size_t seen = fresh().size();
        looks.emplace_back(enabled, seen);
        return enabled && seen >= 60;
      },
      5000ms);
  const auto stream = fresh();
  ASSERT_GE(stream.size(), 60U);
  EXPECT_TRUE(consecutive(stream));

  std::size_t firstEnabled = 0;
  while (firstEnabled < stream.size() && stream[firstEnabled].control.control == kDisabled) {
    ++firstEnabled;
  }
  if (replacedAnInstance) {
    // Creating joined the instance before, which may have taken up to a slot: the fresh one may
    // have sent one datagram before enable was called, which does not count toward the warm-up.
    EXPECT_TRUE(firstEnabled == kWarmupDatagrams || firstEnabled == kWarmupDatagrams + 1)
        << firstEnabled;
  } else {
    EXPECT_EQ(firstEnabled, kWarmupDatagrams);  // datagrams 1 to 50 say disabled
  }
  for (std::size_t i = firstEnabled; i < stream.size(); ++i) {
    EXPECT_EQ(stream[i].control.control, kEnabledAutonomous) << "datagram " << i;
  }
  ASSERT_LT(firstEnabled, stream.size());
  EXPECT_TRUE(stream[firstEnabled].control.enabled);
  EXPECT_TRUE(stream[firstEnabled].control.autonomous);
  EXPECT_GE(millisecondsBetween(start, stream[firstEnabled].at), 1000ms);

  // The robot program said disabled until the first enabled datagram, then enabled.
  bool sawWarmup = false;
  for (const auto& [enabled, seen] : looks) {
    if (enabled) {
      EXPECT_GT(seen, firstEnabled);
    } else if (seen > 0 && seen <= firstEnabled) {
      sawWarmup = true;
    }
  }
  EXPECT_TRUE(sawWarmup);
  EXPECT_TRUE(looks.back().first);
}

TEST_F(MockDS, DisableAndEnableAfterTheWarmupAreImmediate) {
  createFresh();
  c_MockDS_enable();
  ASSERT_TRUE(waitForRobotEnabled(true, 5000ms));

  auto asked = Clock::now();
  c_MockDS_disable();
  ASSERT_TRUE(waitForRobotEnabled(false, 2000ms));
  EXPECT_LT(Clock::now() - asked, 500ms);
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(robot->robotEnabled());

  asked = Clock::now();
  c_MockDS_enable();
  ASSERT_TRUE(waitForRobotEnabled(true, 2000ms));
  EXPECT_LT(Clock::now() - asked, 500ms) << "no second warm-up (it would take a second)";
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(robot->robotEnabled());

  const auto stream = fresh();
  EXPECT_TRUE(consecutive(stream));
  const auto runs = controlRuns(stream);
  ASSERT_EQ(runs.size(), 4U);  // warm-up, enabled, disabled, enabled
  EXPECT_EQ(runs[0].first, kDisabled);
  EXPECT_GE(runs[0].second, kWarmupDatagrams);
  EXPECT_EQ(runs[1].first, kEnabledAutonomous);
  EXPECT_EQ(runs[2].first, kDisabled);
  EXPECT_GE(runs[2].second, 4U);
  EXPECT_EQ(runs[3].first, kEnabledAutonomous);
}

TEST_F(MockDS, DestroyDisablesAndKeepsSending) {
  createFresh();
  c_MockDS_enable();
  ASSERT_TRUE(waitForRobotEnabled(true, 5000ms));

  const auto asked = Clock::now();
  c_MockDS_destroy();
  ASSERT_TRUE(waitForRobotEnabled(false, 2000ms));
  EXPECT_LT(Clock::now() - asked, 500ms);
  const std::size_t atDestroy = fresh().size();
  std::this_thread::sleep_for(300ms);

  const auto stream = fresh();
  EXPECT_GE(stream.size(), atDestroy + 8);  // about 15 more
  EXPECT_TRUE(consecutive(stream));         // the same instance counting on
  EXPECT_EQ(stream.front().control.sequence, 0);
  for (std::size_t i = atDestroy; i < stream.size(); ++i) {
    EXPECT_EQ(stream[i].control.control, kDisabled) << "datagram " << i;
    EXPECT_TRUE(stream[i].control.dsAttached);
  }
  const auto runs = controlRuns(stream);
  ASSERT_EQ(runs.size(), 3U);  // warm-up, enabled, disabled
  EXPECT_EQ(runs[2].first, kDisabled);
}

TEST_F(MockDS, ASecondCreateStartsAFreshDisabledInstanceAndStopsTheFirst) {
  createFresh();
  c_MockDS_enable();
  ASSERT_TRUE(waitForFresh(10, 3000ms));  // ten datagrams into the first one's warm-up

  robot->clear();
  c_MockDS_create();
  lastCreate = Clock::now();
  std::this_thread::sleep_for(120ms);
  const auto second = freshStream(robot->received());
  ASSERT_GE(second.size(), 3U);
  EXPECT_EQ(second.front().control.sequence, 0);
  EXPECT_TRUE(consecutive(second));
  for (const Received& datagram : second) {
    EXPECT_EQ(datagram.control.control, kDisabled);  // not enabled: a fresh instance
  }

  // From here on only the second instance sends: one datagram per sequence number.
  robot->clear();
  const auto asked = Clock::now();
  c_MockDS_enable();
  ASSERT_TRUE(waitForRobotEnabled(true, 5000ms));
  // A fresh warm-up of a whole second, not what was left of the first one's.
  EXPECT_GE(Clock::now() - asked, 950ms);
  std::this_thread::sleep_for(100ms);

  const auto stream = robot->received();
  ASSERT_GE(stream.size(), 55U);
  EXPECT_TRUE(consecutive(stream)) << "a second sender is still running";
  EXPECT_LT(stream.front().control.sequence, 20);  // the second instance's
  const auto runs = controlRuns(stream);
  ASSERT_EQ(runs.size(), 2U);
  EXPECT_EQ(runs[0].first, kDisabled);
  EXPECT_GE(runs[0].second, kWarmupDatagrams);      // 50 warm-up datagrams after the enable,
  EXPECT_LE(runs[0].second, kWarmupDatagrams + 5);  // and those sent before it
  EXPECT_EQ(runs[1].first, kEnabledAutonomous);
}

// The lines the UDP client logs when it cannot start, each "DS: ERROR: <message> (<file>:<line>)".
std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) {
    lines.push_back(line);
  }
  return lines;
}

TEST_F(MockDS, AUdpClientThatCannotStartIsLoggedAndTheScheduleGoesOn) {
  HALVERN_NEEDS_STANDIN();
#if defined(_WIN32)
  GTEST_SKIP() << "on Windows the library sends through its own socket, not the stand-in's "
                  "(winsock_udp_client_test logs its failures)";
#endif
  ::testing::internal::CaptureStderr();
  halvern::test::setUdpStartFailure(true);
  createFresh();
  c_MockDS_enable();
  std::this_thread::sleep_for(310ms);
  const std::string logged = ::testing::internal::GetCapturedStderr();
  halvern::test::setUdpStartFailure(false);

  EXPECT_TRUE(fresh().empty());  // nothing reached the robot program
  ASSERT_FALSE(logged.empty());
  EXPECT_EQ(logged.back(), '\n');
  const std::regex errorLine(R"(DS: ERROR: .+ \(.+:[0-9]+\))");
  const auto lines = linesOf(logged);
  std::size_t sends = 0;
  for (const std::string& line : lines) {
    EXPECT_TRUE(std::regex_match(line, errorLine)) << line;
    sends += line.find("send()") != std::string::npos ? 1U : 0U;
  }
  EXPECT_NE(lines.front().find("could not create socket"), std::string::npos) << lines.front();
  EXPECT_NE(lines.front().find("UDPClient.cpp:"), std::string::npos) << lines.front();
  // One failed send per slot: about 15 in 310 ms, never more than the slots there were.
  EXPECT_GE(sends, 8U) << logged;
  EXPECT_LE(sends, 16U) << logged;
  EXPECT_EQ(lines.size(), sends + 1);

  // With the fault gone, the next instance sends as usual.
  createFresh();
  ASSERT_TRUE(waitForFresh(3, 3000ms));
  EXPECT_EQ(fresh().front().control.sequence, 0);
}

TEST_F(MockDS, ManyCreatesLeaveOneSender) {
  createFresh();
  ASSERT_TRUE(waitForFresh(2, 3000ms));
#if defined(__linux__)
  const std::size_t threads = threadCount();
  const std::size_t descriptors = baselineDescriptorCount();
#endif

  constexpr int kCreates = 200;
  const auto start = Clock::now();
  for (int i = 0; i < kCreates; ++i) {
    c_MockDS_create();
  }
  const auto took = millisecondsBetween(start, Clock::now());
  lastCreate = Clock::now();
  std::printf("%d creates took %lld ms\n", kCreates, static_cast<long long>(took.count()));
  // Each replacement joins the sender it replaces within one 20 ms slot.
  EXPECT_LT(took, kCreates * 20ms + 6000ms);

#if defined(__linux__)
  EXPECT_EQ(threadCountSettledAt(threads, 2000ms), threads);
  EXPECT_EQ(descriptorCountSettledAt(descriptors, 2000ms), descriptors);
#endif

  std::this_thread::sleep_for(60ms);
  robot->clear();
  std::this_thread::sleep_for(300ms);
  const auto stream = robot->received();
  EXPECT_GE(stream.size(), 8U);
  EXPECT_LE(stream.size(), 20U);
  EXPECT_TRUE(consecutive(stream)) << "more than one sender";
}

}  // namespace

// The mock driver station through the library's C face, as the simulated robot program on UDP
// port 1110 sees it.
//
// Each case creates its own instance, which replaces the one before (if the cases run in one
// process); the robot program's side keeps only what the fresh instance sent (freshStream).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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
#include "TestPlatform.h"
#include "halvern/MockDS.h"

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace {

using namespace halvern::mockds::testing;  // NOLINT(google-build-using-namespace)

class MockDS : public ::testing::Test {
 protected:
  void SetUp() override {
    robot = listenAsRobot();
    ASSERT_NE(robot, nullptr);
    if (lastCreateStart) {
      // An earlier case's instance: disabled (so its last datagrams cannot look enabled) and old
      // enough that freshStream tells its sequence numbers from a fresh instance's. Every
      // datagram it picks after the disable says disabled; wait until one of those has arrived,
      // and everything sent before it with it.
      c_MockDS_disable();
      constexpr std::size_t kOldEnough = 8;
      const std::size_t firstAfter =
          std::max(mostPickedBy(*lastCreateStart, Clock::now()) + 1, kOldEnough);
      ASSERT_TRUE(waitUntil(
          [&] {
            const auto received = robot->received();
            return !received.empty() && received.back().control.sequence >= firstAfter;
          },
          kLimit));
    }
  }

  void TearDown() override {
    if (halvern::test::hasStandinControls()) {
      halvern::test::setUdpStartFailure(false);
    }
  }

  /** Creates an instance (replacing any other); the time just before. */
  Clock::time_point createFresh() {
    robot->clear();
    const auto start = Clock::now();
    c_MockDS_create();
    lastCreateStart = start;
    return start;
  }

  [[nodiscard]] std::vector<Received> fresh() const { return freshStream(robot->received()); }

  [[nodiscard]] bool waitForFresh(std::size_t count) const {
    return waitUntil([&] { return fresh().size() >= count; }, kLimit);
  }

  [[nodiscard]] bool waitForRobotEnabled(bool enabled) const {
    return waitUntil([&] { return robot->robotEnabled() == enabled; }, kLimit);
  }

  // Bounds a failure only: what normally takes a few periods, or the one-second warm-up.
  static constexpr std::chrono::milliseconds kLimit{10000};

  std::unique_ptr<Robot> robot;
  // When the last create of this process, by any case, began.
  // NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables)
  static inline std::optional<Clock::time_point> lastCreateStart;
};

TEST_F(MockDS, SendsEvery20msDisabledFromSequenceZero) {
  const auto start = createFresh();
  ASSERT_TRUE(waitForFresh(10));
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
  // Datagram k goes at the sender's start + 20 (k + 1) ms, never earlier, however late the
  // machine lets it go: at most 5 in the first 110 ms, the first 20 ms after create at the
  // earliest. (How late they come on a busy machine is the timing tool's to measure.)
  for (std::size_t k = 0; k < stream.size(); ++k) {
    const auto ideal = kPeriod * static_cast<int>(k + 1);
    const auto since = millisecondsBetween(start, stream[k].at);
    EXPECT_GE(since, ideal - 1ms) << "datagram " << k;
  }
  std::size_t inFirst110ms = 0;
  for (const Received& datagram : stream) {
    inFirst110ms += datagram.at - start <= 110ms ? 1U : 0U;
  }
  EXPECT_LE(inFirst110ms, 5U);
}

TEST_F(MockDS, EnableGivesOneSecondOfDisabledWarmupThenEnabled) {
  const auto start = createFresh();
  c_MockDS_enable();
  // Datagrams picked before the enable do not count toward the warm-up: none if the create and
  // the enable came within one period, as they do unless the machine holds this thread up.
  const std::size_t pickedBefore = mostPickedBy(start, Clock::now());
  // What the robot program reports while the warm-up runs: {enabled, datagrams seen after}.
  std::vector<std::pair<bool, std::size_t>> looks;
  waitUntil(
      [&] {
        const bool enabled = robot->robotEnabled();
        const std::size_t seen = fresh().size();
        looks.emplace_back(enabled, seen);
        return enabled && seen >= 60;
      },
      kLimit);
  const auto stream = fresh();
  ASSERT_GE(stream.size(), 60U);
  EXPECT_TRUE(consecutive(stream));

  std::size_t firstEnabled = 0;
  while (firstEnabled < stream.size() && stream[firstEnabled].control.control == kDisabled) {
    ++firstEnabled;
  }
  // The 50 datagrams picked after the enable say disabled, the next one enabled.
  EXPECT_GE(firstEnabled, kWarmupDatagrams);
  EXPECT_LE(firstEnabled, kWarmupDatagrams + pickedBefore);
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
  const auto start = createFresh();
  c_MockDS_enable();
  ASSERT_TRUE(waitForRobotEnabled(true));

  // Immediate: the first datagram picked after the call says so. Its sequence number is at
  // most the slots passed by the time the call returned.
  c_MockDS_disable();
  const std::size_t disabledBy = mostPickedBy(start, Clock::now());
  ASSERT_TRUE(waitForFresh(disabledBy + 5));  // four disabled ones after the first, at least
  ASSERT_TRUE(waitForRobotEnabled(false));
  EXPECT_FALSE(robot->robotEnabled());

  c_MockDS_enable();
  const std::size_t enabledBy = mostPickedBy(start, Clock::now());
  ASSERT_TRUE(waitForFresh(enabledBy + 5));
  ASSERT_TRUE(waitForRobotEnabled(true)) << "no second warm-up (it would take a second)";

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
  const std::size_t firstDisabled = runs[0].second + runs[1].second;
  EXPECT_LE(firstDisabled, disabledBy) << "the disable waited";
  EXPECT_LE(firstDisabled + runs[2].second, enabledBy) << "the enable warmed up again";
}

TEST_F(MockDS, DestroyDisablesAndKeepsSending) {
  const auto start = createFresh();
  c_MockDS_enable();
  ASSERT_TRUE(waitForRobotEnabled(true));

  c_MockDS_destroy();
  const std::size_t disabledBy = mostPickedBy(start, Clock::now());
  ASSERT_TRUE(waitForRobotEnabled(false));
  const std::size_t atDestroy = std::max(fresh().size(), disabledBy + 1);
  ASSERT_TRUE(waitForFresh(atDestroy + 8)) << "the sender stopped";

  const auto stream = fresh();
  EXPECT_TRUE(consecutive(stream));  // the same instance counting on
  EXPECT_EQ(stream.front().control.sequence, 0);
  for (std::size_t i = atDestroy; i < stream.size(); ++i) {
    EXPECT_EQ(stream[i].control.control, kDisabled) << "datagram " << i;
    EXPECT_TRUE(stream[i].control.dsAttached);
  }
  const auto runs = controlRuns(stream);
  ASSERT_EQ(runs.size(), 3U);  // warm-up, enabled, disabled
  EXPECT_EQ(runs[2].first, kDisabled);
  EXPECT_LE(runs[0].second + runs[1].second, disabledBy) << "the destroy did not disable at once";
}

TEST_F(MockDS, ASecondCreateStartsAFreshDisabledInstanceAndStopsTheFirst) {
  createFresh();
  c_MockDS_enable();
  ASSERT_TRUE(waitForFresh(10));  // ten datagrams into the first one's warm-up

  robot->clear();
  const auto secondStart = Clock::now();
  c_MockDS_create();
  const auto created = Clock::now();
  lastCreateStart = secondStart;
  ASSERT_TRUE(waitUntil([&] { return freshStream(robot->received()).size() >= 3; }, kLimit));
  const auto second = freshStream(robot->received());
  EXPECT_EQ(second.front().control.sequence, 0);
  EXPECT_TRUE(consecutive(second));
  for (const Received& datagram : second) {
    EXPECT_EQ(datagram.control.control, kDisabled);  // not enabled: a fresh instance
  }

  // From here on only the second instance sends: the create joined the first, so all the first
  // one sent went before any datagram the second picked after the create returned.
  const std::size_t pickedDuringCreate = mostPickedBy(secondStart, created);
  ASSERT_TRUE(waitUntil([&] { return freshStream(robot->received()).size() > pickedDuringCreate; },
                        kLimit));
  const auto clearedAt = Clock::now();
  robot->clear();
  const auto asked = Clock::now();
  c_MockDS_enable();
  const std::size_t pickedBeforeEnable = mostPickedBy(secondStart, Clock::now());
  ASSERT_TRUE(waitForRobotEnabled(true));
  // A fresh warm-up of a whole second, not what was left of the first one's.
  EXPECT_GE(Clock::now() - asked, 950ms);
  ASSERT_TRUE(waitUntil([&] { return robot->receivedCount() >= 55U; }, kLimit));

  const auto stream = robot->received();
  ASSERT_GE(stream.size(), 55U);
  EXPECT_TRUE(consecutive(stream)) << "a second sender is still running";
  // The second instance's: the next it picked after the clear.
  EXPECT_LE(stream.front().control.sequence, mostPickedBy(secondStart, clearedAt));
  const auto runs = controlRuns(stream);
  ASSERT_EQ(runs.size(), 2U);
  EXPECT_EQ(runs[0].first, kDisabled);
  EXPECT_GE(runs[0].second, kWarmupDatagrams);  // 50 warm-up datagrams after the enable,
  EXPECT_LE(runs[0].second,                     // and those picked before it
            kWarmupDatagrams + pickedBeforeEnable - stream.front().control.sequence);
  EXPECT_EQ(runs[1].first, kEnabledAutonomous);
}

#if !defined(_WIN32)
/**
 * While it lives, standard error goes to a temporary file, which text() reads back as it grows,
 * so a test can wait for lines as they are written.
 */
class StandardErrorToFile {
 public:
  StandardErrorToFile() : file_(std::tmpfile()), saved_(::dup(STDERR_FILENO)) {
    std::fflush(stderr);
    if (file_ == nullptr || saved_ < 0 || ::dup2(::fileno(file_), STDERR_FILENO) < 0) {
      ADD_FAILURE() << "standard error cannot be redirected";
    }
  }
  StandardErrorToFile(const StandardErrorToFile&) = delete;
  StandardErrorToFile& operator=(const StandardErrorToFile&) = delete;
  ~StandardErrorToFile() {
    std::fflush(stderr);
    if (saved_ >= 0) {
      ::dup2(saved_, STDERR_FILENO);
      ::close(saved_);
    }
    if (file_ != nullptr) {
      std::fclose(file_);
    }
  }

  /** Everything written so far. */
  [[nodiscard]] std::string text() const {
    std::string text;
    if (file_ == nullptr) {
      return text;
    }
    std::array<char, 4096> chunk{};
    for (off_t at = 0;;) {
      const ssize_t read = ::pread(::fileno(file_), chunk.data(), chunk.size(), at);
      if (read <= 0) {
        return text;
      }
      text.append(chunk.data(), static_cast<std::size_t>(read));
      at += read;
    }
  }

 private:
  std::FILE* file_;
  int saved_;
};

// The lines the UDP client logs when it cannot start, each "DS: ERROR: <message> (<file>:<line>)".
std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) {
    lines.push_back(line);
  }
  return lines;
}
#endif

TEST_F(MockDS, AUdpClientThatCannotStartIsLoggedAndTheScheduleGoesOn) {
  HALVERN_NEEDS_STANDIN();
#if defined(_WIN32)
  GTEST_SKIP() << "on Windows the library sends through its own socket, not the stand-in's "
                  "(winsock_udp_client_test logs its failures)";
#else
  constexpr std::size_t kSends = 8;
  const auto sendsIn = [](const std::string& text) {
    std::size_t sends = 0;
    for (const std::string& line : linesOf(text)) {
      sends += line.find("send()") != std::string::npos ? 1U : 0U;
    }
    return sends;
  };
  std::string logged;
  Clock::time_point start;
  Clock::time_point stopped;
  {
    const StandardErrorToFile captured;
    halvern::test::setUdpStartFailure(true);
    start = createFresh();
    c_MockDS_enable();
    EXPECT_TRUE(waitUntil([&] { return sendsIn(captured.text()) >= kSends; }, kLimit));
    halvern::test::setUdpStartFailure(false);
    stopped = Clock::now();
    logged = captured.text();
  }

  ASSERT_TRUE(passMarker(*robot));  // whatever was sent before has been read
  EXPECT_TRUE(fresh().empty());     // nothing reached the robot program
  ASSERT_FALSE(logged.empty());
  EXPECT_EQ(logged.back(), '\n');
  const std::regex errorLine(R"(DS: ERROR: .+ \(.+:[0-9]+\))");
  const auto lines = linesOf(logged);
  for (const std::string& line : lines) {
    EXPECT_TRUE(std::regex_match(line, errorLine)) << line;
  }
  const std::size_t sends = sendsIn(logged);
  EXPECT_NE(lines.front().find("could not create socket"), std::string::npos) << lines.front();
  EXPECT_NE(lines.front().find("UDPClient.cpp:"), std::string::npos) << lines.front();
  // One failed send per slot: never more than the slots there were.
  EXPECT_GE(sends, kSends) << logged;
  EXPECT_LE(sends, mostPickedBy(start, stopped)) << logged;
  EXPECT_EQ(lines.size(), sends + 1);

  // With the fault gone, the next instance sends as usual.
  createFresh();
  ASSERT_TRUE(waitForFresh(3));
  EXPECT_EQ(fresh().front().control.sequence, 0);
#endif
}

TEST_F(MockDS, ManyCreatesLeaveOneSender) {
  createFresh();
  ASSERT_TRUE(waitForFresh(2));
#if defined(__linux__)
  const std::size_t threads = threadCount();
  const std::size_t descriptors = baselineDescriptorCount();
#endif

  constexpr int kCreates = 200;
  const auto start = Clock::now();
  Clock::time_point lastStart;
  for (int i = 0; i < kCreates; ++i) {
    lastStart = Clock::now();
    c_MockDS_create();
  }
  const auto created = Clock::now();
  lastCreateStart = lastStart;
  // How long each replacement takes to join the sender it replaces is the timing tool's to
  // measure; here it is only reported.
  std::printf("%d creates took %lld ms\n", kCreates,
              static_cast<long long>(millisecondsBetween(start, created).count()));

#if defined(__linux__)
  EXPECT_EQ(threadCountSettledAt(threads, kLimit), threads);
  EXPECT_EQ(descriptorCountSettledAt(descriptors, kLimit), descriptors);
#endif

  // Every replaced instance was joined before the last create returned, so all it sent went
  // before this marker; what arrives after it comes from senders still running.
  ASSERT_TRUE(passMarker(*robot));
  robot->clear();
  ASSERT_TRUE(robot->waitForCount(8, kLimit));
  const auto stream = robot->received();
  EXPECT_GE(stream.size(), 8U);
  EXPECT_TRUE(consecutive(stream)) << "more than one sender";
  // One sender at one datagram a period: each no earlier than its slot.
  for (const Received& datagram : stream) {
    EXPECT_GE(datagram.at - lastStart, kPeriod * (datagram.control.sequence + 1) - 1ms)
        << "datagram " << datagram.control.sequence;
  }
}

}  // namespace

// The lidar on a simulated USB serial port, through the library's C face.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <future>
#include <memory>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "ByteRuns.h"
#include "CpuUse.h"
#include "ListedPort.h"
#include "OwnedHandle.h"
#include "ProcessEntries.h"
#include "SimLidarMini.h"
#include "WaitFor.h"
#include "halvern/LidarMini.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using halvern::sim::SimLidarMini;
using halvern::test::ListedPort;
using Bytes = std::vector<uint8_t>;
using halvern::testing::joined;
using Sample = SimLidarMini::Sample;

constexpr uint8_t kStartScan = 0x60;
constexpr uint8_t kStopScan = 0x65;
constexpr uint8_t kGetInfo = 0x90;
constexpr uint8_t kGetHealth = 0x92;
constexpr uint8_t kUpTenth = 0x09;
constexpr uint8_t kDownTenth = 0x0A;
constexpr uint8_t kUpOne = 0x0B;

// Millimetre distances, the angle's 1/128 degree: a point is where the room puts it within this.
constexpr double kDistanceToleranceMetres = 0.003;
// How long a wait for the library or the simulator may take before the test fails: it only
// bounds a failure, on a machine as loaded as a shared CI runner.
constexpr auto kPatience = 10s;
// Destroying wakes the scan thread at once rather than waiting out a read: well within this,
// which a thread left blocked on the port would never meet.
constexpr auto kPromptLimit = 5s;
// Bytes that hold no packet mark: the scan thread reads and drops them. Sent after something
// and read, they show that the scan thread has dealt with everything before them.
const std::vector<uint8_t> kNoise{0x00, 0x11, 0x22};

const std::string kTooHigh = "[LidarMini] increaseFrequency blocked: max is 12 Hz\n";
const std::string kTooLow = "[LidarMini] decreaseFrequency blocked: min is 6 Hz\n";

using Lidar = halvern::test::OwnedHandle<c_LidarMini_destroy>;

// A lidar on the simulator's port, the only one listed, so port selector 0 takes it.
Lidar createOn(const SimLidarMini& sim) {
  const ListedPort listed(sim.devicePath());
  return Lidar(c_LidarMini_create(0));
}

struct Output {
  std::string out;
  std::string err;
};

template <typename Action>
Output outputOf(Action action) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  action();
  Output output;
  output.out = testing::internal::GetCapturedStdout();
  output.err = testing::internal::GetCapturedStderr();
  return output;
}

template <typename Action>
std::string errorsOf(Action action) {
  return outputOf(action).err;
}

template <typename Condition>
bool waitUntil(Condition condition) {
  return halvern::test::waitFor(condition, kPatience);
}

// Sends bytes and waits until the library has read them.
void sendAndWaitForRead(SimLidarMini& sim, const std::vector<uint8_t>& bytes) {
  sim.sendRaw(bytes);
  EXPECT_TRUE(waitUntil([&] { return sim.libraryCaughtUp(); })) << "the library did not read";
}

// Returns once the scan thread has dealt with everything the simulator sent so far: what
// follows on the line is read, and framed, only after it.
void waitForScanThreadToCatchUp(SimLidarMini& sim) {
  EXPECT_TRUE(waitUntil([&] { return sim.libraryCaughtUp(); })) << "the library did not read";
  sendAndWaitForRead(sim, kNoise);
}

Bytes waitForCommands(const SimLidarMini& sim, std::size_t count) {
  waitUntil([&] { return sim.commands().size() >= count; });
  return sim.commands();
}

void startQuietly(void* lidar) {
  outputOf([&] { c_LidarMini_start(lidar); });
}

int64_t steadyNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

// The latest revolution once it is newer than `after` (a timestamp), or the latest at the time-out.
LidarMiniScanFrame waitForFrameAfter(void* lidar, int64_t after) {
  LidarMiniScanFrame frame = c_LidarMini_getData(lidar);
  waitUntil([&] {
    frame = c_LidarMini_getData(lidar);
    return frame.timestamp > after;
  });
  return frame;
}

// The next `count` revolutions as they are published, each once.
std::vector<LidarMiniScanFrame> nextFrames(void* lidar, int count) {
  std::vector<LidarMiniScanFrame> frames;
  int64_t after = c_LidarMini_getData(lidar).timestamp;
  for (int k = 0; k < count; ++k) {
    LidarMiniScanFrame frame = waitForFrameAfter(lidar, after);
    if (frame.timestamp <= after) {
      break;
    }
    after = frame.timestamp;
    frames.push_back(std::move(frame));
  }
  return frames;
}

void expectEmpty(const LidarMiniScanFrame& frame) {
  EXPECT_EQ(frame.timestamp, 0);
  EXPECT_TRUE(frame.points.empty()) << frame.points.size() << " points";
}

// What the room does not explain: angles outside [0, 360) and distances off the room's. Empty
// when every point fits.
std::string strayPoints(const LidarMiniScanFrame& frame, const SimLidarMini::Room& room) {
  std::string strays;
  int count = 0;
  for (const LidarMiniScanPoint& point : frame.points) {
    const bool angleFits = point.angle >= 0.0F && point.angle < 360.0F;
    const double expected = angleFits ? room(point.angle) / 1000.0 : 0.0;
    if (angleFits && std::abs(point.distance - expected) <= kDistanceToleranceMetres) {
      continue;
    }
    if (++count <= 3) {
      strays += "angle " + std::to_string(point.angle) + ": " + std::to_string(point.distance) +
                " m, room " + std::to_string(expected) + " m; ";
    }
  }
  return count == 0 ? "" : std::to_string(count) + " stray points: " + strays;
}

std::size_t fullRevolution(double frequencyHz) {
  return static_cast<std::size_t>(std::lround(SimLidarMini::kSamplesPerSecond / frequencyHz));
}

uint16_t rawAngle(double degrees) { return static_cast<uint16_t>(std::lround(degrees * 128)); }

Bytes startPacket(uint16_t distanceMm) {
  return SimLidarMini::scanPacket(true, 0, 0, {Sample{.intensity = 9, .distanceMm = distanceMm}});
}

Bytes packet(double firstDegrees, double lastDegrees, const std::vector<Sample>& samples) {
  return SimLidarMini::scanPacket(false, rawAngle(firstDegrees), rawAngle(lastDegrees), samples);
}

void expectPoint(const LidarMiniScanPoint& point, float angle, float distance, float intensity) {
  EXPECT_NEAR(point.angle, angle, 1e-4);
  EXPECT_NEAR(point.distance, distance, 1e-6);
  EXPECT_EQ(point.intensity, intensity);
}

void expectZero(const LidarInfo& info) {
  EXPECT_EQ(info.model, 0);
  EXPECT_EQ(info.firmwareVersion, 0);
  EXPECT_EQ(info.hardwareVersion, 0);
  EXPECT_EQ(Bytes(std::begin(info.serialnum), std::end(info.serialnum)), Bytes(16, 0));
}

void expectZero(const LidarHealth& health) {
  EXPECT_EQ(health.status, 0);
  EXPECT_EQ(health.errorCode, 0);
}

TEST(LidarMini, CreationOnAMissingPortFailsLeavingNothingBehind) {
  const std::string missing = "/dev/halvern-no-such-lidar";  // sorts before any real port
  const ListedPort listed(missing);
  const auto before = halvern::testing::entriesBefore();

  int sentinel = 0;
  void* lidar = &sentinel;
  const Output output = outputOf([&] { lidar = c_LidarMini_create(0); });
  EXPECT_EQ(lidar, nullptr);
  EXPECT_EQ(output.out, "[LidarMini] Opening " + missing + " (port 0)\n");
  EXPECT_EQ(output.err, "[LidarMini] Cannot open " + missing + " (errno 2)\n");
  EXPECT_EQ(halvern::testing::entriesSettledAt(before), before);
}

TEST(LidarMini, CreationQuietsTheLidarOnTheSelectedPort) {
  std::array<SimLidarMini, 2> sims;
  const ListedPort firstListed(sims[0].devicePath());
  const ListedPort secondListed(sims[1].devicePath());
  // Port 3 selects the second path in byte order.
  const bool inOrder = sims[0].devicePath() < sims[1].devicePath();
  const SimLidarMini& selected = sims[inOrder ? 1 : 0];
  const SimLidarMini& other = sims[inOrder ? 0 : 1];
  const std::string& path = selected.devicePath();

  Lidar lidar;
  const Output created = outputOf([&] { lidar.reset(c_LidarMini_create(3)); });
  ASSERT_NE(lidar, nullptr);
  EXPECT_EQ(created.out, "[LidarMini] Opening " + path +
                             " (port 3)\n[LidarMini] Initialised on port 3 (" + path + ")\n");
  EXPECT_EQ(created.err, "");
  EXPECT_EQ(waitForCommands(selected, 1), Bytes{kStopScan});
  EXPECT_EQ(other.commands(), Bytes{});
  expectEmpty(c_LidarMini_getData(lidar.get()));

  EXPECT_EQ(outputOf([&] { lidar.reset(); }).out, "[LidarMini] Destroyed\n");
  // Destroying sent nothing: the next lidar's StopScan is the next command the lidar hears.
  outputOf([&] { lidar.reset(c_LidarMini_create(3)); });
  ASSERT_NE(lidar, nullptr);
  EXPECT_EQ(waitForCommands(selected, 2), (Bytes{kStopScan, kStopScan}));
  EXPECT_EQ(other.commands(), Bytes{});
}

TEST(LidarMini, StartConfirmsTheStreamAndWholeRevolutionsArrive) {
  SimLidarMini sim;
  const Lidar lidar = createOn(sim);
  ASSERT_NE(lidar, nullptr);
  const Output started = outputOf([&] { c_LidarMini_start(lidar.get()); });
  EXPECT_EQ(started.err, "");
  std::smatch confirmed;
  ASSERT_TRUE(std::regex_match(started.out, confirmed,
                               std::regex(R"(\[LidarMini\] Confirmed: (\d+) bytes received after )"
                                          R"(scan start\.\n\[LidarMini\] Scanning started\n)")))
      << started.out;
  EXPECT_GT(std::stoi(confirmed[1].str()), 0);
  EXPECT_EQ(sim.commands(), (Bytes{kStopScan, kStartScan}));
  EXPECT_TRUE(sim.scanning());

  const std::vector<LidarMiniScanFrame> frames = nextFrames(lidar.get(), 3);
  ASSERT_EQ(frames.size(), 3U);
  const SimLidarMini::Room room = SimLidarMini::defaultRoom();
  int64_t previous = 0;
  for (const LidarMiniScanFrame& frame : frames) {
    SCOPED_TRACE("revolution at " + std::to_string(frame.timestamp));
    EXPECT_EQ(frame.points.size(), fullRevolution(6.0));
    EXPECT_EQ(strayPoints(frame, room), "");
    // In arrival order a revolution sweeps once round, from its start packet at 0 degrees.
    ASSERT_FALSE(frame.points.empty());
    EXPECT_EQ(frame.points.front().angle, 0.0F);
    EXPECT_TRUE(std::is_sorted(frame.points.begin(), frame.points.end(),
                               [](const auto& a, const auto& b) { return a.angle < b.angle; }));
    EXPECT_GT(frame.timestamp, previous);
    previous = frame.timestamp;
  }
  // The steady clock's nanoseconds, from the last few seconds.
  EXPECT_LE(previous, steadyNanoseconds());
  EXPECT_GT(previous, steadyNanoseconds() - std::chrono::nanoseconds(10s).count());

  // A second start changes nothing: the running scan goes on.
  const Output again = outputOf([&] { c_LidarMini_start(lidar.get()); });
  EXPECT_EQ(again.out, "");
  EXPECT_EQ(again.err, "[LidarMini] Already scanning\n");
  EXPECT_GT(waitForFrameAfter(lidar.get(), previous).timestamp, previous);
  EXPECT_EQ(sim.commands(), (Bytes{kStopScan, kStartScan}));
}

TEST(LidarMini, ASilentLidarWarnsYetScansWithEmptyFrames) {
  SimLidarMini sim;
  sim.setSilent(true);
  const Lidar lidar = createOn(sim);
  ASSERT_NE(lidar, nullptr);

  const Output started = outputOf([&] { c_LidarMini_start(lidar.get()); });
  EXPECT_EQ(started.err,
            "[LidarMini] WARNING: 0 bytes 300 ms after scan start. Check device path and T-mini "
            "Plus power.\n");
  EXPECT_EQ(started.out, "[LidarMini] Scanning started\n");
  EXPECT_EQ(errorsOf([&] { c_LidarMini_start(lidar.get()); }), "[LidarMini] Already scanning\n");
  waitForScanThreadToCatchUp(sim);
  expectEmpty(c_LidarMini_getData(lidar.get()));

  // Power comes back: the running scan takes up the stream.
  sim.setSilent(false);
  const LidarMiniScanFrame frame = waitForFrameAfter(lidar.get(), 0);
  EXPECT_EQ(frame.points.size(), fullRevolution(6.0));
  EXPECT_EQ(strayPoints(frame, SimLidarMini::defaultRoom()), "");
}

TEST(LidarMini, FrequencyStepsAreSentOnlyBetween6And12Hz) {
  SimLidarMini sim;
  const Lidar lidar = createOn(sim);
  ASSERT_NE(lidar, nullptr);
  const auto steps = [&](auto change, bool big, int times) {
    return errorsOf([&] {
      for (int k = 0; k < times; ++k) {
        change(lidar.get(), big);
      }
    });
  };
  const auto up = c_LidarMini_increaseFrequency;
  const auto down = c_LidarMini_decreaseFrequency;

  EXPECT_EQ(steps(down, false, 1), kTooLow);
  EXPECT_EQ(steps(down, true, 1), kTooLow);
  // Sixty tenths reach 12 Hz despite their rounding; the sixty-first goes beyond.
  EXPECT_EQ(steps(up, false, 60), "");
  EXPECT_EQ(steps(up, false, 1), kTooHigh);
  EXPECT_EQ(steps(up, true, 1), kTooHigh);
  EXPECT_EQ(steps(down, false, 60), "");
  EXPECT_EQ(steps(down, false, 1), kTooLow);
  // From 11.5 Hz a whole hertz is too much, a tenth is not.
  EXPECT_EQ(steps(up, true, 5), "");
  EXPECT_EQ(steps(up, false, 5), "");
  EXPECT_EQ(steps(up, true, 1), kTooHigh);
  EXPECT_EQ(steps(up, false, 1), "");

  Bytes expected{kStopScan};
  expected.insert(expected.end(), 60, kUpTenth);
  expected.insert(expected.end(), 60, kDownTenth);
  expected.insert(expected.end(), 5, kUpOne);
  expected.insert(expected.end(), 6, kUpTenth);
  EXPECT_EQ(waitForCommands(sim, expected.size()), expected);
  EXPECT_NEAR(sim.frequencyHz(), 11.6, 1e-9);

  // The lidar turns faster: a revolution holds fewer points.
  startQuietly(lidar.get());
  for (const LidarMiniScanFrame& frame : nextFrames(lidar.get(), 2)) {
    EXPECT_EQ(frame.points.size(), fullRevolution(11.6));
  }
}

TEST(LidarMini, IdentityAndHealthAreReadFromTheLidar) {
  SimLidarMini sim;
  SimLidarMini::Identity identity{.model = 0x29, .firmwareVersion = 0x1234, .hardwareVersion = 7};
  identity.serial = {0x00, 0xA5, 0x5A, 'S', 'N', 0xFF, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x00};
  sim.setIdentity(identity);
  sim.setHealth({.status = 2, .errorCode = 0x8001});
  const Lidar lidar = createOn(sim);
  ASSERT_NE(lidar, nullptr);

  const LidarInfo info = c_LidarMini_getInfo(lidar.get());
  EXPECT_EQ(info.model, 0x29);
  EXPECT_EQ(info.firmwareVersion, 0x1234);
  EXPECT_EQ(info.hardwareVersion, 7);
  EXPECT_EQ(Bytes(std::begin(info.serialnum), std::end(info.serialnum)),
            Bytes(identity.serial.begin(), identity.serial.end()));
  const LidarHealth health = c_LidarMini_getHealth(lidar.get());
  EXPECT_EQ(health.status, 2);
  EXPECT_EQ(health.errorCode, 0x8001);
  EXPECT_EQ(sim.commands(), (Bytes{kStopScan, kGetInfo, kGetHealth}));
}

TEST(LidarMini, BrokenRepliesGiveZeroRecordsAndSayWhy) {
  SimLidarMini sim;
  const Lidar lidar = createOn(sim);
  ASSERT_NE(lidar, nullptr);
  LidarInfo info{};
  LidarHealth health{};
  const auto readInfo = [&] { info = c_LidarMini_getInfo(lidar.get()); };
  const auto readHealth = [&] { health = c_LidarMini_getHealth(lidar.get()); };

  sim.overrideNextReply({0xA5, 0x00, 0x14, 0x00, 0x00, 0x00, 0x04});
  EXPECT_EQ(errorsOf(readInfo), "[LidarMini] Bad header (0xa5 0x0)\n");
  expectZero(info);

  sim.overrideNextReply({0xA5, 0x5A, 0x14, 0x00, 0x00, 0x00, 0x04});
  EXPECT_EQ(errorsOf(readHealth), "[LidarMini] getHealth: unexpected type 0x4\n");
  expectZero(health);
  sim.overrideNextReply({0xA5, 0x5A, 0x03, 0x00, 0x00, 0x00, 0x06});
  EXPECT_EQ(errorsOf(readInfo), "[LidarMini] getInfo: unexpected type 0x6\n");
  expectZero(info);

  // An identity cut short after 12 of its 20 bytes, then a lidar that does not answer at all.
  Bytes shortReply{0xA5, 0x5A, 0x14, 0x00, 0x00, 0x00, 0x04};
  shortReply.insert(shortReply.end(), 12, 0x33);
  sim.overrideNextReply(shortReply);
  auto asked = Clock::now();
  EXPECT_EQ(errorsOf(readInfo), "[LidarMini] ReadExact timeout (got 12/20 bytes)\n");
  EXPECT_GE(Clock::now() - asked, 1900ms);
  expectZero(info);
  sim.setSilent(true);
  asked = Clock::now();
  EXPECT_EQ(errorsOf(readHealth), "[LidarMini] ReadExact timeout (got 0/7 bytes)\n");
  EXPECT_GE(Clock::now() - asked, 1900ms);
  expectZero(health);

  // Nothing was left behind to spoil the next exchange.
  sim.setSilent(false);
  EXPECT_EQ(errorsOf(readInfo), "");
  EXPECT_EQ(info.model, SimLidarMini::Identity{}.model);
}

// A lidar that sends only the bytes a test hands it, scanning from the library's side.
class LidarMiniByHand : public testing::Test {
 protected:
  void SetUp() override {
    sim_.setSilent(true);
    lidar_ = createOn(sim_);
    ASSERT_NE(lidar_, nullptr);
    startQuietly(lidar_.get());
    // Past its settling, the scan thread reads what comes next as part of the scan.
    waitForScanThreadToCatchUp(sim_);
  }

  LidarMiniScanFrame frame() const { return c_LidarMini_getData(lidar_.get()); }
  // Sends bytes and waits for the revolution they end.
  LidarMiniScanFrame sendUntilPublished(const Bytes& bytes) {
    const int64_t before = frame().timestamp;
    sim_.sendRaw(bytes);
    return waitForFrameAfter(lidar_.get(), before);
  }

  SimLidarMini sim_;
  Lidar lidar_;
};

TEST_F(LidarMiniByHand, ARevolutionIsPublishedOnceTheNextBegins) {
  const int64_t firstSent = steadyNanoseconds();
  // Points before the first start packet belong to no revolution.
  sim_.sendRaw(joined({packet(10, 20, {{.intensity = 1, .distanceMm = 700}, {}}), startPacket(1000),
                       packet(90, 180,
                              {{.intensity = 100, .distanceMm = 1500},
                               {.intensity = 30, .distanceMm = 2500, .flag = 2}})}));
  waitForScanThreadToCatchUp(sim_);
  expectEmpty(frame());

  const int64_t secondSent = steadyNanoseconds();
  const LidarMiniScanFrame first = sendUntilPublished(startPacket(2000));
  ASSERT_EQ(first.points.size(), 3U);
  expectPoint(first.points[0], 0.0F, 1.0F, 9.0F);
  expectPoint(first.points[1], 90.0F, 1.5F, 100.0F);
  expectPoint(first.points[2], 180.0F, -1.0F, 30.0F);  // flagged invalid
  EXPECT_GE(first.timestamp, firstSent);
  EXPECT_LT(first.timestamp, secondSent);

  // Each later start packet publishes the revolution it ends.
  const LidarMiniScanFrame second = sendUntilPublished(startPacket(3000));
  ASSERT_EQ(second.points.size(), 1U);
  expectPoint(second.points[0], 0.0F, 2.0F, 9.0F);
  EXPECT_GT(second.timestamp, first.timestamp);
}

TEST_F(LidarMiniByHand, StopEmptiesTheFramesAndAStartBuildsThemAfresh) {
  ASSERT_EQ(sendUntilPublished(joined({startPacket(1000), startPacket(2000)})).points.size(), 1U);
  EXPECT_EQ(outputOf([&] { c_LidarMini_stop(lidar_.get()); }).out,
            "[LidarMini] Scanning stopped\n");
  EXPECT_EQ(waitForCommands(sim_, 3), (Bytes{kStopScan, kStartScan, kStopScan}));
  expectEmpty(frame());

  // What arrives between scans is left in the queue; the next scan skips it.
  const Bytes between = joined({startPacket(4000), packet(90, 90, {{.distanceMm = 4000}})});
  sim_.sendRaw(between);
  ASSERT_TRUE(waitUntil([&] { return sim_.unreadByLibrary() == between.size(); }))
      << sim_.unreadByLibrary() << " bytes wait for the library";
  startQuietly(lidar_.get());
  waitForScanThreadToCatchUp(sim_);
  sim_.sendRaw(startPacket(5000));
  waitForScanThreadToCatchUp(sim_);
  expectEmpty(frame());
  const LidarMiniScanFrame fresh = sendUntilPublished(startPacket(6000));
  ASSERT_EQ(fresh.points.size(), 1U);
  EXPECT_EQ(fresh.points[0].distance, 5.0F);
}

TEST_F(LidarMiniByHand, DamagedPacketsAndFalseMarksCostOnlyThemselves) {
  Bytes damaged = packet(200, 210, {{.distanceMm = 2500}, {.distanceMm = 2600}});
  damaged[12] ^= 0x08;  // the first sample's distance, 512 mm off
  // Noise ending in false marks: one whose header claims samples reaching into the packet behind
  // it, and a start flag (one sample) with an outlandish count.
  const Bytes noise{0x01, 0xAA, 0xAA, 0x55, 0x00, 0x02, 0x10, 0x20, 0x30, 0x40, 0x12, 0x34};
  const Bytes falseStart{0xAA, 0x55, 0x01, 0xFF, 0x00, 0x00, 0x00,
                         0x00, 0x00, 0x00, 0x77, 0x66, 0x55};
  const Bytes intact = packet(90, 92,
                              {{.intensity = 1, .distanceMm = 1500},
                               {.intensity = 2, .distanceMm = 1600},
                               {.intensity = 3, .distanceMm = 1700}});

  const LidarMiniScanFrame published = sendUntilPublished(
      joined({startPacket(1000), damaged, noise, intact, falseStart, intact, startPacket(2000)}));
  ASSERT_EQ(published.points.size(), 7U);
  expectPoint(published.points[0], 0.0F, 1.0F, 9.0F);
  for (const std::size_t first : {1U, 4U}) {
    expectPoint(published.points[first], 90.0F, 1.5F, 1.0F);
    expectPoint(published.points[first + 1], 91.0F, 1.6F, 2.0F);
    expectPoint(published.points[first + 2], 92.0F, 1.7F, 3.0F);
  }

  // A start packet cut in two arrives whole.
  const Bytes start = startPacket(3000);
  sendAndWaitForRead(sim_, Bytes(start.begin(), start.begin() + 5));
  const LidarMiniScanFrame next = sendUntilPublished(Bytes(start.begin() + 5, start.end()));
  ASSERT_EQ(next.points.size(), 1U);
  EXPECT_EQ(next.points[0].distance, 2.0F);
}

TEST_F(LidarMiniByHand, CopyDataFillsTheCallersArraysUpToTheirCapacity) {
  constexpr float kUntouched = -7.0F;
  std::array<float, 6> angles{};
  std::array<float, 6> distances{};
  std::array<float, 6> intensities{};
  const auto reset = [&] {
    angles.fill(kUntouched);
    distances.fill(kUntouched);
    intensities.fill(kUntouched);
  };
  const auto copy = [&](int32_t capacity, int64_t* timestamp) {
    reset();
    return c_LidarMini_copyData(lidar_.get(), angles.data(), distances.data(), intensities.data(),
                                capacity, timestamp);
  };
  int64_t timestamp = -1;
  EXPECT_EQ(copy(6, &timestamp), 0);
  EXPECT_EQ(timestamp, 0);
  EXPECT_EQ(angles[0], kUntouched);

  const LidarMiniScanFrame frame =
      sendUntilPublished(joined({startPacket(1000),
                                 packet(90, 270,
                                        {{.intensity = 1, .distanceMm = 1100},
                                         {.intensity = 2, .distanceMm = 1200},
                                         {.intensity = 3, .distanceMm = 1300}}),
                                 startPacket(2000)}));
  ASSERT_EQ(frame.points.size(), 4U);

  EXPECT_EQ(copy(2, &timestamp), 4);
  EXPECT_EQ(timestamp, frame.timestamp);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(angles[i], frame.points[i].angle);
    EXPECT_EQ(distances[i], frame.points[i].distance);
    EXPECT_EQ(intensities[i], frame.points[i].intensity);
  }
  EXPECT_EQ(angles[2], kUntouched);
  EXPECT_EQ(distances[2], kUntouched);
  EXPECT_EQ(intensities[2], kUntouched);

  // Only the arrays given are filled.
  reset();
  EXPECT_EQ(c_LidarMini_copyData(lidar_.get(), nullptr, distances.data(), nullptr, 6, nullptr), 4);
  EXPECT_EQ(std::vector(distances.begin(), distances.begin() + 5),
            (std::vector{1.0F, 1.1F, 1.2F, 1.3F, kUntouched}));
  EXPECT_EQ(c_LidarMini_copyData(lidar_.get(), nullptr, nullptr, nullptr, 6, nullptr), 4);
  for (const int32_t none : {0, -1}) {
    EXPECT_EQ(copy(none, nullptr), 4);
    EXPECT_EQ(angles[0], kUntouched);
  }
}

TEST(LidarMini, DamagedPacketsNeverBecomePoints) {
  SimLidarMini sim;
  sim.setCorruptedShare(0.05);
  const Lidar lidar = createOn(sim);
  ASSERT_NE(lidar, nullptr);
  startQuietly(lidar.get());

  const std::vector<LidarMiniScanFrame> frames = nextFrames(lidar.get(), 10);
  ASSERT_EQ(frames.size(), 10U);
  const SimLidarMini::Room room = SimLidarMini::defaultRoom();
  std::size_t points = 0;
  for (const LidarMiniScanFrame& frame : frames) {
    EXPECT_EQ(strayPoints(frame, room), "");
    points += frame.points.size();
  }
  // The intact packets around the damaged ones keep coming, and damage did cost some.
  EXPECT_GT(points, frames.size() * fullRevolution(6.0) * 8 / 10);
  EXPECT_TRUE(std::any_of(frames.begin(), frames.end(), [](const LidarMiniScanFrame& frame) {
    return frame.points.size() != fullRevolution(6.0);
  }));
}

TEST(LidarMini, GarbageFalseMarksAndSplitPacketsLoseNothing) {
  SimLidarMini sim;
  sim.setGarbageBetweenPackets(true);
  sim.setSplitPackets(true);
  const Lidar lidar = createOn(sim);
  ASSERT_NE(lidar, nullptr);
  startQuietly(lidar.get());

  const std::vector<LidarMiniScanFrame> frames = nextFrames(lidar.get(), 6);
  ASSERT_EQ(frames.size(), 6U);
  for (const LidarMiniScanFrame& frame : frames) {
    EXPECT_EQ(frame.points.size(), fullRevolution(6.0));
    EXPECT_EQ(strayPoints(frame, SimLidarMini::defaultRoom()), "");
  }
}

TEST(LidarMini, AnUnpluggedLidarNeitherSpinsNorHoldsUpDestroy) {
  SimLidarMini sim;
  Lidar lidar = createOn(sim);
  ASSERT_NE(lidar, nullptr);
  startQuietly(lidar.get());
  ASSERT_FALSE(waitForFrameAfter(lidar.get(), 0).points.empty());
  // The lidar falls quiet halfway through a revolution and the library reads all it sent; then
  // the cable is pulled.
  sim.setSilent(true);
  waitForScanThreadToCatchUp(sim);
  const LidarMiniScanFrame kept = c_LidarMini_getData(lidar.get());
  ASSERT_FALSE(kept.points.empty());
  sim.unplug();
  ASSERT_TRUE(waitUntil([&] { return sim.unplugged(); }));

  const auto idle = halvern::testing::cpuUseWhile([] { std::this_thread::sleep_for(1s); });
  // A spinning scan thread would burn about a whole core; an idle one a small fraction.
  EXPECT_LT(idle.cpu, idle.wall / 2);

  // The last whole revolution stays.
  const LidarMiniScanFrame after = c_LidarMini_getData(lidar.get());
  EXPECT_EQ(after.timestamp, kept.timestamp);
  EXPECT_EQ(after.points.size(), kept.points.size());
  const auto destroyStart = Clock::now();
  outputOf([&] { lidar.reset(); });
  EXPECT_LT(Clock::now() - destroyStart, kPromptLimit);
}

TEST(LidarMini, DestroyWhileScanningIsPromptAndSendsNothing) {
  SimLidarMini sim;
  const auto before = halvern::testing::entriesBefore();
  {
    Lidar lidar = createOn(sim);
    ASSERT_NE(lidar, nullptr);
    startQuietly(lidar.get());
    ASSERT_FALSE(waitForFrameAfter(lidar.get(), 0).points.empty());

    const auto destroyStart = Clock::now();
    EXPECT_EQ(outputOf([&] { lidar.reset(); }).out, "[LidarMini] Destroyed\n");
    EXPECT_LT(Clock::now() - destroyStart, kPromptLimit);
  }
  EXPECT_TRUE(sim.scanning());
  EXPECT_EQ(halvern::testing::entriesSettledAt(before), before);

  // The next program's lidar quiets the one left scanning; its StopScan is the first command
  // the lidar hears after the destroyed one's, so destroying sent nothing.
  const Lidar next = createOn(sim);
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(waitForCommands(sim, 3), (Bytes{kStopScan, kStartScan, kStopScan}));
  EXPECT_TRUE(waitUntil([&] { return !sim.scanning(); }));
}

TEST(LidarMini, EveryFunctionIgnoresANullLidar) {
  std::array<float, 2> values{5.0F, 5.0F};
  // Records that a call must overwrite.
  LidarInfo info{};
  info.model = 1;
  LidarHealth health{};
  health.status = 1;
  LidarMiniScanFrame frame{.timestamp = 1, .points = {{}}};
  int32_t copied = -1;
  const Output output = outputOf([&] {
    c_LidarMini_destroy(nullptr);
    c_LidarMini_start(nullptr);
    c_LidarMini_stop(nullptr);
    for (const bool big : {false, true}) {
      c_LidarMini_increaseFrequency(nullptr, big);
      c_LidarMini_decreaseFrequency(nullptr, big);
    }
    info = c_LidarMini_getInfo(nullptr);
    health = c_LidarMini_getHealth(nullptr);
    frame = c_LidarMini_getData(nullptr);
    copied = c_LidarMini_copyData(nullptr, values.data(), values.data(), values.data(), 2, nullptr);
  });
  EXPECT_EQ(output.out, "");
  EXPECT_EQ(output.err, "");
  expectZero(info);
  expectZero(health);
  expectEmpty(frame);
  EXPECT_EQ(copied, 0);
  EXPECT_EQ(values, (std::array{5.0F, 5.0F}));
}

// Creation looks its port up in the listed paths, so a worker lists its lidar alone until that
// lidar's port is open (it then hears StopScan); the creations themselves overlap.
std::future<void*> beginCreation(const SimLidarMini& sim, std::mutex& listing) {
  const std::lock_guard lock(listing);
  const auto stopsHeard = [&sim] {
    const Bytes commands = sim.commands();
    return std::count(commands.begin(), commands.end(), kStopScan);
  };
  const auto stopsBefore = stopsHeard();
  const ListedPort listed(sim.devicePath());
  std::future<void*> creation =
      std::async(std::launch::async, [] { return c_LidarMini_create(0); });
  waitUntil([&] {
    return stopsHeard() > stopsBefore || creation.wait_for(0s) == std::future_status::ready;
  });
  return creation;
}

TEST(LidarMini, CreateDestroyCyclesLeaveNoThreadOrDescriptorBehind) {
  constexpr int kWorkers = 8;
  constexpr int kCyclesEach = 25;
  constexpr int kScanEvery = 5;  // some cycles also start a scan thread
  std::vector<std::unique_ptr<SimLidarMini>> sims;
  sims.reserve(kWorkers);
  for (int i = 0; i < kWorkers; ++i) {
    sims.push_back(std::make_unique<SimLidarMini>());
  }
  const auto before = halvern::testing::entriesBefore();

  std::mutex listing;
  std::atomic<int> failed{0};
  const Output output = outputOf([&] {
    std::vector<std::thread> workers;
    workers.reserve(sims.size());
    for (const auto& sim : sims) {
      workers.emplace_back([&sim, &listing, &failed] {
        for (int cycle = 0; cycle < kCyclesEach; ++cycle) {
          const Lidar lidar(beginCreation(*sim, listing).get());
          failed += lidar == nullptr ? 1 : 0;
          if (cycle % kScanEvery == 0) {
            c_LidarMini_start(lidar.get());
          }
        }
      });
    }
    for (std::thread& worker : workers) {
      worker.join();
    }
  });
  EXPECT_EQ(failed, 0) << output.err;
  EXPECT_EQ(halvern::testing::entriesSettledAt(before), before);
}

}  // namespace

// The lidar on the robot controller's serial port, through the library's C face: packets fed
// by hand onto the stand-in HAL's port, and the simulated lidar scanning its room.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <numbers>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ByteRuns.h"
#include "CpuUse.h"
#include "ProcessEntries.h"
#include "SimLidar.h"
#include "WaitFor.h"
#include "hal/SerialPort.h"
#include "halsim/SimControl.h"
#include "halvern/Lidar.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using halvern::sim::SimLidar;
using Bytes = std::vector<uint8_t>;
using halvern::testing::appendWord;
using halvern::testing::joined;
using Words = std::vector<uint16_t>;

// The wire and the line as the lidar's documentation gives them, written out rather than taken
// from the library, so a wrong constant there cannot agree with itself here.
constexpr int32_t kPort = 0;
constexpr int32_t kBaudRate = 115200;
constexpr int32_t kOneStopBit = 10;
constexpr int32_t kFlushOnAccess = 1;
constexpr uint8_t kStartType = 0x01;
constexpr double kAngleUnitsPerDegree = 128.0;
constexpr double kWordsPerMillimetre = 4.0;
constexpr float kNoDistance = -1.0F;

// Waiting for the reader: generous, for a loaded machine under ThreadSanitizer.
constexpr auto kPatience = 10s;
// How long a negative check waits for something that must not happen.
constexpr auto kQuietWait = 150ms;
// A distance every filter but the Kalman filter passes unchanged as a degree's first value.
constexpr double kMarkerMm = 2000.0;

// Set by the first create, so the test of the state before any create knows whether it can run.
bool lidarCreated = false;

void createLidar() {
  lidarCreated = true;
  c_Lidar_create(kPort);
}

// The lidar's angle correction in degrees for a distance in millimetres.
double correctionDegrees(double distanceMm) {
  if (distanceMm == 0.0) {
    return 0.0;
  }
  return std::atan(21.8 * (155.3 - distanceMm) / (155.3 * distanceMm)) * 180.0 /
         std::numbers::pi;
}

uint16_t rawAngle(double degrees) {
  const double turn = std::fmod(degrees + 360.0, 360.0);
  return static_cast<uint16_t>(std::lround(turn * kAngleUnitsPerDegree));
}

uint16_t word(double distanceMm) {
  return static_cast<uint16_t>(std::lround(distanceMm * kWordsPerMillimetre));
}

// The XOR of the packet's 16-bit little-endian words but the check code at offset 8.
uint16_t checkCode(const Bytes& packet) {
  uint16_t code = 0;
  for (std::size_t at = 0; at + 1 < packet.size(); at += 2) {
    if (at != 8) {
      code = static_cast<uint16_t>(code ^ (packet[at] | packet[at + 1] << 8U));
    }
  }
  return code;
}

// A packet with exactly these sample words, whatever its count byte says.
Bytes packet(uint8_t type, uint8_t count, uint16_t firstRaw, uint16_t lastRaw, const Words& words) {
  Bytes bytes{0xAA, 0x55, type, count};
  appendWord(bytes, firstRaw);
  appendWord(bytes, lastRaw);
  appendWord(bytes, 0);
  for (const uint16_t sample : words) {
    appendWord(bytes, sample);
  }
  const uint16_t code = checkCode(bytes);
  bytes[8] = static_cast<uint8_t>(code & 0xFFU);
  bytes[9] = static_cast<uint8_t>(code >> 8U);
  return bytes;
}

Bytes packet(double firstDegrees, double lastDegrees, const Words& words) {
  return packet(0, static_cast<uint8_t>(words.size()), rawAngle(firstDegrees),
                rawAngle(lastDegrees), words);
}

// One sample whose corrected angle is `degrees`.
Bytes sampleAt(double degrees, double distanceMm) {
  const uint16_t angle = rawAngle(degrees - correctionDegrees(distanceMm));
  return packet(0, 1, angle, angle, {word(distanceMm)});
}

// A sample in the middle of a degree.
Bytes sampleIn(int degree, double distanceMm) { return sampleAt(degree + 0.5, distanceMm); }

void feed(const Bytes& bytes) { halsim::pushSerialBytes(kPort, bytes); }

// Bytes waiting on the open port for the reader to take them.
int32_t bytesWaiting() {
  int32_t status = 0;
  // Initialising an open port again hands out its handle and changes nothing.
  const HAL_SerialPortHandle handle = HAL_InitializeSerialPort(HAL_SerialPort_Onboard, &status);
  return status == 0 ? HAL_GetSerialBytesReceived(handle, &status) : -1;
}

bool unsampled(const LidarScan& scan, int degree) {
  return scan.distance[degree] == kNoDistance && scan.angle[degree] == static_cast<float>(degree);
}

bool eventually(const std::function<bool()>& done) {
  return halvern::test::waitFor(done, kPatience);
}

// The tables once degree `degree` holds `distance`: everything fed before it has been decoded.
LidarScan scanOnce(int degree, double distance) {
  LidarScan scan{};
  const bool arrived = eventually([&] {
    scan = c_Lidar_getData();
    return std::abs(scan.distance[degree] - distance) <= 0.01;
  });
  EXPECT_TRUE(arrived) << "degree " << degree << " holds " << scan.distance[degree]
                       << ", not " << distance;
  return scan;
}

// Feeds bytes and returns once the reader has taken them from the port.
void feedAndWaitForRead(const Bytes& bytes) {
  feed(bytes);
  EXPECT_TRUE(eventually([] { return bytesWaiting() == 0; })) << bytesWaiting() << " bytes wait";
}

// Feeds one sample into the middle of a degree and returns the tables once it is stored.
LidarScan storeIn(int degree, double distanceMm, double stored) {
  feed(sampleIn(degree, distanceMm));
  return scanOnce(degree, stored);
}

// A last packet to wait for, so that whatever was fed before it has been dealt with.
LidarScan afterMarkerIn(int degree) {
  feed(sampleIn(degree, kMarkerMm));
  return scanOnce(degree, kMarkerMm);
}

// Angles within half the wire's 1/128 degree.
void expectSample(const LidarScan& scan, int degree, double angle, double distance) {
  EXPECT_NEAR(scan.angle[degree], angle, 0.5 / kAngleUnitsPerDegree) << "degree " << degree;
  EXPECT_NEAR(scan.distance[degree], distance, 1e-3) << "degree " << degree;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

#ifndef _WIN32
using halvern::testing::settledThreadCount;
using halvern::testing::threadCountSettledAt;
#endif

// The CPU share the process used while `during` ran: a reader that spins takes a whole core.
double cpuShareWhile(const std::function<void()>& during) {
#ifdef _WIN32
  during();
  return 0.0;
#else
  const auto use = halvern::testing::cpuUseWhile(during);
  return static_cast<double>(use.cpu.count()) / static_cast<double>(use.wall.count());
#endif
}

// Must run before any create of the process: CTest runs each case in a process of its own.
TEST(LidarBeforeCreate, EveryDegreeReadsUnsampledAndSettingsWaitForTheReader) {
  if (lidarCreated) {
    GTEST_SKIP() << "the lidar was created earlier in this process";
  }
  c_Lidar_clusterConfig(10.0F, 2);
  c_Lidar_kalmanConfig(0.1F, 0.2F, 0.3F);
  c_Lidar_movingAverageConfig(3);
  c_Lidar_jitterConfig(10.0F);
  c_Lidar_medianConfig(1);
  c_Lidar_destroy();
  const LidarScan scan = c_Lidar_getData();
  for (int degree = 0; degree < LIDAR_DEGREES; ++degree) {
    ASSERT_TRUE(unsampled(scan, degree)) << "degree " << degree << ": " << scan.angle[degree]
                                         << ", " << scan.distance[degree];
  }

  // The median over one distance: a spike is not held back.
  halsim::reset();
  createLidar();
  c_Lidar_enableFilter(LIDAR_FILTER_MEDIAN, true);
  storeIn(50, 1000.0, 1000.0);
  storeIn(50, 4000.0, 4000.0);
}

TEST(LidarPort, CreationConfiguresTheLineWhateverItHeldBefore) {
  halsim::reset();
  // Someone left the port open with other settings: the library must set every one.
  int32_t status = 0;
  const HAL_SerialPortHandle earlier = HAL_InitializeSerialPort(HAL_SerialPort_Onboard, &status);
  ASSERT_EQ(status, 0);
  HAL_SetSerialDataBits(earlier, 7, &status);
  HAL_SetSerialParity(earlier, 2, &status);
  HAL_SetSerialStopBits(earlier, 20, &status);
  HAL_SetSerialWriteMode(earlier, 2, &status);
  HAL_SetSerialTimeout(earlier, 5.0, &status);

  createLidar();
  halsim::SerialSettings line;
  EXPECT_TRUE(eventually([&] {
    line = halsim::serialSettings(kPort);
    return line.baudRate == kBaudRate && line.dataBits == 8 && line.parity == 0 &&
           line.stopBits == kOneStopBit && line.writeMode == kFlushOnAccess &&
           line.timeoutSeconds == 1.0;
  })) << "baud " << line.baudRate << ", data bits " << line.dataBits << ", parity "
      << line.parity << ", stop bits " << line.stopBits << ", write mode " << line.writeMode
      << ", timeout " << line.timeoutSeconds;
  EXPECT_TRUE(line.open);
  EXPECT_FALSE(line.terminationEnabled);
}

TEST(LidarPort, ARefusedPortIsReportedAndLeavesTheLidarScanning) {
  halsim::reset();
  c_Lidar_stop();  // so that the port is closed whatever ran before in this process
  halsim::setSerialOpenStatus(-9);
  testing::internal::CaptureStderr();
  createLidar();
  c_Lidar_start();  // the failed create still counts as scanning
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(contains(printed, "Error initializing serial port: -9\n")) << printed;
  EXPECT_TRUE(contains(printed, "Lidar sensor is already scanning\n")) << printed;
  EXPECT_FALSE(halsim::serialSettings(kPort).open);

  // Once the port can be opened, creating the lidar again brings it up.
  halsim::reset();
  createLidar();
  EXPECT_TRUE(halsim::serialSettings(kPort).open);
  storeIn(40, 1000.0, 1000.0);
}

// A lidar freshly created on a port with nothing waiting.
class Lidar : public testing::Test {
 protected:
  void SetUp() override {
    halsim::reset();
    createLidar();
    ASSERT_TRUE(halsim::serialSettings(kPort).open);
  }
  void TearDown() override { halsim::reset(); }
};

TEST_F(Lidar, StopClosesThePortAndStartResumesReading) {
  testing::internal::CaptureStderr();
  c_Lidar_start();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Lidar sensor is already scanning\n");
  storeIn(10, 1000.0, 1000.0);

  c_Lidar_stop();
  EXPECT_FALSE(halsim::serialSettings(kPort).open);
  feed(sampleIn(20, 1000.0));
  std::this_thread::sleep_for(kQuietWait);
  EXPECT_TRUE(unsampled(c_Lidar_getData(), 20)) << "read from a closed port";

  c_Lidar_start();
  EXPECT_TRUE(eventually([] {
    const halsim::SerialSettings line = halsim::serialSettings(kPort);
    return line.open && line.baudRate == kBaudRate && line.timeoutSeconds == 1.0;
  })) << "the port was not reopened and configured";
  const LidarScan scan = storeIn(30, 3000.0, 3000.0);
  EXPECT_EQ(scan.distance[10], 1000.0F) << "the tables outlive a stop";

  // The cycle works more than once, and a second start while scanning changes nothing.
  c_Lidar_stop();
  c_Lidar_stop();
  c_Lidar_start();
  testing::internal::CaptureStderr();
  c_Lidar_start();
  EXPECT_TRUE(contains(testing::internal::GetCapturedStderr(), "already scanning"));
  storeIn(31, 3100.0, 3100.0);
}

TEST_F(Lidar, DestroyChangesNothing) {
  storeIn(5, 1500.0, 1500.0);
  const LidarScan before = c_Lidar_getData();
  c_Lidar_destroy();
  const LidarScan after = c_Lidar_getData();
  EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
  EXPECT_TRUE(halsim::serialSettings(kPort).open);
  storeIn(6, 1600.0, 1600.0);  // still reading
}

TEST_F(Lidar, RangeLimitsHoldAtTheirEdges) {
  // The smallest distance in range and one just under it: samples 0 and 1, 10 degrees apart.
  // The check code 0x5896 is worked out by hand for this packet.
  const Bytes nearest{0xAA, 0x55, 0x00, 0x02, 0x00, 0x05, 0x00, 0x0A,
                      0x96, 0x58, 0xE0, 0x01, 0xDC, 0x01};
  ASSERT_EQ(nearest, packet(10.0, 20.0, {480, 476}));
  feed(nearest);
  // The largest distance in range and one just over it; then a sample without a return.
  feed(sampleIn(100, 8000.0));
  feed(sampleIn(110, 8000.25));
  feed(packet(45.25, 45.25, {0}));
  const LidarScan scan = afterMarkerIn(200);

  expectSample(scan, 12, 10.0 + correctionDegrees(120.0), 120.0);
  expectSample(scan, 22, 20.0 + correctionDegrees(119.0), kNoDistance);
  expectSample(scan, 100, 100.5, 8000.0);
  expectSample(scan, 110, 110.5, kNoDistance);
  expectSample(scan, 45, 45.25, kNoDistance);  // no correction for a distance of 0
}

TEST_F(Lidar, SamplesSpreadEvenlyFromTheFirstAngle) {
  // Three samples from 100 to 110 degrees: numbered 0, 1, 2, five degrees apart.
  feed(packet(100.0, 110.0, {word(1000.0), word(1001.0), word(1002.0)}));
  // A start packet carries one sample at its first angle, whatever its count byte says; the
  // packet behind it must not be taken for more of its samples.
  feed(packet(kStartType, 5, rawAngle(200.0), rawAngle(250.0), {word(3000.0)}));
  const LidarScan scan = afterMarkerIn(300);

  expectSample(scan, 93, 100.0 + correctionDegrees(1000.0), 1000.0);
  expectSample(scan, 98, 105.0 + correctionDegrees(1001.0), 1001.0);
  expectSample(scan, 103, 110.0 + correctionDegrees(1002.0), 1002.0);
  expectSample(scan, 192, 200.0 + correctionDegrees(3000.0), 3000.0);
  for (const int degree : {108, 242}) {  // where numbering from 1 or a full span would put them
    EXPECT_TRUE(unsampled(scan, degree)) << "degree " << degree;
  }
}

TEST_F(Lidar, AnglesWrapAroundTheCircle) {
  // From 359 to 1 degree is a span of 2 degrees: samples at 359, 359.5, 0, 0.5 and 1, each
  // nudged up a little by its correction; in each degree the later sample stays.
  const Words words{word(155.0), word(154.75), word(154.5), word(154.25), word(154.0)};
  feed(packet(359.0, 1.0, words));
  // A correction that takes an angle below 0, and one that takes it past 360.
  feed(packet(60.0 / kAngleUnitsPerDegree, 60.0 / kAngleUnitsPerDegree, {word(1000.0)}));
  constexpr uint16_t kNearlyRound = 46067;  // 359.898 degrees
  feed(packet(0, 1, kNearlyRound, kNearlyRound, {word(120.0)}));
  const LidarScan scan = afterMarkerIn(200);

  expectSample(scan, 359, 359.5 + correctionDegrees(154.75), 154.75);
  expectSample(scan, 0, 0.5 + correctionDegrees(154.25), 154.25);
  expectSample(scan, 2, kNearlyRound / kAngleUnitsPerDegree + correctionDegrees(120.0) - 360.0,
               120.0);
  expectSample(scan, 353, 360.0 + 60.0 / kAngleUnitsPerDegree + correctionDegrees(1000.0), 1000.0);
  expectSample(scan, 1, 1.0 + correctionDegrees(154.0), 154.0);
  for (const int degree : {90, 180, 269}) {  // a span taken as -358 degrees lands here
    EXPECT_TRUE(unsampled(scan, degree)) << "degree " << degree;
  }
}

TEST_F(Lidar, PacketsAreFramedAcrossAndWithinReads) {
  // Split into pieces the reader takes in separate reads: after the first mark byte, within
  // the header and within the samples.
  const Bytes split = packet(50.0, 52.0, {word(1000.0), word(1000.0), word(1000.0)});
  constexpr std::array<std::pair<int, int>, 4> kPieces{{{0, 1}, {1, 7}, {7, 13}, {13, 16}}};
  for (const auto& [from, to] : kPieces) {
    feedAndWaitForRead(Bytes(split.begin() + from, split.begin() + to));
  }
  // Three packets back to back in one write.
  feed(joined({sampleIn(60, 1100.0), sampleIn(61, 1200.0), sampleIn(62, 1300.0)}));
  // Noise before a mark, including a lone first mark byte.
  feed(joined({Bytes{0x00, 0xAA, 0x13, 0x55, 0xAA}, sampleIn(70, 1400.0)}));
  const LidarScan scan = afterMarkerIn(200);

  EXPECT_NEAR(scan.distance[static_cast<int>(50.0 + correctionDegrees(1000.0))], 1000.0, 1e-3);
  EXPECT_NEAR(scan.distance[static_cast<int>(52.0 + correctionDegrees(1000.0))], 1000.0, 1e-3);
  expectSample(scan, 60, 60.5, 1100.0);
  expectSample(scan, 61, 61.5, 1200.0);
  expectSample(scan, 62, 62.5, 1300.0);
  expectSample(scan, 70, 70.5, 1400.0);
}

TEST_F(Lidar, DamagedPacketsAreDroppedWithoutLosingTheNextOne) {
  // A wrong check code: nothing of the packet is stored, and the packet behind it is.
  Bytes damaged = packet(80.0, 84.0, {word(1000.0), word(1000.0)});
  damaged[8] = static_cast<uint8_t>(damaged[8] ^ 0x01U);
  feed(joined({damaged, sampleIn(90, 1500.0)}));

  // A false mark whose count reaches far over the real packets behind it.
  const Bytes falseMark{0xAA, 0x55, 0x00, 40, 0x10, 0x20, 0x30, 0x40, 0x00, 0x00};
  const Bytes real = sampleIn(100, 1600.0);
  Bytes following;
  for (int degree = 110; degree < 118; ++degree) {
    following = joined({following, sampleIn(degree, 1700.0)});
  }
  const Bytes stream = joined({falseMark, real, following});
  ASSERT_GE(stream.size(), 10U + 2U * 40U);
  ASSERT_NE(checkCode(Bytes(stream.begin(), stream.begin() + 90)), 0) << "the false mark holds";
  feed(stream);
  const LidarScan scan = afterMarkerIn(200);

  for (int degree = 70; degree < 80; ++degree) {
    EXPECT_TRUE(unsampled(scan, degree)) << "degree " << degree;
  }
  expectSample(scan, 90, 90.5, 1500.0);
  expectSample(scan, 100, 100.5, 1600.0);
  for (int degree = 110; degree < 118; ++degree) {
    expectSample(scan, degree, degree + 0.5, 1700.0);
  }
}

TEST_F(Lidar, TheReaderRestsWhileThePortFailsOrIsClosed) {
  // At least 400 ms of a failing port, and on until the reader has said so.
  constexpr auto kFailingAtLeast = 400ms;
  std::string printed;
  halsim::setSerialReadStatus(-57);
  const double failingShare = cpuShareWhile([&] {
    const auto least = Clock::now() + kFailingAtLeast;
    eventually([&] {
      testing::internal::CaptureStderr();
      std::this_thread::sleep_for(50ms);
      printed += testing::internal::GetCapturedStderr();
      return Clock::now() >= least && contains(printed, "Error getting serial bytes: -57\n");
    });
  });
  halsim::setSerialReadStatus(0);
  EXPECT_TRUE(contains(printed, "Error getting serial bytes: -57\n")) << printed.substr(0, 200);
  storeIn(15, 1000.0, 1000.0);  // reading resumes once the port recovers

  c_Lidar_stop();
  const double stoppedShare = cpuShareWhile([] { std::this_thread::sleep_for(400ms); });
#ifdef _WIN32
  GTEST_SKIP() << "the process's CPU time is measured on Linux only";
#endif
  EXPECT_LT(failingShare, 0.5);
  EXPECT_LT(stoppedShare, 0.5);
}

TEST_F(Lidar, CreatingAgainReplacesTheReader) {
#ifndef _WIN32
  const std::size_t threads = settledThreadCount();
#endif
  for (int cycle = 0; cycle < 50; ++cycle) {
    c_Lidar_create(kPort);
  }
#ifndef _WIN32
  EXPECT_EQ(threadCountSettledAt(threads), threads);
#endif
  storeIn(25, 2500.0, 2500.0);
}

TEST_F(Lidar, EnablingAFilterSwitchesTheOthersOff) {
  // Median, then Kalman: the Kalman filter alone gives its first estimate, not the median.
  c_Lidar_enableFilter(LIDAR_FILTER_MEDIAN, true);
  c_Lidar_enableFilter(LIDAR_FILTER_KALMAN, true);
  storeIn(70, 1000.0, 1000.0 / 1.1);

  // Disabling any filter leaves none; unknown types change nothing.
  c_Lidar_enableFilter(LIDAR_FILTER_MEDIAN, false);
  storeIn(71, 1000.0, 1000.0);
  c_Lidar_enableFilter(7, true);
  c_Lidar_enableFilter(-1, true);
  storeIn(72, 1000.0, 1000.0);

  // Moving average, then jitter: a jump is held back for a sample, not averaged.
  c_Lidar_enableFilter(LIDAR_FILTER_MOVING_AVERAGE, true);
  c_Lidar_enableFilter(LIDAR_FILTER_JITTER, true);
  storeIn(73, 1000.0, 1000.0);
  feed(sampleIn(73, 1100.0));
  EXPECT_EQ(afterMarkerIn(200).distance[73], 1000.0F);
  c_Lidar_enableFilter(7, false);
  storeIn(73, 1100.0, 1100.0);  // the new level passes on its second sample

  // Without a filter, distances do not enter a degree's history.
  c_Lidar_enableFilter(LIDAR_FILTER_JITTER, false);
  storeIn(73, 1500.0, 1500.0);
  c_Lidar_enableFilter(LIDAR_FILTER_JITTER, true);
  storeIn(73, 1520.0, 1100.0);
}

TEST_F(Lidar, FiltersSmoothEachDegreeAsConfigured) {
  // Median: a spike among steady distances is held back; with a window of 1 it is not.
  c_Lidar_enableFilter(LIDAR_FILTER_MEDIAN, true);
  for (int i = 0; i < 3; ++i) {
    storeIn(50, 1000.0, 1000.0);
  }
  feed(sampleIn(50, 4000.0));
  EXPECT_EQ(afterMarkerIn(200).distance[50], 1000.0F);
  c_Lidar_medianConfig(1);
  storeIn(50, 4000.0, 4000.0);

  // Moving average over the newest two.
  c_Lidar_enableFilter(LIDAR_FILTER_MOVING_AVERAGE, true);
  c_Lidar_movingAverageConfig(2);
  storeIn(51, 1000.0, 1000.0);
  storeIn(51, 2000.0, 1500.0);
  storeIn(51, 3000.0, 2500.0);

  // Jitter with a wider threshold lets a 100 mm step through.
  c_Lidar_enableFilter(LIDAR_FILTER_JITTER, true);
  c_Lidar_jitterConfig(200.0F);
  storeIn(52, 1000.0, 1000.0);
  storeIn(52, 1100.0, 1100.0);

  // Cluster: the first group of three within 50 mm of a value gives its mean.
  c_Lidar_enableFilter(LIDAR_FILTER_CLUSTER, true);
  c_Lidar_clusterConfig(50.0F, 3);
  for (const double distance : {1000.0, 2000.0, 1020.0, 1040.0, 3000.0}) {
    feed(sampleIn(53, distance));
  }
  EXPECT_EQ(afterMarkerIn(201).distance[53], 1020.0F);

  // Kalman: a fresh degree's first estimate from the default state; configuring it starts every
  // degree's estimate again from 0.
  c_Lidar_enableFilter(LIDAR_FILTER_KALMAN, true);
  storeIn(54, 1000.0, 1000.0 / 1.1);
  c_Lidar_kalmanConfig(0.00001F, 0.1F, 1.0F);
  storeIn(55, 1000.0, 1000.0 / 1.1);
}

TEST_F(Lidar, EachDegreeKeepsAKalmanStateOfItsOwn) {
  // A near wall does not pull the next degree's far wall towards it.
  c_Lidar_enableFilter(LIDAR_FILTER_KALMAN, true);
  storeIn(60, 1000.0, 1000.0 / 1.1);
  storeIn(61, 3000.0, 3000.0 / 1.1);
  // Configuring starts every degree again: degree 60 runs its two distances from the default
  // state (gain 1/1.1, then 1/2 once the covariance is 0.1), not on from its earlier estimate.
  c_Lidar_kalmanConfig(0.00001F, 0.1F, 1.0F);
  storeIn(60, 1000.0, 1000.0 / 1.1 + (1000.0 - 1000.0 / 1.1) / 2.0);
}

TEST_F(Lidar, ASecondCreateRestoresEveryDefault) {
  storeIn(90, 1000.0, 1000.0);
  c_Lidar_enableFilter(LIDAR_FILTER_CLUSTER, true);
  c_Lidar_clusterConfig(5.0F, 1);
  c_Lidar_medianConfig(1);

  c_Lidar_create(kPort);
  LidarScan scan = storeIn(91, 4000.0, 4000.0);  // no filter
  EXPECT_TRUE(unsampled(scan, 90)) << "the new reader's tables start empty";

  // Cluster at 50 mm and 5 points: two distances form no group, so the newest is stored.
  c_Lidar_enableFilter(LIDAR_FILTER_CLUSTER, true);
  storeIn(92, 1000.0, 1000.0);
  storeIn(92, 2000.0, 2000.0);
  // Median over 5: a spike is held back again.
  c_Lidar_enableFilter(LIDAR_FILTER_MEDIAN, true);
  storeIn(93, 1000.0, 1000.0);
  storeIn(93, 1000.0, 1000.0);
  feed(sampleIn(93, 4000.0));
  scan = afterMarkerIn(200);
  EXPECT_EQ(scan.distance[93], 1000.0F);
}

// The simulated lidar scanning its room on the port.
class LidarInRoom : public Lidar {
 protected:
  // The tables after `revolutions` more revolutions of the simulated lidar.
  LidarScan scanAfter(int revolutions) {
    const int target = sim.revolutionsSent() + revolutions;
    EXPECT_TRUE(eventually([&] { return sim.revolutionsSent() >= target; }));
    // The reader has taken everything sent so far from the port; only its last read may still
    // be on its way into the tables.
    EXPECT_TRUE(eventually([] { return bytesWaiting() == 0; }));
    return c_Lidar_getData();
  }

  struct Fit {
    int sampled = 0;  // degrees holding a sample
    int onWall = 0;   // of those, holding the room's distance at their angle within tolerance
    int inDegree = 0;
  };
  static Fit fit(const LidarScan& scan, double toleranceMm) {
    const SimLidar::Room room = SimLidar::defaultRoom();
    Fit result;
    for (int degree = 0; degree < LIDAR_DEGREES; ++degree) {
      if (unsampled(scan, degree)) {
        continue;
      }
      ++result.sampled;
      const double wall = room(scan.angle[degree]);
      result.onWall += std::abs(scan.distance[degree] - wall) <= toleranceMm ? 1 : 0;
      result.inDegree +=
          scan.angle[degree] >= static_cast<float>(degree) &&
          scan.angle[degree] < static_cast<float>(degree + 1);
    }
    return result;
  }

  SimLidar sim{kPort};
};

TEST_F(LidarInRoom, EveryDegreeLandsOnTheWalls) {
  const Fit seen = fit(scanAfter(3), 10.0);
  EXPECT_EQ(seen.sampled, LIDAR_DEGREES);
  EXPECT_GE(seen.onWall, LIDAR_DEGREES - 5);
  EXPECT_EQ(seen.inDegree, seen.sampled);
}

TEST_F(LidarInRoom, DamagedAndMissingPacketsLeaveOnlyTrueWalls) {
  sim.setCorruptedShare(0.3);
  sim.setDroppedShare(0.2);
  const Fit seen = fit(scanAfter(6), 10.0);
  EXPECT_GE(seen.sampled, 300);
  EXPECT_EQ(seen.onWall, seen.sampled) << "a damaged sample was stored";
}

TEST_F(LidarInRoom, TheMedianFilterKeepsNoisyWalls) {
  constexpr double kNoiseMm = 40.0;
  sim.setNoise(static_cast<float>(kNoiseMm));
  const Fit raw = fit(scanAfter(3), kNoiseMm * 1.25);
  c_Lidar_enableFilter(LIDAR_FILTER_MEDIAN, true);
  const Fit smoothed = fit(scanAfter(8), kNoiseMm * 1.25);
  // Within 1.25 sigma: about 79 % of raw distances, about 98 % of medians of five.
  EXPECT_LT(raw.onWall, LIDAR_DEGREES * 9 / 10);
  EXPECT_GE(smoothed.onWall, LIDAR_DEGREES * 9 / 10);
  EXPECT_EQ(smoothed.inDegree, smoothed.sampled);
}

// The room sent whole and at once by a silent simulated lidar, so every run stores the same
// samples: each filter's mean distance from the walls beside the unfiltered one's.
class LidarFiltersInRoom : public testing::Test {
 protected:
  static constexpr int kRevolutions = 12;  // two samples a degree each: full histories
  static constexpr unsigned kSeed = 20261209;
  static constexpr float kNoiseMm = 30.0F;
  static constexpr int kMarkerDegree = 359;

  void SetUp() override {
    halsim::reset();
    sim.setSilent(true);
    sim.setNoise(kNoiseMm);
  }
  void TearDown() override { halsim::reset(); }

  // The mean distance from the walls over the degrees but the marker's, in millimetres.
  double meanWallError(std::optional<int> filter) {
    createLidar();  // a fresh reader: empty histories, default settings
    if (filter) {
      c_Lidar_enableFilter(*filter, true);
    }
    sim.sendRevolutions(kRevolutions, kSeed);
    // A last sample whose angle no room sample has (the room's samples fall near 359.39 and
    // 359.89 degrees in this degree): once it is stored, so is the room.
    const double markerAngle = kMarkerDegree + 0.65;
    feed(sampleAt(markerAngle, kMarkerMm));
    LidarScan scan{};
    EXPECT_TRUE(eventually([&] {
      scan = c_Lidar_getData();
      return std::abs(scan.angle[kMarkerDegree] - markerAngle) < 0.5 / kAngleUnitsPerDegree;
    }));
    const SimLidar::Room room = SimLidar::defaultRoom();
    double sum = 0.0;
    for (int degree = 0; degree < kMarkerDegree; ++degree) {
      EXPECT_GE(scan.distance[degree], 0.0F) << "degree " << degree;
      sum += std::abs(scan.distance[degree] - room(scan.angle[degree]));
    }
    return sum / kMarkerDegree;
  }

  SimLidar sim{kPort};
};

TEST_F(LidarFiltersInRoom, SmoothingComesNearerTheWallsThanNoFilter) {
  const double unfiltered = meanWallError(std::nullopt);
  const double kalman = meanWallError(LIDAR_FILTER_KALMAN);
  const double movingAverage = meanWallError(LIDAR_FILTER_MOVING_AVERAGE);
  const double median = meanWallError(LIDAR_FILTER_MEDIAN);
  const double cluster = meanWallError(LIDAR_FILTER_CLUSTER);
  const double jitter = meanWallError(LIDAR_FILTER_JITTER);
  RecordProperty("unfiltered_mm", std::to_string(unfiltered));
  RecordProperty("kalman_mm", std::to_string(kalman));
  // About 24 mm of error from 30 mm of noise.
  EXPECT_GT(unfiltered, kNoiseMm / 2);
  EXPECT_LT(unfiltered, kNoiseMm);
  EXPECT_LE(kalman, unfiltered);
  EXPECT_LE(movingAverage, unfiltered);
  EXPECT_LE(median, unfiltered);
  EXPECT_LE(cluster, unfiltered);
  // The jitter filter holds a degree's value while it moves less than its threshold, so it keeps
  // the noise: not compared.
  std::printf(
      "mean distance from the walls: %.1f mm unfiltered, %.1f Kalman, %.1f moving "
      "average, %.1f median, %.1f cluster, %.1f jitter\n",
      unfiltered, kalman, movingAverage, median, cluster, jitter);
}

}  // namespace

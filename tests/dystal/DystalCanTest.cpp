// The distance sensor on the simulated CAN bus, through the library's C face.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "DystalReadings.h"
#include "SensorOnCan.h"
#include "SimCanBus.h"
#include "SimDystal.h"
#include "TestPlatform.h"
#include "WaitFor.h"
#include "halvern/Dystal.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using halvern::sim::SimDystalCan;
using namespace halvern::test::dystal;  // NOLINT(google-build-using-namespace)

// The wire as the sensor's documentation gives it, written out rather than taken from the
// library, so a wrong identifier there cannot agree with itself here.
constexpr uint32_t kSensorFrames = 0x06090000;
constexpr uint32_t kConfigRequestApi = 16;
constexpr uint32_t kConfigReplyApi = 17;
constexpr uint32_t kExactMask = 0x1FFFFFFF;
constexpr uint16_t kNoDistance = 0xFFFF;
constexpr uint8_t kCanId = 7;

uint32_t messageId(uint32_t api, uint32_t canId) { return kSensorFrames + api * 64 + canId; }

// Entries past the requested count are 0, whatever the reading held.
void expectZeroFrom(const DystalScanData& scan, int first) {
  for (int k = first; k < DYSTAL_MAX_DISTANCES; ++k) {
    EXPECT_EQ(scan.distance[k], 0) << "at " << k;
  }
}

void expectEmpty(const DystalScanData& scan) {
  EXPECT_EQ(scan.sequence, 0);
  EXPECT_EQ(scan.count, 0);
  expectZeroFrom(scan, 0);
}

std::pair<Sensor, std::string> createCapturing(int canId) {
  testing::internal::CaptureStdout();
  Sensor sensor(c_Dystal_create(canId));
  return {std::move(sensor), testing::internal::GetCapturedStdout()};
}

class DystalCan
    : public halvern::test::SensorOnCan<SimDystalCan, c_Dystal_create, c_Dystal_destroy, kCanId> {
 protected:
  // Sends the chunks of a reading as the sensor does, three distances each.
  void sendChunks(uint8_t sequence, const std::vector<std::pair<uint8_t, Distances>>& chunks) {
    for (const auto& [chunk, d] : chunks) {
      device.sendChunk(sequence, chunk, static_cast<uint16_t>(d.at(0)),
                       static_cast<uint16_t>(d.at(1)), static_cast<uint16_t>(d.at(2)));
    }
  }

};

TEST(DystalCanCreation, ChecksTheCanIdAndTheStreamSession) {
  halvern::test::resetSimulation();
  const int sessionsBefore = halvern::sim::openStreamSessionCount();
  for (const int bad : {64, -1}) {
    const auto [sensor, printed] = createCapturing(bad);
    EXPECT_EQ(sensor, nullptr);
    EXPECT_EQ(printed, "[Dystal] CAN ID " + std::to_string(bad) + " is out of range (0 - 63)\n");
  }
  for (const int good : {0, 63}) {
    const SimDystalCan device(static_cast<uint8_t>(good));  // whose bus serves the session
    const auto [sensor, printed] = createCapturing(good);
    ASSERT_NE(sensor, nullptr);
    EXPECT_EQ(printed, "");
    EXPECT_EQ(c_Dystal_getCanID(sensor.get()), good);
    EXPECT_EQ(c_Dystal_getTransport(sensor.get()), 0);
    EXPECT_EQ(halvern::sim::openStreamSessionCount(), sessionsBefore + 1);
  }
  EXPECT_EQ(halvern::sim::openStreamSessionCount(), sessionsBefore);  // destroyed sensors closed theirs
}

TEST(DystalCanCreation, ReportsARefusedStreamSession) {
  HALVERN_NEEDS_STANDIN();
  halvern::test::resetSimulation();
  const int sessionsBefore = halvern::sim::openStreamSessionCount();
  halvern::test::setStreamOpenStatus(-44088);
  const auto [refused, printed] = createCapturing(5);
  EXPECT_EQ(refused, nullptr);
  EXPECT_EQ(printed, "[Dystal] Failed to open CAN stream session (status -44088)\n");
  EXPECT_EQ(halvern::sim::openStreamSessionCount(), sessionsBefore);
  halvern::test::resetSimulation();
}

TEST(DystalCanCreation, CreateDestroyCyclesLeaveNoSessionOrHandleOpen) {
  halvern::test::resetSimulation();
  SimDystalCan device(kCanId);
  const int sessionsBefore = halvern::sim::openStreamSessionCount();
  const bool counted = halvern::test::hasStandinControls();
  const int handlesBefore = counted ? halvern::test::openCanHandleCount() : 0;
  for (int cycle = 0; cycle < 200; ++cycle) {
    const Sensor sensor(c_Dystal_create(kCanId));
    ASSERT_NE(sensor, nullptr) << "cycle " << cycle;
    if (cycle % 20 == 0) {
      device.sendReading();
      EXPECT_EQ(readingOf(sensor.get(), 64).count, 64) << "cycle " << cycle;
    }
  }
  EXPECT_EQ(halvern::sim::openStreamSessionCount(), sessionsBefore);
  if (counted) {
    EXPECT_EQ(halvern::test::openCanHandleCount(), handlesBefore);
  }
}

TEST(DystalNullHandle, EveryFunctionAnswersWithoutADevice) {
  expectEmpty(readingOf(nullptr, 64));
  expectInvalid(configOf(nullptr, 100));
  EXPECT_EQ(c_Dystal_getCanID(nullptr), -1);
  EXPECT_EQ(c_Dystal_getTransport(nullptr), -1);
  c_Dystal_destroy(nullptr);
  EXPECT_EQ(c_Dystal_getData(nullptr, nullptr, 64), nullptr);
  EXPECT_EQ(c_Dystal_getConfig(nullptr, nullptr, 0), nullptr);
}

TEST_F(DystalCan, NullOutputsAreRefusedWithoutTouchingTheSensor) {
  device.sendReading();
  EXPECT_EQ(c_Dystal_getData(sensor.get(), nullptr, 64), nullptr);
  EXPECT_EQ(c_Dystal_getConfig(sensor.get(), nullptr, 0), nullptr);
}

TEST_F(DystalCan, AWholeReadingComesBackInZoneOrder) {
  device.sendReading();
  const DystalScanData full = readingOf(sensor.get(), 64);
  EXPECT_EQ(full.sequence, 1);
  EXPECT_EQ(full.count, 64);
  EXPECT_EQ(firstDistances(full, 64), halvern::sim::defaultDystalDistances());

  // A shorter request: the first zones only, the rest zeroed.
  device.sendReading();
  const DystalScanData part = readingOf(sensor.get(), 10);
  EXPECT_EQ(part.sequence, 2);
  EXPECT_EQ(part.count, 10);
  EXPECT_EQ(firstDistances(part, 10), firstDistances(full, 10));
  expectZeroFrom(part, 10);

  // Signed distances pass through unchanged.
  device.setDistances({-2, 32767, -32768, 0});
  device.sendReading();
  const DystalScanData edge = readingOf(sensor.get(), 64);
  EXPECT_EQ(edge.count, 4);
  EXPECT_EQ(firstDistances(edge, 4), (Distances{-2, 32767, -32768, 0}));
}

TEST_F(DystalCan, MissingChunksLeaveGapsOfMinusOne) {
  sendChunks(5, {{0, {10, 11, 12}}, {2, {16, 17, 18}}});
  const DystalScanData gap = readingOf(sensor.get(), 9);
  EXPECT_EQ(gap.sequence, 5);
  EXPECT_EQ(gap.count, 9);
  EXPECT_EQ(firstDistances(gap, 9), (Distances{10, 11, 12, -1, -1, -1, 16, 17, 18}));
  expectZeroFrom(gap, 9);

  // Missing at the end: the count stops after the last distance received.
  sendChunks(6, {{0, {10, 11, 12}}, {1, {13, 14, 15}}});
  const DystalScanData tail = readingOf(sensor.get(), 9);
  EXPECT_EQ(tail.count, 6);
  EXPECT_EQ(firstDistances(tail, 9), (Distances{10, 11, 12, 13, 14, 15, -1, -1, -1}));
  expectZeroFrom(tail, 9);

  // A lossy bus: the last chunk of a whole reading never arrives.
  device.setMissingChunks({21});
  device.sendReading();
  const DystalScanData lossy = readingOf(sensor.get(), 64);
  EXPECT_EQ(lossy.count, 63);
  EXPECT_EQ(lossy.distance[62], halvern::sim::defaultDystalDistances().at(62));
  EXPECT_EQ(lossy.distance[63], -1);
}

TEST_F(DystalCan, NoDistanceReadsAsMinusOne) {
  sendChunks(3, {{0, {100, static_cast<int16_t>(kNoDistance), 102}}});
  const DystalScanData one = readingOf(sensor.get(), 9);
  EXPECT_EQ(one.count, 3);
  EXPECT_EQ(firstDistances(one, 9), (Distances{100, -1, 102, -1, -1, -1, -1, -1, -1}));

  // Nothing measured anywhere: every position -1, and the count is what was asked for.
  for (uint8_t chunk = 0; chunk < 3; ++chunk) {
    device.sendChunk(4, chunk, kNoDistance, kNoDistance, kNoDistance);
  }
  const DystalScanData none = readingOf(sensor.get(), 9);
  EXPECT_EQ(none.sequence, 4);
  EXPECT_EQ(none.count, 9);
  EXPECT_EQ(firstDistances(none, 9), Distances(9, -1));
  expectZeroFrom(none, 9);
}

TEST_F(DystalCan, TheSequenceWithTheMostChunksIsChosen) {
  sendChunks(5, {{0, {50, 50, 50}}, {1, {51, 51, 51}}, {2, {52, 52, 52}}});
  sendChunks(6, {{0, {60, 60, 60}}, {1, {61, 61, 61}}});
  const DystalScanData most = readingOf(sensor.get(), 9);
  EXPECT_EQ(most.sequence, 5);
  EXPECT_EQ(firstDistances(most, 9), (Distances{50, 50, 50, 51, 51, 51, 52, 52, 52}));

  // A tie goes to the later sequence that holds chunk 0, whatever order the frames came in.
  sendChunks(8, {{0, {80, 80, 80}}, {1, {81, 81, 81}}});
  sendChunks(7, {{0, {70, 70, 70}}, {1, {71, 71, 71}}});
  const DystalScanData later = readingOf(sensor.get(), 6);
  EXPECT_EQ(later.sequence, 8);
  EXPECT_EQ(firstDistances(later, 6), (Distances{80, 80, 80, 81, 81, 81}));

  // ...but not to one without chunk 0.
  sendChunks(9, {{0, {90, 90, 90}}, {1, {91, 91, 91}}});
  sendChunks(10, {{1, {101, 101, 101}}, {2, {102, 102, 102}}});
  const DystalScanData headed = readingOf(sensor.get(), 9);
  EXPECT_EQ(headed.sequence, 9);
  EXPECT_EQ(headed.count, 6);

  // A chunk sent again replaces the earlier one rather than counting twice.
  sendChunks(11, {{0, {110, 110, 110}}, {0, {111, 111, 111}}, {0, {112, 112, 112}}});
  sendChunks(12, {{0, {120, 120, 120}}, {1, {121, 121, 121}}});
  const DystalScanData repeated = readingOf(sensor.get(), 6);
  EXPECT_EQ(repeated.sequence, 12);
}

TEST_F(DystalCan, OnlyThisSensorsDistanceChunksCount) {
  SimDystalCan neighbour(kCanId + 1);
  neighbour.sendReading();  // a whole reading, but another sensor's
  sendChunks(9, {{0, {1, 2, 3}}});
  // This sensor's configuration reply, shaped like chunk 1 of sequence 9.
  halvern::sim::transmitToRobot(messageId(kConfigReplyApi, kCanId),
                          std::array<uint8_t, 8>{9, 1, 4, 0, 5, 0, 6, 0});
  // A distance chunk one byte short.
  halvern::sim::transmitToRobot(messageId(1, kCanId), std::array<uint8_t, 7>{9, 2, 7, 0, 8, 0, 9});

  const DystalScanData scan = readingOf(sensor.get(), 9);
  EXPECT_EQ(scan.sequence, 9);
  EXPECT_EQ(scan.count, 3);
  EXPECT_EQ(firstDistances(scan, 9), (Distances{1, 2, 3, -1, -1, -1, -1, -1, -1}));
}

TEST_F(DystalCan, CountsAreClampedAndNothingReceivedIsEmpty) {
  expectEmpty(readingOf(sensor.get(), 64));
  for (const int empty : {0, -3}) {
    device.sendReading();
    expectEmpty(readingOf(sensor.get(), empty));
    halvern::test::resetSimulation();  // what that call left in the session
  }
  device.sendReading();
  const DystalScanData clamped = readingOf(sensor.get(), 100);
  EXPECT_EQ(clamped.count, 64);
  EXPECT_EQ(firstDistances(clamped, 64), halvern::sim::defaultDystalDistances());
}

TEST_F(DystalCan, ReadingsStreamingFasterThanTheyAreReadStayWhole) {
  // Each reading is 22 frames: the session (128 deep) overflows between these calls, as the
  // test waits for six readings to go out before each call.
  device.startReadings(5ms);
  for (int i = 0; i < 10; ++i) {
    const uint8_t before = device.lastSequence();
    ASSERT_GE(halvern::test::waitForValue(
                  [&] { return static_cast<uint8_t>(device.lastSequence() - before); },
                  [](uint8_t sent) { return sent >= 6; }, 5s),
              6);
    const DystalScanData scan = readingOf(sensor.get(), 64);
    EXPECT_EQ(scan.count, 64);
    EXPECT_EQ(firstDistances(scan, 64), halvern::sim::defaultDystalDistances());
  }
  device.stopReadings();
}

TEST_F(DystalCan, TheConfigurationIsRequestedAndDecoded) {
  device.setConfig(
      {.version = 9, .distanceEnabled = true, .canFdEnabled = true, .canBrsEnabled = false});
  halvern::sim::clearSentFrames();
  const DystalConfig config = configOf(sensor.get(), 100);
  // Version 9, distance and FD on, BRS off, this sensor's CAN ID.
  EXPECT_EQ(describe(config), describe(DystalConfig{9, 1, 1, 0, kCanId, 1}));

  const auto requests = halvern::sim::sentFrames(messageId(kConfigRequestApi, kCanId), kExactMask);
  ASSERT_EQ(requests.size(), 1U);
  EXPECT_EQ(requests[0].length, 8);
  EXPECT_EQ(requests[0].data, (std::array<uint8_t, 8>{}));
  EXPECT_EQ(halvern::sim::sentFrames().size(), 1U);  // nothing else went out
  EXPECT_EQ(device.configRequests(), 1);

  // No time to wait: the one look after sending still finds a reply that is already there.
  device.setConfig(
      {.version = 4, .distanceEnabled = false, .canFdEnabled = false, .canBrsEnabled = true});
  const DystalConfig immediate = configOf(sensor.get(), 0);
  EXPECT_EQ(immediate.valid, 1);
  EXPECT_EQ(immediate.version, 4);
  EXPECT_EQ(immediate.distanceEnabled, 0);
  EXPECT_EQ(immediate.canBrsEnabled, 1);
}

TEST_F(DystalCan, ASilentSensorGivesAnInvalidConfigurationInTime) {
  device.setConfigSilent(true);
  const auto start = Clock::now();
  expectInvalid(configOf(sensor.get(), 0));
  EXPECT_LT(Clock::now() - start, 1s);  // one look, no waiting

  const auto waitStart = Clock::now();
  expectInvalid(configOf(sensor.get(), 100));
  const auto waited = Clock::now() - waitStart;
  EXPECT_GE(waited, 95ms);
  EXPECT_LT(waited, 5s);  // it gives up rather than hanging
  EXPECT_EQ(device.configRequests(), 2);
}

}  // namespace

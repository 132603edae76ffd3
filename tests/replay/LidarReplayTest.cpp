// The serial lidar's scan logged into a data log and replayed into a fresh simulator: the
// library decodes the recorded samples again at the recorded times, and its table of degrees
// ends as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ScanReplaySupport.h"
#include "SimLidar.h"
#include "SimLogPlayer.h"
#include "WaitFor.h"
#include "halsim/SimControl.h"
#include "halvern/Lidar.h"
#include "lidar/LidarSignals.h"

namespace {

using namespace std::chrono_literals;
using halvern::sim::SimLidar;
using halvern::sim::SimLogPlayer;
using halvern::test::LibraryLogFile;
using halvern::test::LoggedRevolution;
using halvern::test::waitFor;
namespace names = halvern::lidar::signals;
namespace scan = halvern::datalog::scan;

constexpr int32_t kPort = 0;
const std::string kDevice = std::string{names::kFamily} + "[0]";
// Bounds a wait for the library, the simulator or the player; it only decides a failure.
constexpr auto kPatience = 30s;
// Angles go on the wire in 1/128 degree.
constexpr double kAngleUnit = 1.0 / 128.0;
constexpr int kRevolutions = 8;

std::unique_ptr<LidarTimedScan> timedScan() {
  auto scan = std::make_unique<LidarTimedScan>();
  c_Lidar_getTimedData(scan.get());
  return scan;
}

// The program's calls around its lidar, the same in the recorded run and in the replay.
void createLidar() {
  testing::internal::CaptureStderr();
  c_Lidar_create(kPort);
  testing::internal::GetCapturedStderr();
}

TEST(LidarReplay, ARecordedScanDecodesAgainSampleForSampleAtItsTimes) {
  LibraryLogFile recording("recorded");
  {
    SimLidar sim(kPort);
    createLidar();
    c_Lidar_clusterConfig(40.0F, 4);
    c_Lidar_kalmanConfig(0.5F, 2.0F, 1.5F);
    c_Lidar_movingAverageConfig(4);
    c_Lidar_medianConfig(3);
    c_Lidar_jitterConfig(60.0F);
    c_Lidar_enableFilter(LIDAR_FILTER_MEDIAN, true);
    c_Lidar_enableFilter(LIDAR_FILTER_MEDIAN, false);
    // Whole revolutions after the first start the library saw, read to the end.
    ASSERT_TRUE(waitFor([&] { return sim.revolutionsSent() >= kRevolutions + 2; }, kPatience));
    const auto sentUs = static_cast<int64_t>(sim.sentPackets().back().halMicros);
    ASSERT_TRUE(waitFor([&] { return timedScan()->lastPacketUs >= sentUs; }, kPatience));
    c_Lidar_stop();
  }
  recording.finish();
  const auto recorded = recording.read();
  ASSERT_FALSE(recorded.error.has_value());

  {
    SCOPED_TRACE("every signal as its own entry, with its type and unit");
    struct Expected {
      std::string_view signal;
      std::string_view type;
      std::string_view unit;
    };
    const std::vector<Expected> expected{{scan::kAngles, "double[]", scan::kDegrees},
                                         {scan::kDistances, "double[]", names::kDistanceUnit},
                                         {scan::kLastPacket, "int64", scan::kMicroseconds},
                                         {names::kConnected, "boolean", ""},
                                         {names::kScanning, "boolean", ""},
                                         {names::kActiveFilter, "string", ""},
                                         {names::kClusterTolerance, "double", names::kDistanceUnit},
                                         {names::kClusterMinPoints, "int64", ""},
                                         {names::kKalmanProcessNoise, "double", ""},
                                         {names::kKalmanMeasurementNoise, "double", ""},
                                         {names::kKalmanErrorCovariance, "double", ""},
                                         {names::kMovingAverageWindow, "int64", ""},
                                         {names::kMedianWindow, "int64", ""},
                                         {names::kJitterThreshold, "double", names::kDistanceUnit}};
    for (const Expected& signal : expected) {
      const std::string name = "Halvern/" + kDevice + "/" + std::string{signal.signal};
      const auto* entry = halvern::test::entryNamed(recorded, name);
      ASSERT_NE(entry, nullptr) << name;
      EXPECT_EQ(entry->type, signal.type) << name;
      EXPECT_EQ(entry->metadata, halvern::test::metadataWithUnit(signal.unit)) << name;
    }
    EXPECT_EQ(halvern::test::entryNamed(
                  recorded, "Halvern/" + kDevice + "/" + std::string{scan::kIntensities}),
              nullptr);
    const std::string prefix = "Halvern/" + kDevice + "/";
    using halvern::test::valuesOf;
    const auto filters =
        valuesOf<std::string>(recorded, prefix + std::string{names::kActiveFilter});
    ASSERT_EQ(filters.size(), 2U);
    EXPECT_EQ(filters[0].value, "Median");
    EXPECT_EQ(filters[1].value, names::kNoFilter);
    const auto kalman =
        valuesOf<double>(recorded, prefix + std::string{names::kKalmanErrorCovariance});
    ASSERT_EQ(kalman.size(), 1U);
    EXPECT_EQ(kalman[0].value, 1.5);
    EXPECT_EQ(
        valuesOf<int64_t>(recorded, prefix + std::string{names::kClusterMinPoints}).at(0).value, 4);
    const auto scanning = valuesOf<bool>(recorded, prefix + std::string{names::kScanning});
    ASSERT_EQ(scanning.size(), 2U);
    EXPECT_TRUE(scanning[0].value);
    EXPECT_FALSE(scanning[1].value);
    const auto connected = valuesOf<bool>(recorded, prefix + std::string{names::kConnected});
    ASSERT_FALSE(connected.empty());
    EXPECT_TRUE(connected.front().value);
    EXPECT_FALSE(connected.back().value);
  }
  const std::vector<LoggedRevolution> original = halvern::test::revolutionsOf(recorded, kDevice);
  ASSERT_GE(original.size(), static_cast<std::size_t>(kRevolutions));

  // The replay: a fresh simulator fed from the log, the library reading it as before. What the
  // recorded lidar sent as the port closed stays queued on it: a fresh robot starts without.
  halsim::reset();
  SimLogPlayer player(recording.path());
  ASSERT_EQ(player.error(), "");
  LibraryLogFile replaying("replayed");
  SimLidar fresh(kPort);
  player.attach(fresh, kDevice);
  createLidar();
  player.start();
  ASSERT_TRUE(waitFor([&] { return player.finished(); }, kPatience));
  const int64_t offset = player.clockOffsetMicros();
  const LoggedRevolution& last = original.back();

  {
    SCOPED_TRACE("the library's table holds each degree's latest recorded sample");
    // A degree's latest sample, unless a sample of the last revolution lies within the angles'
    // unit of the degree's edges, where the replayed one may fall on the other side.
    std::vector<bool> nearEdge(LIDAR_DEGREES, false);
    for (const double angle : last.angles) {
      const double nearest = std::round(angle);
      if (std::abs(angle - nearest) <= kAngleUnit) {
        const auto degree = static_cast<std::size_t>(nearest) % LIDAR_DEGREES;
        nearEdge[degree] = true;
        nearEdge[(degree + LIDAR_DEGREES - 1) % LIDAR_DEGREES] = true;
      }
    }
    std::vector<const double*> latestAngle(LIDAR_DEGREES, nullptr);
    std::vector<double> latestDistance(LIDAR_DEGREES, 0.0);
    for (const LoggedRevolution& revolution : original) {
      for (std::size_t i = 0; i < revolution.angles.size(); ++i) {
        const auto degree = static_cast<std::size_t>(revolution.angles[i]) % LIDAR_DEGREES;
        latestAngle[degree] = &revolution.angles[i];
        latestDistance[degree] = revolution.distances[i];
      }
    }
    const auto holds = [&](std::size_t degree, const LidarTimedScan& table) {
      return std::abs(table.angle[degree] - *latestAngle[degree]) <= kAngleUnit &&
             table.distance[degree] == static_cast<float>(latestDistance[degree]);
    };
    std::vector<std::size_t> compared;
    for (std::size_t degree = 0; degree < LIDAR_DEGREES; ++degree) {
      if (!nearEdge[degree] && latestAngle[degree] != nullptr) {
        compared.push_back(degree);
      }
    }
    EXPECT_GT(compared.size(), static_cast<std::size_t>(LIDAR_DEGREES / 2));
    // The last revolution's packets arrive until its last packet's time.
    waitFor(
        [&] {
          const auto table = timedScan();
          return std::all_of(compared.begin(), compared.end(),
                             [&](std::size_t degree) { return holds(degree, *table); });
        },
        kPatience);
    const auto table = timedScan();
    for (const std::size_t degree : compared) {
      EXPECT_TRUE(holds(degree, *table))
          << degree << ": " << table->angle[degree] << " " << table->distance[degree] << " for "
          << *latestAngle[degree] << " " << latestDistance[degree];
    }
  }
  c_Lidar_stop();
  replaying.finish();

  SCOPED_TRACE("every revolution the library read in the replay is the recorded one");
  // The last one is not whole to the library: no revolution starts after it.
  const std::vector<LoggedRevolution> replayed =
      halvern::test::revolutionsOf(replaying.read(), kDevice);
  ASSERT_EQ(replayed.size() + 1, original.size());
  std::vector<int64_t> firstApart;
  std::vector<int64_t> lastApart;
  for (std::size_t k = 0; k < replayed.size(); ++k) {
    SCOPED_TRACE("revolution " + std::to_string(k));
    ASSERT_EQ(replayed[k].angles.size(), original[k].angles.size());
    for (std::size_t i = 0; i < original[k].angles.size(); ++i) {
      ASSERT_LE(halvern::test::angleApart(replayed[k].angles[i], original[k].angles[i]), kAngleUnit)
          << i;
    }
    EXPECT_EQ(replayed[k].distances, original[k].distances);
    firstApart.push_back(std::abs(replayed[k].firstPacketUs + offset - original[k].firstPacketUs));
    lastApart.push_back(std::abs(replayed[k].lastPacketUs + offset - original[k].lastPacketUs));
  }
  EXPECT_LE(halvern::test::median(firstApart), halvern::test::kReplayTimeTolerance.count());
  EXPECT_LE(halvern::test::median(lastApart), halvern::test::kReplayTimeTolerance.count());
}

}  // namespace

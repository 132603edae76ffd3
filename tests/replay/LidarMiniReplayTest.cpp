// A LidarMini's scan logged into a data log and replayed into a fresh simulator: the library
// reads back the recorded revolutions, point for point, at the recorded times.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ListedPort.h"
#include "OwnedHandle.h"
#include "ScanReplaySupport.h"
#include "SimLidarMini.h"
#include "SimLogPlayer.h"
#include "WaitFor.h"
#include "halvern/LidarMini.h"
#include "lidarmini/LidarMiniSignals.h"

namespace {

using namespace std::chrono_literals;
using halvern::sim::SimLidarMini;
using halvern::sim::SimLogPlayer;
using halvern::test::LibraryLogFile;
using halvern::test::LoggedRevolution;
using halvern::test::waitFor;
namespace names = halvern::lidarmini::signals;
namespace scan = halvern::datalog::scan;

// Bounds a wait for the library, the simulator or the player; it only decides a failure.
constexpr auto kPatience = 30s;
// Angles go on the wire in 1/128 degree.
constexpr double kAngleUnit = 1.0 / 128.0;
constexpr int kRevolutions = 8;

using Lidar = halvern::test::OwnedHandle<c_LidarMini_destroy>;

// A lidar on the simulator's port, the only one listed; its messages kept off the test's output.
Lidar lidarOn(const SimLidarMini& sim) {
  const halvern::test::ListedPort listed(sim.devicePath());
  testing::internal::CaptureStdout();
  Lidar lidar(c_LidarMini_create(0));
  testing::internal::GetCapturedStdout();
  return lidar;
}

void quietly(void (*call)(void*), void* lidar) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  call(lidar);
  testing::internal::GetCapturedStdout();
  testing::internal::GetCapturedStderr();
}

LidarMiniScanTimes latestTimes(void* lidar) {
  LidarMiniScanTimes times{};
  c_LidarMini_copyDataTimed(lidar, nullptr, nullptr, nullptr, 0, nullptr, &times);
  return times;
}

// Waits for `count` revolutions published after now, each seen once.
bool waitForRevolutions(void* lidar, int count) {
  int64_t after = latestTimes(lidar).firstPacketUs;
  for (int k = 0; k < count; ++k) {
    if (!waitFor([&] { return latestTimes(lidar).firstPacketUs > after; }, kPatience)) {
      return false;
    }
    after = latestTimes(lidar).firstPacketUs;
  }
  return true;
}

std::string deviceOn(const SimLidarMini& sim) {
  return halvern::test::portDevice(names::kFamily, sim.devicePath());
}

TEST(LidarMiniReplay, ARecordedScanReadsBackPointForPointAtItsTimes) {
  LibraryLogFile recording("recorded");
  std::string device;
  {
    SimLidarMini sim;
    sim.setHealth({.status = 1, .errorCode = 0x0203});
    device = deviceOn(sim);
    Lidar lidar = lidarOn(sim);
    ASSERT_NE(lidar.get(), nullptr);
    c_LidarMini_getInfo(lidar.get());
    c_LidarMini_getHealth(lidar.get());
    c_LidarMini_increaseFrequency(lidar.get(), true);
    quietly(c_LidarMini_start, lidar.get());
    ASSERT_TRUE(waitForRevolutions(lidar.get(), kRevolutions));
    quietly(c_LidarMini_stop, lidar.get());
    testing::internal::CaptureStdout();
    lidar.reset();
    testing::internal::GetCapturedStdout();
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
                                         {scan::kIntensities, "double[]", ""},
                                         {scan::kLastPacket, "int64", scan::kMicroseconds},
                                         {names::kConnected, "boolean", ""},
                                         {names::kScanning, "boolean", ""},
                                         {names::kFrequency, "double", names::kFrequencyUnit},
                                         {names::kModel, "int64", ""},
                                         {names::kFirmwareVersion, "int64", ""},
                                         {names::kHardwareVersion, "int64", ""},
                                         {names::kSerialNumber, "string", ""},
                                         {names::kHealthStatus, "int64", ""},
                                         {names::kHealthErrorCode, "int64", ""}};
    for (const Expected& signal : expected) {
      const std::string name = "Halvern/" + device + "/" + std::string{signal.signal};
      const auto* entry = halvern::test::entryNamed(recorded, name);
      ASSERT_NE(entry, nullptr) << name;
      EXPECT_EQ(entry->type, signal.type) << name;
      EXPECT_EQ(entry->metadata, halvern::test::metadataWithUnit(signal.unit)) << name;
      EXPECT_TRUE(entry->finished) << name;
    }
    const std::string prefix = "Halvern/" + device + "/";
    using halvern::test::valuesOf;
    const SimLidarMini::Identity identity;
    const auto model = valuesOf<int64_t>(recorded, prefix + std::string{names::kModel});
    ASSERT_EQ(model.size(), 1U);
    EXPECT_EQ(model[0].value, identity.model);
    EXPECT_EQ(
        valuesOf<std::string>(recorded, prefix + std::string{names::kSerialNumber}).at(0).value,
        "48414C5645524E2D4C4D2D3030303432");  // "HALVERN-LM-00042"
    EXPECT_EQ(
        valuesOf<int64_t>(recorded, prefix + std::string{names::kHealthErrorCode}).at(0).value,
        0x0203);
    const auto frequency = valuesOf<double>(recorded, prefix + std::string{names::kFrequency});
    ASSERT_EQ(frequency.size(), 1U);
    EXPECT_NEAR(frequency[0].value, 7.0, 1e-6);
    const auto scanning = valuesOf<bool>(recorded, prefix + std::string{names::kScanning});
    ASSERT_EQ(scanning.size(), 2U);
    EXPECT_TRUE(scanning[0].value);
    EXPECT_FALSE(scanning[1].value);
    const auto connected = valuesOf<bool>(recorded, prefix + std::string{names::kConnected});
    ASSERT_FALSE(connected.empty());
    EXPECT_TRUE(connected.front().value);
    EXPECT_FALSE(connected.back().value);
  }
  const std::vector<LoggedRevolution> original = halvern::test::revolutionsOf(recorded, device);
  ASSERT_GE(original.size(), static_cast<std::size_t>(kRevolutions));

  // The replay: a fresh simulator fed from the log, the library scanning it as before.
  SimLogPlayer player(recording.path());
  ASSERT_EQ(player.error(), "");
  LibraryLogFile replaying("replayed");
  SimLidarMini fresh;
  player.attach(fresh, device);
  // The library names the lidar by its port, which may differ in the replay.
  const std::string replayedDevice = deviceOn(fresh);
  Lidar lidar = lidarOn(fresh);
  ASSERT_NE(lidar.get(), nullptr);
  quietly(c_LidarMini_start, lidar.get());
  player.start();
  ASSERT_TRUE(waitFor([&] { return player.finished(); }, kPatience));
  const int64_t offset = player.clockOffsetMicros();
  const LoggedRevolution& last = original.back();
  ASSERT_TRUE(waitFor(
      [&] {
        return latestTimes(lidar.get()).firstPacketUs + offset >=
               last.firstPacketUs - halvern::test::kReplayTimeTolerance.count();
      },
      kPatience));

  {
    SCOPED_TRACE("the library's latest revolution is the recording's last");
    std::vector<float> angles(last.angles.size() + 1);
    std::vector<float> distances(angles.size());
    std::vector<float> intensities(angles.size());
    const int32_t count =
        c_LidarMini_copyData(lidar.get(), angles.data(), distances.data(), intensities.data(),
                             static_cast<int32_t>(angles.size()), nullptr);
    ASSERT_EQ(static_cast<std::size_t>(count), last.angles.size());
    for (std::size_t i = 0; i < last.angles.size(); ++i) {
      ASSERT_LE(halvern::test::angleApart(angles[i], last.angles[i]), kAngleUnit) << i;
      ASSERT_EQ(distances[i], static_cast<float>(last.distances[i])) << i;
      ASSERT_EQ(intensities[i], static_cast<float>(last.intensities[i])) << i;
    }
    // Its times, one sample that a busy machine may make late, are the replay log's below.
  }
  quietly(c_LidarMini_stop, lidar.get());
  testing::internal::CaptureStdout();
  lidar.reset();
  testing::internal::GetCapturedStdout();
  replaying.finish();

  SCOPED_TRACE("every revolution the library read in the replay is the recorded one");
  const std::vector<LoggedRevolution> replayed =
      halvern::test::revolutionsOf(replaying.read(), replayedDevice);
  ASSERT_EQ(replayed.size(), original.size());
  std::vector<int64_t> firstApart;
  std::vector<int64_t> lastApart;
  for (std::size_t k = 0; k < original.size(); ++k) {
    SCOPED_TRACE("revolution " + std::to_string(k));
    ASSERT_EQ(replayed[k].angles.size(), original[k].angles.size());
    for (std::size_t i = 0; i < original[k].angles.size(); ++i) {
      ASSERT_LE(halvern::test::angleApart(replayed[k].angles[i], original[k].angles[i]), kAngleUnit)
          << i;
    }
    EXPECT_EQ(replayed[k].distances, original[k].distances);
    EXPECT_EQ(replayed[k].intensities, original[k].intensities);
    firstApart.push_back(std::abs(replayed[k].firstPacketUs + offset - original[k].firstPacketUs));
    lastApart.push_back(std::abs(replayed[k].lastPacketUs + offset - original[k].lastPacketUs));
  }
  EXPECT_LE(halvern::test::median(firstApart), halvern::test::kReplayTimeTolerance.count());
  EXPECT_LE(halvern::test::median(lastApart), halvern::test::kReplayTimeTolerance.count());
}

}  // namespace

// What the lidars' replay tests share: a lidar's revolutions as a log holds them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "LibraryLogFile.h"
#include "core/LidarScanSignals.h"
#include "replay/WpilogReader.h"

namespace halvern::test {

template <typename Value>
struct Timed {
  int64_t timestamp = 0;
  Value value{};
};

/** The values of every entry named `name` that hold a `Value`, in file order. */
template <typename Value>
std::vector<Timed<Value>> valuesOf(const sim::replay::WpilogContents& contents,
                                   std::string_view name) {
  std::vector<Timed<Value>> values;
  for (const auto& record : contents.records) {
    if (const auto* data = std::get_if<sim::replay::WpilogData>(&record.content)) {
      if (contents.entries[data->entry].name == name) {
        if (const auto* value = std::get_if<Value>(&data->value)) {
          values.push_back({record.timestamp, *value});
        }
      }
    }
  }
  return values;
}

/** One logged revolution. */
struct LoggedRevolution {
  int64_t firstPacketUs = 0;
  int64_t lastPacketUs = 0;
  std::vector<double> angles;
  std::vector<double> distances;
  std::vector<double> intensities;  // none for a lidar that has none
};

/** The revolutions `device` ("Halvern/<device>/...") logged, in order. */
inline std::vector<LoggedRevolution> revolutionsOf(const sim::replay::WpilogContents& contents,
                                                   const std::string& device) {
  namespace scan = datalog::scan;
  const std::string prefix = "Halvern/" + device + "/";
  const auto angles = valuesOf<std::vector<double>>(contents, prefix + std::string{scan::kAngles});
  const auto distances =
      valuesOf<std::vector<double>>(contents, prefix + std::string{scan::kDistances});
  const auto intensities =
      valuesOf<std::vector<double>>(contents, prefix + std::string{scan::kIntensities});
  const auto lastPackets = valuesOf<int64_t>(contents, prefix + std::string{scan::kLastPacket});
  std::vector<LoggedRevolution> revolutions;
  // A log switched off while the reader logs a revolution may end with a part of its arrays.
  const std::size_t whole = std::min({angles.size(), distances.size(), lastPackets.size()});
  EXPECT_LE(angles.size(), whole + 1);
  for (std::size_t i = 0; i < whole; ++i) {
    EXPECT_EQ(distances[i].timestamp, angles[i].timestamp);
    EXPECT_EQ(lastPackets[i].timestamp, angles[i].timestamp);
    revolutions.push_back(
        {.firstPacketUs = angles[i].timestamp,
         .lastPacketUs = lastPackets[i].value,
         .angles = angles[i].value,
         .distances = distances[i].value,
         .intensities = i < intensities.size() ? intensities[i].value : std::vector<double>{}});
  }
  return revolutions;
}

/** The difference between two angles in degrees, across 0 when shorter. */
inline double angleApart(double a, double b) {
  const double apart = std::abs(a - b);
  return std::min(apart, 360.0 - apart);
}

}  // namespace halvern::test

// What the lidars' replay tests share: a data log on a scratch file that the library logs into,
// and a lidar's revolutions as a log holds them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <variant>
#include <vector>

#include "core/LidarScanSignals.h"
#include "halvern/DataLog.h"
#include "replay/WpilogReader.h"
#include "wpi/DataLog_c.h"

namespace halvern::test {

/** The library logs into a data log on a scratch file of the test's own until finish(). */
class LibraryLogFile {
 public:
  explicit LibraryLogFile(std::string_view role) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::filesystem::temp_directory_path() /
            (std::string{"halvern_"} + test->name() + "_" + std::string{role} + "_" +
             std::to_string(std::random_device{}()) + ".wpilog");
    const std::string name = path_.string();
    const WPI_String filename{name.data(), name.size()};
    const WPI_String header{"", 0};
    int error = 0;
    log_ = WPI_DataLog_CreateWriter(&filename, &error, &header);
    EXPECT_EQ(error, 0);
    c_Halvern_startDataLog(log_);
  }
  ~LibraryLogFile() {
    finish();
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  LibraryLogFile(const LibraryLogFile&) = delete;
  LibraryLogFile& operator=(const LibraryLogFile&) = delete;

  /** The library stops logging and the file is written whole. */
  void finish() {
    if (log_ != nullptr) {
      c_Halvern_stopDataLog();
      WPI_DataLog_Release(log_);
      log_ = nullptr;
    }
  }

  [[nodiscard]] std::string path() const { return path_.string(); }

  /** The file's contents, once finished. */
  [[nodiscard]] sim::replay::WpilogContents read() const {
    std::ifstream in{path_, std::ios::binary};
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>{in},
                                     std::istreambuf_iterator<char>{}};
    return sim::replay::readWpilog(bytes);
  }

 private:
  std::filesystem::path path_;
  WPI_DataLog* log_ = nullptr;
};

/** The entry named `name`, or none. */
inline const sim::replay::WpilogEntry* entryNamed(const sim::replay::WpilogContents& contents,
                                                  std::string_view name) {
  const auto found = std::find_if(contents.entries.begin(), contents.entries.end(),
                                  [&](const auto& entry) { return entry.name == name; });
  return found == contents.entries.end() ? nullptr : &*found;
}

/** The metadata the library gives an entry with this unit (none: no unit). */
inline std::string metadataWithUnit(std::string_view unit) {
  std::string metadata = R"({"source":"HalvernDriver")";
  if (!unit.empty()) {
    metadata += R"(,"unit":")" + std::string{unit} + '"';
  }
  return metadata + '}';
}

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

/** The median of `values` (0 for none). */
inline int64_t median(std::vector<int64_t> values) {
  if (values.empty()) {
    return 0;
  }
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

/** The difference between two angles in degrees, across 0 when shorter. */
inline double angleApart(double a, double b) {
  const double apart = std::abs(a - b);
  return std::min(apart, 360.0 - apart);
}

}  // namespace halvern::test

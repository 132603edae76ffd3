// What the replay tests share: a data log on a scratch file that the library logs into, what
// they look up in it, and how close a replayed time must come to its recorded one.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ScratchLogFile.h"
#include "halvern/DataLog.h"
#include "replay/WpilogReader.h"
#include "DataLogApi.h"  // the year's data log C API, as the library calls it

namespace halvern::test {

/**
 * How far a replayed value's time may lie from its recorded time moved to the replaying clock,
 * compared as the median over many values, for every replay test. The limit only bounds a
 * failure: a replay that lost the recorded timing is off by far more, while idle runs measure
 * about 1-2 ms. It is wide so that a heavily loaded machine, which delays the player, the
 * simulators and the library alike (medians of 30 ms and more were seen), does not fail a replay
 * that kept the timing.
 */
inline constexpr std::chrono::microseconds kReplayTimeTolerance{50'000};

/** The library logs into a data log on a scratch file of the test's own until finish(). */
class LibraryLogFile {
 public:
  explicit LibraryLogFile(std::string_view role) : file_(role) {
    const std::string name = file_.path();
    const WPI_String filename{name.data(), name.size()};
    const WPI_String header{"", 0};
    int error = 0;
    log_ = WPI_DataLog_CreateWriter(&filename, &error, &header);
    EXPECT_EQ(error, 0);
    c_Halvern_startDataLog(log_);
  }
  ~LibraryLogFile() { finish(); }
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

  [[nodiscard]] std::string path() const { return file_.path(); }

  /** The file's contents: all of them once finished, what is written out so far before. */
  [[nodiscard]] sim::replay::WpilogContents read() const {
    if (log_ != nullptr) {
      WPI_DataLog_Flush(log_);
    }
    return file_.read();
  }

 private:
  ScratchFile file_;  // removed after the log is released
  WPI_DataLog* log_ = nullptr;
};

/** The metadata the library gives an entry with this unit (none: no unit). */
inline std::string metadataWithUnit(std::string_view unit) {
  std::string metadata = R"({"source":"HalvernDriver")";
  if (!unit.empty()) {
    metadata += R"(,"unit":")" + std::string{unit} + '"';
  }
  return metadata + '}';
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

/**
 * The name the library logs a device on the serial port at `path` under: the path's last
 * element, after its folder's name when it is a number ("/dev/pts/4": "pts4").
 */
inline std::string portDevice(std::string_view family, const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  std::string port = path.substr(slash + 1);
  if (slash != std::string::npos && !port.empty() && port.front() >= '0' && port.front() <= '9') {
    const std::string folder = path.substr(0, slash);
    port = folder.substr(folder.find_last_of('/') + 1) + port;
  }
  return std::string{family} + "[" + port + "]";
}

}  // namespace halvern::test

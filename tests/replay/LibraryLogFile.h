// What the replay tests share: a data log on a scratch file that the library logs into, and what
// they look up in it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

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

  /** The file's contents: all of them once finished, what is written out so far before. */
  [[nodiscard]] sim::replay::WpilogContents read() const {
    if (log_ != nullptr) {
      WPI_DataLog_Flush(log_);
    }
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

/** The median of `values` (0 for none). */
inline int64_t median(std::vector<int64_t> values) {
  if (values.empty()) {
    return 0;
  }
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

}  // namespace halvern::test

// A data log file of a test's own in the temporary folder, read back with the replay's reader,
// and what the tests look up in it. LibraryLogFile.h builds on it.
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

#include "replay/WpilogReader.h"

namespace halvern::test {

/**
 * A file named after the running test and `tag` (and apart from another run's at the same
 * time), removed at the end.
 */
class ScratchFile {
 public:
  explicit ScratchFile(std::string_view tag = "") {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::filesystem::temp_directory_path() /
            (std::string{"halvern_"} + test->test_suite_name() + "_" + test->name() + "_" +
             std::string{tag} + std::to_string(std::random_device{}()) + ".wpilog");
  }
  ~ScratchFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  [[nodiscard]] std::string path() const { return path_.string(); }

  [[nodiscard]] std::vector<uint8_t> bytes() const {
    std::ifstream in{path_, std::ios::binary};
    return {std::istreambuf_iterator<char>{in}, std::istreambuf_iterator<char>{}};
  }

  [[nodiscard]] sim::replay::WpilogContents read() const {
    return sim::replay::readWpilog(bytes());
  }

 private:
  std::filesystem::path path_;
};

/** The entry named `name`, or none. */
inline const sim::replay::WpilogEntry* entryNamed(const sim::replay::WpilogContents& contents,
                                                  std::string_view name) {
  const auto found = std::find_if(contents.entries.begin(), contents.entries.end(),
                                  [&](const auto& entry) { return entry.name == name; });
  return found == contents.entries.end() ? nullptr : &*found;
}

}  // namespace halvern::test

// What the replay suites share: a data log of the test's own on a scratch file, which the library
// logs into while the test records or replays a run, and what the test reads back from it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "SimLogPlayer.h"
#include "WaitFor.h"
#include "halvern/DataLog.h"
#include "replay/WpilogReader.h"
#include "wpi/DataLog_c.h"

namespace halvern::test::replay {

using sim::RecordedValue;
using sim::replay::WpilogContents;
using sim::replay::WpilogEntry;

/**
 * How far a replayed reading's time may be from its recorded time on the replaying clock,
 * compared as the median over a signal's changes: the analog board converts each input about
 * every 10 ms, and the player and a loaded machine add a few milliseconds.
 */
inline constexpr std::chrono::microseconds kReplayTolerance{20'000};

/** The library's logging into a writer on a scratch file, from construction until close(). */
class LibraryLog {
 public:
  explicit LibraryLog(std::string_view tag) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::filesystem::temp_directory_path() /
            (std::string{"halvern_"} + test->name() + "_" + std::string{tag} + "_" +
             std::to_string(std::random_device{}()) + ".wpilog");
    const std::string name = path_.string();
    const WPI_String filename{name.data(), name.size()};
    const WPI_String header{"", 0};
    int error = 0;
    log_ = WPI_DataLog_CreateWriter(&filename, &error, &header);
    EXPECT_EQ(error, 0) << name;
    c_Halvern_startDataLog(log_);
  }
  ~LibraryLog() {
    close();
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  LibraryLog(const LibraryLog&) = delete;
  LibraryLog& operator=(const LibraryLog&) = delete;

  /** Stops the library's logging and writes the log out whole. */
  void close() {
    if (log_ != nullptr) {
      c_Halvern_stopDataLog();
      WPI_DataLog_Release(log_);
      log_ = nullptr;
    }
  }

  [[nodiscard]] std::string path() const { return path_.string(); }

  /** What the file holds now (written out so far, while open). */
  [[nodiscard]] WpilogContents contents() const {
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

/** The entry named `name`; null when there is none. */
inline const WpilogEntry* entryNamed(const WpilogContents& contents, std::string_view name) {
  const auto found = std::find_if(contents.entries.begin(), contents.entries.end(),
                                  [name](const WpilogEntry& entry) { return entry.name == name; });
  return found == contents.entries.end() ? nullptr : &*found;
}

/** Expects the entry "Halvern/<device>/<signal>" with WPILib's type `type` and unit `unit`. */
inline void expectEntry(const WpilogContents& contents, const std::string& device,
                        const std::string& signal, std::string_view type,
                        std::string_view unit = {}) {
  const std::string name = "Halvern/" + device + "/" + signal;
  const WpilogEntry* entry = entryNamed(contents, name);
  ASSERT_NE(entry, nullptr) << name;
  EXPECT_EQ(entry->type, type) << name;
  const std::string expected = unit.empty()
                                   ? std::string{R"({"source":"HalvernDriver"})"}
                                   : R"({"source":"HalvernDriver","unit":")" + std::string{unit} +
                                         R"("})";
  EXPECT_EQ(entry->metadata, expected) << name;
}

/** A value and the time it took over from a different one. */
template <typename Value>
struct Change {
  int64_t at = 0;
  Value value{};
};

/** The changes of one signal: its values with each repeat of the one before dropped. */
template <typename Project>
auto changesOf(const std::vector<RecordedValue>& values, Project project) {
  using Value = decltype(project(values.front()));
  std::vector<Change<Value>> changes;
  for (const RecordedValue& value : values) {
    if (changes.empty() || !(changes.back().value == project(value))) {
      changes.push_back({value.timestamp, project(value)});
    }
  }
  return changes;
}

/** The values alone. */
template <typename Value>
std::vector<Value> valuesOf(const std::vector<Change<Value>>& changes) {
  std::vector<Value> values;
  for (const auto& change : changes) {
    values.push_back(change.value);
  }
  return values;
}

/** The median; of an even count the lower of the middle two. */
inline int64_t median(std::vector<int64_t> values) {
  if (values.empty()) {
    return 0;
  }
  const std::size_t middle = (values.size() - 1) / 2;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle),
                   values.end());
  return values.at(middle);
}

/** The values the log holds now of `device`'s `signal`. */
inline std::vector<RecordedValue> loggedValues(const LibraryLog& log, std::string_view device,
                                               std::string_view signal) {
  return sim::SimLogPlayer(log.contents()).values(device, signal);
}

/**
 * Expects the replayed changes to be the recorded ones, value for value, and each (after the
 * first, which the fresh simulator showed before playing) to have come at its recorded time on
 * the replaying clock (recorded - `offsetMicros`) within kReplayTolerance, as a median.
 */
template <typename Value>
void expectReplayed(const std::vector<Change<Value>>& recorded,
                    const std::vector<Change<Value>>& replayed, int64_t offsetMicros,
                    const std::string& what) {
  ASSERT_GE(recorded.size(), 2U) << what << ": the recording changed nothing";
  ASSERT_EQ(valuesOf(replayed), valuesOf(recorded)) << what;
  std::vector<int64_t> lags;
  for (std::size_t i = 1; i < recorded.size(); ++i) {
    lags.push_back(replayed[i].at - (recorded[i].at - offsetMicros));
  }
  EXPECT_LE(std::abs(median(lags)), kReplayTolerance.count()) << what;
}

}  // namespace halvern::test::replay

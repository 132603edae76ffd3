// Recording a run of the library into a data log and reading it back, for the replay tests: a
// log on a scratch file of the test's own that the library logs into while it lives, and the
// values, types and units of the entries it holds.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <variant>
#include <vector>

#include "LibraryLogFile.h"
#include "SimHal.h"
#include "TestPlatform.h"
#include "WaitFor.h"
#include "halvern/DataLog.hpp"
#include "replay/WpilogReader.h"
#include "wpi/DataLogWriter.h"

namespace halvern::test {

/**
 * A log the library logs into (through the C++ API) from creation until finish(); its file goes
 * with it.
 */
class RecordedRun {
 public:
  explicit RecordedRun(std::string_view role) : file_(role) {
    std::error_code error;
    log_ = std::make_unique<wpi::log::DataLogWriter>(file_.path(), error);
    EXPECT_FALSE(error) << error.message();
    halvern::StartDataLog(*log_);
  }
  ~RecordedRun() { finish(); }
  RecordedRun(const RecordedRun&) = delete;
  RecordedRun& operator=(const RecordedRun&) = delete;

  [[nodiscard]] std::string path() const { return file_.path(); }

  /** Stops the library's logging and closes the file. */
  void finish() {
    if (log_) {
      halvern::StopDataLog();
      log_->Stop();
      log_.reset();
    }
  }

  /** What the file holds so far (the log written out first). */
  [[nodiscard]] sim::replay::WpilogContents read() const {
    if (log_) {
      log_->Flush();
    }
    return file_.read();
  }

  /** Waits until the entry `name` holds `count` values for which `counts` holds. */
  template <typename Counts>
  bool waitForValues(const std::string& name, Counts counts, size_t count = 1) const {
    return waitFor(
        [&] {
          const auto contents = read();
          size_t found = 0;
          for (const auto& record : contents.records) {
            const auto* data = std::get_if<sim::replay::WpilogData>(&record.content);
            if (data != nullptr && contents.entries[data->entry].name == name &&
                counts(data->value)) {
              ++found;
            }
          }
          return found >= count;
        },
        kWaitLimit);
  }

 private:
  ScratchFile file_;  // removed after the log is closed
  std::unique_ptr<wpi::log::DataLogWriter> log_;
};

/**
 * Resets the simulation and lets its clock pass its first milliseconds: a CAN frame's time has
 * whole milliseconds, and a time of 0 reads as "no traffic yet" and is logged as "now".
 */
inline void resetSimulationClock() {
  resetSimulation();
  ASSERT_TRUE(waitFor([] { return sim::simhal::halMicros() >= 2000; }, kWaitLimit));
}

/** Waits until `run` logged `device` as disconnected `drops` times. */
inline bool waitForLoggedDrop(const RecordedRun& run, const std::string& device, size_t drops = 1) {
  return run.waitForValues(
      "Halvern/" + device + "/Connected",
      [](const auto& value) {
        const bool* connected = std::get_if<bool>(&value);
        return connected != nullptr && !*connected;
      },
      drops);
}

/** A value's time in the replay's run less its recorded time moved to the replay's clock. */
inline int64_t replayLateness(int64_t replayedMicros, int64_t recordedMicros,
                              int64_t clockOffsetMicros) {
  return replayedMicros - (recordedMicros - clockOffsetMicros);
}

/**
 * Checks that the replayed values' times are their recorded times moved by the player's offset:
 * their median lateness, so that a few values late on a busy machine do not decide it.
 */
inline void expectOnTime(const std::vector<int64_t>& recordedMicros,
                         const std::vector<int64_t>& replayedMicros, int64_t clockOffsetMicros) {
  ASSERT_EQ(replayedMicros.size(), recordedMicros.size());
  ASSERT_FALSE(recordedMicros.empty());
  std::vector<int64_t> lateness;
  for (size_t i = 0; i < recordedMicros.size(); ++i) {
    lateness.push_back(replayLateness(replayedMicros[i], recordedMicros[i], clockOffsetMicros));
  }
  EXPECT_LE(std::abs(median(lateness)), kReplayTimeTolerance.count());
}

}  // namespace halvern::test

// The replay tests of devices that report single values (not revolutions): a signal's recorded
// values as changes, and the replayed ones checked against them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "LibraryLogFile.h"
#include "SimLogPlayer.h"
#include "replay/WpilogReader.h"

namespace halvern::test::replay {

using sim::RecordedValue;
using sim::replay::WpilogContents;
using sim::replay::WpilogEntry;
using test::LibraryLogFile;

/** Expects the entry "Halvern/<device>/<signal>" of WPILib's type `type` with unit `unit`. */
inline void expectEntry(const WpilogContents& contents, const std::string& device,
                        const std::string& signal, std::string_view type,
                        std::string_view unit = {}) {
  const std::string name = "Halvern/" + device + "/" + signal;
  const WpilogEntry* entry = entryNamed(contents, name);
  ASSERT_NE(entry, nullptr) << name;
  EXPECT_EQ(entry->type, type) << name;
  EXPECT_EQ(entry->metadata, metadataWithUnit(unit)) << name;
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

/** The values the log holds now of `device`'s `signal`. */
inline std::vector<RecordedValue> loggedValues(const LibraryLogFile& log, std::string_view device,
                                               std::string_view signal) {
  return sim::SimLogPlayer(log.read()).values(device, signal);
}

/**
 * Expects the replayed changes to be the recorded ones, value for value, and each (after the
 * first, which the fresh simulator showed before playing) to have come at its recorded time on
 * the replaying clock (recorded - `offsetMicros`) within kReplayTimeTolerance, as a median.
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
  EXPECT_LE(std::abs(median(lags)), kReplayTimeTolerance.count()) << what;
}

/**
 * Expects the replay to have dropped and regained the connection when the recording did
 * (recorded - `offsetMicros`): the drop the recording made, the last before `resumedAt`, and the
 * return after it. Each is one event, which a loaded machine can delay by more than a median of
 * many would allow; each must come within `silence`, the silence the library allows, which a
 * replay silencing the device only at the recorded drop would lose. A drop a loaded machine
 * adds elsewhere (frames held up beyond that silence) is the library's truth, not the replay's.
 */
inline void expectDropReplayed(const std::vector<Change<bool>>& recorded,
                               const std::vector<Change<bool>>& replayed, int64_t resumedAt,
                               int64_t offsetMicros, std::chrono::microseconds silence) {
  const auto drop = std::find_if(recorded.rbegin(), recorded.rend(), [&](const auto& change) {
    return !change.value && change.at < resumedAt;
  });
  const auto back = std::find_if(recorded.begin(), recorded.end(), [&](const auto& change) {
    return change.value && change.at >= resumedAt;
  });
  ASSERT_NE(drop, recorded.rend()) << "the recording has no drop";
  ASSERT_NE(back, recorded.end()) << "the recording has no return";
  for (const Change<bool>& event : {*drop, *back}) {
    const int64_t due = event.at - offsetMicros;
    int64_t nearest = std::numeric_limits<int64_t>::max();
    for (const Change<bool>& change : replayed) {
      if (change.value == event.value && std::abs(change.at - due) < std::abs(nearest)) {
        nearest = change.at - due;
      }
    }
    EXPECT_LT(std::abs(nearest), silence.count()) << (event.value ? "the return" : "the drop");
  }
}

}  // namespace halvern::test::replay

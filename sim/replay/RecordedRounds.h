// A recorded device's readings as the rounds it sent them in, and the drops that followed them.
//
// A simulator that reports on its own period would send a fed value up to a period late; told
// when the last value of a recorded round has been fed, it can send the round then, at its
// recorded time. And the library logs a drop of "Connected" when the silence it allows has run
// out after the device's last round; a replay that silenced the simulator only at the drop would
// have the library notice it that much later, so the simulator goes silent right after the last
// round before each recorded drop.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "SimLogPlayer.h"

namespace halvern::sim::replay {

class RecordedRounds {
 public:
  /** What the value just fed ended. */
  struct Fed {
    bool roundDone = false;    // the last value of its round: send the round now
    bool dropFollows = false;  // and a recorded drop follows it: fall silent after sending
  };

  /**
   * The values of `readings` (the signals whose feeds call fed) of `device`, in rounds: values
   * recorded no more than `roundGap` after the one before belong to its round. Each drop of the
   * `connected` signal follows the last round recorded before it.
   */
  RecordedRounds(const SimLogPlayer& player, const std::string& device,
                 std::string_view connected, const std::vector<std::string>& readings,
                 std::chrono::microseconds roundGap) {
    std::vector<int64_t> times;
    for (const std::string& reading : readings) {
      for (const RecordedValue& value : player.values(device, reading)) {
        times.push_back(value.timestamp);
      }
    }
    std::sort(times.begin(), times.end());
    for (std::size_t i = 0; i < times.size(); ++i) {
      const bool lastOfRound = i + 1 == times.size() || times[i + 1] - times[i] > roundGap.count();
      if (lastOfRound) {
        const auto first = std::lower_bound(times.begin(), times.end(), times[i]);
        rounds.push_back({times[i], static_cast<std::size_t>(times.begin() +
                                                             static_cast<std::ptrdiff_t>(i) -
                                                             first) + 1,
                          false});
      }
    }
    for (const RecordedValue& value : player.values(device, connected)) {
      if (value.boolean) {
        continue;
      }
      const auto after = std::lower_bound(
          rounds.begin(), rounds.end(), value.timestamp,
          [](const Round& round, int64_t time) { return round.last < time; });
      if (after != rounds.begin()) {  // silent from the start: the drop itself silences it
        std::prev(after)->dropFollows = true;
      }
    }
  }

  /** Called by each reading's feed after it was fed. */
  Fed fed(int64_t timestamp) {
    while (!rounds.empty() && rounds.front().last < timestamp) {
      rounds.pop_front();  // passed without its values (fed before this was attached)
    }
    if (rounds.empty() || rounds.front().last != timestamp || --rounds.front().left != 0) {
      return {};
    }
    const Fed done{true, rounds.front().dropFollows};
    rounds.pop_front();
    return done;
  }

 private:
  struct Round {
    int64_t last = 0;         // the time of its last values
    std::size_t left = 0;     // values of that time not fed yet
    bool dropFollows = false;
  };
  std::deque<Round> rounds;
};

}  // namespace halvern::sim::replay

// Records a robot's run and plays it again in simulation. First the "match": a simulated analog
// board whose input 0 steps through a few voltages, read by HalvernDriver's halvern::Ferix while
// the library logs into a WPILib data log (.wpilog). Then the replay: a fresh simulated board
// that SimLogPlayer feeds the recorded readings at their recorded times, read by a fresh
// halvern::Ferix, again logged. Prints what the library read in each run and exits with 1 when
// the replay did not read what the match did.
//
//   replay_example [folder]     the logs go to the folder (default: the current one)
#include <wpi/DataLogWriter.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "halvern/DataLog.hpp"
#include "halvern/Ferix.hpp"
#include "halvern/sim/SimFerix.h"
#include "halvern/sim/SimLogPlayer.h"

namespace {

using namespace std::chrono_literals;

constexpr int kReferenceVolts = 5;
// Input 0's counts during the match, each held for kStepTime (the board counts 1 mV a count).
constexpr std::array<int, 5> kSteps{100, 400, 250, 1200, 800};
constexpr auto kStepTime = 60ms;
constexpr auto kWaitLimit = 10s;  // bounds a wait on a very busy machine; never decides

struct Change {
  int64_t timestamp;
  int64_t raw;
};

/** Input 0's counts as the library logged them in `path`, each change once, at its time. */
std::vector<Change> loggedChanges(const std::string& path, const std::string& board) {
  const halvern::sim::SimLogPlayer log(path);
  std::vector<Change> changes;
  for (const auto& value : log.values(board, "Input 0/Raw")) {
    if (changes.empty() || changes.back().raw != value.integer) {
      changes.push_back({value.timestamp, value.integer});
    }
  }
  return changes;
}

/** Each change with its time after the run's first reading. */
void print(const char* what, const std::vector<Change>& changes) {
  std::printf("%s:\n ", what);
  for (const Change& change : changes) {
    std::printf(" %lld at %.1f ms%s", static_cast<long long>(change.raw),
                static_cast<double>(change.timestamp - changes.front().timestamp) / 1000.0,
                &change == &changes.back() ? "\n" : ",");
  }
}

/** Runs `run` with the library logging into a new data log at `path`. */
template <typename Run>
void logged(const std::string& path, Run run) {
  std::error_code error;
  wpi::log::DataLogWriter log{path, error};
  if (error) {
    throw std::runtime_error("cannot write " + path + ": " + error.message());
  }
  halvern::StartDataLog(log);
  run();
  halvern::StopDataLog();  // before the log goes: every entry finished
}

bool waitUntil(const auto& done) {
  const auto deadline = std::chrono::steady_clock::now() + kWaitLimit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path folder = argc > 1 ? argv[1] : ".";
  const std::string match = (folder / "replay_example_match.wpilog").string();
  const std::string replay = (folder / "replay_example_replay.wpilog").string();
  std::string board;
  int64_t offset = 0;

  try {
    // The match: the board's input 0 steps, the robot program reads it.
    logged(match, [&] {
      auto sim = halvern::sim::SimFerixConverter::attach();
      board = sim->simDeviceName();
      sim->setInputVoltage(0, kSteps.front() / 1000.0);
      const halvern::Ferix ferix(kReferenceVolts);
      for (const int count : kSteps) {
        sim->setInputVoltage(0, count / 1000.0);
        if (!waitUntil([&] { return ferix.GetReading(0).raw == count; })) {
          throw std::runtime_error("the library never read " + std::to_string(count));
        }
        std::this_thread::sleep_for(kStepTime);
      }
    });
    std::printf("Recorded %s (device %s)\n", match.c_str(), board.c_str());

    // The replay: a fresh board plays the match's readings back at their times.
    logged(replay, [&] {
      auto sim = halvern::sim::SimFerixConverter::attach();
      halvern::sim::SimLogPlayer player(match);
      if (!player.error().empty()) {
        throw std::runtime_error("cannot read " + match + ": " + player.error());
      }
      player.attach(*sim);
      player.start();  // feeds the first readings now, on the player's thread
      if (!waitUntil([&] { return sim->inputVoltage(0) > 0.0; })) {
        throw std::runtime_error("the player fed no reading");
      }
      const halvern::Ferix ferix(kReferenceVolts);
      if (!waitUntil([&] { return player.finished(); })) {
        throw std::runtime_error("the replay did not finish");
      }
      std::this_thread::sleep_for(20ms);  // the last value's readings
      offset = player.clockOffsetMicros();
    });
  } catch (const std::exception& error) {
    std::fprintf(stderr, "FAIL: %s\n", error.what());
    return 1;
  }

  const std::vector<Change> recorded = loggedChanges(match, board);
  const std::vector<Change> readBack = loggedChanges(replay, board);
  print("The match's readings of input 0, in counts", recorded);
  print("The replay's readings of input 0, in counts", readBack);
  const auto counts = [](const std::vector<Change>& changes) {
    std::vector<int64_t> raw;
    for (const Change& change : changes) {
      raw.push_back(change.raw);
    }
    return raw;
  };
  if (counts(recorded).empty() || counts(recorded) != counts(readBack)) {
    std::fprintf(stderr, "FAIL: the replay did not read the match's values\n");
    return 1;
  }
  int64_t latest = 0;  // the largest time difference of a change, after the first
  for (std::size_t i = 1; i < recorded.size(); ++i) {
    latest = std::max(latest, std::abs(readBack[i].timestamp + offset - recorded[i].timestamp));
  }
  std::printf("The library read back the same values; each change within %.1f ms of its time.\n",
              static_cast<double>(latest) / 1000.0);
  return 0;
}

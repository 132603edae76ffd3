// The player's core: the library's entries of a read log as one timeline of values, fed in order
// by a caller's playUntil or a thread that follows the robot's clock. What each simulator does
// with a value is in the family files beside this one.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <stop_token>
#include <thread>
#include <utility>

#include "SimHal.h"
#include "SimLogPlayer.h"
#include "replay/WpilogReader.h"

namespace halvern::sim {
namespace {

constexpr std::string_view kLibraryPrefix = "Halvern/";
// The longest the playing thread sleeps before it looks at the robot's clock again (a paused or
// stepped simulation clock does not wake it).
constexpr std::chrono::milliseconds kLongestSleep{5};

struct SignalKey {
  std::string device;
  std::string signal;
  auto operator<=>(const SignalKey&) const = default;
};

/** `name` as device and signal when it is one of the library's entries. */
std::optional<SignalKey> librarySignal(std::string_view name) {
  if (!name.starts_with(kLibraryPrefix)) {
    return std::nullopt;
  }
  name.remove_prefix(kLibraryPrefix.size());
  const size_t slash = name.find('/');
  if (slash == std::string_view::npos || slash == 0 || slash + 1 == name.size()) {
    return std::nullopt;
  }
  return SignalKey{std::string{name.substr(0, slash)}, std::string{name.substr(slash + 1)}};
}

RecordedValue recorded(int64_t timestamp, const replay::WpilogValue& value) {
  RecordedValue out;
  out.timestamp = timestamp;
  std::visit(
      [&out](const auto& held) {
        using Held = std::decay_t<decltype(held)>;
        if constexpr (std::is_same_v<Held, bool>) {
          out.boolean = held;
        } else if constexpr (std::is_same_v<Held, int64_t>) {
          out.integer = held;
          out.number = static_cast<double>(held);
        } else if constexpr (std::is_same_v<Held, float> || std::is_same_v<Held, double>) {
          out.number = held;
        } else if constexpr (std::is_same_v<Held, std::string>) {
          out.text = held;
        } else if constexpr (std::is_same_v<Held, std::vector<bool>>) {
          out.booleans = held;
        } else if constexpr (std::is_same_v<Held, std::vector<int64_t>>) {
          out.integers = held;
          out.numbers.assign(held.begin(), held.end());
        } else if constexpr (std::is_same_v<Held, std::vector<float>> ||
                             std::is_same_v<Held, std::vector<double>>) {
          out.numbers.assign(held.begin(), held.end());
        }
      },
      value);
  return out;
}

std::vector<uint8_t> fileBytes(const std::string& path, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "cannot open " + path;
    return {};
  }
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

int64_t robotMicros() { return static_cast<int64_t>(simhal::halMicros()); }

}  // namespace

struct SimLogPlayer::State {
  struct Step {
    int64_t timestamp = 0;
    size_t signal = 0;  // index into keys
    RecordedValue value;
  };

  std::string error;
  std::vector<SignalKey> keys;  // every signal of the library's entries
  std::vector<Step> timeline;   // by time; equal times in the log's order

  std::mutex mutex;  // guards the fields below and serialises feeding
  std::map<SignalKey, Feed> feeds;
  size_t next = 0;  // the first step not fed
  int64_t offset = 0;
  std::condition_variable_any wake;
  std::jthread player;

  void read(const replay::WpilogContents& contents) {
    if (contents.error) {
      error = contents.error->message;
    }
    std::map<SignalKey, size_t> indexByKey;
    std::vector<std::optional<size_t>> signalOfEntry(contents.entries.size());
    for (size_t entry = 0; entry < contents.entries.size(); ++entry) {
      if (auto key = librarySignal(contents.entries[entry].name)) {
        auto [place, added] = indexByKey.try_emplace(*key, keys.size());
        if (added) {
          keys.push_back(*key);
        }
        signalOfEntry[entry] = place->second;
      }
    }
    for (const replay::WpilogRecord& record : contents.records) {
      if (const auto* data = std::get_if<replay::WpilogData>(&record.content)) {
        if (const auto signal = signalOfEntry.at(data->entry)) {
          timeline.push_back(Step{record.timestamp, *signal, recorded(record.timestamp, data->value)});
        }
      }
    }
    std::stable_sort(timeline.begin(), timeline.end(),
                     [](const Step& a, const Step& b) { return a.timestamp < b.timestamp; });
  }

  /** Feeds the steps up to `logMicros`; `mutex` is held. */
  size_t feedUntil(int64_t logMicros) {
    size_t fed = 0;
    for (; next < timeline.size() && timeline[next].timestamp <= logMicros; ++next) {
      const auto feed = feeds.find(keys[timeline[next].signal]);
      if (feed != feeds.end()) {
        feed->second(timeline[next].value);
        ++fed;
      }
    }
    return fed;
  }

  void play(const std::stop_token& stop) {
    std::unique_lock lock(mutex);
    while (!stop.stop_requested() && next < timeline.size()) {
      const int64_t due = timeline[next].timestamp - offset;
      const int64_t now = robotMicros();
      if (now >= due) {
        feedUntil(now + offset);
        continue;
      }
      const auto wait = std::min<std::chrono::microseconds>(std::chrono::microseconds(due - now),
                                                           kLongestSleep);
      wake.wait_for(lock, stop, wait, [] { return false; });
    }
  }
};

SimLogPlayer::SimLogPlayer(const std::string& path) : state_(std::make_unique<State>()) {
  const std::vector<uint8_t> bytes = fileBytes(path, state_->error);
  if (state_->error.empty()) {
    state_->read(replay::readWpilog(bytes));
  }
}

SimLogPlayer::SimLogPlayer(replay::WpilogContents contents) : state_(std::make_unique<State>()) {
  state_->read(contents);
}

SimLogPlayer::SimLogPlayer(std::span<const uint8_t> bytes) : state_(std::make_unique<State>()) {
  state_->read(replay::readWpilog(bytes));
}

SimLogPlayer::~SimLogPlayer() { stop(); }

const std::string& SimLogPlayer::error() const { return state_->error; }

std::vector<std::string> SimLogPlayer::devices() const {
  std::vector<std::string> names;
  for (const SignalKey& key : state_->keys) {
    if (std::find(names.begin(), names.end(), key.device) == names.end()) {
      names.push_back(key.device);
    }
  }
  return names;
}

std::vector<std::string> SimLogPlayer::signals(std::string_view device) const {
  std::vector<std::string> names;
  for (const SignalKey& key : state_->keys) {
    if (key.device == device) {
      names.push_back(key.signal);
    }
  }
  return names;
}

std::vector<RecordedValue> SimLogPlayer::values(std::string_view device,
                                                std::string_view signal) const {
  std::vector<RecordedValue> found;
  for (const State::Step& step : state_->timeline) {
    const SignalKey& key = state_->keys[step.signal];
    if (key.device == device && key.signal == signal) {
      found.push_back(step.value);
    }
  }
  return found;
}

int64_t SimLogPlayer::firstMicros() const {
  return state_->timeline.empty() ? 0 : state_->timeline.front().timestamp;
}

int64_t SimLogPlayer::lastMicros() const {
  return state_->timeline.empty() ? 0 : state_->timeline.back().timestamp;
}

void SimLogPlayer::onSignal(std::string device, std::string signal, Feed feed) {
  const std::lock_guard lock(state_->mutex);
  state_->feeds[SignalKey{std::move(device), std::move(signal)}] = std::move(feed);
}

size_t SimLogPlayer::playUntil(int64_t logMicros) {
  const std::lock_guard lock(state_->mutex);
  return state_->feedUntil(logMicros);
}

void SimLogPlayer::start() {
  const std::lock_guard lock(state_->mutex);
  if (state_->player.joinable() || state_->next >= state_->timeline.size()) {
    return;
  }
  state_->offset = state_->timeline[state_->next].timestamp - robotMicros();
  state_->player = std::jthread([this](const std::stop_token& stop) { state_->play(stop); });
}

void SimLogPlayer::stop() {
  std::jthread player;
  {
    const std::lock_guard lock(state_->mutex);
    player = std::move(state_->player);
  }
  // Its destructor asks it to stop (waking its wait) and joins it, outside the lock it takes.
}

bool SimLogPlayer::finished() const {
  const std::lock_guard lock(state_->mutex);
  return state_->next >= state_->timeline.size();
}

int64_t SimLogPlayer::clockOffsetMicros() const {
  const std::lock_guard lock(state_->mutex);
  return state_->offset;
}

}  // namespace halvern::sim

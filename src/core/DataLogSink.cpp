#include "core/DataLogSink.h"

#include <DataLogApi.h>

#include <cctype>
#include <variant>
#include <vector>

#include "core/HalPlatform.h"
#include "core/LibraryState.h"

namespace halvern::datalog {
namespace {

DataLogSwitch& theSwitch() { return libraryState().dataLog; }

WPI_String wpiString(std::string_view text) { return WPI_String{text.data(), text.size()}; }

std::string metadataFor(std::string_view unit) {
  std::string metadata = R"({"source":"HalvernDriver")";
  if (!unit.empty()) {
    metadata += R"(,"unit":")";
    metadata += unit;
    metadata += '"';
  }
  metadata += '}';
  return metadata;
}

}  // namespace

struct LogSignal::State {
  std::string name;
  EntryType type;
  std::string metadata;
  // Guards the fields below between threads appending at once (the switch's lock is shared).
  std::mutex mutex;
  uint64_t generation = 0;  // the log the entry was started in; 0: none
  int entry = 0;
  uint64_t lastGeneration = 0;  // the log the last value went to, for appendChange
  std::variant<std::monostate, bool, int64_t, double, std::string> last;
};

std::string_view typeString(EntryType type) {
  switch (type) {
    case EntryType::kBoolean:
      return "boolean";
    case EntryType::kInt64:
      return "int64";
    case EntryType::kDouble:
      return "double";
    case EntryType::kString:
      return "string";
    case EntryType::kBooleanArray:
      return "boolean[]";
    case EntryType::kInt64Array:
      return "int64[]";
    case EntryType::kDoubleArray:
      return "double[]";
  }
  return "raw";
}

std::string canDeviceName(std::string_view family, int deviceNumber, int bus) {
  std::string name{family};
  name += '[' + std::to_string(deviceNumber);
  if (bus != 0) {
    name += ",bus " + std::to_string(bus);
  }
  return name + ']';
}

std::string portDeviceName(std::string_view family, std::string_view path) {
  // The port's last path element; a bare number (a pseudo-terminal's "/dev/pts/3") keeps its
  // folder's name before it ("pts3"), so that it is not taken for a CAN device's number.
  size_t slash = path.find_last_of("/\\");
  std::string port{slash == std::string_view::npos ? path : path.substr(slash + 1)};
  if (slash != std::string_view::npos && !port.empty() &&
      std::isdigit(static_cast<unsigned char>(port.front())) != 0) {
    const std::string_view folder = path.substr(0, slash);
    slash = folder.find_last_of("/\\");
    port.insert(0, slash == std::string_view::npos ? folder : folder.substr(slash + 1));
  }
  std::string name{family};
  name += '[';
  name += port;
  return name + ']';
}

namespace {

/** Finishes the entries started in the current log and forgets it; its lock is held alone. */
void finishAll(DataLogSwitch& logSwitch) {
  if (logSwitch.log != nullptr) {
    const int64_t now = platform::robotTimeMicros();
    const std::lock_guard signalsGuard(logSwitch.signalsLock);
    for (void* signal : logSwitch.signals) {
      // No append and no destructor runs: both hold the switch's lock shared.
      const auto& state = *static_cast<LogSignal::State*>(signal);
      if (state.generation == logSwitch.generation) {
        WPI_DataLog_Finish(logSwitch.log, state.entry, now);
      }
    }
  }
  logSwitch.log = nullptr;
  logSwitch.active.store(false);
}

}  // namespace

void startDataLog(WPI_DataLog* log) {
  DataLogSwitch& logSwitch = theSwitch();
  const std::unique_lock guard(logSwitch.lock);
  finishAll(logSwitch);
  if (log != nullptr) {
    logSwitch.log = log;
    ++logSwitch.generation;
    logSwitch.active.store(true);
  }
}

void stopDataLog() {
  DataLogSwitch& logSwitch = theSwitch();
  const std::unique_lock guard(logSwitch.lock);
  finishAll(logSwitch);
}

bool dataLogActive() { return theSwitch().active.load(); }

LogSignal::LogSignal(std::string_view device, std::string_view name, EntryType type,
                     std::string_view unit)
    : state(std::make_unique<State>()) {
  state->name = std::string{kEntryPrefix} + std::string{device} + '/' + std::string{name};
  state->type = type;
  state->metadata = metadataFor(unit);
  DataLogSwitch& logSwitch = theSwitch();
  const std::lock_guard guard(logSwitch.signalsLock);
  logSwitch.signals.insert(state.get());
}

LogSignal::~LogSignal() {
  DataLogSwitch& logSwitch = theSwitch();
  const std::shared_lock guard(logSwitch.lock);
  if (logSwitch.log != nullptr && state->generation == logSwitch.generation) {
    WPI_DataLog_Finish(logSwitch.log, state->entry, platform::robotTimeMicros());
  }
  const std::lock_guard signalsGuard(logSwitch.signalsLock);
  logSwitch.signals.erase(state.get());
}

const std::string& LogSignal::entryName() const { return state->name; }

namespace {

/**
 * Runs `write(log, entry)` for `signal` when a log is set, starting its entry there first. With
 * `change`, only when `value` differs from the signal's last value in this log.
 */
template <typename Value, typename Write>
void appendTo(LogSignal::State& state, const Value* change, int64_t robotMicros, Write write) {
  DataLogSwitch& logSwitch = theSwitch();
  if (!logSwitch.active.load(std::memory_order_relaxed)) {
    return;
  }
  const std::shared_lock guard(logSwitch.lock);
  if (logSwitch.log == nullptr) {
    return;
  }
  int entry = 0;
  {
    const std::lock_guard stateGuard(state.mutex);
    if (change != nullptr) {
      const Value* last = std::get_if<Value>(&state.last);
      if (state.lastGeneration == logSwitch.generation && last != nullptr && *last == *change) {
        return;
      }
      state.last = *change;
      state.lastGeneration = logSwitch.generation;
    }
    if (state.generation != logSwitch.generation) {
      const WPI_String name = wpiString(state.name);
      const WPI_String type = wpiString(typeString(state.type));
      const WPI_String metadata = wpiString(state.metadata);
      state.entry = WPI_DataLog_Start(logSwitch.log, &name, &type, &metadata, robotMicros);
      state.generation = logSwitch.generation;
    }
    entry = state.entry;
  }
  write(logSwitch.log, entry);
}

template <typename Value, typename Write>
void appendValue(LogSignal::State& state, int64_t robotMicros, Write write) {
  appendTo<Value>(state, static_cast<const Value*>(nullptr), robotMicros, write);
}

}  // namespace

void LogSignal::append(bool value, int64_t robotMicros) {
  appendValue<bool>(*state, robotMicros, [&](WPI_DataLog* log, int entry) {
    WPI_DataLog_AppendBoolean(log, entry, value ? 1 : 0, robotMicros);
  });
}

void LogSignal::append(int64_t value, int64_t robotMicros) {
  appendValue<int64_t>(*state, robotMicros, [&](WPI_DataLog* log, int entry) {
    WPI_DataLog_AppendInteger(log, entry, value, robotMicros);
  });
}

void LogSignal::append(double value, int64_t robotMicros) {
  appendValue<double>(*state, robotMicros, [&](WPI_DataLog* log, int entry) {
    WPI_DataLog_AppendDouble(log, entry, value, robotMicros);
  });
}

void LogSignal::append(std::string_view value, int64_t robotMicros) {
  appendValue<std::string>(*state, robotMicros, [&](WPI_DataLog* log, int entry) {
    const WPI_String text = wpiString(value);
    WPI_DataLog_AppendString(log, entry, &text, robotMicros);
  });
}

void LogSignal::append(std::span<const bool> values, int64_t robotMicros) {
  appendValue<bool>(*state, robotMicros, [&](WPI_DataLog* log, int entry) {
    // The C API takes booleans as ints.
    const std::vector<int> ints(values.begin(), values.end());
    WPI_DataLog_AppendBooleanArray(log, entry, ints.data(), ints.size(), robotMicros);
  });
}

void LogSignal::append(std::span<const int64_t> values, int64_t robotMicros) {
  appendValue<int64_t>(*state, robotMicros, [&](WPI_DataLog* log, int entry) {
    WPI_DataLog_AppendIntegerArray(log, entry, values.data(), values.size(), robotMicros);
  });
}

void LogSignal::append(std::span<const double> values, int64_t robotMicros) {
  appendValue<double>(*state, robotMicros, [&](WPI_DataLog* log, int entry) {
    WPI_DataLog_AppendDoubleArray(log, entry, values.data(), values.size(), robotMicros);
  });
}

void LogSignal::appendChange(bool value, int64_t robotMicros) {
  appendTo<bool>(*state, &value, robotMicros, [&](WPI_DataLog* log, int entry) {
    WPI_DataLog_AppendBoolean(log, entry, value ? 1 : 0, robotMicros);
  });
}

void LogSignal::appendChange(int64_t value, int64_t robotMicros) {
  appendTo<int64_t>(*state, &value, robotMicros, [&](WPI_DataLog* log, int entry) {
    WPI_DataLog_AppendInteger(log, entry, value, robotMicros);
  });
}

void LogSignal::appendChange(double value, int64_t robotMicros) {
  appendTo<double>(*state, &value, robotMicros, [&](WPI_DataLog* log, int entry) {
    WPI_DataLog_AppendDouble(log, entry, value, robotMicros);
  });
}

void LogSignal::appendChange(std::string_view value, int64_t robotMicros) {
  const std::string text{value};
  appendTo<std::string>(*state, &text, robotMicros, [&](WPI_DataLog* log, int entry) {
    const WPI_String wpiText = wpiString(value);
    WPI_DataLog_AppendString(log, entry, &wpiText, robotMicros);
  });
}

}  // namespace halvern::datalog

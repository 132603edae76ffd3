// WPILib's own data log reader (wpiutil's in 2026, the datalog library's in 2027) on what this
// project writes: the file the stand-in writes (data/standin.wpilog, StandinLogFileTest.cpp) and
// a log the library writes into WPILib's own data log. Both read as LoggedSignals.h says: every
// entry with its name, type and metadata, every value at its time, every entry finished.
#include <DataLogApi.h>
#include <WpilibDataLogReader.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "LoggedSignals.h"
#include "ScratchLogFile.h"
#include "core/DataLogSink.h"
#include "halvern/DataLog.h"

namespace {

using namespace halvern::test::logged;
using halvern::datalog::EntryType;
using halvern::datalog::LogSignal;

struct ReadEntry {
  std::string name;
  std::string type;
  std::string metadata;
  bool finished = false;
  bool operator==(const ReadEntry&) const = default;
};

/** A log as WPILib's reader reads it; `faults` lists what it could not make sense of. */
struct ReadLog {
  std::string extraHeader;
  std::vector<ReadEntry> entries;  // in the order they were started
  std::vector<Sample> samples;     // the values of kSignals' entries, in file order
  std::vector<std::string> faults;
};

std::optional<Value> decoded(const wpi::log::DataLogRecord& record, std::string_view type) {
  if (type == "boolean") {
    bool value = false;
    return record.GetBoolean(&value) ? std::optional<Value>{value} : std::nullopt;
  }
  if (type == "int64") {
    int64_t value = 0;
    return record.GetInteger(&value) ? std::optional<Value>{value} : std::nullopt;
  }
  if (type == "double") {
    double value = 0;
    return record.GetDouble(&value) ? std::optional<Value>{value} : std::nullopt;
  }
  if (type == "string") {
    std::string_view value;
    return record.GetString(&value) ? std::optional<Value>{std::string{value}} : std::nullopt;
  }
  if (type == "boolean[]") {
    std::vector<int> values;
    return record.GetBooleanArray(&values)
               ? std::optional<Value>{std::vector<bool>(values.begin(), values.end())}
               : std::nullopt;
  }
  if (type == "int64[]") {
    std::vector<int64_t> values;
    return record.GetIntegerArray(&values) ? std::optional<Value>{values} : std::nullopt;
  }
  if (type == "double[]") {
    std::vector<double> values;
    return record.GetDoubleArray(&values) ? std::optional<Value>{values} : std::nullopt;
  }
  return std::nullopt;
}

ReadLog readWithWpilib(const std::vector<uint8_t>& bytes) {
  ReadLog log;
  const wpi::log::DataLogReader reader{
      halvern::test::WpilibMemoryBuffer::GetMemBufferCopy(bytes, "log")};
  if (!reader.IsValid()) {
    log.faults.emplace_back("not a data log");
    return log;
  }
  log.extraHeader = std::string{reader.GetExtraHeader()};
  std::map<int, std::size_t> started;  // entry id -> its place in entries
  for (const wpi::log::DataLogRecord& record : reader) {
    if (record.IsStart()) {
      wpi::log::StartRecordData start{};
      if (!record.GetStartData(&start)) {
        log.faults.emplace_back("a start record that does not read");
        continue;
      }
      started[start.entry] = log.entries.size();
      log.entries.push_back(
          {std::string{start.name}, std::string{start.type}, std::string{start.metadata}});
    } else if (record.IsFinish()) {
      int entry = 0;
      const auto found = record.GetFinishEntry(&entry) ? started.find(entry) : started.end();
      if (found == started.end()) {
        log.faults.emplace_back("a finish of no started entry");
        continue;
      }
      log.entries[found->second].finished = true;
      started.erase(found);
    } else if (!record.IsControl()) {
      const auto found = started.find(record.GetEntry());
      if (found == started.end()) {
        log.faults.push_back("a value of entry " + std::to_string(record.GetEntry()) +
                             ", not started");
        continue;
      }
      const ReadEntry& entry = log.entries[found->second];
      std::size_t signal = 0;
      while (signal < kSignals.size() && kSignals[signal].entryName() != entry.name) {
        ++signal;
      }
      const std::optional<Value> value = decoded(record, entry.type);
      if (signal == kSignals.size() || !value) {
        log.faults.push_back("a value of " + entry.name + " that does not read");
        continue;
      }
      log.samples.push_back({signal, record.GetTimestamp(), *value});
    }
  }
  return log;
}

std::vector<ReadEntry> expectedEntries() {
  std::vector<ReadEntry> entries;
  for (const Signal& signal : kSignals) {
    entries.push_back(
        {signal.entryName(), std::string{signal.type}, std::string{signal.metadata}, true});
  }
  return entries;
}

TEST(WpilibDataLogReader, ReadsTheFileTheStandinWrites) {
  std::ifstream in{HALVERN_LOGGED_SIGNALS_FILE, std::ios::binary};
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>{in},
                                   std::istreambuf_iterator<char>{}};
  ASSERT_FALSE(bytes.empty()) << HALVERN_LOGGED_SIGNALS_FILE;

  const ReadLog log = readWithWpilib(bytes);
  EXPECT_EQ(log.faults, std::vector<std::string>{});
  EXPECT_EQ(log.extraHeader, kExtraHeader);
  EXPECT_EQ(log.entries, expectedEntries());
  EXPECT_EQ(log.samples, kSamples);
}

EntryType entryType(std::string_view type) {
  if (type == "boolean") {
    return EntryType::kBoolean;
  }
  if (type == "int64") {
    return EntryType::kInt64;
  }
  if (type == "double") {
    return EntryType::kDouble;
  }
  if (type == "string") {
    return EntryType::kString;
  }
  if (type == "boolean[]") {
    return EntryType::kBooleanArray;
  }
  return type == "int64[]" ? EntryType::kInt64Array : EntryType::kDoubleArray;
}

void appendTo(LogSignal& signal, const Sample& sample) {
  std::visit(
      [&](const auto& held) {
        using Held = std::decay_t<decltype(held)>;
        if constexpr (std::is_same_v<Held, std::vector<bool>>) {
          // std::vector<bool> holds no bools to view.
          const auto flags = std::make_unique<bool[]>(held.size());
          std::copy(held.begin(), held.end(), flags.get());
          signal.append(std::span<const bool>{flags.get(), held.size()}, sample.timestamp);
        } else if constexpr (std::is_same_v<Held, std::vector<int64_t>> ||
                             std::is_same_v<Held, std::vector<double>>) {
          signal.append(std::span{held}, sample.timestamp);
        } else if constexpr (std::is_same_v<Held, std::string>) {
          signal.append(std::string_view{held}, sample.timestamp);
        } else {
          signal.append(held, sample.timestamp);
        }
      },
      sample.value);
}

TEST(WpilibDataLogReader, ReadsWhatTheLibraryLogsIntoWpilibsDataLog) {
  const halvern::test::ScratchFile file;
  {
    const std::string path = file.path();
    const WPI_String filename{path.data(), path.size()};
    const WPI_String header{kExtraHeader.data(), kExtraHeader.size()};
    int error = 0;
    const std::unique_ptr<WPI_DataLog, void (*)(WPI_DataLog*)> wpilibLog(
        WPI_DataLog_CreateWriter(&filename, &error, &header), WPI_DataLog_Release);
    ASSERT_EQ(error, 0) << path;
    std::vector<std::unique_ptr<LogSignal>> signals;
    for (const Signal& signal : kSignals) {
      signals.push_back(std::make_unique<LogSignal>(signal.device, signal.signal,
                                                    entryType(signal.type), signal.unit));
    }
    c_Halvern_startDataLog(wpilibLog.get());
    for (const Sample& sample : kSamples) {
      appendTo(*signals[sample.signal], sample);
    }
    c_Halvern_stopDataLog();  // finishes every entry before WPILib's log is written out
  }
  const ReadLog log = readWithWpilib(file.bytes());
  EXPECT_EQ(log.faults, std::vector<std::string>{});
  EXPECT_EQ(log.extraHeader, kExtraHeader);
  EXPECT_EQ(log.entries, expectedEntries());
  EXPECT_EQ(log.samples, kSamples);
}

}  // namespace

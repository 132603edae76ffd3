// The library's data log switch: the entries it starts, fills and finishes in the program's log
// as logging is switched on, over to another log and off, as devices come and go, and while
// threads append. The logs are WPILib's file writers, through the C API the library calls.
#include <DataLogApi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <map>
#include <ostream>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <variant>
#include <vector>

#include "ScratchLogFile.h"
#include "WaitFor.h"
#include "core/DataLogSink.h"
#include "halvern/DataLog.hpp"
#include "replay/WpilogReader.h"

namespace {

using halvern::datalog::EntryType;
using halvern::datalog::LogSignal;
using halvern::sim::replay::WpilogContents;
using halvern::sim::replay::WpilogData;
using halvern::sim::replay::WpilogEntry;
using halvern::sim::replay::WpilogFinish;
using halvern::sim::replay::WpilogValue;
using halvern::test::ScratchFile;

constexpr std::string_view kUnitMetadata = R"({"source":"HalvernDriver","unit":"rpm"})";
constexpr std::string_view kNoUnitMetadata = R"({"source":"HalvernDriver"})";

/** A WPILib data log writing a scratch file; read() writes it out and releases it first. */
class FileLog {
 public:
  explicit FileLog(std::string_view tag = "") : file_(tag) {
    const std::string path = file_.path();
    const WPI_String name{path.data(), path.size()};
    const WPI_String noHeader{"", 0};
    int error = 0;
    log_ = WPI_DataLog_CreateWriter(&name, &error, &noHeader);
    EXPECT_EQ(error, 0) << path;
  }
  ~FileLog() { release(); }
  FileLog(const FileLog&) = delete;
  FileLog& operator=(const FileLog&) = delete;

  [[nodiscard]] WPI_DataLog* get() const { return log_; }

  /** The file's contents, once the library no longer logs into it. */
  WpilogContents read() {
    release();
    WpilogContents contents = file_.read();
    EXPECT_FALSE(contents.error.has_value()) << contents.error->message;
    return contents;
  }

 private:
  void release() {
    if (log_ != nullptr) {
      WPI_DataLog_Release(log_);
      log_ = nullptr;
    }
  }

  ScratchFile file_;
  WPI_DataLog* log_ = nullptr;
};

struct TimedValue {
  int64_t timestamp;
  WpilogValue value;
  bool operator==(const TimedValue&) const = default;
};

void PrintTo(const TimedValue& value, std::ostream* out) {
  *out << value.timestamp << ": ";
  std::visit(
      [out](const auto& held) {
        using Held = std::decay_t<decltype(held)>;
        if constexpr (std::is_same_v<Held, bool> || std::is_same_v<Held, int64_t> ||
                      std::is_same_v<Held, float> || std::is_same_v<Held, double> ||
                      std::is_same_v<Held, std::string>) {
          *out << ::testing::PrintToString(held);
        } else if constexpr (std::is_same_v<Held, halvern::sim::replay::WpilogRaw>) {
          *out << held.bytes.size() << " raw bytes";
        } else {
          *out << "an array of " << held.size();
        }
      },
      value.value);
}

/** The entries (as started, in order) of the library's signal `name` of `device`. */
std::vector<WpilogEntry> entriesOf(const WpilogContents& contents, std::string_view name) {
  std::vector<WpilogEntry> found;
  std::copy_if(contents.entries.begin(), contents.entries.end(), std::back_inserter(found),
               [name](const WpilogEntry& entry) { return entry.name == name; });
  return found;
}

/** The values of the `nth` entry named `name` (0: the first started). */
std::vector<TimedValue> valuesOf(const WpilogContents& contents, std::string_view name,
                                 std::size_t nth = 0) {
  std::vector<std::size_t> indexes;
  for (std::size_t i = 0; i < contents.entries.size(); ++i) {
    if (contents.entries[i].name == name) {
      indexes.push_back(i);
    }
  }
  std::vector<TimedValue> values;
  for (const auto& record : contents.records) {
    const auto* data = std::get_if<WpilogData>(&record.content);
    if (data != nullptr && nth < indexes.size() && data->entry == indexes[nth]) {
      values.push_back({record.timestamp, data->value});
    }
  }
  return values;
}

std::size_t finishesOf(const WpilogContents& contents, std::string_view name) {
  return static_cast<std::size_t>(
      std::count_if(contents.records.begin(), contents.records.end(), [&](const auto& record) {
        const auto* finish = std::get_if<WpilogFinish>(&record.content);
        return finish != nullptr && contents.entries[finish->entry].name == name;
      }));
}

bool hasLibraryEntry(const WpilogContents& contents) {
  return std::any_of(contents.entries.begin(), contents.entries.end(), [](const auto& entry) {
    return entry.name.starts_with(halvern::datalog::kEntryPrefix);
  });
}

class DataLogSwitch : public ::testing::Test {
 protected:
  // The switch is the library's: no test leaves it on a log it releases.
  void TearDown() override { c_Halvern_stopDataLog(); }
};

TEST_F(DataLogSwitch, OffLogsNothingAtAll) {
  LogSignal rpm("Ordex[5]", "Motor 0/RPM", EntryType::kDouble, "rpm");
  rpm.append(1.0, 10);  // before any log
  EXPECT_EQ(c_Halvern_isDataLogOn(), 0);

  FileLog log;
  c_Halvern_startDataLog(log.get());
  EXPECT_EQ(c_Halvern_isDataLogOn(), 1);
  c_Halvern_startDataLog(nullptr);  // a null log switches off
  EXPECT_EQ(c_Halvern_isDataLogOn(), 0);
  rpm.append(2.0, 20);
  rpm.appendChange(3.0, 30);
  c_Halvern_stopDataLog();  // stopping again changes nothing

  const WpilogContents contents = log.read();
  EXPECT_FALSE(hasLibraryEntry(contents));
}

TEST_F(DataLogSwitch, EachSignalIsOneTypedEntryWithItsUnitAndItsValues) {
  FileLog log;
  const std::vector<int64_t> degrees{0, 90};
  const std::vector<double> millimetres{12.5, 0.25};
  {
    LogSignal connected("Ordex[5]", "Connected", EntryType::kBoolean);
    LogSignal counts("Ordex[5]", "Motor 0/Encoder", EntryType::kInt64, "counts");
    LogSignal rpm("Ordex[5]", "Motor 0/RPM", EntryType::kDouble, "rpm");
    LogSignal firmware("Ordex[5]", "Firmware Version", EntryType::kString);
    LogSignal flags("Lidar[ttyUSB0]", "Revolution/Valid", EntryType::kBooleanArray);
    LogSignal angles("Lidar[ttyUSB0]", "Revolution/Angles", EntryType::kInt64Array, "deg");
    LogSignal distances("Lidar[ttyUSB0]", "Revolution/Distances", EntryType::kDoubleArray, "mm");
    halvern::StartDataLog(*reinterpret_cast<wpi::log::DataLog*>(log.get()));
    EXPECT_TRUE(halvern::IsDataLogOn());

    for (const bool value : {true, true, false, false, true}) {
      connected.appendChange(value, 100);
    }
    counts.append(int64_t{-7}, 110);
    counts.append(int64_t{-7}, 120);  // append keeps every value
    rpm.appendChange(1.5, 140);
    rpm.appendChange(1.5, 150);
    rpm.appendChange(2.5, 160);
    firmware.appendChange("1.2.3", 170);  // a literal is text, not a pointer's bool
    firmware.appendChange(std::string{"1.2.3"}, 180);
    firmware.append("1.2.4", 185);
    const std::array<bool, 2> valid{true, false};
    flags.append(std::span<const bool>{valid}, 190);
    angles.append(std::span<const int64_t>{degrees}, 200);
    distances.append(std::span<const double>{millimetres}, 210);
    halvern::StopDataLog();
  }
  const WpilogContents contents = log.read();

  const std::map<std::string, std::pair<std::string, std::string_view>> expected{
      {"Halvern/Ordex[5]/Connected", {"boolean", kNoUnitMetadata}},
      {"Halvern/Ordex[5]/Motor 0/Encoder",
       {"int64", R"({"source":"HalvernDriver","unit":"counts"})"}},
      {"Halvern/Ordex[5]/Motor 0/RPM", {"double", kUnitMetadata}},
      {"Halvern/Ordex[5]/Firmware Version", {"string", kNoUnitMetadata}},
      {"Halvern/Lidar[ttyUSB0]/Revolution/Valid", {"boolean[]", kNoUnitMetadata}},
      {"Halvern/Lidar[ttyUSB0]/Revolution/Angles",
       {"int64[]", R"({"source":"HalvernDriver","unit":"deg"})"}},
      {"Halvern/Lidar[ttyUSB0]/Revolution/Distances",
       {"double[]", R"({"source":"HalvernDriver","unit":"mm"})"}},
  };
  for (const auto& [name, typeAndMetadata] : expected) {
    const std::vector<WpilogEntry> entries = entriesOf(contents, name);
    ASSERT_EQ(entries.size(), 1U) << name;
    EXPECT_EQ(entries[0].type, typeAndMetadata.first) << name;
    EXPECT_EQ(entries[0].metadata, typeAndMetadata.second) << name;
    EXPECT_TRUE(entries[0].finished) << name << ": finished by stopping";
  }
  EXPECT_EQ(entriesOf(contents, "Halvern/Ordex[5]/Motor 0/RPM")[0].started, 140)
      << "an entry starts at its first value";

  using Values = std::vector<TimedValue>;
  EXPECT_EQ(valuesOf(contents, "Halvern/Ordex[5]/Connected"),
            (Values{{100, true}, {100, false}, {100, true}}));
  EXPECT_EQ(valuesOf(contents, "Halvern/Ordex[5]/Motor 0/Encoder"),
            (Values{{110, int64_t{-7}}, {120, int64_t{-7}}}));
  EXPECT_EQ(valuesOf(contents, "Halvern/Ordex[5]/Motor 0/RPM"), (Values{{140, 1.5}, {160, 2.5}}));
  EXPECT_EQ(valuesOf(contents, "Halvern/Ordex[5]/Firmware Version"),
            (Values{{170, std::string{"1.2.3"}}, {185, std::string{"1.2.4"}}}));
  EXPECT_EQ(valuesOf(contents, "Halvern/Lidar[ttyUSB0]/Revolution/Valid"),
            (Values{{190, std::vector<bool>{true, false}}}));
  EXPECT_EQ(valuesOf(contents, "Halvern/Lidar[ttyUSB0]/Revolution/Angles"),
            (Values{{200, degrees}}));
  EXPECT_EQ(valuesOf(contents, "Halvern/Lidar[ttyUSB0]/Revolution/Distances"),
            (Values{{210, millimetres}}));
}

TEST_F(DataLogSwitch, SwitchingLogsFinishesTheEntriesAndStartsThemAnewInTheNextLog) {
  FileLog first("first");
  FileLog second("second");
  LogSignal speed("Ordex[5]", "Motor 0/RPM", EntryType::kDouble, "rpm");
  LogSignal connected("Ordex[5]", "Connected", EntryType::kBoolean);

  c_Halvern_startDataLog(first.get());
  speed.append(1.0, 100);
  connected.appendChange(true, 100);
  c_Halvern_startDataLog(second.get());  // the first log's entries are finished
  speed.append(2.0, 200);
  c_Halvern_stopDataLog();
  speed.append(3.0, 300);               // logged nowhere
  c_Halvern_startDataLog(first.get());  // the same log again: entries started anew in it
  speed.append(4.0, 400);
  connected.appendChange(true, 400);  // a change is judged within one log
  c_Halvern_stopDataLog();

  const std::string rpm = "Halvern/Ordex[5]/Motor 0/RPM";
  const std::string link = "Halvern/Ordex[5]/Connected";
  using Values = std::vector<TimedValue>;
  const WpilogContents firstContents = first.read();
  ASSERT_EQ(entriesOf(firstContents, rpm).size(), 2U);
  EXPECT_EQ(valuesOf(firstContents, rpm, 0), (Values{{100, 1.0}}));
  EXPECT_EQ(valuesOf(firstContents, rpm, 1), (Values{{400, 4.0}}));
  EXPECT_EQ(valuesOf(firstContents, link, 0), (Values{{100, true}}));
  EXPECT_EQ(valuesOf(firstContents, link, 1), (Values{{400, true}}));
  EXPECT_EQ(finishesOf(firstContents, rpm), 2U);
  EXPECT_EQ(finishesOf(firstContents, link), 2U);

  const WpilogContents secondContents = second.read();
  ASSERT_EQ(entriesOf(secondContents, rpm).size(), 1U) << "started in the log it was appended to";
  EXPECT_EQ(valuesOf(secondContents, rpm), (Values{{200, 2.0}}));
  EXPECT_TRUE(entriesOf(secondContents, rpm)[0].finished);
  EXPECT_TRUE(entriesOf(secondContents, link).empty()) << "no value, no entry";
}

TEST_F(DataLogSwitch, ADeviceThatGoesFinishesItsEntriesOnce) {
  FileLog log;
  const std::string name = "Halvern/Iridel[ttyUSB0]/Proximity";
  c_Halvern_startDataLog(log.get());
  {
    LogSignal proximity("Iridel[ttyUSB0]", "Proximity", EntryType::kInt64);
    proximity.append(int64_t{1}, 100);
  }  // the device goes
  {
    LogSignal proximity("Iridel[ttyUSB0]", "Proximity", EntryType::kInt64);  // and comes back
    proximity.append(int64_t{2}, 200);
    LogSignal silent("Iridel[ttyUSB0]", "Color", EntryType::kDoubleArray);
    c_Halvern_stopDataLog();  // finishes the entry; the device going later finishes nothing more
  }
  const WpilogContents contents = log.read();
  const std::vector<WpilogEntry> entries = entriesOf(contents, name);
  ASSERT_EQ(entries.size(), 2U);
  EXPECT_TRUE(entries[0].finished);
  EXPECT_TRUE(entries[1].finished);
  EXPECT_EQ(finishesOf(contents, name), 2U);
  EXPECT_EQ(valuesOf(contents, name, 0), (std::vector<TimedValue>{{100, int64_t{1}}}));
  EXPECT_EQ(valuesOf(contents, name, 1), (std::vector<TimedValue>{{200, int64_t{2}}}));
  EXPECT_TRUE(entriesOf(contents, "Halvern/Iridel[ttyUSB0]/Color").empty());
}

// Threads append (each to its own signal and all to one shared signal) while the log is switched
// between two logs and off: no value lands in a log under an entry it did not start there or
// after that entry's finish, and each thread's values keep their order.
TEST_F(DataLogSwitch, AppendsFromSeveralThreadsWhileTheLogIsSwitched) {
  constexpr int kThreads = 4;
  constexpr int kSwitches = 60;
  // Each switch happens while every thread appends a batch of this many values to each signal.
  constexpr int64_t kBatch = 200;
  FileLog logs[2]{FileLog{"a"}, FileLog{"b"}};
  LogSignal shared("Ordex[5]", "Motor 0/Duty Cycle", EntryType::kInt64);
  std::atomic<bool> running{true};
  std::atomic<int> batchesAllowed{0};
  std::atomic<int> batchesDone{0};
  std::vector<std::jthread> threads;
  for (int thread = 0; thread < kThreads; ++thread) {
    threads.emplace_back([&, thread] {
      LogSignal own("Ordex[" + std::to_string(thread) + "]", "Motor 0/Encoder", EntryType::kInt64);
      int64_t next = thread * int64_t{1'000'000'000};
      for (int batch = 1;; ++batch) {
        while (running.load() && batchesAllowed.load() < batch) {
          std::this_thread::yield();
        }
        if (!running.load()) {
          return;
        }
        for (int64_t i = 0; i < kBatch; ++i, ++next) {
          own.append(next, i);
          shared.append(next, i);
          own.appendChange(next, i);
        }
        batchesDone.fetch_add(1);
      }
    });
  }
  for (int i = 0; i < kSwitches; ++i) {
    batchesAllowed.store(i + 1);
    if (i % 3 == 2) {
      c_Halvern_stopDataLog();
    } else {
      c_Halvern_startDataLog(logs[i % 2].get());
    }
    ASSERT_TRUE(halvern::test::waitFor([&] { return batchesDone.load() == (i + 1) * kThreads; },
                                       halvern::test::kWaitLimit));
  }
  c_Halvern_stopDataLog();
  running = false;
  threads.clear();  // joins; their signals are gone before the logs are read

  for (FileLog& log : logs) {
    const WpilogContents contents = log.read();  // the reader fails data of an entry not started
    std::set<std::size_t> finished;
    std::map<int64_t, int64_t> lastPerThread;  // per thread and entry kind, the last value
    for (const auto& record : contents.records) {
      if (const auto* finish = std::get_if<WpilogFinish>(&record.content)) {
        EXPECT_TRUE(finished.insert(finish->entry).second) << "finished twice";
      } else if (const auto* data = std::get_if<WpilogData>(&record.content)) {
        EXPECT_FALSE(finished.contains(data->entry))
            << contents.entries[data->entry].name << ": a value after its finish";
        const auto* value = std::get_if<int64_t>(&data->value);
        ASSERT_NE(value, nullptr);
        const bool isShared = contents.entries[data->entry].name.ends_with("Duty Cycle");
        const int64_t key = (*value / 1'000'000'000) * 2 + (isShared ? 1 : 0);
        if (const auto last = lastPerThread.find(key); last != lastPerThread.end()) {
          EXPECT_LE(last->second, *value) << "a thread's values out of order";
        }
        lastPerThread[key] = *value;
      }
    }
    EXPECT_EQ(lastPerThread.size(), 2U * kThreads) << "every thread logged into each log";
    EXPECT_EQ(finished.size(), contents.entries.size()) << "stopping finishes every entry";
  }
}

TEST(DataLogNames, DevicesAreOneLevelOfTheLogsTree) {
  using halvern::datalog::canDeviceName;
  using halvern::datalog::portDeviceName;
  EXPECT_EQ(canDeviceName("Ordex", 5, 0), "Ordex[5]");
  EXPECT_EQ(canDeviceName("Ordex", 5, 2), "Ordex[5,bus 2]");
  EXPECT_EQ(portDeviceName("Iridel", "/dev/ttyUSB0"), "Iridel[ttyUSB0]");
  EXPECT_EQ(portDeviceName("Dystal", R"(\\.\COM12)"), "Dystal[COM12]");
  EXPECT_EQ(portDeviceName("LidarMini", "COM3"), "LidarMini[COM3]");
  EXPECT_EQ(portDeviceName("Iridel", "/dev/pts/3"), "Iridel[pts3]");
  EXPECT_EQ(LogSignal("Ordex[5]", "Motor 0/RPM", EntryType::kDouble).entryName(),
            "Halvern/Ordex[5]/Motor 0/RPM");
  EXPECT_EQ(halvern::datalog::typeString(EntryType::kBooleanArray), "boolean[]");
}

}  // namespace

// The stand-in's data log, read back by the replay's reader: every type through the C++ and the
// C API, the counting of starts, pausing and stopping, "now", and appends from several threads.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <latch>
#include <span>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "ScratchLogFile.h"
#include "replay/WpilogReader.h"
#include "WaitFor.h"
#include "wpi/DataLog.h"
#include "wpi/DataLogBackgroundWriter.h"
#include "wpi/DataLogWriter.h"
#include "wpi/DataLog_c.h"
#include "wpi/Logger.h"

namespace {

using namespace halvern::sim::replay;
using Bytes = std::vector<uint8_t>;
using halvern::test::entryNamed;
using halvern::test::ScratchFile;

struct TimedValue {
  int64_t timestamp;
  WpilogValue value;
  bool operator==(const TimedValue&) const = default;
};

/** The values appended under every entry named `name`, in file order. */
std::vector<TimedValue> valuesOf(const WpilogContents& contents, std::string_view name) {
  std::vector<TimedValue> values;
  for (const auto& record : contents.records) {
    if (const auto* data = std::get_if<WpilogData>(&record.content)) {
      if (contents.entries[data->entry].name == name) {
        values.push_back({record.timestamp, data->value});
      }
    }
  }
  return values;
}

template <typename Content>
std::size_t countOf(const WpilogContents& contents) {
  std::size_t count = 0;
  for (const auto& record : contents.records) {
    count += std::holds_alternative<Content>(record.content) ? 1u : 0u;
  }
  return count;
}

TEST(DataLogRoundTrip, EveryTypeThroughTheCppApi) {
  ScratchFile file;
  {
    std::error_code ec;
    wpi::log::DataLogWriter log{file.path(), ec, "extra header"};
    ASSERT_FALSE(ec) << ec.message();
    const int flag = log.Start("/flag", "boolean", R"({"source":"test"})", 1);
    const int count = log.Start("/count", "int64");
    const int ratio = log.Start("/ratio", "float");
    const int rpm = log.Start("/rpm", "double", R"({"unit":"rpm"})");
    const int name = log.Start("/name", "string");
    const int raw = log.Start("/raw", "raw");
    const int flags = log.Start("/flags", "boolean[]");
    const int counts = log.Start("/counts", "int64[]");
    const int ratios = log.Start("/ratios", "float[]");
    const int angles = log.Start("/angles", "double[]");
    const int names = log.Start("/names", "string[]");

    // Timestamps from one byte to eight, and the widest values of each type.
    log.AppendBoolean(flag, true, 1);
    log.AppendBoolean(flag, false, 256);
    log.AppendInteger(count, std::numeric_limits<int64_t>::min(), 65536);
    log.AppendInteger(count, std::numeric_limits<int64_t>::max(), int64_t{1} << 40);
    log.AppendFloat(ratio, -0.375f, std::numeric_limits<int64_t>::max());
    log.AppendDouble(rpm, 5676.25, 2);
    log.AppendDouble(rpm, -std::numeric_limits<double>::infinity(), 3);
    log.AppendString(name, std::string_view{"nul\0inside", 10}, 4);
    const Bytes first{1, 2};
    const Bytes second{3};
    const std::array<std::span<const uint8_t>, 2> pieces{first, second};
    log.AppendRaw2(raw, pieces, 5);
    log.AppendRaw(raw, {}, 6);
    const std::array<bool, 3> boolValues{true, false, true};
    log.AppendBooleanArray(flags, boolValues, 7);
    const std::array<int, 2> intFlags{0, 7};
    log.AppendBooleanArray(flags, intFlags, 8);
    const std::array<uint8_t, 1> byteFlags{2};
    log.AppendBooleanArray(flags, byteFlags, 9);
    const std::array<int64_t, 2> countValues{-1, 1};
    log.AppendIntegerArray(counts, countValues, 10);
    log.AppendIntegerArray(counts, {}, 11);
    const std::array<float, 2> ratioValues{0.5f, 1e-30f};
    log.AppendFloatArray(ratios, ratioValues, 12);
    const std::array<double, 3> angleValues{0.0, 359.9, -1e300};
    log.AppendDoubleArray(angles, angleValues, 13);
    const std::array<std::string, 2> strings{"front", ""};
    log.AppendStringArray(names, strings, 14);
    const std::array<std::string_view, 1> views{"left"};
    log.AppendStringArray(names, views, 15);
    const std::array<WPI_String, 0> none{};
    log.AppendStringArray(names, none, 16);
  }
  const auto contents = file.read();
  ASSERT_FALSE(contents.error) << contents.error->message;
  EXPECT_EQ(contents.extraHeader, "extra header");
  ASSERT_NE(entryNamed(contents, "/rpm"), nullptr);
  EXPECT_EQ(entryNamed(contents, "/rpm")->metadata, R"({"unit":"rpm"})");
  EXPECT_EQ(entryNamed(contents, "/flag")->started, 1);

  using V = std::vector<TimedValue>;
  EXPECT_EQ(valuesOf(contents, "/flag"), (V{{1, true}, {256, false}}));
  EXPECT_EQ(valuesOf(contents, "/count"),
            (V{{65536, std::numeric_limits<int64_t>::min()},
               {int64_t{1} << 40, std::numeric_limits<int64_t>::max()}}));
  EXPECT_EQ(valuesOf(contents, "/ratio"), (V{{std::numeric_limits<int64_t>::max(), -0.375f}}));
  EXPECT_EQ(valuesOf(contents, "/rpm"),
            (V{{2, 5676.25}, {3, -std::numeric_limits<double>::infinity()}}));
  EXPECT_EQ(valuesOf(contents, "/name"), (V{{4, std::string{"nul\0inside", 10}}}));
  EXPECT_EQ(valuesOf(contents, "/raw"), (V{{5, WpilogRaw{{1, 2, 3}}}, {6, WpilogRaw{}}}));
  EXPECT_EQ(valuesOf(contents, "/flags"), (V{{7, std::vector<bool>{true, false, true}},
                                             {8, std::vector<bool>{false, true}},
                                             {9, std::vector<bool>{true}}}));
  EXPECT_EQ(valuesOf(contents, "/counts"),
            (V{{10, std::vector<int64_t>{-1, 1}}, {11, std::vector<int64_t>{}}}));
  EXPECT_EQ(valuesOf(contents, "/ratios"), (V{{12, std::vector<float>{0.5f, 1e-30f}}}));
  EXPECT_EQ(valuesOf(contents, "/angles"), (V{{13, std::vector<double>{0.0, 359.9, -1e300}}}));
  EXPECT_EQ(valuesOf(contents, "/names"), (V{{14, std::vector<std::string>{"front", ""}},
                                             {15, std::vector<std::string>{"left"}},
                                             {16, std::vector<std::string>{}}}));
}

TEST(DataLogRoundTrip, EveryCallOfTheCApi) {
  ScratchFile file;
  const auto text = [](std::string_view characters) { return wpi::make_string(characters); };
  const std::string filename = file.path();
  const WPI_String path = text(filename);
  const WPI_String header = text("c header");
  int error = -1;
  WPI_DataLog* log = WPI_DataLog_CreateWriter(&path, &error, &header);
  ASSERT_NE(log, nullptr);
  ASSERT_EQ(error, 0);

  const WPI_String name = text("/c/value");
  const WPI_String doubleType = text("double");
  const WPI_String unit = text(R"({"unit":"V"})");
  const int value = WPI_DataLog_Start(log, &name, &doubleType, &unit, 100);
  WPI_DataLog_AppendDouble(log, value, 2.5, 101);
  const WPI_String volts = text(R"({"unit":"mV"})");
  WPI_DataLog_SetMetadata(log, value, &volts, 102);

  const auto start = [&](std::string_view entryName, std::string_view type) {
    const WPI_String n = text(entryName);
    const WPI_String t = text(type);
    return WPI_DataLog_Start(log, &n, &t, nullptr, 0);
  };
  WPI_DataLog_AppendBoolean(log, start("/c/bool", "boolean"), 5, 103);
  WPI_DataLog_AppendInteger(log, start("/c/int", "int64"), -7, 104);
  WPI_DataLog_AppendFloat(log, start("/c/float", "float"), 0.5f, 105);
  const WPI_String hello = text("hello");
  WPI_DataLog_AppendString(log, start("/c/string", "string"), &hello, 106);
  const std::array<uint8_t, 2> rawBytes{0xFF, 0};
  WPI_DataLog_AppendRaw(log, start("/c/raw", "raw"), rawBytes.data(), rawBytes.size(), 107);
  const int bools = start("/c/bools", "boolean[]");
  const std::array<int, 2> intBools{1, 0};
  WPI_DataLog_AppendBooleanArray(log, bools, intBools.data(), intBools.size(), 108);
  const std::array<uint8_t, 1> byteBools{9};
  WPI_DataLog_AppendBooleanArrayByte(log, bools, byteBools.data(), byteBools.size(), 109);
  const std::array<int64_t, 1> ints{3};
  WPI_DataLog_AppendIntegerArray(log, start("/c/ints", "int64[]"), ints.data(), 1, 110);
  const std::array<float, 1> floats{2.0f};
  WPI_DataLog_AppendFloatArray(log, start("/c/floats", "float[]"), floats.data(), 1, 111);
  const std::array<double, 1> doubles{4.0};
  WPI_DataLog_AppendDoubleArray(log, start("/c/doubles", "double[]"), doubles.data(), 1, 112);
  const std::array<WPI_String, 2> strings{text("x"), text("yz")};
  WPI_DataLog_AppendStringArray(log, start("/c/strings", "string[]"), strings.data(), 2, 113);
  const WPI_String schemaName = text("Thing");
  const WPI_String schemaType = text("structschema");
  const WPI_String schema = text("double x");
  WPI_DataLog_AddSchemaString(log, &schemaName, &schemaType, &schema, 114);
  WPI_DataLog_AddSchemaString(log, &schemaName, &schemaType, &schema, 115);  // once per name
  WPI_DataLog_Finish(log, value, 116);
  WPI_DataLog_AppendDouble(log, value, 9.0, 117);  // after its finish: dropped
  WPI_DataLog_Release(log);

  const auto contents = file.read();
  ASSERT_FALSE(contents.error) << contents.error->message;
  EXPECT_EQ(contents.extraHeader, "c header");
  using V = std::vector<TimedValue>;
  EXPECT_EQ(valuesOf(contents, "/c/value"), (V{{101, 2.5}}));
  EXPECT_EQ(*entryNamed(contents, "/c/value"),
            (WpilogEntry{1, "/c/value", "double", R"({"unit":"mV"})", 100, true}));
  EXPECT_EQ(valuesOf(contents, "/c/bool"), (V{{103, true}}));
  EXPECT_EQ(valuesOf(contents, "/c/int"), (V{{104, int64_t{-7}}}));
  EXPECT_EQ(valuesOf(contents, "/c/float"), (V{{105, 0.5f}}));
  EXPECT_EQ(valuesOf(contents, "/c/string"), (V{{106, std::string{"hello"}}}));
  EXPECT_EQ(valuesOf(contents, "/c/raw"), (V{{107, WpilogRaw{{0xFF, 0}}}}));
  EXPECT_EQ(valuesOf(contents, "/c/bools"),
            (V{{108, std::vector<bool>{true, false}}, {109, std::vector<bool>{true}}}));
  EXPECT_EQ(valuesOf(contents, "/c/ints"), (V{{110, std::vector<int64_t>{3}}}));
  EXPECT_EQ(valuesOf(contents, "/c/floats"), (V{{111, std::vector<float>{2.0f}}}));
  EXPECT_EQ(valuesOf(contents, "/c/doubles"), (V{{112, std::vector<double>{4.0}}}));
  EXPECT_EQ(valuesOf(contents, "/c/strings"), (V{{113, std::vector<std::string>{"x", "yz"}}}));
  EXPECT_EQ(valuesOf(contents, "/.schema/Thing"),
            (V{{114, WpilogRaw{{'d', 'o', 'u', 'b', 'l', 'e', ' ', 'x'}}}}));
  EXPECT_EQ(entryNamed(contents, "/.schema/Thing")->type, "structschema");
}

TEST(DataLogRoundTrip, StartsAreCountedByNameAndType) {
  ScratchFile file;
  std::vector<std::string> errors;
  wpi::Logger messages{[&](unsigned int, const char*, unsigned int, const char* message) {
    errors.emplace_back(message);
  }};
  {
    std::error_code ec;
    wpi::log::DataLogWriter log{messages, file.path(), ec};
    const int first = log.Start("/shared", "double", "", 1);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(log.Start("/shared", "double", "", 2), first);
    EXPECT_EQ(log.Start("/shared", "int64", "", 3), 0);
    EXPECT_EQ(errors.size(), 1u);
    log.AppendInteger(0, 5, 4);  // ignored
    log.Finish(first, 5);        // one start is left
    log.AppendDouble(first, 1.0, 6);
    log.Finish(first, 7);  // the last: the entry finishes
    log.AppendDouble(first, 2.0, 8);
    const int again = log.Start("/shared", "int64", "", 9);  // a new entry, of another type
    EXPECT_NE(again, first);
    log.AppendInteger(again, 3, 10);
    log.Finish(12345, 11);  // no such entry: nothing
  }
  const auto contents = file.read();
  ASSERT_FALSE(contents.error) << contents.error->message;
  ASSERT_EQ(contents.entries.size(), 2u);
  EXPECT_EQ(contents.entries[0], (WpilogEntry{1, "/shared", "double", "", 1, true}));
  EXPECT_EQ(contents.entries[1], (WpilogEntry{2, "/shared", "int64", "", 9, false}));
  EXPECT_EQ(countOf<WpilogStart>(contents), 2u);
  EXPECT_EQ(countOf<WpilogFinish>(contents), 1u);
  EXPECT_EQ(contents.records[2].timestamp, 7);  // the finish, after the one value
  using V = std::vector<TimedValue>;
  EXPECT_EQ(valuesOf(contents, "/shared"), (V{{6, 1.0}, {10, int64_t{3}}}));
}

TEST(DataLogRoundTrip, PauseDropsDataOnlyAndStopEndsTheFile) {
  ScratchFile file;
  std::error_code ec;
  wpi::log::DataLogWriter log{file.path(), ec};
  const int value = log.Start("/v", "int64", "", 1);
  log.AppendInteger(value, 1, 2);
  log.Pause();
  log.AppendInteger(value, 2, 3);
  const int later = log.Start("/later", "boolean", "", 4);
  log.SetMetadata(value, "paused", 5);
  log.Resume();
  log.AppendInteger(value, 3, 6);
  log.AppendBoolean(later, true, 7);
  log.Stop();
  log.AppendInteger(value, 4, 8);
  log.Start("/after", "double", "", 9);

  const auto contents = file.read();  // stopped: the file is complete while the log lives
  ASSERT_FALSE(contents.error) << contents.error->message;
  using V = std::vector<TimedValue>;
  EXPECT_EQ(valuesOf(contents, "/v"), (V{{2, int64_t{1}}, {6, int64_t{3}}}));
  EXPECT_EQ(valuesOf(contents, "/later"), (V{{7, true}}));
  EXPECT_EQ(entryNamed(contents, "/v")->metadata, "paused");
  EXPECT_EQ(entryNamed(contents, "/after"), nullptr);
}

TEST(DataLogRoundTrip, FlushWritesWhatIsGatheredAndLargeLogsKeepTheirOrder) {
  ScratchFile file;
  std::error_code ec;
  wpi::log::DataLogWriter log{file.path(), ec};
  // More entries than one id byte holds, a payload needing three size bytes, and more bytes
  // than the log gathers before writing out on its own.
  std::vector<int> ids;
  for (int i = 0; i < 300; ++i) {
    ids.push_back(log.Start("/many/" + std::to_string(i), "int64[]", "", 1));
  }
  const std::vector<int64_t> big(10000, 7);  // 80000 bytes
  for (int round = 0; round < 5; ++round) {
    for (const int id : ids) {
      log.AppendIntegerArray(id, std::span{big}.first(static_cast<std::size_t>(id % 3)), 2 + round);
    }
    log.AppendIntegerArray(ids.back(), big, 2 + round);
  }
  log.Flush();

  const auto contents = file.read();
  ASSERT_FALSE(contents.error) << contents.error->message;
  ASSERT_EQ(contents.entries.size(), 300u);
  EXPECT_EQ(contents.entries.back().id, 300u);
  const auto last = valuesOf(contents, "/many/299");
  ASSERT_EQ(last.size(), 10u);
  for (std::size_t i = 0; i < last.size(); ++i) {
    EXPECT_EQ(last[i].timestamp, static_cast<int64_t>(2 + i / 2));
    EXPECT_EQ(std::get<std::vector<int64_t>>(last[i].value).size(), i % 2 == 0 ? 0u : 10000u);
  }
}

TEST(DataLogRoundTrip, TimestampZeroIsNowAndNowMovesForward) {
  ScratchFile file;
  {
    std::error_code ec;
    wpi::log::DataLogWriter log{file.path(), ec};
    const int value = log.Start("/now", "int64");
    for (int64_t i = 0; i < 50; ++i) {
      log.AppendInteger(value, i, 0);
    }
    log.AppendInteger(value, 50, 42);  // given: kept as it is
  }
  const auto contents = file.read();
  ASSERT_FALSE(contents.error) << contents.error->message;
  EXPECT_GT(contents.entries.at(0).started, 0);
  const auto values = valuesOf(contents, "/now");
  ASSERT_EQ(values.size(), 51u);
  int64_t previous = contents.entries.at(0).started;
  for (std::size_t i = 0; i < 50; ++i) {
    EXPECT_GE(values[i].timestamp, previous);
    previous = values[i].timestamp;
  }
  EXPECT_EQ(values.back().timestamp, 42);
}

TEST(DataLogRoundTrip, AppendsFromSeveralThreadsStayWholeAndInOrder) {
  ScratchFile file;
  constexpr int kThreads = 4;
  constexpr int64_t kAppends = 20000;
  {
    std::error_code ec;
    wpi::log::DataLogWriter log{file.path(), ec};
    std::latch together{kThreads};  // all append at once, not one after another
    std::vector<std::jthread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&log, &together, t] {
        together.arrive_and_wait();
        // Each thread starts its own entry and the shared one (counted), and flushes at times.
        const int own = log.Start("/thread/" + std::to_string(t), "int64");
        const int shared = log.Start("/shared", "string[]");
        const std::array<std::string, 2> texts{"thread", std::to_string(t)};
        for (int64_t i = 0; i < kAppends; ++i) {
          log.AppendInteger(own, i, i + 1);
          log.AppendStringArray(shared, texts, i + 1);
          if (i % 5000 == 0) {
            log.Flush();
          }
        }
      });
    }
  }
  const auto contents = file.read();
  ASSERT_FALSE(contents.error) << contents.error->message;
  EXPECT_EQ(valuesOf(contents, "/shared").size(), static_cast<std::size_t>(kThreads * kAppends));
  for (int t = 0; t < kThreads; ++t) {
    const auto values = valuesOf(contents, "/thread/" + std::to_string(t));
    ASSERT_EQ(values.size(), static_cast<std::size_t>(kAppends));
    for (int64_t i = 0; i < kAppends; ++i) {
      ASSERT_EQ(values[static_cast<std::size_t>(i)], (TimedValue{i + 1, i}));
    }
  }
}

TEST(DataLogRoundTrip, AFileThatCannotBeOpenedIsReportedAndRecordsNothing) {
  const std::string path =
      (std::filesystem::temp_directory_path() / "halvern_no_such_folder" / "x.wpilog").string();
  std::error_code ec;
  {
    wpi::log::DataLogWriter log{path, ec};
    EXPECT_TRUE(ec);
    const int value = log.Start("/v", "double");
    log.AppendDouble(value, 1.0, 1);
    log.Flush();
  }
  const WPI_String name = wpi::make_string(path);
  int error = 0;
  WPI_DataLog* log = WPI_DataLog_CreateWriter(&name, &error, nullptr);
  EXPECT_NE(error, 0);
  WPI_DataLog_Release(log);
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(DataLogRoundTrip, TheBackgroundWriterWritesOnItsOwnThreadAndAllOfItByRelease) {
  ScratchFile file;
  const std::filesystem::path path{file.path()};
  const std::string folder = path.parent_path().string();
  const std::string fileName = path.filename().string();
  const WPI_String dir = wpi::make_string(folder);
  const WPI_String name = wpi::make_string(fileName);
  WPI_DataLog* log = WPI_DataLog_CreateBackgroundWriter(&dir, &name, 0.02, nullptr);
  ASSERT_NE(log, nullptr);
  const WPI_String entryName = wpi::make_string("/rpm");
  const WPI_String type = wpi::make_string("double");
  const int rpm = WPI_DataLog_Start(log, &entryName, &type, nullptr, 1);
  WPI_DataLog_AppendDouble(log, rpm, 1.5, 2);
  // Written by the writer's thread: nobody flushes.
  EXPECT_TRUE(halvern::test::waitFor([&] { return valuesOf(file.read(), "/rpm").size() == 1; }));

  constexpr int kThreads = 3;
  constexpr int64_t kAppends = 5000;
  {
    std::vector<std::jthread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([log, t] {
        const std::string own = "/thread/" + std::to_string(t);
        const WPI_String ownName = wpi::make_string(own);
        const WPI_String int64 = wpi::make_string("int64");
        const int id = WPI_DataLog_Start(log, &ownName, &int64, nullptr, 1);
        for (int64_t i = 0; i < kAppends; ++i) {
          WPI_DataLog_AppendInteger(log, id, i, i + 3);
        }
      });
    }
  }
  WPI_DataLog_Release(log);

  const auto contents = file.read();
  ASSERT_FALSE(contents.error) << contents.error->message;
  EXPECT_EQ(valuesOf(contents, "/rpm"), (std::vector<TimedValue>{{2, 1.5}}));
  for (int t = 0; t < kThreads; ++t) {
    const auto values = valuesOf(contents, "/thread/" + std::to_string(t));
    ASSERT_EQ(values.size(), static_cast<std::size_t>(kAppends));
    for (int64_t i = 0; i < kAppends; ++i) {
      ASSERT_EQ(values[static_cast<std::size_t>(i)], (TimedValue{i + 3, i}));
    }
  }
}

TEST(DataLogRoundTrip, TheBackgroundWriterHandsItsBytesToAFunctionOrRecordsNothing) {
  std::vector<uint8_t> written;
  {
    wpi::log::DataLogBackgroundWriter log{
        [&written](std::span<const uint8_t> data) {
          written.insert(written.end(), data.begin(), data.end());
        },
        0.02, "extra header"};
    const int count = log.Start("/count", "int64", R"({"unit":"rev"})", 1);
    log.AppendInteger(count, 42, 5);
    log.Flush();
    const auto flushed = readWpilog(written);
    ASSERT_FALSE(flushed.error) << flushed.error->message;
    EXPECT_EQ(flushed.extraHeader, "extra header");
    EXPECT_EQ(valuesOf(flushed, "/count"), (std::vector<TimedValue>{{5, int64_t{42}}}));
    log.AppendInteger(count, 43, 6);
  }
  const auto contents = readWpilog(written);
  ASSERT_FALSE(contents.error) << contents.error->message;
  EXPECT_EQ(valuesOf(contents, "/count"),
            (std::vector<TimedValue>{{5, int64_t{42}}, {6, int64_t{43}}}));

  // A file that cannot be opened: a log that records nothing, as the file writer's.
  const std::string missing =
      (std::filesystem::temp_directory_path() / "halvern_no_such_folder").string();
  const WPI_String dir = wpi::make_string(missing);
  const WPI_String name = wpi::make_string("x.wpilog");
  WPI_DataLog* log = WPI_DataLog_CreateBackgroundWriter(&dir, &name, 0.02, nullptr);
  const WPI_String entryName = wpi::make_string("/v");
  const WPI_String type = wpi::make_string("double");
  WPI_DataLog_AppendDouble(log, WPI_DataLog_Start(log, &entryName, &type, nullptr, 1), 1.0, 1);
  WPI_DataLog_Release(log);
  EXPECT_FALSE(std::filesystem::exists(missing));
}

}  // namespace

// The data log reader on files built byte by byte: the widest fields, entry bookkeeping, every
// kind of malformed file, and a file cut at every length.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "WpilogBytes.h"
#include "replay/WpilogReader.h"

namespace {

using namespace halvern::test::wpilog;
using namespace halvern::sim::replay;

template <typename Value>
const Value& dataValue(const WpilogRecord& record) {
  return std::get<Value>(std::get<WpilogData>(record.content).value);
}

/** A log of one entry per decoded type, its records ending at the offsets in `ends`. */
struct SampleLog {
  Bytes bytes;
  std::set<std::size_t> ends;
  std::size_t records = 0;

  void add(const Bytes& piece) {
    bytes.insert(bytes.end(), piece.begin(), piece.end());
    ends.insert(bytes.size());
    ++records;
  }
};

SampleLog sampleLog() {
  SampleLog log;
  log.bytes = fileHeader("team 9999");
  log.ends.insert(log.bytes.size());
  log.add(start(1, 10, "/n", "int64", R"({"unit":"count"})"));
  log.add(record(1, std::numeric_limits<int64_t>::max(), le(static_cast<uint64_t>(-42), 8)));
  log.add(start(2, 11, "/d", "double[]"));
  log.add(record(2, 12, join({doubleBits(1.5), doubleBits(-0.25)})));
  log.add(start(3, 13, "/s", "string[]"));
  log.add(record(3, 14, join({le(2, 4), text("a"), text("")})));
  log.add(record(0, 15, metadataPayload(1, "changed")));
  log.add(record(0, 16, finishPayload(1)));
  log.add(start(1, 17, "/again", "boolean"));  // the id, free again, names another entry
  log.add(record(1, 18, Bytes{1}));
  log.add(start(4, 19, "/x", "struct:Pose2d"));
  log.add(record(4, 20, Bytes{1, 2, 3}));
  return log;
}

TEST(WpilogReader, DecodesWideFieldsAndKeepsTrackOfEntries) {
  const auto contents = readWpilog(sampleLog().bytes);
  ASSERT_FALSE(contents.error) << contents.error->message;
  EXPECT_EQ(contents.version, 0x0100);
  EXPECT_EQ(contents.extraHeader, "team 9999");
  ASSERT_EQ(contents.records.size(), sampleLog().records);

  ASSERT_EQ(contents.entries.size(), 5u);
  EXPECT_EQ(contents.entries[0], (WpilogEntry{1, "/n", "int64", "changed", 10, /*finished=*/true}));
  EXPECT_EQ(contents.entries[3], (WpilogEntry{1, "/again", "boolean", "", 17, false}));

  EXPECT_EQ(contents.records[1].timestamp, std::numeric_limits<int64_t>::max());
  EXPECT_EQ(dataValue<int64_t>(contents.records[1]), -42);
  EXPECT_EQ(dataValue<std::vector<double>>(contents.records[3]), (std::vector<double>{1.5, -0.25}));
  EXPECT_EQ(dataValue<std::vector<std::string>>(contents.records[5]),
            (std::vector<std::string>{"a", ""}));
  EXPECT_EQ(std::get<WpilogSetMetadata>(contents.records[6].content),
            (WpilogSetMetadata{1, 0, "changed"}));
  EXPECT_EQ(std::get<WpilogFinish>(contents.records[7].content), (WpilogFinish{1, 0}));
  // The reused id's data belongs to the entry started last under it.
  EXPECT_EQ(std::get<WpilogData>(contents.records[9].content).entry, 3u);
  EXPECT_TRUE(dataValue<bool>(contents.records[9]));
  EXPECT_EQ(dataValue<WpilogRaw>(contents.records[11]).bytes, (Bytes{1, 2, 3}));
}

TEST(WpilogReader, AFileCutAnywhereReadsAsItsWholeRecordsAndAnErrorInside) {
  const SampleLog log = sampleLog();
  const auto whole = readWpilog(log.bytes);
  for (std::size_t length = 0; length <= log.bytes.size(); ++length) {
    SCOPED_TRACE("cut at " + std::to_string(length));
    // A copy of exactly the cut length, so that a read past it is a read past the buffer.
    const Bytes cut(log.bytes.begin(), log.bytes.begin() + static_cast<std::ptrdiff_t>(length));
    const auto contents = readWpilog(cut);
    EXPECT_EQ(contents.error.has_value(), !log.ends.contains(length));
    if (contents.error) {
      EXPECT_LE(contents.error->offset, length);
    }
    ASSERT_LE(contents.records.size(), whole.records.size());
    EXPECT_TRUE(
        std::equal(contents.records.begin(), contents.records.end(), whole.records.begin()));
    const auto wholeRecordsBefore = static_cast<std::size_t>(std::distance(
        log.ends.begin(), log.ends.upper_bound(length)));  // the header counts as the first end
    EXPECT_EQ(contents.records.size(), wholeRecordsBefore == 0 ? 0 : wholeRecordsBefore - 1);
  }
}

struct Malformed {
  const char* what;
  Bytes bytes;
  std::size_t recordsBefore;
  std::size_t errorOffset;
};

TEST(WpilogReader, MalformedFilesEndInAnErrorAfterTheGoodRecords) {
  const Bytes header = fileHeader();
  const Bytes int64Entry = start(1, 1, "/n", "int64");
  const std::size_t afterStart = header.size() + int64Entry.size();
  const std::vector<Malformed> cases = {
      {"not a log", Bytes{'W', 'P', 'I', 'X', 'X', 'X', 0, 1, 0, 0, 0, 0}, 0, 0},
      {"another version", fileHeader("", 0x0200), 0, 6},
      {"extra header longer than the file",
       join({Bytes{'W', 'P', 'I', 'L', 'O', 'G'}, le(0x0100, 2), le(10, 4), Bytes{'a', 'b'}}), 0,
       12},
      {"unused header bit", join({header, Bytes{0x80, 1, 1, 1, 0}}), 0, header.size()},
      {"data before its start", join({header, record(1, 1, le(5, 8))}), 0, header.size()},
      {"finish of nothing", join({header, record(0, 1, finishPayload(3))}), 0, header.size()},
      {"metadata of nothing", join({header, record(0, 1, metadataPayload(3, "m"))}), 0,
       header.size()},
      {"start of id 0", join({header, start(0, 1, "/z", "int64")}), 0, header.size()},
      {"start of an id in use", join({header, int64Entry, start(1, 2, "/m", "double")}), 1,
       afterStart},
      {"int64 of 3 bytes", join({header, int64Entry, record(1, 2, Bytes{1, 2, 3})}), 1, afterStart},
      {"unknown control record", join({header, record(0, 1, join({Bytes{7}, le(1, 4)}))}), 0,
       header.size()},
      {"control record without its id", join({header, record(0, 1, Bytes{1, 1})}), 0,
       header.size()},
      {"start record with bytes left over",
       join({header, record(0, 1, join({startPayload(2, "/a", "int64"), Bytes{9}}))}), 0,
       header.size()},
      {"start whose name runs past its record",
       join({header, record(0, 1, join({Bytes{0}, le(2, 4), le(1000, 4), Bytes{'x'}}))}), 0,
       header.size()},
      {"record longer than the file",
       join({header, int64Entry, Bytes{0x7F}, le(1, 4), le(0xFFFFFFFF, 4), le(0, 8)}), 1,
       afterStart},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.what);
    const auto contents = readWpilog(test.bytes);
    ASSERT_TRUE(contents.error);
    EXPECT_EQ(contents.records.size(), test.recordsBefore);
    EXPECT_EQ(contents.error->offset, test.errorOffset);
  }
}

TEST(WpilogReader, ArrayPayloadsThatDoNotDivideAreErrors) {
  const std::vector<std::pair<const char*, Bytes>> cases = {
      {"float[]", Bytes(6, 0)},
      {"double[]", Bytes(12, 0)},
      {"int64[]", Bytes(9, 0)},
      {"float", Bytes(8, 0)},
      {"boolean", Bytes{}},
      // A count far beyond what the payload holds must fail, not reserve it.
      {"string[]", le(0xFFFFFFFF, 4)},
      {"string[]", join({le(1, 4), text("a"), Bytes{0}})},  // bytes after the last string
      {"string[]", join({le(2, 4), text("a")})},            // one string short
  };
  for (const auto& [type, payload] : cases) {
    SCOPED_TRACE(std::string{type} + " of " + std::to_string(payload.size()) + " bytes");
    const auto contents =
        readWpilog(join({fileHeader(), start(1, 1, "/v", type), record(1, 2, payload)}));
    ASSERT_TRUE(contents.error);
    EXPECT_EQ(contents.records.size(), 1u);
  }
  // Empty arrays and strings are values, not faults.
  for (const char* type : {"float[]", "double[]", "int64[]", "boolean[]", "string", "raw"}) {
    SCOPED_TRACE(type);
    const auto contents =
        readWpilog(join({fileHeader(), start(1, 1, "/v", type), record(1, 2, Bytes{})}));
    EXPECT_FALSE(contents.error);
    EXPECT_EQ(contents.records.size(), 2u);
  }
}

}  // namespace

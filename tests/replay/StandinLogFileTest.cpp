// The stand-in's data log writes tests/replay/data/standin.wpilog byte for byte for the signals
// of LoggedSignals.h: the file WPILib's own reader is tested on against WPILib's archives
// (WpilibReaderTest.cpp), so that what the stand-in writes is known to be what WPILib reads.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "LoggedSignals.h"
#include "ScratchLogFile.h"
#include "wpi/DataLog_c.h"

namespace {

using namespace halvern::test::logged;

WPI_String wpiString(std::string_view text) { return WPI_String{text.data(), text.size()}; }

void append(WPI_DataLog* log, int entry, int64_t timestamp, const Value& value) {
  std::visit(
      [&](const auto& held) {
        using Held = std::decay_t<decltype(held)>;
        if constexpr (std::is_same_v<Held, bool>) {
          WPI_DataLog_AppendBoolean(log, entry, held ? 1 : 0, timestamp);
        } else if constexpr (std::is_same_v<Held, int64_t>) {
          WPI_DataLog_AppendInteger(log, entry, held, timestamp);
        } else if constexpr (std::is_same_v<Held, double>) {
          WPI_DataLog_AppendDouble(log, entry, held, timestamp);
        } else if constexpr (std::is_same_v<Held, std::string>) {
          const WPI_String text = wpiString(held);
          WPI_DataLog_AppendString(log, entry, &text, timestamp);
        } else if constexpr (std::is_same_v<Held, std::vector<bool>>) {
          const std::vector<int> ints(held.begin(), held.end());
          WPI_DataLog_AppendBooleanArray(log, entry, ints.data(), ints.size(), timestamp);
        } else if constexpr (std::is_same_v<Held, std::vector<int64_t>>) {
          WPI_DataLog_AppendIntegerArray(log, entry, held.data(), held.size(), timestamp);
        } else {
          WPI_DataLog_AppendDoubleArray(log, entry, held.data(), held.size(), timestamp);
        }
      },
      value);
}

/** Writes the signals as the library would: each entry started at its first value. */
void writeLoggedSignals(const std::string& path) {
  const WPI_String filename = wpiString(path);
  const WPI_String header = wpiString(kExtraHeader);
  int error = 0;
  WPI_DataLog* log = WPI_DataLog_CreateWriter(&filename, &error, &header);
  ASSERT_EQ(error, 0) << path;
  std::vector<int> entries(kSignals.size(), 0);
  for (const Sample& sample : kSamples) {
    int& entry = entries[sample.signal];
    if (entry == 0) {
      const Signal& signal = kSignals[sample.signal];
      const std::string name = signal.entryName();
      const WPI_String wpiName = wpiString(name);
      const WPI_String type = wpiString(signal.type);
      const WPI_String metadata = wpiString(signal.metadata);
      entry = WPI_DataLog_Start(log, &wpiName, &type, &metadata, sample.timestamp);
    }
    append(log, entry, sample.timestamp, sample.value);
  }
  for (const int entry : entries) {
    WPI_DataLog_Finish(log, entry, kFinishedAt);
  }
  WPI_DataLog_Release(log);
}

std::vector<uint8_t> fileBytes(const std::filesystem::path& path) {
  std::ifstream in{path, std::ios::binary};
  return {std::istreambuf_iterator<char>{in}, std::istreambuf_iterator<char>{}};
}

TEST(StandinLogFile, TheStandinStillWritesTheFileWpilibReads) {
  const halvern::test::ScratchFile written;
  writeLoggedSignals(written.path());
  const std::vector<uint8_t> bytes = written.bytes();
  const std::vector<uint8_t> kept = fileBytes(HALVERN_LOGGED_SIGNALS_FILE);
  ASSERT_FALSE(kept.empty()) << HALVERN_LOGGED_SIGNALS_FILE;
  if (bytes != kept) {
    // For a change that is meant: the new file, to replace the kept one with.
    const auto fresh = std::filesystem::temp_directory_path() / "halvern_standin.wpilog";
    std::error_code ignored;
    std::filesystem::copy_file(written.path(), fresh,
                               std::filesystem::copy_options::overwrite_existing, ignored);
    FAIL() << "the stand-in no longer writes " << HALVERN_LOGGED_SIGNALS_FILE << " (" << kept.size()
           << " bytes) but " << bytes.size() << " bytes, kept in " << fresh.string();
  }
  // And it reads back as written, through the replay's reader.
  const auto contents = written.read();
  EXPECT_FALSE(contents.error.has_value());
  EXPECT_EQ(contents.extraHeader, kExtraHeader);
  ASSERT_EQ(contents.entries.size(), kSignals.size());
  for (std::size_t i = 0; i < kSignals.size(); ++i) {
    EXPECT_EQ(contents.entries[i].name, kSignals[i].entryName());
    EXPECT_EQ(contents.entries[i].type, kSignals[i].type);
    EXPECT_EQ(contents.entries[i].metadata, kSignals[i].metadata);
    EXPECT_TRUE(contents.entries[i].finished);
  }
}

}  // namespace

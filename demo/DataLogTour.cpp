#include "DataLogTour.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "SimLogPlayer.h"
#include "halvern/DataLog.h"
#include "replay/WpilogReader.h"
#include "wpi/DataLog_c.h"
#include "wpi/string.h"

namespace halvern::demo {
namespace {

void section(const char* title) { std::printf("\n== %s ==\n", title); }

}  // namespace

TourLog::TourLog() : m_path(std::filesystem::temp_directory_path() / "halvern-demo.wpilog") {
  const std::string file = m_path.string();
  const WPI_String name = wpi::make_string(file);
  const WPI_String noHeader = wpi::make_string("");
  int error = 0;
  m_log = WPI_DataLog_CreateWriter(&name, &error, &noHeader);
  if (m_log == nullptr) {
    std::printf("(cannot write %s: the tour is not logged)\n", file.c_str());
    return;
  }
  c_Halvern_startDataLog(m_log);
  std::printf("Logging every device into %s\n", file.c_str());
}

TourLog::~TourLog() { finish(); }

std::filesystem::path TourLog::finish() {
  if (m_log != nullptr) {
    c_Halvern_stopDataLog();
    WPI_DataLog_Release(m_log);  // writes what is left and closes the file
    m_log = nullptr;
  }
  return m_path;
}

void showDataLog(const std::filesystem::path& path) {
  section("Data log: the tour in WPILib's .wpilog, for AdvantageScope or WPILib's log viewer");
  std::ifstream file(path, std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file),
                                   std::istreambuf_iterator<char>()};
  const sim::replay::WpilogContents contents = sim::replay::readWpilog(bytes);
  std::size_t values = 0;
  for (const auto& record : contents.records) {
    values += std::holds_alternative<sim::replay::WpilogData>(record.content) ? 1U : 0U;
  }
  std::printf("  %s: %zu bytes, %zu entries, %zu records (%zu values)%s\n", path.string().c_str(),
              bytes.size(), contents.entries.size(), contents.records.size(), values,
              contents.error ? (", " + contents.error->message).c_str() : "");
  const sim::SimLogPlayer player(contents);
  for (const std::string& device : player.devices()) {
    const std::vector<std::string> signals = player.signals(device);
    std::size_t deviceValues = 0;
    for (const std::string& signal : signals) {
      deviceValues += player.values(device, signal).size();
    }
    std::printf("  Halvern/%-24s %3zu signals %6zu values, e.g. %s\n", (device + "/").c_str(),
                signals.size(), deviceValues, signals.empty() ? "" : signals.front().c_str());
  }
}

void replayTour(const std::filesystem::path& path) {
  section("Replay: the recorded devices played into fresh simulators");
  const sim::SimLogPlayer player(path.string());
  std::printf("  %zu devices recorded\n", player.devices().size());
}

}  // namespace halvern::demo

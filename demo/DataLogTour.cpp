#include "DataLogTour.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <memory>
#include <thread>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "SimDystal.h"
#include "SimFerix.h"
#include "SimLogPlayer.h"
#include "SimOrdex.h"
#include "halvern/DataLog.h"
#include "halvern/Dystal.hpp"
#include "halvern/Ferix.hpp"
#include "halvern/Ordex.hpp"
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

namespace {

using namespace std::chrono_literals;

/** The last value the log holds for `device`'s `signal`; none when it holds none. */
std::optional<sim::RecordedValue> lastRecorded(const sim::SimLogPlayer& player,
                                               const std::string& device,
                                               const std::string& signal) {
  const std::vector<sim::RecordedValue> values = player.values(device, signal);
  return values.empty() ? std::nullopt : std::optional(values.back());
}

/**
 * Plays `device`'s stretch of the log into what was attached to `player`, in real time: the
 * values before it are passed over (nothing of theirs is attached), and playing stops a little
 * after its last value. Returns the stretch's length in seconds.
 */
double playStretch(sim::SimLogPlayer& player, const std::string& device) {
  int64_t first = std::numeric_limits<int64_t>::max();
  int64_t last = 0;
  for (const std::string& signal : player.signals(device)) {
    for (const sim::RecordedValue& value : player.values(device, signal)) {
      first = std::min(first, value.timestamp);
      last = std::max(last, value.timestamp);
    }
  }
  if (last == 0) {
    return 0.0;
  }
  player.playUntil(first - 1);
  player.start();
  std::this_thread::sleep_for(std::chrono::microseconds(last - first) + 300ms);
  player.stop();
  return static_cast<double>(last - first) / 1e6;
}

/** Prints one signal's last recorded value beside what the library reads now. */
bool compare(const char* what, double recorded, double readBack, double tolerance = 1e-9) {
  const bool same = std::abs(recorded - readBack) <= tolerance;
  std::printf("    %-22s recorded %10.3f  read back %10.3f  %s\n", what, recorded, readBack,
              same ? "the same" : "DIFFERENT");
  return same;
}

bool replayOrdex(const std::filesystem::path& path) {
  const std::string device = "Ordex[5]";
  sim::SimLogPlayer player(path.string());
  sim::SimOrdex controller(5);
  const Ordex flywheel(5, 15000);
  player.attach(controller);
  const double seconds = playStretch(player, device);
  std::printf("  %s: %.1f s of status rounds played into a fresh simulated controller\n",
              device.c_str(), seconds);
  bool same = true;
  for (int motor = 0; motor < 2; ++motor) {
    const std::string prefix = "Motor " + std::to_string(motor) + "/";
    if (const auto rpm = lastRecorded(player, device, prefix + "RPM")) {
      same &= compare((prefix + "RPM").c_str(), rpm->number, flywheel.GetRPM(motor), 1e-3);
    }
    if (const auto count = lastRecorded(player, device, prefix + "Encoder")) {
      same &= compare((prefix + "Encoder").c_str(), count->number,
                      flywheel.GetEncoderCount(motor));
    }
  }
  if (const auto temperature = lastRecorded(player, device, "Temperature")) {
    same &= compare("Temperature", temperature->number, flywheel.GetTemperature(), 1e-3);
  }
  return same;
}

bool replayDystal(const std::filesystem::path& path) {
  const std::string device = "Dystal[7]";
  sim::SimLogPlayer player(path.string());
  sim::SimDystalCan sensor(7);
  const Dystal ranger(7);
  player.attach(sensor);
  const double seconds = playStretch(player, device);
  std::printf("  %s: %.1f s of readings played into a fresh simulated sensor\n", device.c_str(),
              seconds);
  const auto distances = lastRecorded(player, device, "Distances");
  if (!distances) {
    return true;
  }
  const Dystal::ScanData scan = ranger.GetData();
  const std::vector<int64_t> readBack(scan.distancesMm.begin(), scan.distancesMm.end());
  const bool same = readBack == distances->integers;
  std::printf("    %-22s recorded %zu zones (first %lld mm)  read back %zu zones (first %lld mm)  %s\n",
              "Distances", distances->integers.size(),
              static_cast<long long>(distances->integers.empty() ? 0 : distances->integers[0]),
              readBack.size(), static_cast<long long>(readBack.empty() ? 0 : readBack[0]),
              same ? "the same" : "DIFFERENT");
  return same;
}

bool replayFerix(const std::filesystem::path& path) {
  const std::string device = "Ferix[1,72]";
  sim::SimLogPlayer player(path.string());
  const std::shared_ptr<sim::SimFerixConverter> simulated = sim::SimFerixConverter::attach();
  const Ferix board(5);
  player.attach(*simulated);
  const double seconds = playStretch(player, device);
  std::printf("  %s: %.1f s of conversions played into a fresh simulated board\n",
              device.c_str(), seconds);
  bool same = true;
  for (int input = 0; input < Ferix::kChannels; ++input) {
    const std::string signal = "Input " + std::to_string(input) + "/Raw";
    if (const auto raw = lastRecorded(player, device, signal)) {
      same &= compare(signal.c_str(), raw->number, board.GetRaw(input));
    }
  }
  return same;
}

}  // namespace

void replayTour(const std::filesystem::path& path) {
  section("Replay: the recorded controller, distance sensor and analog board, into fresh simulators");
  const bool same = replayOrdex(path) & replayDystal(path) & replayFerix(path);
  std::printf("  %s\n", same ? "The library read back the same values as recorded."
                              : "The library read back OTHER values than recorded.");
}

}  // namespace halvern::demo

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
#include "SimHal.h"
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

// How much of each device's recording is played in real time, and how long the library then
// has to read the last values (a few of each device's periods).
constexpr auto kReplayedStretch = 3s;
constexpr auto kBeforeTheEnd = 200ms;
constexpr auto kReadingsSettle = 300ms;

/** The value the log holds for `device`'s `signal` at `until`; none when it holds none. */
std::optional<sim::RecordedValue> recordedAt(const sim::SimLogPlayer& player,
                                             const std::string& device,
                                             const std::string& signal, int64_t until) {
  std::optional<sim::RecordedValue> found;
  for (const sim::RecordedValue& value : player.values(device, signal)) {
    if (value.timestamp <= until) {
      found = value;
    }
  }
  return found;
}

/**
 * Plays a stretch of kReplayedStretch of `device`'s recording into what was attached to
 * `player`, in real time, ending kBeforeTheEnd before the last of `signals` (a device's closing,
 * recorded at its end, silences the simulator after its last reading); what came before is fed
 * at once. Returns the recording's time at the stretch's end, 0 when nothing was recorded.
 */
int64_t playStretch(sim::SimLogPlayer& player, const std::string& device,
                   const std::vector<std::string>& signals) {
  int64_t last = 0;
  for (const std::string& signal : signals) {
    for (const sim::RecordedValue& value : player.values(device, signal)) {
      last = std::max(last, value.timestamp);
    }
  }
  if (last == 0) {
    return 0;
  }
  last -= std::chrono::microseconds(kBeforeTheEnd).count();
  const int64_t first = last - std::chrono::microseconds(kReplayedStretch).count();
  player.playUntil(first);
  // Stepped on the robot's clock rather than start()ed, so that nothing after `last` is fed.
  const int64_t offset = first - static_cast<int64_t>(sim::simhal::halMicros());
  for (int64_t now = first; now < last;) {
    std::this_thread::sleep_for(1ms);
    now = std::min(last, static_cast<int64_t>(sim::simhal::halMicros()) + offset);
    player.playUntil(now);
  }
  std::this_thread::sleep_for(kReadingsSettle);  // the library's next readings of them
  return last;
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
  const int64_t until = playStretch(
      player, device, {"Motor 0/RPM", "Motor 0/Encoder", "Motor 1/RPM", "Motor 1/Encoder",
                       "Temperature"});
  std::printf("  %s: 3 s of status rounds played into a fresh simulated controller\n",
              device.c_str());
  bool same = true;
  for (int motor = 0; motor < 2; ++motor) {
    const std::string prefix = "Motor " + std::to_string(motor) + "/";
    if (const auto rpm = recordedAt(player, device, prefix + "RPM", until)) {
      same &= compare((prefix + "RPM").c_str(), rpm->number, flywheel.GetRPM(motor), 1e-3);
    }
    if (const auto count = recordedAt(player, device, prefix + "Encoder", until)) {
      same &= compare((prefix + "Encoder").c_str(), count->number,
                      flywheel.GetEncoderCount(motor));
    }
  }
  if (const auto temperature = recordedAt(player, device, "Temperature", until)) {
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
  const int64_t until = playStretch(player, device, {"Distances"});
  std::printf("  %s: 3 s of readings played into a fresh simulated sensor\n", device.c_str());
  const auto distances = recordedAt(player, device, "Distances", until);
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
  const int64_t until = playStretch(
      player, device, {"Input 0/Raw", "Input 1/Raw", "Input 2/Raw", "Input 3/Raw"});
  std::printf("  %s: 3 s of conversions played into a fresh simulated board\n",
              device.c_str());
  bool same = true;
  for (int input = 0; input < Ferix::kChannels; ++input) {
    const std::string signal = "Input " + std::to_string(input) + "/Raw";
    if (const auto raw = recordedAt(player, device, signal, until)) {
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

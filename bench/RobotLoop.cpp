// A robot program's 20 ms loop over every family, on the simulated devices: each pass calls what
// a robot program calls every loop (motor output, speed and identity, colour, distances, the four
// analog inputs, both lidars' latest scans, and each device's connection status), timing every
// call; the mock driver station keeps the robot enabled meanwhile.
// It prints each call's median, 99th percentile and maximum, and how many passes' work took
// longer than 1 ms and than the 20 ms period. A timed tool, not a test: the figures depend on
// the machine. With --log the library logs every device's signals into a WPILib data log (a
// .wpilog file in the temporary folder) meanwhile, as a robot program that logs would.
//
//   robot_loop [seconds] [--log]        default 10 s, no log
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "SimDystal.h"
#include "SimFerix.h"
#include "SimIridel.h"
#include "SimLidar.h"
#include "SimLidarMini.h"
#include "SimOrdex.h"
#include "TimingSupport.h"
#include "halvern/DataLog.h"
#include "halvern/Dystal.hpp"
#include "halvern/Ferix.hpp"
#include "halvern/Iridel.hpp"
#include "halvern/Lidar.hpp"
#include "halvern/LidarMini.hpp"
#include "halvern/MockDS.hpp"
#include "halvern/Ordex.hpp"
#include "halvern/Serial.h"
#include "wpi/DataLog_c.h"
#include "wpi/string.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kPeriod = 20ms;
constexpr int kControllerId = 5;
constexpr int kColourSensorId = 3;
constexpr int kRangerId = 7;
constexpr int kLidarPort = 0;

/** Every call's durations, in the order the calls were first made. */
class CallTimes {
 public:
  template <typename Call>
  auto Time(const std::string& name, Call&& call) {
    const auto start = Clock::now();
    auto result = call();
    Record(name, Clock::now() - start);
    return result;
  }

  void Print() const {
    std::printf("%-34s %10s %10s %10s\n", "call", "median us", "p99 us", "max us");
    for (const auto& [name, times] : m_times) {
      std::printf("%-34s %10.1f %10.1f %10.1f\n", name.c_str(),
                  halvern::bench::percentile(times, 0.5), halvern::bench::percentile(times, 0.99),
                  *std::max_element(times.begin(), times.end()));
    }
  }

  /** The worst p99 and maximum over every call, in microseconds. */
  [[nodiscard]] std::pair<double, double> Worst() const {
    double p99 = 0.0;
    double max = 0.0;
    for (const auto& entry : m_times) {
      p99 = std::max(p99, halvern::bench::percentile(entry.second, 0.99));
      max = std::max(max, *std::max_element(entry.second.begin(), entry.second.end()));
    }
    return {p99, max};
  }

 private:
  void Record(const std::string& name, Clock::duration took) {
    const auto found = std::find_if(m_times.begin(), m_times.end(),
                                    [&name](const auto& entry) { return entry.first == name; });
    const double us = std::chrono::duration<double, std::micro>(took).count();
    if (found == m_times.end()) {
      m_times.emplace_back(name, std::vector<double>{us});
    } else {
      found->second.push_back(us);
    }
  }

  std::vector<std::pair<std::string, std::vector<double>>> m_times;
};

/** How often DataLogManager's writer takes a robot's log to its file. */
constexpr double kLogPeriodSeconds = 0.25;

/**
 * The program's data log on a file, handed to the library while it lives. Written by a thread of
 * its own every quarter second, as WPILib's DataLogManager writes a robot's log: no loop call
 * waits on the disk.
 */
class LoggedRun {
 public:
  explicit LoggedRun(const std::filesystem::path& file) : m_file(file.string()) {
    const std::string folder = file.parent_path().string();
    const std::string fileName = file.filename().string();
    const WPI_String dir = wpi::make_string(folder);
    const WPI_String name = wpi::make_string(fileName);
    const WPI_String noHeader = wpi::make_string("");
    m_log = WPI_DataLog_CreateBackgroundWriter(&dir, &name, kLogPeriodSeconds, &noHeader);
    c_Halvern_startDataLog(m_log);
  }
  LoggedRun(const LoggedRun&) = delete;
  LoggedRun& operator=(const LoggedRun&) = delete;
  ~LoggedRun() {
    c_Halvern_stopDataLog();
    if (m_log != nullptr) {
      WPI_DataLog_Release(m_log);
      std::printf("logged into %s (%ju bytes)\n", m_file.c_str(),
                  static_cast<std::uintmax_t>(std::filesystem::file_size(m_file)));
    }
  }

 private:
  std::string m_file;
  WPI_DataLog* m_log = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  double seconds = 10.0;
  bool logged = false;
  for (int arg = 1; arg < argc; ++arg) {
    if (std::string_view(argv[arg]) == "--log") {
      logged = true;
    } else {
      seconds = std::max(1.0, std::atof(argv[arg]));
    }
  }
  std::optional<LoggedRun> log;
  if (logged) {
    log.emplace(std::filesystem::temp_directory_path() / "halvern-robot-loop.wpilog");
  }

  // The simulated world, at wire speed on the simulation's clock.
  halvern::sim::SimOrdex controller(kControllerId);
  halvern::sim::SimIridelCan colourSensor(kColourSensorId);
  colourSensor.startColorFrames(20ms, 0.31F, 0.33F, 0.36F);
  halvern::sim::SimDystalCan ranger(kRangerId);
  ranger.startReadings();
  const auto board = halvern::sim::SimFerixConverter::attach();
  for (int input = 0; input < halvern::Ferix::kChannels; ++input) {
    board->setInputVoltage(input, 0.5 + 0.5 * input);
  }
  halvern::sim::SimLidarMini usbLidar;
  c_Serial_addDevicePath(usbLidar.devicePath().c_str());
  halvern::sim::SimLidar serialLidar(kLidarPort);

  // The robot program's devices, opened as a robot's initialisation opens them.
  halvern::MockDS station;
  station.Enable();
  halvern::Ordex flywheel(kControllerId, 15000);
  halvern::Iridel colour(kColourSensorId);
  halvern::Dystal distance(kRangerId);
  halvern::Ferix analog(5);
  halvern::LidarMini lidarMini(halvern::LidarMini::kFirstPort);
  lidarMini.Start();
  halvern::Lidar lidar(halvern::Lidar::Port::kOnboard);
  std::this_thread::sleep_for(500ms);  // the first revolutions and readings

  CallTimes calls;
  std::vector<double> passWork;
  const auto passes = static_cast<int>(seconds * 1000.0 / kPeriod.count());
  auto tick = Clock::now();
  double sink = 0.0;  // keeps the readings from being optimised away
  for (int pass = 0; pass < passes; ++pass) {
    tick += kPeriod;
    std::this_thread::sleep_until(tick);
    const auto start = Clock::now();
    calls.Time("Ordex SetMotorSpeed", [&] {
      flywheel.SetMotorSpeed(0, 0.5);
      return 0;
    });
    sink += calls.Time("Ordex GetRPM", [&] { return flywheel.GetRPM(0); });
    sink +=
        calls.Time("Ordex GetRPMTimestamped", [&] { return flywheel.GetRPMTimestamped(0).value; });
    sink += calls.Time("Ordex GetFirmwareVersion",
                       [&] { return static_cast<double>(flywheel.GetFirmwareVersion().size()); });
    sink += calls.Time("Ordex IsConnected", [&] { return flywheel.IsConnected() ? 1 : 0; });
    sink += calls.Time("Iridel GetColor", [&] { return colour.GetColor().has_value() ? 1 : 0; });
    sink += calls.Time("Iridel IsConnected", [&] { return colour.IsConnected() ? 1 : 0; });
    sink += calls.Time("Dystal GetData", [&] { return distance.GetData().sequence; });
    sink += calls.Time("Dystal IsConnected", [&] { return distance.IsConnected() ? 1 : 0; });
    for (int input = 0; input < halvern::Ferix::kChannels; ++input) {
      sink += calls.Time("Ferix GetVoltage", [&] { return analog.GetVoltage(input); });
    }
    sink += calls.Time("Ferix IsConnected", [&] { return analog.IsConnected() ? 1 : 0; });
    sink += calls.Time("LidarMini GetData",
                       [&] { return static_cast<double>(lidarMini.GetData().points.size()); });
    sink += calls.Time("LidarMini IsConnected", [&] { return lidarMini.IsConnected() ? 1 : 0; });
    sink += calls.Time("Lidar GetData", [&] { return lidar.GetData().distanceMm[0]; });
    sink += calls.Time("Lidar IsConnected", [&] { return lidar.IsConnected() ? 1 : 0; });
    passWork.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }

  std::printf("robot loop: %d passes of %lld ms on the simulated devices%s (checksum %.0f)\n",
              passes, static_cast<long long>(kPeriod.count()),
              logged ? ", logging every device" : "", sink);
  calls.Print();
  const auto over = [&passWork](double us) {
    return std::count_if(passWork.begin(), passWork.end(), [us](double work) { return work > us; });
  };
  std::printf(
      "pass work: median %.1f us, p99 %.1f us, max %.1f us; %ld passes over 1 ms, %ld "
      "over 20 ms\n",
      halvern::bench::percentile(passWork, 0.5), halvern::bench::percentile(passWork, 0.99),
      *std::max_element(passWork.begin(), passWork.end()), static_cast<long>(over(1000.0)),
      static_cast<long>(over(20000.0)));
  const auto [worstP99, worstMax] = calls.Worst();
  std::printf("target (every call p99 <= 50 us and max <= 1 ms, no pass over 20 ms): %s\n",
              worstP99 <= 50.0 && worstMax <= 1000.0 && over(20000.0) == 0 ? "met" : "missed");
  return 0;
}

// A team's robot program on WPILib's own robot library: an frc::TimedRobot that owns the
// library's devices, drives and reads them every 20 ms in TeleopPeriodic(), and feeds the
// simulated devices in SimulationPeriodic(), as a team's simulation does. Enabled in teleop
// through WPILib's DriverStationSim, it runs for about five seconds, then prints the SimDevices
// WPILib lists, what the robot read, how long its loops' work took and how many loop-overrun
// lines WPILib printed. The library logs every device into the program's data log
// (DataLogManager's), which the program reads back at the end with WPILib's own reader.
//
//   ./halvern_robot [seconds]
#include <frc/DataLogManager.h>
#include <frc/RobotBase.h>
#include <frc/RobotController.h>
#include <frc/TimedRobot.h>
#include <frc/simulation/DriverStationSim.h>
#include <hal/simulation/SimDeviceData.h>
#include <wpi/DataLogReader.h>
#include <wpi/MemoryBuffer.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "LoopWorkStatistics.h"
#include "StderrLineCounter.h"
#include "halvern/DataLog.hpp"
#include "halvern/Dystal.hpp"
#include "halvern/Ferix.hpp"
#include "halvern/Iridel.hpp"
#include "halvern/LidarMini.hpp"
#include "halvern/Ordex.hpp"
#include "halvern/Serial.h"
#include "halvern/sim/DeviceSims.hpp"
#include "halvern/sim/SimLidarMini.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFlywheelControllerId = 5;
constexpr int kColourSensorId = 3;
constexpr int kRangerId = 7;
constexpr int kReferenceVolts = 5;
constexpr double kFreeSpeedRpm = 5000.0;  // the flywheel at full duty
constexpr double kSpinUpSeconds = 0.4;    // its time constant
constexpr double kShooterDuty = 0.6;

double g_secondsToRun = 5.0;  // the program's own argument

/** Every SimDevice WPILib's simulation lists, as its GUI's "Other Devices" shows them. */
void printSimDevices() {
  std::printf("SimDevices WPILib lists:\n");
  HALSIM_EnumerateSimDevices("", nullptr, [](const char* name, void*, HAL_SimDeviceHandle) {
    std::printf("  %s\n", name);
  });
}

/** The data log's folder: "logs" under the folder the program runs from. */
constexpr const char* kLogDirectory = "logs";

/**
 * Reads the newest .wpilog of `directory` with WPILib's reader and prints how many of the
 * library's entries ("Halvern/...") it holds, and how many values they carry.
 */
void printLoggedEntries(const std::string& directory) {
  std::filesystem::path newest;
  std::error_code unreadable;  // no folder: no log, said below
  for (const auto& file : std::filesystem::directory_iterator(directory, unreadable)) {
    if (file.path().extension() == ".wpilog" &&
        (newest.empty() ||
         file.last_write_time() > std::filesystem::last_write_time(newest))) {
      newest = file.path();
    }
  }
  auto buffer = newest.empty() ? nullptr : wpi::MemoryBuffer::GetFile(newest.string()).value_or(nullptr);
  if (!buffer) {
    std::printf("data log: no .wpilog in %s\n", directory.c_str());
    return;
  }
  const wpi::log::DataLogReader reader(std::move(buffer));
  std::map<int, std::string> libraryEntries;  // by entry id
  std::size_t values = 0;
  for (const wpi::log::DataLogRecord& record : reader) {
    wpi::log::StartRecordData start;
    if (record.IsStart() && record.GetStartData(&start) && start.name.starts_with("Halvern/")) {
      libraryEntries[start.entry] = std::string(start.name);
    } else if (!record.IsControl() && libraryEntries.contains(record.GetEntry())) {
      ++values;
    }
  }
  std::printf("data log: %s holds %zu Halvern entries with %zu values, e.g. %s\n",
              newest.filename().string().c_str(), libraryEntries.size(), values,
              libraryEntries.empty() ? "none" : libraryEntries.begin()->second.c_str());
}

/** The simulated world: the devices a robot program's simulation code creates and feeds. */
struct SimulatedWorld {
  halvern::sim::OrdexSim flywheelController{kFlywheelControllerId};
  halvern::sim::IridelSim colourSensor{kColourSensorId};
  halvern::sim::DystalSim ranger{kRangerId};
  halvern::sim::FerixSim board;
  halvern::sim::SimLidarMini lidar;
  double flywheelRpm = 0.0;

  SimulatedWorld() {
    colourSensor.SetColor(0.31F, 0.33F, 0.36F);
    c_Serial_addDevicePath(lidar.devicePath().c_str());  // the lidar's pseudo-terminal, findable
  }

  /** One 20 ms step of the physics, fed back into the simulated devices. */
  void Step(double seconds, double loopCount) {
    const double target = flywheelController.GetMotorDuty(0) * kFreeSpeedRpm;
    flywheelRpm += (target - flywheelRpm) * (1.0 - std::exp(-seconds / kSpinUpSeconds));
    flywheelController.SetMotorRPM(0, flywheelRpm);
    // A pressure sensor creeping up, and a target the ranger sees coming closer.
    board.SetInputVoltage(0, std::min(4.5, 0.5 + loopCount * 0.01));
    const int ahead = std::max(300, 2000 - static_cast<int>(loopCount) * 4);
    ranger.SetDistancesMm(std::vector<int>(halvern::Dystal::kMaxDistances, ahead));
  }
};

/** The robot's devices, as a team's subsystems would own them. */
struct RobotDevices {
  halvern::Ordex flywheel{kFlywheelControllerId, 15000};
  halvern::Iridel colour{kColourSensorId};
  halvern::Dystal ranger{kRangerId};
  halvern::Ferix board{kReferenceVolts};
  halvern::LidarMini lidar{halvern::LidarMini::kFirstPort};

  RobotDevices() { lidar.Start(); }  // waits for the lidar's answer: robot initialisation only
};

/** What the robot read in its latest loop, with when each was measured (robot clock, us). */
struct Readings {
  halvern::Ordex::Timestamped<double> flywheelRpm;
  float colourZ = 0.0F;
  int64_t colourUs = 0;
  int aheadMm = 0;
  int64_t aheadUs = 0;
  double pressureVolts = 0.0;
  int64_t pressureUs = 0;
  std::size_t lidarPoints = 0;
  int64_t lidarUs = 0;  // the revolution's last packet
  int connected = 0;    // how many of the five devices say they are
};

/** How long before `now` a reading was measured, in ms; -1 for none. */
double AgeMs(int64_t stampUs, int64_t nowUs) {
  return stampUs == 0 ? -1.0 : static_cast<double>(nowUs - stampUs) / 1000.0;
}

class Robot : public frc::TimedRobot {
 public:
  Robot() {
    // The program's data log, and every device of the library in it.
    // WPILib's writer opens its file in this folder but does not make the folder.
    std::filesystem::create_directories(kLogDirectory);
    frc::DataLogManager::Start(kLogDirectory);
    halvern::StartDataLog(frc::DataLogManager::GetLog());
    if (IsSimulation()) {
      m_world.emplace();
    }
    m_devices.emplace();
  }

  void SimulationInit() override {
    // No driver station here: enable the robot in teleop from inside the program.
    frc::sim::DriverStationSim::SetAutonomous(false);
    frc::sim::DriverStationSim::SetEnabled(true);
    frc::sim::DriverStationSim::NotifyNewData();
  }

  void TeleopPeriodic() override {
    m_loopStart = Clock::now();
    RobotDevices& devices = *m_devices;
    devices.flywheel.SetMotorSpeed(0, kShooterDuty);
    m_readings.flywheelRpm = devices.flywheel.GetRPMTimestamped(0);
    if (const auto sample = devices.colour.GetColor()) {
      m_readings.colourZ = sample->z;
      m_readings.colourUs = sample->timestampUs;
    }
    const halvern::Dystal::ScanData scan = devices.ranger.GetData();
    if (!scan.distancesMm.empty()) {
      m_readings.aheadMm = scan.distancesMm.front();
      m_readings.aheadUs = scan.timestampUs;
    }
    for (int input = 0; input < halvern::Ferix::kChannels; ++input) {
      const halvern::Ferix::Reading reading = devices.board.GetReading(input);
      if (input == 0) {
        m_readings.pressureVolts = reading.volts;
        m_readings.pressureUs = reading.timestampUs;
      }
    }
    const halvern::LidarMini::ScanData revolution = devices.lidar.GetData();
    m_readings.lidarPoints = revolution.points.size();
    m_readings.lidarUs = revolution.lastPacketUs;
    m_readings.connected = devices.flywheel.IsConnected() + devices.colour.IsConnected() +
                           devices.ranger.IsConnected() + devices.board.IsConnected() +
                           devices.lidar.IsConnected();
    m_inTeleop = true;
  }

  void SimulationPeriodic() override {
    if (m_world) {
      m_world->Step(0.02, static_cast<double>(m_loops));
    }
    if (!m_inTeleop) {
      return;
    }
    m_inTeleop = false;
    m_work.Add(Clock::now() - m_loopStart);
    ++m_loops;
    if (m_loops % 50 == 0) {
      // Each reading's age against the robot's own clock, the time base of its timestamp.
      const auto now = static_cast<int64_t>(frc::RobotController::GetFPGATime());
      const Readings& r = m_readings;
      std::printf(
          "loop %4d: flywheel %6.1f rpm (%.0f ms old), colour z %.2f (%.0f ms), ahead "
          "%4d mm (%.0f ms), pressure %.2f V (%.0f ms), lidar %zu points (%.0f ms); "
          "%d of 5 devices connected\n",
          m_loops, r.flywheelRpm.value, AgeMs(r.flywheelRpm.timestampUs, now),
          static_cast<double>(r.colourZ), AgeMs(r.colourUs, now), r.aheadMm, AgeMs(r.aheadUs, now),
          r.pressureVolts, AgeMs(r.pressureUs, now), r.lidarPoints, AgeMs(r.lidarUs, now),
          r.connected);
      std::fflush(stdout);
    }
    if (m_loops >= static_cast<int>(g_secondsToRun * 50.0)) {
      Finish();
    }
  }

 private:
  void Finish() {
    // Asked for in the background since the controller was opened: never waited for.
    const std::optional<std::string> firmware = m_devices->flywheel.TryGetFirmwareVersion();
    std::printf("flywheel controller: %s\n",
                firmware ? firmware->c_str() : "identity not answered yet");
    printSimDevices();
    m_work.Print("teleop loops' work");
    m_devices.reset();  // the library's devices go before the simulated ones
    m_world.reset();
    halvern::StopDataLog();
    frc::DataLogManager::Stop();  // writes what is left
    printLoggedEntries(kLogDirectory);
    EndCompetition();
  }

  std::optional<SimulatedWorld> m_world;
  std::optional<RobotDevices> m_devices;
  Readings m_readings;
  Clock::time_point m_loopStart;
  bool m_inTeleop = false;
  int m_loops = 0;
  halvern::example::LoopWorkStatistics m_work;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    g_secondsToRun = std::max(1.0, std::atof(argv[1]));
  }
  // WPILib prints its loop-overrun lines on standard error; count them as they pass.
  halvern::example::StderrLineCounter overruns("overrun");
  const int status = frc::StartRobot<Robot>();
  const int counted = overruns.Stop();
  std::printf("loop-overrun lines WPILib printed: %d\n", counted);
  return status;
}

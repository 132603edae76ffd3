// A tour of HalvernDriver against the simulated robot: every device family the library drives,
// through the same C functions a robot program calls, then a robot's 20 ms loop through the C++
// classes.
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iomanip>
#include <iterator>
#include <numbers>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "DataLogTour.h"
#include "RobotLoopTour.h"
#include "SimDystal.h"
#include "SimFerix.h"
#include "SimIridel.h"
#include "SimLidar.h"
#include "SimOrdex.h"
#include "SimRobotDriverStation.h"
#include "SvgPolarPlot.h"
#include "hal/SimDevice.h"
#include "hal/simulation/DriverStationData.h"
#include "hal/simulation/SimDeviceData.h"
#include "halsim/SimControl.h"
#include "halvern/Dystal.h"
#include "halvern/Ferix.h"
#include "halvern/Iridel.h"
#include "halvern/Lidar.h"
#include "halvern/LidarMini.h"
#include "halvern/MockDS.h"
#include "halvern/Ordex.h"
#include "halvern/Serial.h"

#if !defined(_WIN32)
#include "SimLidarMini.h"
#endif

namespace {

using namespace std::chrono_literals;

void section(const char* title) { std::printf("\n== %s ==\n", title); }

// Prints the heartbeats the simulated controller received since the last call.
void showHeartbeats(const halvern::sim::SimOrdex& controller, std::size_t& shown) {
  const auto beats = controller.heartbeats();
  for (; shown < beats.size(); ++shown) {
    const auto sinceFirst =
        std::chrono::duration_cast<std::chrono::milliseconds>(beats[shown].at - beats.front().at);
    std::printf("  +%4lld ms  %s heartbeat\n", static_cast<long long>(sinceFirst.count()),
                beats[shown].enabled ? "enabled " : "disabled");
  }
}

void showMotors(int32_t ordex, const char* when) {
  std::printf("  %-28s", when);
  for (int8_t motor = 0; motor < 2; ++motor) {
    std::printf("  m%d %7.1f rpm %9.2f m", motor, c_Ordex_getRPM(ordex, motor),
                c_Ordex_getEncoderDistance(ordex, motor));
  }
  std::printf("  %5.2f C\n", c_Ordex_getControllerTemp(ordex));
}

void ordexTour() {
  section("Ordex motor controller on CAN device 5");
  halvern::sim::SimOrdex simulated(5);
  simulated.setIdentity({.firmware = {2, 1, 7}, .hardwareKind = 1, .hardwareVersion = 3});
  simulated.setSerialWords({0x0012ABCD, 0x00C0FFEE, 0x20261208});

  const int32_t ordex = c_Ordex_create(5, 15000);
  if (ordex == 0) {
    std::printf("  creation failed\n");
    return;
  }
  std::printf("  created, CAN handle %d; motor frequency frames sent: %zu\n", ordex,
              halvern::sim::sentFrames(0x020C0285, 0x1FFFFFFF).size());
  std::printf("  device ID %d, %s, %s\n", c_Ordex_getID(ordex),
              c_Ordex_getFirmwareVersion(ordex).c_str(), c_Ordex_getHardwareVersion(ordex).c_str());
  std::printf("  serial number %s\n", c_Ordex_getSerialNumber(ordex).c_str());

  std::size_t shown = 0;
  HALSIM_SetDriverStationEnabled(0);
  std::printf("  robot disabled:\n");
  std::this_thread::sleep_for(350ms);
  showHeartbeats(simulated, shown);
  HALSIM_SetDriverStationEnabled(1);
  std::printf("  robot enabled:\n");
  std::this_thread::sleep_for(350ms);
  showHeartbeats(simulated, shown);

  // A wheel of 0.1 m circumference on a 2048-count encoder.
  c_Ordex_setEncoder(ordex, 0, 0.1 / 2048);
  c_Ordex_setEncoder(ordex, 1, 0.1 / 2048);
  c_Ordex_resetEncoder(ordex, 0);
  c_Ordex_resetEncoder(ordex, 1);
  std::printf("  driving motor 0 at 50%% duty and motor 1 at a 1500 rpm target:\n");
  c_Ordex_setMotorSpeed(ordex, 0, 0.5);
  c_Ordex_setTargetVelocity(ordex, 1, 1500.0F);
  for (int step = 1; step <= 4; ++step) {
    std::this_thread::sleep_for(150ms);
    showMotors(ordex, ("after " + std::to_string(step * 150) + " ms").c_str());
  }
  std::printf("  reversing motor 0 at full duty:\n");
  c_Ordex_setMotorSpeed(ordex, 0, -1.0);
  std::this_thread::sleep_for(400ms);
  showMotors(ordex, "after 400 ms");

  // What WPILib's simulation shows of the controller, and a physics model feeding it.
  const HAL_SimDeviceHandle device = HALSIM_GetSimDeviceHandle("Ordex[5]");
  const auto value = [device](const char* key) { return HALSIM_GetSimValueHandle(device, key); };
  std::printf("  as the SimDevice \"Ordex[5]\": Motor 0 Duty %.2f, Motor 1 Target RPM %.0f, "
              "Heartbeat Enabled %s\n",
              HAL_GetSimValueDouble(value("Motor 0 Duty")),
              HAL_GetSimValueDouble(value("Motor 1 Target RPM")),
              HAL_GetSimValueBoolean(value("Heartbeat Enabled")) != 0 ? "true" : "false");
  HAL_SetSimValueDouble(value("Motor 1 RPM"), 1234.5);
  std::this_thread::sleep_for(60ms);
  std::printf("  the simulation feeds \"Motor 1 RPM\" 1234.5: c_Ordex_getRPM reads %.1f\n",
              c_Ordex_getRPM(ordex, 1));
  std::printf("  robot disabled: the controller stops driving (motor 1 reports the fed speed)\n");
  HALSIM_SetDriverStationEnabled(0);
  std::this_thread::sleep_for(700ms);
  showMotors(ordex, "after 700 ms");

  c_Ordex_destroy(ordex);
  const std::size_t atDestroy = simulated.heartbeats().size();
  std::this_thread::sleep_for(250ms);
  std::printf("  destroyed; heartbeats after destroy: %zu\n",
              simulated.heartbeats().size() - atDestroy);
}

void printColor(const char* label, void* sensor) {
  ColorData color{};
  c_Iridel_getColor(sensor, &color);
  if (color.valid) {
    std::printf("  %-22s #%-5u x %.4f  y %.4f  z %.4f\n", label, color.sequence,
                static_cast<double>(color.x), static_cast<double>(color.y),
                static_cast<double>(color.z));
  } else {
    std::printf("  %-22s no sample\n", label);
  }
}

void iridelCanTour() {
  section("Iridel colour sensor on CAN ID 3");
  halvern::sim::SimIridelCan simulated;
  simulated.setConfigValue(4000000000U);
  void* sensor = c_Iridel_create(3);
  if (sensor == nullptr) {
    return;
  }
  printColor("before any frame:", sensor);
  std::printf("  set brightness 150 (sent as 100): %s\n",
              c_Iridel_setBrightness(sensor, 150) ? "ok" : "failed");
  uint32_t value = 0;
  if (c_Iridel_getConfig(sensor, 1, &value)) {
    std::printf("  config key 1: %u\n", value);
  }
  simulated.sendColor(41, 0.3127F, 0.3290F, 0.3583F);
  printColor("after a colour frame:", sensor);
  simulated.setReplies(halvern::sim::SimIridelCan::Replies::Silent);
  const auto start = std::chrono::steady_clock::now();
  const bool answered = c_Iridel_setColorFormat(sensor, 4);
  std::printf("  a command the sensor ignores: %s after %lld ms\n", answered ? "ok" : "false",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now() - start)
                                         .count()));
  c_Iridel_destroy(sensor);
}

#if !defined(_WIN32)  // the simulated USB sensor speaks on a POSIX pseudo-terminal
void iridelUsbTour() {
  section("Iridel colour sensor on USB serial");
  halvern::sim::SimIridelUsb simulated;
  c_Serial_addDevicePath(simulated.devicePath().c_str());
  const std::string path = FindDevicePath(0);
  std::printf("  found %s\n", path.c_str());
  void* sensor = c_Iridel_createUsb(path.c_str(), 25);
  if (sensor == nullptr) {
    c_Serial_removeDevicePath(simulated.devicePath().c_str());
    return;
  }
  std::this_thread::sleep_for(100ms);
  printColor("first samples:", sensor);
  simulated.setColor(0.64F, 0.33F, 0.03F);
  std::this_thread::sleep_for(100ms);
  printColor("a red surface:", sensor);
  simulated.setDistanceMode(true);
  simulated.setColor(0.15F, 0.06F, 0.79F);
  std::this_thread::sleep_for(100ms);
  printColor("distance-mode lines:", sensor);
  simulated.sendRaw("noise\n" + std::string(600, '#') + "\n");
  simulated.unplug();
  std::this_thread::sleep_for(100ms);
  printColor("after unplugging:", sensor);
  c_Iridel_destroy(sensor);
  c_Serial_removeDevicePath(simulated.devicePath().c_str());
}
#endif

// The distance sensor's zones: an 8x8 grid, each zone about 5.6 degrees wide.
constexpr int kGridSide = 8;
constexpr double kZoneAngle = 45.0 / kGridSide * std::numbers::pi / 180.0;
constexpr double kGridCentre = (kGridSide - 1) / 2.0;

// What the sensor sees: a wall straight ahead and a box standing in front of it, covering
// the lower rows from `firstColumn` to `lastColumn`. Distances in mm along each zone's ray.
std::vector<int16_t> wallWithBox(double wallMm, double boxMm, int firstColumn, int lastColumn) {
  std::vector<int16_t> distances;
  for (int row = 0; row < kGridSide; ++row) {
    for (int column = 0; column < kGridSide; ++column) {
      const double across = std::tan((column - kGridCentre) * kZoneAngle);
      const double down = std::tan((row - kGridCentre) * kZoneAngle);
      const bool box = row > kGridCentre && column >= firstColumn && column <= lastColumn;
      const double ahead = box ? boxMm : wallMm;
      distances.push_back(
          static_cast<int16_t>(ahead * std::sqrt(1 + across * across + down * down)));
    }
  }
  return distances;
}

void printDystalConfig(void* sensor) {
  DystalConfig config{};
  c_Dystal_getConfig(sensor, &config, 200);
  if (config.valid && c_Dystal_getTransport(sensor) == 1) {  // 1: USB
    // On USB the library takes the sensor's answer as the sign that distances are on.
    std::printf("  configuration: the sensor answered, distances on\n");
  } else if (config.valid) {
    std::printf("  configuration: version %u, distances %s, CAN FD %s, CAN ID %u\n", config.version,
                config.distanceEnabled ? "on" : "off", config.canFdEnabled ? "on" : "off",
                config.canID);
  } else {
    std::printf("  configuration: no reply\n");
  }
}

// One reading as the grid of zones, in mm; "--" marks a zone nothing was received for.
void printDystalReading(void* sensor) {
  DystalScanData scan{};
  const auto start = std::chrono::steady_clock::now();
  c_Dystal_getData(sensor, &scan, DYSTAL_MAX_DISTANCES);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  std::printf("  reading #%u, %d distances in mm (getData took %lld ms):\n", scan.sequence,
              scan.count, static_cast<long long>(took.count()));
  for (int row = 0; row < kGridSide; ++row) {
    std::printf("   ");
    for (int column = 0; column < kGridSide; ++column) {
      const int zone = row * kGridSide + column;
      if (zone >= scan.count || scan.distance[zone] == -1) {
        std::printf("%6s", "--");
      } else {
        std::printf("%6d", scan.distance[zone]);
      }
    }
    std::printf("\n");
  }
}

void dystalCanTour() {
  section("Dystal distance sensor on CAN ID 7: a wall 1.8 m away, a box at 0.7 m");
  halvern::sim::SimDystalCan simulated(7);
  simulated.setDistances(wallWithBox(1800, 700, 1, 3));
  simulated.setMissingChunks({9});  // a lossy bus: zones 27 to 29 never arrive
  simulated.startReadings();
  void* sensor = c_Dystal_create(7);
  if (sensor == nullptr) {
    return;
  }
  printDystalConfig(sensor);
  printDystalReading(sensor);
  c_Dystal_destroy(sensor);
}

#if !defined(_WIN32)  // the simulated USB sensor speaks on a POSIX pseudo-terminal
void dystalUsbTour() {
  section("Dystal distance sensor on USB serial: the box moved to the right, at 0.5 m");
  halvern::sim::SimDystalUsb simulated;
  simulated.setDistances(wallWithBox(1800, 500, 5, 7));
  c_Serial_addDevicePath(simulated.devicePath().c_str());
  const std::string path = FindDevicePath(0);
  const auto start = std::chrono::steady_clock::now();
  void* sensor = c_Dystal_createUsb(path.c_str(), 30);  // 30 readings a second
  if (sensor == nullptr) {
    c_Serial_removeDevicePath(simulated.devicePath().c_str());
    return;
  }
  std::printf("  found %s, switched to binary output in %lld ms\n", path.c_str(),
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now() - start)
                                         .count()));
  printDystalConfig(sensor);
  std::this_thread::sleep_for(100ms);
  printDystalReading(sensor);
  c_Dystal_destroy(sensor);
  c_Serial_removeDevicePath(simulated.devicePath().c_str());
}
#endif

#if !defined(_WIN32)  // the simulated lidar speaks on a POSIX pseudo-terminal
// Watches the revolutions the lidar publishes for `duration`: the last one, and the frequency
// the timestamps of those seen give.
struct Revolutions {
  LidarMiniScanFrame latest{};
  double frequencyHz = 0;
};

Revolutions watchRevolutions(void* lidar, std::chrono::milliseconds duration) {
  Revolutions seen;
  int64_t firstTimestamp = 0;
  int counted = 0;
  const auto end = std::chrono::steady_clock::now() + duration;
  while (std::chrono::steady_clock::now() < end) {
    LidarMiniScanFrame frame = c_LidarMini_getData(lidar);
    if (frame.timestamp != 0 && frame.timestamp != seen.latest.timestamp) {
      if (firstTimestamp == 0) {
        firstTimestamp = frame.timestamp;
      } else {
        ++counted;
      }
      seen.latest = std::move(frame);
    }
    std::this_thread::sleep_for(5ms);
  }
  if (counted > 0) {
    seen.frequencyHz = counted * 1e9 / static_cast<double>(seen.latest.timestamp - firstTimestamp);
  }
  return seen;
}

std::string printable(std::span<const uint8_t> bytes) {
  std::string text;
  for (const uint8_t byte : bytes) {
    text += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
  }
  return text;
}

// The simulator's room with a round post 0.5 m across standing 1.4 m away at 40 degrees.
halvern::sim::SimLidarMini::Room roomWithPost() {
  constexpr double kPostAngle = 40.0;
  constexpr double kPostMm = 1400.0;
  constexpr double kPostRadiusMm = 250.0;
  return [walls = halvern::sim::SimLidarMini::defaultRoom()](double angleDegrees) {
    const double off = (angleDegrees - kPostAngle) * std::numbers::pi / 180.0;
    const double across = kPostMm * std::sin(off);
    if (std::cos(off) <= 0 || std::abs(across) > kPostRadiusMm) {
      return walls(angleDegrees);
    }
    const double toPost =
        kPostMm * std::cos(off) - std::sqrt(kPostRadiusMm * kPostRadiusMm - across * across);
    return std::min(walls(angleDegrees), static_cast<uint16_t>(std::lround(toPost)));
  };
}

void lidarMiniTour() {
  section("LidarMini scanning lidar on USB serial: a 4 m x 3 m room with a post");
  halvern::sim::SimLidarMini simulated;
  simulated.setRoom(roomWithPost());
  c_Serial_addDevicePath(simulated.devicePath().c_str());
  void* lidar = c_LidarMini_create(0);  // the first serial port found
  if (lidar == nullptr) {
    c_Serial_removeDevicePath(simulated.devicePath().c_str());
    return;
  }
  const LidarInfo info = c_LidarMini_getInfo(lidar);
  const LidarHealth health = c_LidarMini_getHealth(lidar);
  std::printf("  model 0x%02X, firmware %d.%d, hardware %d, serial %s\n", info.model,
              info.firmwareVersion >> 8, info.firmwareVersion & 0xFF, info.hardwareVersion,
              printable(info.serialnum).c_str());
  std::printf("  health: status %d, error code %d\n", health.status, health.errorCode);

  c_LidarMini_start(lidar);
  // The simulated lidar holds back what it measured while the library was not yet reading and
  // then catches up, so its first revolutions come faster than it turns: let them pass.
  std::this_thread::sleep_for(750ms);
  const Revolutions atStart = watchRevolutions(lidar, 450ms);
  std::printf("  at 6 Hz: %zu points a revolution, measured %.1f Hz\n",
              atStart.latest.points.size(), atStart.frequencyHz);
  c_LidarMini_increaseFrequency(lidar, true);  // one step of 1 Hz
  // The new speed holds from the next revolution on; the first revolution at it then ends.
  std::this_thread::sleep_for(350ms);
  const Revolutions stepped = watchRevolutions(lidar, 500ms);
  const auto& points = stepped.latest.points;
  const auto measured = std::count_if(points.begin(), points.end(),
                                      [](const LidarMiniScanPoint& p) { return p.distance >= 0; });
  std::printf(
      "  stepped up 1 Hz: %zu points a revolution (%td with a distance), measured %.1f Hz\n",
      points.size(), measured, stepped.frequencyHz);

  const std::filesystem::path picture =
      std::filesystem::temp_directory_path() / "halvern-lidarmini-scan.svg";
  std::ostringstream title;
  title << "LidarMini: one revolution, " << points.size() << " points at " << std::fixed
        << std::setprecision(1) << stepped.frequencyHz << " Hz";
  if (halvern::demo::writePolarPlot(picture, points, title.str())) {
    std::printf("  the latest revolution, drawn: %s\n", picture.c_str());
  }
  c_LidarMini_stop(lidar);
  c_LidarMini_destroy(lidar);
  c_Serial_removeDevicePath(simulated.devicePath().c_str());
}
#endif

// The serial lidar on the robot controller's onboard port, in the simulator's room.
constexpr int kLidarPort = 0;
constexpr float kLidarNoiseMm = 30.0F;
constexpr auto kFirstRevolutions = 500ms;  // 5 revolutions at 10 Hz
constexpr auto kFilledHistories = 1200ms;  // 2 samples a degree a revolution: 10 values
constexpr double kMillimetresPerMetre = 1000.0;
constexpr int kShownEveryDegrees = 45;

int degreesWithDistance(const LidarScan& scan) {
  return static_cast<int>(std::count_if(std::begin(scan.distance), std::end(scan.distance),
                                        [](float mm) { return mm >= 0; }));
}

// How far the table's distances lie from the room's walls at their angles, on average, in mm.
double meanWallError(const LidarScan& scan, const halvern::sim::SimLidar::Room& room) {
  double sum = 0;
  int counted = 0;
  for (int degree = 0; degree < LIDAR_DEGREES; ++degree) {
    if (scan.distance[degree] >= 0) {
      sum += std::abs(scan.distance[degree] - room(scan.angle[degree]));
      ++counted;
    }
  }
  return counted > 0 ? sum / counted : 0;
}

halvern::demo::PolarSeries lidarSeries(const LidarScan& scan, const std::string& label,
                                       const std::string& colour, double dotRadius) {
  halvern::demo::PolarSeries series;
  series.label = label;
  series.colour = colour;
  series.dotRadius = dotRadius;
  for (int degree = 0; degree < LIDAR_DEGREES; ++degree) {
    series.points.push_back({.angleDegrees = scan.angle[degree],
                             .metres = scan.distance[degree] / kMillimetresPerMetre});
  }
  return series;
}

// The five filters, each shown from a reader of its own: a create restores every default.
struct FilterRun {
  int type;
  const char* name;
};
constexpr std::array kLidarFilters{
    FilterRun{LIDAR_FILTER_CLUSTER, "cluster"},
    FilterRun{LIDAR_FILTER_KALMAN, "Kalman"},
    FilterRun{LIDAR_FILTER_MOVING_AVERAGE, "moving average"},
    FilterRun{LIDAR_FILTER_MEDIAN, "median"},
    FilterRun{LIDAR_FILTER_JITTER, "jitter"},
};

// The filter whose table is drawn beside the unfiltered one.
constexpr std::size_t kPlottedFilter = 3;  // the median

void lidarTour() {
  section("Lidar on the robot controller's serial port: a 5 m x 4 m room, 30 mm of noise");
  halvern::sim::SimLidar simulated(kLidarPort);
  simulated.setNoise(kLidarNoiseMm);
  const halvern::sim::SimLidar::Room walls = halvern::sim::SimLidar::defaultRoom();
  c_Lidar_create(kLidarPort);
  std::this_thread::sleep_for(kFirstRevolutions);
  const LidarScan raw = c_Lidar_getData();
  std::array<LidarScan, kLidarFilters.size()> filtered{};
  for (std::size_t i = 0; i < kLidarFilters.size(); ++i) {
    c_Lidar_create(kLidarPort);
    c_Lidar_enableFilter(kLidarFilters.at(i).type, true);
    std::this_thread::sleep_for(kFilledHistories);
    filtered.at(i) = c_Lidar_getData();
  }
  const LidarScan& median = filtered.at(kPlottedFilter);
  std::printf(
      "  %d revolutions sent; degrees holding a distance: %d without a filter, %d with "
      "the median\n",
      simulated.revolutionsSent(), degreesWithDistance(raw), degreesWithDistance(median));
  std::printf("  mean distance from the walls: %.1f mm without a filter",
              meanWallError(raw, walls));
  for (std::size_t i = 0; i < kLidarFilters.size(); ++i) {
    std::printf(", %.1f mm %s", meanWallError(filtered.at(i), walls), kLidarFilters.at(i).name);
  }
  std::printf("\n");
  std::printf("  %8s %14s %14s %8s\n", "degree", "no filter", "median", "wall");
  for (int degree = 0; degree < LIDAR_DEGREES; degree += kShownEveryDegrees) {
    std::printf("  %8d %8.0f mm %11.0f mm %5.0f mm\n", degree,
                static_cast<double>(raw.distance[degree]),
                static_cast<double>(median.distance[degree]),
                static_cast<double>(walls(median.angle[degree])));
  }

  const std::array series{
      lidarSeries(raw, "no filter: " + std::to_string(degreesWithDistance(raw)) + " degrees",
                  "#e08a1e", 2.8),
      lidarSeries(median,
                  "median of 5: " + std::to_string(degreesWithDistance(median)) + " degrees",
                  "#1f5fbf", 1.6)};
  const std::filesystem::path picture =
      std::filesystem::temp_directory_path() / "halvern-lidar-median.svg";
  if (halvern::demo::writePolarPlot(picture, series,
                                    "Lidar: the latest distance of every degree")) {
    std::printf("  both tables, drawn: %s\n", picture.string().c_str());
  }
  c_Lidar_stop();
}

void ferixTour() {
  section("Ferix analog board on I2C port 1, address 0x48: four inputs, +-2.048 V full scale");
  const auto board = halvern::sim::SimFerixConverter::attach();
  const std::array<double, 4> inputs{0.25, 0.8, 1.5, 2.0};
  for (std::size_t channel = 0; channel < inputs.size(); ++channel) {
    board->setInputVoltage(static_cast<int>(channel), inputs.at(channel));
  }
  const bool answered = c_initializeI2C(5);
  std::printf("  c_initializeI2C(5): the board %s\n", answered ? "answered" : "did not answer");
  std::printf("  c_getVoltage is count x 5 / 2048: scaled by the reference voltage given\n");
  std::printf("  %5s %8s %6s %13s\n", "input", "at", "count", "c_getVoltage");
  for (std::size_t index = 0; index < inputs.size(); ++index) {
    const auto channel = static_cast<uint8_t>(index);
    const int raw = c_getRawValue(channel);
    std::printf("  %5d %6.2f V %6d %11.3f V\n", channel, inputs.at(index), raw,
                static_cast<double>(c_getVoltage(channel)));
  }
  halsim::setI2CReadFault(halvern::sim::SimFerixConverter::kDefaultPort, true);
  std::printf("  a read the board does not answer: count %d (not the last reading)\n",
              c_getRawValue(1));
  halsim::setI2CReadFault(halvern::sim::SimFerixConverter::kDefaultPort, false);
  const std::size_t transfers = board->transfers().size();
  const int none = c_getRawValue(4);
  std::printf("  input 4 (there is none): count %d, %zu bus transfers\n", none,
              board->transfers().size() - transfers);
  c_closeI2C();
}

// What the simulated robot program makes of the driver-station datagrams it has received.
void showRobotSide(const halvern::sim::SimRobotDriverStation& robot,
                   std::chrono::steady_clock::time_point since) {
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - since);
  const auto received = robot.received();
  if (received.empty()) {
    std::printf("  +%4lld ms  no datagram yet\n", static_cast<long long>(elapsed.count()));
    return;
  }
  std::printf("  +%4lld ms  %3zu datagrams, last sequence %3u, control 0x%02X: robot %s\n",
              static_cast<long long>(elapsed.count()), received.size(),
              static_cast<unsigned>(received.back().control.sequence),
              static_cast<unsigned>(received.back().control.control),
              robot.robotEnabled() ? "enabled" : "disabled");
}

void mockDSTour() {
  section("Mock driver station: a control datagram to the robot program on UDP 1110 every 20 ms");
  std::optional<halvern::sim::SimRobotDriverStation> robot;
  try {
    robot.emplace();
  } catch (const std::exception& error) {
    std::printf("  skipped: %s\n", error.what());
    return;
  }
  const auto start = std::chrono::steady_clock::now();
  c_MockDS_create();
  c_MockDS_enable();
  std::printf("  c_MockDS_create, c_MockDS_enable (a second of warm-up comes first)\n");
  for (int quarter = 1; quarter <= 6; ++quarter) {
    std::this_thread::sleep_until(start + quarter * 250ms);
    showRobotSide(*robot, start);
  }
  c_MockDS_disable();
  std::printf("  c_MockDS_disable\n");
  std::this_thread::sleep_for(100ms);
  showRobotSide(*robot, start);
  c_MockDS_destroy();
  std::printf("  c_MockDS_destroy: datagrams go on, disabled, until the library unloads\n");
}

}  // namespace

int main() {
  std::printf("HalvernDriver demo: a simulated robot, no hardware needed\n");
  halvern::demo::TourLog log;
  ordexTour();
  iridelCanTour();
#if !defined(_WIN32)
  iridelUsbTour();
#endif
  dystalCanTour();
#if !defined(_WIN32)
  dystalUsbTour();
  lidarMiniTour();
#endif
  lidarTour();
  ferixTour();
  mockDSTour();
  halvern::demo::robotLoopTour();
  const std::filesystem::path logged = log.finish();
  halvern::demo::showDataLog(logged);
  halvern::demo::replayTour(logged);
  std::printf("\nDone.\n");
  return 0;
}

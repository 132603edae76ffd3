#include "RobotLoopTour.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "SimDystal.h"
#include "SimFerix.h"
#include "SimIridel.h"
#include "SimOrdex.h"
#include "hal/HALBase.h"
#include "halvern/Dystal.hpp"
#include "halvern/Ferix.hpp"
#include "halvern/Iridel.hpp"
#include "halvern/Ordex.hpp"

namespace halvern::demo {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kControllerId = 5;
constexpr int kColourSensorId = 3;
constexpr int kRangerId = 7;
constexpr auto kPeriod = 20ms;

int64_t robotNowUs() {
  int32_t status = 0;
  return static_cast<int64_t>(HAL_GetFPGATime(&status));  // the robot's clock
}

std::string age(int64_t stampUs) {
  if (stampUs == 0) {
    return "no reading";
  }
  return std::to_string((robotNowUs() - stampUs) / 1000) + " ms ago";
}

const char* yesNo(bool value) { return value ? "yes" : "NO"; }

/** The four devices of the tour, as a robot program owns them. */
struct Devices {
  Ordex flywheel{kControllerId, 15000};
  Iridel colour{kColourSensorId};
  Dystal ranger{kRangerId};
  Ferix board{5};
};

/** Runs `loops` passes of a robot loop; returns the slowest pass's work. */
Clock::duration runLoop(Devices& devices, int loops) {
  Clock::duration slowest{};
  auto tick = Clock::now();
  for (int pass = 0; pass < loops; ++pass) {
    tick += kPeriod;
    std::this_thread::sleep_until(tick);
    const auto start = Clock::now();
    devices.flywheel.SetMotorSpeed(0, 0.6);
    (void)devices.flywheel.GetRPMTimestamped(0);
    (void)devices.colour.GetColor();
    (void)devices.ranger.GetData();
    for (int input = 0; input < Ferix::kChannels; ++input) {
      (void)devices.board.GetReading(input);
    }
    (void)devices.flywheel.IsConnected();
    slowest = std::max(slowest, Clock::now() - start);
  }
  return slowest;
}

void printRow(const char* device, const std::string& reading, int64_t stampUs, bool connected) {
  std::printf("  %-10s %-30s %-12s %s\n", device, reading.c_str(), age(stampUs).c_str(),
              yesNo(connected));
}

void printDevices(Devices& devices) {
  const auto rpm = devices.flywheel.GetRPMTimestamped(0);
  const auto colour = devices.colour.GetColor();
  const Dystal::ScanData scan = devices.ranger.GetData();
  const Ferix::Reading input = devices.board.GetReading(0);
  std::array<char, 64> text{};
  std::printf("  %-10s %-30s %-12s %s\n", "device", "reading", "measured", "connected");
  std::snprintf(text.data(), text.size(), "motor 0 %.1f rpm", rpm.value);
  printRow("Ordex[5]", text.data(), rpm.timestampUs, devices.flywheel.IsConnected());
  std::snprintf(text.data(), text.size(), "colour z %.2f",
                colour ? static_cast<double>(colour->z) : 0.0);
  printRow("Iridel[3]", text.data(), colour ? colour->timestampUs : 0,
           devices.colour.IsConnected());
  std::snprintf(text.data(), text.size(), "zone 0 %d mm (reading %d)",
                scan.distancesMm.empty() ? 0 : scan.distancesMm.front(), scan.sequence);
  printRow("Dystal[7]", text.data(), scan.timestampUs, devices.ranger.IsConnected());
  std::snprintf(text.data(), text.size(), "input 0 %d counts", input.raw);
  printRow("Ferix", text.data(), input.timestampUs, devices.board.IsConnected());
}

}  // namespace

void robotLoopTour() {
  std::printf(
      "\n== A robot's 20 ms loop through the C++ classes: readings at once, with when they were "
      "measured and whether each device is connected ==\n");
  sim::SimOrdex controller(kControllerId);
  controller.setRpmOverride(0, 2950.0);
  sim::SimIridelCan colourSensor(kColourSensorId);
  colourSensor.startColorFrames(20ms, 0.31F, 0.33F, 0.36F);
  sim::SimDystalCan rangerSensor(kRangerId);
  rangerSensor.setDistances(std::vector<int16_t>(Dystal::kMaxDistances, 1800));
  rangerSensor.startReadings();
  auto board = sim::SimFerixConverter::attach();
  board->setInputVoltage(0, 1.2);

  Devices devices;
  std::printf("  opened; the controller's identity is asked for in the background: %s\n",
              devices.flywheel.TryGetFirmwareVersion() ? "already known" : "not known yet");
  const auto slowest = runLoop(devices, 50);
  std::printf(
      "  50 loops, each setting a motor and reading its speed, a colour, 64 distances and "
      "four analog inputs: the slowest loop's work took %.3f ms\n",
      std::chrono::duration<double, std::milli>(slowest).count());
  std::printf("  identity, read in the loop without waiting: %s\n",
              devices.flywheel.GetFirmwareVersion().c_str());
  printDevices(devices);

  std::printf("  the colour sensor stops sending and the analog board is pulled out...\n");
  colourSensor.stopColorFrames();
  board->unplug();
  runLoop(devices, 15);  // 300 ms, past every silence limit
  printDevices(devices);

  std::printf("  ...and both come back:\n");
  colourSensor.startColorFrames(20ms, 0.31F, 0.33F, 0.05F);  // something blue in front of it
  board = sim::SimFerixConverter::attach();
  board->setInputVoltage(0, 1.5);
  runLoop(devices, 15);
  printDevices(devices);
}

}  // namespace halvern::demo

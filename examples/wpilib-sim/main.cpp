// A team's simulation, the way a robot program runs it on WPILib's HAL: WPILib's
// driver-station socket is loaded (HALSIM_EXTENSIONS), the mock driver station enables the
// robot through it, the robot code drives a motor and reads a colour through the library, and
// the simulation code (what a robot program's simulationPeriodic does) feeds a flywheel model's
// speed and a colour into the simulated devices' SimDevice values. It prints what WPILib's
// simulation shows: the SimDevices and their values.
//
// It builds on WPILib 2026 and on WPILib 2027 alike: SimHal.h names the SimDevice classes and the
// HAL headers of whichever WPILib it is built against (hal:: on 2026, wpi::hal:: on 2027). Where
// no driver-station socket listens (WPILib 2027 alpha-6's extension loads but opens none, or
// HALSIM_EXTENSIONS is unset), the simulation's own (SimDriverStationSocket.h) is the robot's
// end of the link instead.
//
//   HALSIM_EXTENSIONS=<WPILib>/lib/libhalsim_ds_socket.so ./halvern_wpilib_sim
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>

#include "SimDriverStationSocket.h"
#include "SimHal.h"
#include "SimIridel.h"
#include "SimOrdex.h"
#include "halvern/Iridel.h"
#include "halvern/MockDS.h"
#include "halvern/Ordex.h"

namespace {

using namespace std::chrono_literals;
namespace simhal = halvern::sim::simhal;

constexpr auto kPeriod = 20ms;             // the robot loop's period
constexpr double kFreeSpeedRpm = 5000.0;   // the flywheel at full duty
constexpr double kSpinUpSeconds = 0.4;     // its time constant
constexpr double kDuty = 0.6;

simhal::SimDouble doubleValue(const char* device, const char* key) {
  return HALSIM_GetSimValueHandle(HALSIM_GetSimDeviceHandle(device), key);
}

/** Every SimDevice with its values, as WPILib's simulation GUI lists them. */
void printSimDevices() {
  std::printf("WPILib %d's SimDevices:\n", simhal::kWpilibYear);
  HALSIM_EnumerateSimDevices("", nullptr, [](const char* name, void*, HAL_SimDeviceHandle device) {
    std::printf("  %s\n", name);
    HALSIM_EnumerateSimValues(
        device, nullptr,
        [](const char* key, void*, HAL_SimValueHandle handle, int32_t direction,
           const HAL_Value* value) {
          const char* way = direction == simhal::kInputDirection ? "input " : "output";
          switch (value->type) {
            case HAL_DOUBLE:
              std::printf("    %s %-18s %.3f\n", way, key, value->data.v_double);
              break;
            case HAL_BOOLEAN:
              std::printf("    %s %-18s %s\n", way, key, value->data.v_boolean ? "true" : "false");
              break;
            case HAL_ENUM: {
              int32_t count = 0;
              const char** options = HALSIM_GetSimValueEnumOptions(handle, &count);
              const int32_t chosen = value->data.v_enum;
              std::printf("    %s %-18s %s\n", way, key,
                          chosen >= 0 && chosen < count ? options[chosen] : "?");
              break;
            }
            case HAL_INT:
              std::printf("    %s %-18s %d\n", way, key, value->data.v_int);
              break;
            default:
              std::printf("    %s %-18s\n", way, key);
              break;
          }
        });
  });
}

}  // namespace

int main() {
  HAL_Initialize(500, 0);  // loads the extensions HALSIM_EXTENSIONS names

  // The simulation side: the devices on the simulated bus.
  halvern::sim::SimOrdex controller(5);
  halvern::sim::SimIridelCan colourSensor(3);
  colourSensor.startColorFrames(20ms, 0.31F, 0.33F, 0.36F);

  // The robot code.
  const int32_t ordex = c_Ordex_create(5, 15000);
  void* const iridel = c_Iridel_create(3);
  if (ordex == 0 || iridel == nullptr) {
    std::printf("could not create the devices\n");
    return 1;
  }
  // The robot's end of the driver-station link: WPILib's socket where it listens, else ours.
  auto ownSocket = halvern::sim::SimDriverStationSocket::startUnlessOneListens();
  c_MockDS_create();
  c_MockDS_enable();
  std::printf("Mock driver station enabling the robot through %s\n",
              ownSocket ? "the simulation's own driver-station socket (WPILib's opened none)"
                        : "WPILib's driver-station socket");

  simhal::SimDouble duty = doubleValue("Ordex[5]", "Motor 0 Duty");
  simhal::SimDouble fedRpm = doubleValue("Ordex[5]", "Motor 0 RPM");
  simhal::SimDouble colourZ = doubleValue("Iridel[3]", "Z");
  double flywheelRpm = 0.0;
  int32_t status = 0;
  bool wasEnabled = false;
  const auto start = std::chrono::steady_clock::now();
  for (int tick = 0; tick < 150; ++tick) {  // three seconds of robot loop
    // robotPeriodic: drive the flywheel while enabled.
    const bool enabled = HAL_GetSystemActive(&status) != 0;
    if (enabled != wasEnabled) {
      const auto at = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - start);
      std::printf("t=%5lld ms  robot %s\n", static_cast<long long>(at.count()),
                  enabled ? "enabled" : "disabled");
      wasEnabled = enabled;
    }
    c_Ordex_setMotorSpeed(ordex, 0, enabled ? kDuty : 0.0);

    // simulationPeriodic: a first-order flywheel on the commanded duty, fed back as its speed.
    const double target = duty.Get() * kFreeSpeedRpm;
    const double step = std::chrono::duration<double>(kPeriod).count();
    flywheelRpm += (target - flywheelRpm) * (1.0 - std::exp(-step / kSpinUpSeconds));
    fedRpm.Set(flywheelRpm);
    if (tick == 100) {
      colourZ.Set(0.05);  // something blue went past
    }

    if (tick % 25 == 24) {
      ColorData colour{};
      c_Iridel_getColor(iridel, &colour);
      std::printf(
          "  commanded duty %.2f  flywheel model %7.1f rpm  library reads %7.1f rpm  "
          "colour %.2f %.2f %.2f\n",
          duty.Get(), flywheelRpm, c_Ordex_getRPM(ordex, 0), static_cast<double>(colour.x),
          static_cast<double>(colour.y), static_cast<double>(colour.z));
    }
    std::this_thread::sleep_for(kPeriod);
  }
  printSimDevices();

  c_MockDS_disable();
  c_MockDS_destroy();
  c_Iridel_destroy(iridel);
  c_Ordex_destroy(ordex);
  colourSensor.stopColorFrames();
  ownSocket.reset();
  HAL_Shutdown();
  return 0;
}

// A tour of HalvernDriver against the simulated robot: every device family the library drives,
// through the same C functions a robot program calls.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "SimOrdex.h"
#include "halsim/SimControl.h"
#include "halvern/Ordex.h"

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

void ordexTour() {
  section("Ordex motor controller on CAN device 5");
  halvern::sim::SimOrdex simulated(5);
  simulated.setIdentity({.firmware = {2, 1, 7}, .hardwareKind = 1, .hardwareVersion = 3});

  const int32_t handle = c_Ordex_create(5, 15000);
  if (handle == 0) {
    std::printf("  creation failed\n");
    return;
  }
  std::printf("  created, CAN handle %d\n", handle);
  std::printf("  device ID: %d\n", c_Ordex_getID(handle));
  std::printf("  %s\n", c_Ordex_getFirmwareVersion(handle).c_str());
  std::printf("  %s\n", c_Ordex_getHardwareVersion(handle).c_str());

  const auto frames = halsim::sentFrames(0x020C0280, 0x1FFFFFC0);
  std::printf("  motor frequency frames sent at creation: %zu\n", frames.size());

  std::size_t shown = 0;
  halsim::setSystemActive(false);
  std::printf("  robot disabled:\n");
  std::this_thread::sleep_for(350ms);
  showHeartbeats(simulated, shown);

  halsim::setSystemActive(true);
  std::printf("  robot enabled:\n");
  std::this_thread::sleep_for(350ms);
  showHeartbeats(simulated, shown);

  halsim::setSystemActive(false);
  c_Ordex_destroy(handle);
  const std::size_t atDestroy = simulated.heartbeats().size();
  std::this_thread::sleep_for(250ms);
  std::printf("  destroyed; heartbeats after destroy: %zu\n",
              simulated.heartbeats().size() - atDestroy);
}

}  // namespace

int main() {
  std::printf("HalvernDriver demo: a simulated robot, no hardware needed\n");
  ordexTour();
  std::printf("\nDone.\n");
  return 0;
}

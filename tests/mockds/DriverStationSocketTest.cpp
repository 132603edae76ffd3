// The mock driver station end to end with WPILib's own robot side: WPILib's driver-station
// socket extension (halsim_ds_socket) receives the datagrams and sets the simulated robot's
// enabled state, which the HAL reports and the motor controller's heartbeat follows. Built
// against WPILib only: the stand-in has no such extension. WPILib 2027 alpha-6's extension loads
// but listens on no port; there the case skips (SimDriverStationSocketTest.cpp covers the
// simulation's own socket, the robot's end of the link on that WPILib).
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "SimDriverStationSocket.h"
#include "SimHal.h"
#include "SimOrdex.h"
#include "TestPlatform.h"
#include "halvern/MockDS.h"
#include "halvern/Ordex.h"

namespace {

using namespace std::chrono_literals;

bool within(std::chrono::milliseconds limit, const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) {
      return true;
    }
    std::this_thread::sleep_for(10ms);
  }
  return condition();
}

bool heartbeatEnabled() {
  const HAL_SimDeviceHandle device = HALSIM_GetSimDeviceHandle("Ordex[5]");
  return HAL_GetSimValueBoolean(HALSIM_GetSimValueHandle(device, "Heartbeat Enabled")) != 0;
}

TEST(DriverStationSocket, MockDriverStationEnablesAndDisablesTheRobot) {
  halvern::test::resetSimulation();
  ASSERT_EQ(halvern::test::loadHalExtension(HALVERN_DS_SOCKET_EXTENSION), 0)
      << HALVERN_DS_SOCKET_EXTENSION;
  if (!within(1s, [] { return halvern::sim::SimDriverStationSocket::portTaken(); })) {
    GTEST_SKIP() << "WPILib's driver-station socket extension loaded but listens on no UDP port "
                 << halvern::sim::SimDriverStationSocket::kDriverStationPort
                 << " (WPILib 2027 alpha-6's starts no event loop)";
  }
  const halvern::sim::SimOrdex controller(5);
  const int32_t handle = c_Ordex_create(5, 15000);
  ASSERT_NE(handle, 0);
  int32_t status = 0;

  c_MockDS_create();
  c_MockDS_enable();
  // A second of disabled warm-up datagrams, then enabled ones.
  std::this_thread::sleep_for(500ms);
  EXPECT_FALSE(HALSIM_GetDriverStationEnabled()) << "enabled during the warm-up";
  EXPECT_TRUE(within(3s, [] { return HALSIM_GetDriverStationEnabled() != 0; }));
  EXPECT_TRUE(HAL_GetSystemActive(&status));
  EXPECT_TRUE(within(1s, heartbeatEnabled)) << "the controller heard no enabled heartbeat";

  c_MockDS_disable();
  EXPECT_TRUE(within(1s, [] { return HALSIM_GetDriverStationEnabled() == 0; }));
  EXPECT_TRUE(within(1s, [] { return !heartbeatEnabled(); }));

  c_MockDS_destroy();
  c_Ordex_destroy(handle);
}

}  // namespace

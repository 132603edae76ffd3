// The mock driver station end to end with WPILib's own robot side: WPILib's driver-station
// socket extension (halsim_ds_socket) receives the datagrams and sets the simulated robot's
// enabled state, which the HAL reports and the motor controller's heartbeat follows. Built
// against WPILib only: the stand-in has no such extension. WPILib 2027 alpha-6's extension loads
// but listens on no port; there the case skips (SimDriverStationSocketTest.cpp covers the
// simulation's own socket, the robot's end of the link on that WPILib).
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
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

// Bounds a failure only.
constexpr std::chrono::milliseconds kLimit{10000};

/** When the simulated robot was first enabled while it lives, as the HAL notifies it. */
class FirstEnable {
 public:
  FirstEnable()
      : uid_(HALSIM_RegisterDriverStationEnabledCallback(&FirstEnable::changed, this, 0)) {}
  FirstEnable(const FirstEnable&) = delete;
  FirstEnable& operator=(const FirstEnable&) = delete;
  ~FirstEnable() { HALSIM_CancelDriverStationEnabledCallback(uid_); }

  [[nodiscard]] std::optional<std::chrono::steady_clock::time_point> at() const {
    const std::scoped_lock lock(mutex_);
    return at_;
  }

 private:
  static void changed(const char* /*name*/, void* param, const HAL_Value* value) {
    auto* self = static_cast<FirstEnable*>(param);
    const auto now = std::chrono::steady_clock::now();
    const std::scoped_lock lock(self->mutex_);
    if (value->data.v_boolean != 0 && !self->at_) {
      self->at_ = now;
    }
  }

  mutable std::mutex mutex_;
  std::optional<std::chrono::steady_clock::time_point> at_;
  int32_t uid_;
};

bool heartbeatEnabled() {
  const HAL_SimDeviceHandle device = HALSIM_GetSimDeviceHandle("Ordex[5]");
  return HAL_GetSimValueBoolean(HALSIM_GetSimValueHandle(device, "Heartbeat Enabled")) != 0;
}

TEST(DriverStationSocket, MockDriverStationEnablesAndDisablesTheRobot) {
  halvern::test::resetSimulation();
  ASSERT_EQ(halvern::test::loadHalExtension(HALVERN_DS_SOCKET_EXTENSION), 0)
      << HALVERN_DS_SOCKET_EXTENSION;
  if (!within(5s, [] { return halvern::sim::SimDriverStationSocket::portTaken(); })) {
    GTEST_SKIP() << "WPILib's driver-station socket extension loaded but listens on no UDP port "
                 << halvern::sim::SimDriverStationSocket::kDriverStationPort
                 << " (WPILib 2027 alpha-6's starts no event loop)";
  }
  const halvern::sim::SimOrdex controller(5);
  const int32_t handle = c_Ordex_create(5, 15000);
  ASSERT_NE(handle, 0);
  int32_t status = 0;

  const FirstEnable firstEnable;
  c_MockDS_create();
  c_MockDS_enable();
  const auto enabledFrom = std::chrono::steady_clock::now();
  // A second of disabled warm-up datagrams, then enabled ones: the 51st datagram picked after
  // the enable is the first to enable the robot, fifty slots (less one) after it at the earliest.
  EXPECT_TRUE(within(kLimit, [] { return HALSIM_GetDriverStationEnabled() != 0; }));
  const auto enabledAt = firstEnable.at();
  ASSERT_TRUE(enabledAt.has_value());
  EXPECT_GE(*enabledAt - enabledFrom, 980ms) << "enabled during the warm-up";
  EXPECT_TRUE(HAL_GetSystemActive(&status));
  EXPECT_TRUE(within(kLimit, heartbeatEnabled)) << "the controller heard no enabled heartbeat";

  c_MockDS_disable();
  EXPECT_TRUE(within(kLimit, [] { return HALSIM_GetDriverStationEnabled() == 0; }));
  EXPECT_TRUE(within(kLimit, [] { return !heartbeatEnabled(); }));

  c_MockDS_destroy();
  c_Ordex_destroy(handle);
}

}  // namespace

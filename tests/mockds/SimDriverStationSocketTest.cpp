// The simulation's own driver-station socket, the robot's end of the link where the HAL has none
// listening (WPILib 2027 alpha-6, the stand-in): the mock driver station enables the simulated
// robot through it, the HAL reports the robot enabled and the motor controller's heartbeat
// follows; a silent driver station leaves the robot disabled. On every HAL.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <thread>

#include "MockDSTestSupport.h"
#include "SimDriverStationSocket.h"
#include "SimHal.h"
#include "SimOrdex.h"
#include "TestPlatform.h"
#include "core/HalPlatform.h"
#include "halvern/MockDS.h"
#include "halvern/Ordex.h"

namespace {

using namespace std::chrono_literals;
using halvern::mockds::testing::waitUntil;
using halvern::sim::SimDriverStationSocket;
using Clock = std::chrono::steady_clock;

bool robotEnabled() { return halvern::platform::systemActive(); }

bool heartbeatEnabled() {
  const HAL_SimDeviceHandle device = HALSIM_GetSimDeviceHandle("Ordex[5]");
  return HAL_GetSimValueBoolean(HALSIM_GetSimValueHandle(device, "Heartbeat Enabled")) != 0;
}

/** Sends control datagrams to the driver station's port as a driver station would. */
class HandDriverStation {
 public:
  HandDriverStation() { EXPECT_EQ(client_.start(), 0); }
  ~HandDriverStation() { client_.shutdown(); }
  HandDriverStation(const HandDriverStation&) = delete;
  HandDriverStation& operator=(const HandDriverStation&) = delete;

  /** Sequence, version 1, control (0x04 enabled), request (0x10: attached), station 0. */
  void send(uint8_t control, uint8_t request = 0x10) {
    ++sequence_;
    const std::array<uint8_t, 6> datagram{static_cast<uint8_t>(sequence_ >> 8U),
                                          static_cast<uint8_t>(sequence_ & 0xFFU),
                                          1,
                                          control,
                                          request,
                                          0};
    client_.send(std::span<const uint8_t>(datagram), "127.0.0.1",
                 SimDriverStationSocket::kDriverStationPort);
  }
  void sendShort() {
    const std::array<uint8_t, 3> datagram{0, 1, 1};
    client_.send(std::span<const uint8_t>(datagram), "127.0.0.1",
                 SimDriverStationSocket::kDriverStationPort);
  }

 private:
  halvern::sim::simhal::Logger logger_;
  halvern::sim::simhal::UDPClient client_{logger_};
  uint16_t sequence_ = 0;
};

class SimDriverStationSocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    halvern::test::resetSimulation();
    ASSERT_FALSE(SimDriverStationSocket::portTaken()) << "something listens on UDP port 1110";
    socket = std::make_unique<SimDriverStationSocket>();
  }
  void TearDown() override {
    socket.reset();
    halvern::test::resetSimulation();
  }

  std::unique_ptr<SimDriverStationSocket> socket;
};

// Enabled only while an attached driver station says so and has not stopped the robot; a driver
// station that falls silent for longer than the link's time-out leaves it disabled.
TEST_F(SimDriverStationSocketTest, OnlyAnAttachedSpeakingDriverStationKeepsTheRobotEnabled) {
  HandDriverStation station;
  const auto sendFor = [&station](uint8_t control, uint8_t request,
                                  std::chrono::milliseconds span) {
    const auto until = Clock::now() + span;
    while (Clock::now() < until) {
      station.send(control, request);
      std::this_thread::sleep_for(20ms);
    }
  };
  sendFor(0x04, 0x00, 200ms);  // enabled, but no driver station attached
  EXPECT_FALSE(robotEnabled());
  sendFor(0x84, 0x10, 200ms);  // enabled, emergency-stopped
  EXPECT_FALSE(robotEnabled());
  const std::size_t before = socket->datagramCount();
  station.sendShort();  // too short to be a control datagram
  for (int i = 0; i < 5; ++i) {
    station.send(0x04, 0x10);
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_TRUE(waitUntil([&] { return socket->datagramCount() >= before + 5; }, 1000ms));
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(socket->datagramCount(), before + 5);  // the short one not counted
  EXPECT_TRUE(robotEnabled());

  station.send(0x04, 0x10);
  const auto silentFrom = Clock::now();
  EXPECT_TRUE(waitUntil([] { return !robotEnabled(); }, 1000ms));
  EXPECT_GE(Clock::now() - silentFrom, SimDriverStationSocket::kLinkTimeout - 5ms);

  sendFor(0x04, 0x10, 100ms);
  EXPECT_TRUE(robotEnabled());
  socket.reset();  // the robot's end of the link goes: disabled
  EXPECT_FALSE(robotEnabled());
}

// Last in the program: a mock driver station, once created, sends until the program ends.
TEST_F(SimDriverStationSocketTest, MockDriverStationEnablesAndDisablesTheRobotThroughIt) {
  const halvern::sim::SimOrdex controller(5);
  const int32_t handle = c_Ordex_create(5, 15000);
  ASSERT_NE(handle, 0);

  c_MockDS_create();
  c_MockDS_enable();
  // A second of disabled warm-up datagrams, then enabled ones.
  std::this_thread::sleep_for(500ms);
  EXPECT_FALSE(robotEnabled()) << "enabled during the warm-up";
  EXPECT_GT(socket->datagramCount(), 10U);
  EXPECT_TRUE(waitUntil(robotEnabled, 3000ms));
  EXPECT_TRUE(waitUntil(heartbeatEnabled, 1000ms)) << "the controller heard no enabled heartbeat";

  c_MockDS_disable();
  EXPECT_TRUE(waitUntil([] { return !robotEnabled(); }, 1000ms));
  EXPECT_TRUE(waitUntil([] { return !heartbeatEnabled(); }, 1000ms));
  c_MockDS_enable();  // after the warm-up: at once
  EXPECT_TRUE(waitUntil(robotEnabled, 1000ms));

  c_MockDS_destroy();  // it says "disabled" from then on
  EXPECT_TRUE(waitUntil([] { return !robotEnabled(); }, 1000ms));
  c_Ordex_destroy(handle);
}

}  // namespace

// The simulation's own driver-station socket, the robot's end of the link where the HAL has none
// listening (WPILib 2027 alpha-6, the stand-in): the mock driver station enables the simulated
// robot through it, the HAL reports the robot enabled and the motor controller's heartbeat
// follows; a silent driver station leaves the robot disabled. On every HAL.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

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

/**
 * Every change of the simulated robot's enabled state while it lives: the state, how many control
 * datagrams the socket had read by then (the socket counts a datagram before it acts on it), and
 * when. A change the socket makes on reading a datagram carries that datagram's count.
 */
class EnabledChanges {
 public:
  struct Change {
    bool enabled = false;
    std::size_t datagrams = 0;
    Clock::time_point at;
  };

  explicit EnabledChanges(const SimDriverStationSocket& socket)
      : socket_(socket),
        uid_(HALSIM_RegisterDriverStationEnabledCallback(&EnabledChanges::changed, this, 0)) {}
  EnabledChanges(const EnabledChanges&) = delete;
  EnabledChanges& operator=(const EnabledChanges&) = delete;
  ~EnabledChanges() { HALSIM_CancelDriverStationEnabledCallback(uid_); }

  [[nodiscard]] std::vector<Change> all() const {
    const std::scoped_lock lock(mutex_);
    return changes_;
  }

  /** The first change to `enabled` recorded after the first `skip` changes, once there is one. */
  [[nodiscard]] std::optional<Change> waitForChange(bool enabled, std::size_t skip = 0) const {
    return waitForChange([enabled](const Change& change) { return change.enabled == enabled; },
                         skip);
  }

  /** The first change after the first `skip` that `matches`, once there is one. */
  template <typename Matches>
  [[nodiscard]] std::optional<Change> waitForChange(Matches matches, std::size_t skip) const {
    std::optional<Change> found;
    waitUntil(
        [&] {
          const auto changes = all();
          for (std::size_t i = skip; i < changes.size(); ++i) {
            if (matches(changes[i])) {
              found = changes[i];
              return true;
            }
          }
          return false;
        },
        kLimit);
    return found;
  }

  static constexpr std::chrono::milliseconds kLimit{10000};

 private:
  static void changed(const char* /*name*/, void* param, const HAL_Value* value) {
    auto* self = static_cast<EnabledChanges*>(param);
    const Change change{value->data.v_boolean != 0, self->socket_.datagramCount(), Clock::now()};
    const std::scoped_lock lock(self->mutex_);
    if (self->changes_.empty() || self->changes_.back().enabled != change.enabled) {
      self->changes_.push_back(change);
    }
  }

  const SimDriverStationSocket& socket_;
  mutable std::mutex mutex_;
  std::vector<Change> changes_;
  int32_t uid_;
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

  /** Waits until the socket has read `count` control datagrams in all. */
  [[nodiscard]] bool waitForDatagrams(std::size_t count) const {
    return waitUntil([&] { return socket->datagramCount() >= count; }, EnabledChanges::kLimit);
  }

  std::unique_ptr<SimDriverStationSocket> socket;
};

// Enabled only while an attached driver station says so and has not stopped the robot; a driver
// station that falls silent for longer than the link's time-out leaves it disabled.
TEST_F(SimDriverStationSocketTest, OnlyAnAttachedSpeakingDriverStationKeepsTheRobotEnabled) {
  HandDriverStation station;
  const EnabledChanges changes(*socket);
  const auto sendAll = [&](uint8_t control, uint8_t request, std::size_t count) {
    const std::size_t before = socket->datagramCount();
    for (std::size_t i = 0; i < count; ++i) {
      station.send(control, request);
    }
    EXPECT_TRUE(waitForDatagrams(before + count));
  };
  sendAll(0x04, 0x00, 10);  // enabled, but no driver station attached
  sendAll(0x84, 0x10, 10);  // enabled, emergency-stopped
  EXPECT_FALSE(robotEnabled());
  for (const auto& change : changes.all()) {
    EXPECT_FALSE(change.enabled) << "enabled at datagram " << change.datagrams;
  }

  const std::size_t before = socket->datagramCount();
  const std::size_t changesBefore = changes.all().size();
  station.sendShort();  // too short to be a control datagram
  for (int i = 0; i < 5; ++i) {
    station.send(0x04, 0x10);
  }
  station.send(0x00, 0x10);  // disabled: read last, after the short one
  // The first enabled datagram enables the robot; the disabled one after the five disables it,
  // as the sixth datagram counted: the short one not counted.
  const auto enabled = changes.waitForChange(true, changesBefore);
  ASSERT_TRUE(enabled.has_value());
  EXPECT_EQ(enabled->datagrams, before + 1);
  const auto disabled = changes.waitForChange(
      [&](const EnabledChanges::Change& change) {
        return !change.enabled && change.datagrams >= before + 6;
      },
      changesBefore);
  ASSERT_TRUE(disabled.has_value());
  EXPECT_EQ(disabled->datagrams, before + 6);
  EXPECT_EQ(socket->datagramCount(), before + 6);

  // One enabled datagram, then silence: disabled once the link's time-out has passed, with no
  // datagram read meanwhile.
  const std::size_t changesBeforeSilence = changes.all().size();
  const auto silentFrom = Clock::now();
  station.send(0x04, 0x10);
  const auto spoke = changes.waitForChange(true, changesBeforeSilence);
  ASSERT_TRUE(spoke.has_value());
  EXPECT_EQ(spoke->datagrams, before + 7);
  const auto silent = changes.waitForChange(false, changesBeforeSilence + 1);
  ASSERT_TRUE(silent.has_value());
  EXPECT_EQ(silent->datagrams, before + 7);
  EXPECT_GE(silent->at - silentFrom, SimDriverStationSocket::kLinkTimeout);

  // Speaking again enables it; the robot's end of the link going disables it.
  EXPECT_TRUE(waitUntil(
      [&] {
        station.send(0x04, 0x10);
        return robotEnabled();
      },
      EnabledChanges::kLimit));
  socket.reset();
  EXPECT_FALSE(robotEnabled());
}

// Last in the program: a mock driver station, once created, sends until the program ends.
TEST_F(SimDriverStationSocketTest, MockDriverStationEnablesAndDisablesTheRobotThroughIt) {
  const halvern::sim::SimOrdex controller(5);
  const int32_t handle = c_Ordex_create(5, 15000);
  ASSERT_NE(handle, 0);
  const EnabledChanges changes(*socket);
  constexpr auto kLimit = EnabledChanges::kLimit;

  const std::size_t before = socket->datagramCount();
  const auto created = Clock::now();
  c_MockDS_create();
  c_MockDS_enable();
  // A second of disabled warm-up datagrams, then enabled ones: the robot is enabled by the 51st
  // datagram at the earliest.
  const auto enabled = changes.waitForChange(true);
  ASSERT_TRUE(enabled.has_value());
  EXPECT_GE(enabled->datagrams, before + 51) << "enabled during the warm-up";
  EXPECT_TRUE(waitUntil(robotEnabled, kLimit));
  EXPECT_TRUE(waitUntil(heartbeatEnabled, kLimit)) << "the controller heard no enabled heartbeat";

  c_MockDS_disable();
  EXPECT_TRUE(waitUntil([] { return !robotEnabled(); }, kLimit));
  EXPECT_TRUE(waitUntil([] { return !heartbeatEnabled(); }, kLimit));
  const std::size_t changesBefore = changes.all().size();
  c_MockDS_enable();  // after the warm-up: at once, by the first datagram picked after it
  const std::size_t enabledBy = halvern::mockds::testing::mostPickedBy(created, Clock::now());
  const auto again = changes.waitForChange(true, changesBefore);
  ASSERT_TRUE(again.has_value());
  EXPECT_LE(again->datagrams, before + enabledBy + 1) << "the warm-up came again";
  EXPECT_TRUE(waitUntil(robotEnabled, kLimit));

  c_MockDS_destroy();  // it says "disabled" from then on
  EXPECT_TRUE(waitUntil([] { return !robotEnabled(); }, kLimit));
  c_Ordex_destroy(handle);
}

}  // namespace

// Creating and destroying Ordex controllers through the library's C face, on the simulated bus.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <string>
#include <thread>

#include "ProcessEntries.h"
#include "SimCanBus.h"
#include "SimOrdex.h"
#include "TestPlatform.h"
#include "WaitFor.h"
#include "halvern/Ordex.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using halvern::sim::IdentityBehaviour;
using halvern::sim::SimOrdex;

using halvern::test::kWaitLimit;
using halvern::test::waitFor;

constexpr uint32_t kExactId = 0x1FFFFFFF;
constexpr auto kPeriod = std::chrono::milliseconds(100);

/** The most heartbeats one controller can have been sent between `from` and `to`: one at once,
 *  then one a period at the most. */
std::size_t mostBeatsBetween(Clock::time_point from, Clock::time_point to) {
  return 1U + static_cast<std::size_t>((to - from) / kPeriod);
}

/**
 * No heartbeat loop runs once the last controller is gone: the thread count is back where it was
 * before the first was created (on Linux, where the process's threads can be counted).
 */
void expectNoHeartbeatThread([[maybe_unused]] std::size_t threadsBefore) {
#if defined(__linux__)
  EXPECT_EQ(halvern::testing::threadCountSettledAt(threadsBefore, kWaitLimit), threadsBefore)
      << "the heartbeat thread runs on";
#endif
}

/** The process's threads now, where they can be counted (0 elsewhere). */
std::size_t threadsNow() {
#if defined(__linux__)
  return halvern::testing::settledThreadCount();
#else
  return 0;
#endif
}

class OrdexLifecycle : public testing::Test {
 protected:
  void SetUp() override { halvern::test::resetSimulation(); }
  void TearDown() override { halvern::test::resetSimulation(); }
};

// Creates a controller while capturing what it prints on standard output.
std::pair<int32_t, std::string> createCapturing(int32_t deviceId, int32_t frequency) {
  testing::internal::CaptureStdout();
  const int32_t handle = c_Ordex_create(deviceId, frequency);
  return {handle, testing::internal::GetCapturedStdout()};
}

TEST_F(OrdexLifecycle, RejectsArgumentsWithTheirMessages) {
  const bool counted = halvern::test::hasStandinControls();
  const int handlesBefore = counted ? halvern::test::openCanHandleCount() : 0;
  EXPECT_EQ(createCapturing(0, 1000),
            std::make_pair(0, std::string("Device ID out of range [1;63]\n")));
  EXPECT_EQ(createCapturing(64, 1000),
            std::make_pair(0, std::string("Device ID out of range [1;63]\n")));
  // Both wrong: only the device message.
  EXPECT_EQ(createCapturing(64, -1),
            std::make_pair(0, std::string("Device ID out of range [1;63]\n")));
  EXPECT_EQ(createCapturing(1, 20001),
            std::make_pair(0, std::string("Motor frequency out of range [0;20000]\n")));
  EXPECT_EQ(createCapturing(1, -1),
            std::make_pair(0, std::string("Motor frequency out of range [0;20000]\n")));
  if (counted) {
    EXPECT_EQ(halvern::test::openCanHandleCount(), handlesBefore);
  }
  EXPECT_TRUE(halvern::sim::sentFrames().empty());
}

TEST_F(OrdexLifecycle, ReportsARefusedCanDevice) {
  HALVERN_NEEDS_STANDIN();
  halvern::test::setInitializeCanStatus(-1);
  EXPECT_EQ(createCapturing(5, 1000),
            std::make_pair(0, std::string("Ordex could not be initialized\n")));
  EXPECT_TRUE(halvern::sim::sentFrames().empty());
}

TEST_F(OrdexLifecycle, EdgeArgumentsAreAccepted) {
  const auto [handle, printed] = createCapturing(63, 0);
  EXPECT_NE(handle, 0);
  EXPECT_EQ(printed, "");
  c_Ordex_destroy(handle);
}

TEST_F(OrdexLifecycle, CreationConfiguresAllFourMotors) {
  const int32_t handle = c_Ordex_create(5, 15000);
  ASSERT_NE(handle, 0);
  const auto frames = halvern::sim::sentFrames(0x020C0285, kExactId);
  ASSERT_EQ(frames.size(), 4U);
  for (uint8_t motor = 0; motor < 4; ++motor) {
    EXPECT_EQ(frames[motor].length, 8);
    EXPECT_EQ(frames[motor].data, (std::array<uint8_t, 8>{motor, 0x98, 0x3A, 0, 0, 0, 0, 0}));
  }
  c_Ordex_destroy(handle);
}

TEST_F(OrdexLifecycle, HeartbeatFollowsTheEnabledStateEveryHundredMilliseconds) {
  SimOrdex controller(12);
  const auto created = Clock::now();
  const int32_t handle = c_Ordex_create(12, 1000);
  ASSERT_NE(handle, 0);
  const auto sent = [](uint32_t id) { return halvern::sim::sentFrames(id, kExactId).size(); };
  ASSERT_TRUE(waitFor([&] { return sent(0x020C000C) >= 3; }, kWaitLimit));
  const auto enabling = Clock::now();
  halvern::test::setRobotEnabled(true);
  const auto enabledAt = Clock::now();
  ASSERT_TRUE(waitFor([&] { return sent(0x020C004C) >= 3; }, kWaitLimit));
  c_Ordex_destroy(handle);
  const auto destroyed = Clock::now();

  const auto disabled = halvern::sim::sentFrames(0x020C000C, kExactId);
  const auto enabled = halvern::sim::sentFrames(0x020C004C, kExactId);
  // Never more than one a period, however the machine scheduled the loop (one may have been
  // decided just before the enable and sent after it).
  EXPECT_GE(disabled.size(), 3U);
  EXPECT_LE(disabled.size(), mostBeatsBetween(created, enabledAt));
  EXPECT_GE(enabled.size(), 3U);
  EXPECT_LE(enabled.size(), mostBeatsBetween(enabling, destroyed));
  ASSERT_FALSE(disabled.empty());
  ASSERT_FALSE(enabled.empty());
  EXPECT_LT(disabled.back().timestampUs, enabled.front().timestampUs);
  EXPECT_EQ(enabled.front().data, (std::array<uint8_t, 8>{}));

  const auto beats = controller.heartbeats();
  for (std::size_t i = 1; i < beats.size(); ++i) {
    const auto gap = beats[i].at - beats[i - 1].at;
    EXPECT_GE(gap, 90ms);
  }
}

TEST_F(OrdexLifecycle, DestroyStopsTheHeartbeatPromptly) {
  SimOrdex controller(7);
  const std::size_t threads = threadsNow();
  const int32_t handle = c_Ordex_create(7, 1000);
  ASSERT_NE(handle, 0);
  ASSERT_TRUE(waitFor([&] { return !controller.heartbeats().empty(); }, kWaitLimit));
  const auto start = Clock::now();
  c_Ordex_destroy(handle);
  // The loop is woken to stop, not waited out (the limit only tells a hang from a busy machine).
  EXPECT_LT(Clock::now() - start, kWaitLimit);
  const std::size_t atDestroy = controller.heartbeats().size();
  EXPECT_GE(atDestroy, 1U);
  // Once destroy returns no heartbeat follows: no loop is left to send one, and a loop started
  // afresh for another controller serves two rounds without it.
  expectNoHeartbeatThread(threads);
  SimOrdex witness(8);
  const int32_t other = c_Ordex_create(8, 1000);
  ASSERT_TRUE(waitFor([&] { return witness.heartbeats().size() >= 2; }, kWaitLimit));
  EXPECT_EQ(controller.heartbeats().size(), atDestroy);
  c_Ordex_destroy(other);
}

TEST_F(OrdexLifecycle, EachControllerKeepsItsHeartbeatWhenAnotherIsDestroyed) {
  SimOrdex first(5);
  SimOrdex second(6);
  const std::size_t threads = threadsNow();
  const int32_t a = c_Ordex_create(5, 1000);
  const int32_t b = c_Ordex_create(6, 1000);
  ASSERT_NE(a, 0);
  ASSERT_NE(b, 0);
  ASSERT_NE(a, b);
  ASSERT_TRUE(
      waitFor([&] { return first.heartbeats().size() >= 2 && second.heartbeats().size() >= 2; },
              kWaitLimit));
  c_Ordex_destroy(a);
  const std::size_t firstAtDestroy = first.heartbeats().size();
  const std::size_t secondAtDestroy = second.heartbeats().size();
  // One loop serves both: two more rounds for the second, none for the first.
  EXPECT_TRUE(
      waitFor([&] { return second.heartbeats().size() >= secondAtDestroy + 2; }, kWaitLimit));
  EXPECT_EQ(first.heartbeats().size(), firstAtDestroy);
  c_Ordex_destroy(b);
  const std::size_t secondAfter = second.heartbeats().size();
  expectNoHeartbeatThread(threads);
  EXPECT_EQ(second.heartbeats().size(), secondAfter);
}

TEST_F(OrdexLifecycle, DestroyOfAnUnknownHandleReleasesItAnyway) {
  HALVERN_NEEDS_STANDIN();
  const int before = halvern::test::openCanHandleCount();
  c_Ordex_destroy(987654);
  c_Ordex_destroy(0);
  EXPECT_EQ(halvern::test::openCanHandleCount(), before);

  const int32_t handle = c_Ordex_create(9, 1000);
  ASSERT_NE(handle, 0);
  EXPECT_EQ(halvern::test::openCanHandleCount(), before + 1);
  c_Ordex_destroy(handle);
  EXPECT_EQ(halvern::test::openCanHandleCount(), before);
  c_Ordex_destroy(handle);  // twice is harmless
}

TEST_F(OrdexLifecycle, IdentityIsFetchedOnceAndCached) {
  SimOrdex controller(5);
  controller.setIdentity({.firmware = {2, 1, 7}, .hardwareKind = 2, .hardwareVersion = 4});
  const int32_t handle = c_Ordex_create(5, 1000);
  ASSERT_NE(handle, 0);
  EXPECT_EQ(c_Ordex_getID(handle), 5);
  EXPECT_EQ(c_Ordex_getFirmwareVersion(handle), "Firmware Version: [2.1.7]");
  EXPECT_EQ(c_Ordex_getHardwareVersion(handle), "Hardware: Ordex Small, Version: 4");
  EXPECT_EQ(controller.identityRequestCount(), 1);
  EXPECT_EQ(halvern::sim::sentFrames(0x020C0105, kExactId).size(), 1U);
  c_Ordex_destroy(handle);
}

TEST_F(OrdexLifecycle, IdentityTextsCopyIntoCallerBuffers) {
  SimOrdex controller(5);
  controller.setIdentity({.firmware = {2, 1, 7}, .hardwareKind = 2, .hardwareVersion = 4});
  const int32_t handle = c_Ordex_create(5, 1000);
  ASSERT_NE(handle, 0);
  const std::string firmware = "Firmware Version: [2.1.7]";
  std::array<char, 64> text{};
  EXPECT_EQ(c_Ordex_copyFirmwareVersion(handle, text.data(), 64), static_cast<int32_t>(firmware.size()));
  EXPECT_EQ(std::string(text.data()), firmware);
  EXPECT_EQ(c_Ordex_copyHardwareVersion(handle, text.data(), 64), 33);
  EXPECT_EQ(std::string(text.data()), "Hardware: Ordex Small, Version: 4");

  // Too small a buffer keeps a terminated prefix and still reports the whole length; no
  // buffer, or no room, writes nothing.
  std::array<char, 9> small{};
  small.fill('x');
  EXPECT_EQ(c_Ordex_copyFirmwareVersion(handle, small.data(), 9), static_cast<int32_t>(firmware.size()));
  EXPECT_EQ(std::string(small.data()), "Firmware");
  EXPECT_EQ(c_Ordex_copyFirmwareVersion(handle, nullptr, 64), static_cast<int32_t>(firmware.size()));
  small.fill('x');
  EXPECT_EQ(c_Ordex_copyFirmwareVersion(handle, small.data(), 0), static_cast<int32_t>(firmware.size()));
  EXPECT_EQ(small[0], 'x');

  EXPECT_EQ(c_Ordex_copySerialNumber(handle, text.data(), 64), 26);  // 3 x 8 digits, 2 hyphens
  EXPECT_EQ(std::string(text.data()).size(), 26U);
  c_Ordex_destroy(handle);
}

TEST_F(OrdexLifecycle, IdentityGivesUpAfterEightAttemptsWithOneLine) {
  for (const auto behaviour : {IdentityBehaviour::Silent, IdentityBehaviour::ZeroDeviceId}) {
    halvern::test::resetSimulation();
    SimOrdex controller(5);
    controller.setIdentityBehaviour(behaviour);
    const int32_t handle = c_Ordex_create(5, 1000);
    ASSERT_NE(handle, 0);

    testing::internal::CaptureStderr();
    const auto start = Clock::now();
    EXPECT_EQ(c_Ordex_getID(handle), 0);
    const auto elapsed = Clock::now() - start;
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "[Ordex] Device ID could not be obtained (handle=" + std::to_string(handle) +
                  ", deviceID=5)\n");
    EXPECT_EQ(controller.identityRequestCount(), 8);
    EXPECT_GE(elapsed, 1000ms);  // 50 + 75 + ... + 225 ms of waiting
    EXPECT_LT(elapsed, 30s);     // it gives up (the limit only tells a hang from a busy machine)

    // The next identity call tries again, and reports its own failure text.
    testing::internal::CaptureStderr();
    EXPECT_EQ(c_Ordex_getFirmwareVersion(handle), "Firmware Version: (read failed)");
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(controller.identityRequestCount(), 16);
    c_Ordex_destroy(handle);
  }
}

TEST_F(OrdexLifecycle, RecreatingClearsTheIdentityCache) {
  SimOrdex controller(5);
  int32_t handle = c_Ordex_create(5, 1000);
  EXPECT_EQ(c_Ordex_getID(handle), 5);
  c_Ordex_destroy(handle);
  handle = c_Ordex_create(5, 1000);
  EXPECT_EQ(c_Ordex_getHardwareVersion(handle), "Hardware: Ordex Quad, Version: 3");
  EXPECT_EQ(controller.identityRequestCount(), 2);
  c_Ordex_destroy(handle);
}

}  // namespace

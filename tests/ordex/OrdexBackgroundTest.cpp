// What a robot loop calls on an Ordex controller without waiting: the identity fetched in the
// background, timestamped readings and the connection status, through the C face on the
// simulated bus.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "ProcessEntries.h"
#include "RawHal.h"
#include "SimCanBus.h"
#include "SimOrdex.h"
#include "TestPlatform.h"
#include "WaitFor.h"
#include "halvern/Ordex.h"

namespace {

using namespace std::chrono_literals;
using halvern::test::kWaitLimit;
using halvern::test::waitFor;
using Clock = std::chrono::steady_clock;
using halvern::sim::IdentityBehaviour;
using halvern::sim::OrdexTiming;
using halvern::sim::SimOrdex;

constexpr uint32_t kExactId = 0x1FFFFFFF;
constexpr int32_t kDevice = 5;
constexpr uint32_t kIdentityRequestId = 0x020C0100U + kDevice;
constexpr int64_t kSilenceUs = ORDEX_CONNECTION_SILENCE_MS * 1000;

uint32_t idFor(uint32_t api) { return 0x020C0000U + api * 64U + kDevice; }

/** Now on the robot's clock, in microseconds. */
int64_t robotMicros() { return static_cast<int64_t>(halvern::test::rawhal::halMicros()); }

bool identityKnown(int32_t handle) {
  OrdexIdentityInfo identity{};
  return c_Ordex_tryGetIdentity(handle, &identity);
}

class OrdexBackground : public testing::Test {
 protected:
  void SetUp() override { halvern::test::resetSimulation(); }
  void TearDown() override { halvern::test::resetSimulation(); }
};

// --- Identity in the background ------------------------------------------------------------

TEST_F(OrdexBackground, IdentityArrivesWithoutAnyCallerWaiting) {
  SimOrdex controller(kDevice, {OrdexTiming::Manual});
  controller.setIdentity({.firmware = {2, 1, 7}, .hardwareKind = 2, .hardwareVersion = 4});
  const int32_t handle = c_Ordex_create(kDevice, 1000);
  ASSERT_NE(handle, 0);

  OrdexIdentityInfo identity{};
  identity.deviceId = 99;
  EXPECT_FALSE(c_Ordex_tryGetIdentity(handle, &identity));  // nobody asked yet
  EXPECT_EQ(identity.deviceId, 0);
  EXPECT_EQ(controller.identityRequestCount(), 0);

  EXPECT_TRUE(c_Ordex_requestIdentity(handle));
  ASSERT_TRUE(waitFor([&] { return c_Ordex_tryGetIdentity(handle, &identity); }, kWaitLimit));
  EXPECT_EQ(identity.deviceId, kDevice);
  EXPECT_EQ(identity.firmwareMajor, 2);
  EXPECT_EQ(identity.firmwareMinor, 1);
  EXPECT_EQ(identity.firmwarePatch, 7);
  EXPECT_EQ(identity.hardwareKind, 2);
  EXPECT_EQ(identity.hardwareVersion, 4);
  EXPECT_STREQ(identity.firmwareText, "Firmware Version: [2.1.7]");
  EXPECT_STREQ(identity.hardwareText, "Hardware: Ordex Small, Version: 4");

  // The blocking calls serve the same answer from the cache, asking nothing more.
  EXPECT_EQ(c_Ordex_getID(handle), kDevice);
  EXPECT_EQ(c_Ordex_getHardwareVersion(handle), "Hardware: Ordex Small, Version: 4");
  EXPECT_TRUE(c_Ordex_requestIdentity(handle));
  EXPECT_EQ(controller.identityRequestCount(), 1);
  c_Ordex_destroy(handle);

  // Refused: no record, or no controller.
  EXPECT_FALSE(c_Ordex_tryGetIdentity(handle, nullptr));
  EXPECT_FALSE(c_Ordex_tryGetIdentity(handle, &identity));
  EXPECT_FALSE(c_Ordex_requestIdentity(handle));
  EXPECT_FALSE(c_Ordex_requestIdentity(0));
}

TEST_F(OrdexBackground, AnUnknownHardwareKindGivesTheGettersText) {
  SimOrdex controller(kDevice, {OrdexTiming::Manual});
  controller.setIdentity({.reportedDeviceNumber = 9, .firmware = {0, 0, 255}, .hardwareKind = 3});
  const int32_t handle = c_Ordex_create(kDevice, 1000);
  ASSERT_TRUE(c_Ordex_requestIdentity(handle));
  OrdexIdentityInfo identity{};
  ASSERT_TRUE(waitFor([&] { return c_Ordex_tryGetIdentity(handle, &identity); }, kWaitLimit));
  EXPECT_EQ(identity.deviceId, 9);
  EXPECT_STREQ(identity.firmwareText, "Firmware Version: [0.0.255]");
  EXPECT_STREQ(identity.hardwareText, "No Hardware Found!");
  c_Ordex_destroy(handle);
}

TEST_F(OrdexBackground, AnUnansweringControllerLeavesIdentityEmptyQuietlyAndDestroyIsPrompt) {
  for (const auto behaviour : {IdentityBehaviour::Silent, IdentityBehaviour::ZeroDeviceId}) {
    halvern::test::resetSimulation();
    SimOrdex controller(kDevice, {OrdexTiming::Manual});
    controller.setIdentityBehaviour(behaviour);
    SimOrdex witness(kDevice + 1, {OrdexTiming::Manual});
    const int32_t other = c_Ordex_create(kDevice + 1, 1000);

    testing::internal::CaptureStderr();
    const int32_t handle = c_Ordex_create(kDevice, 1000);
    ASSERT_TRUE(c_Ordex_requestIdentity(handle));
    ASSERT_TRUE(waitFor([&] { return controller.identityRequestCount() >= 3; }, kWaitLimit));
    EXPECT_FALSE(identityKnown(handle));

    const auto start = Clock::now();
    c_Ordex_destroy(handle);
    // Woken, not left to finish its wait (the limit only tells a hang from a busy machine).
    EXPECT_LT(Clock::now() - start, kWaitLimit);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // the fetch prints nothing

    // Nothing is asked after destroy: two heartbeats of the other controller later, still none.
    const int asked = controller.identityRequestCount();
    const std::size_t beats = witness.heartbeats().size();
    ASSERT_TRUE(waitFor([&] { return witness.heartbeats().size() >= beats + 2; }, kWaitLimit));
    EXPECT_EQ(controller.identityRequestCount(), asked);
    c_Ordex_destroy(other);
  }
}

TEST_F(OrdexBackground, AfterEightAttemptsItAsksOnceASecondUntilTheControllerAnswers) {
  SimOrdex controller(kDevice, {OrdexTiming::Manual});
  controller.setIdentityBehaviour(IdentityBehaviour::Silent);
  const int32_t handle = c_Ordex_create(kDevice, 1000);
  ASSERT_TRUE(c_Ordex_requestIdentity(handle));
  ASSERT_TRUE(waitFor([&] { return controller.identityRequestCount() >= 10; }, 10s));
  EXPECT_FALSE(identityKnown(handle));

  const auto requests = halvern::sim::sentFrames(kIdentityRequestId, kExactId);
  ASSERT_GE(requests.size(), 10U);
  for (std::size_t i = 1; i < 8; ++i) {  // the first call's pace: 50, 75, ... ms
    EXPECT_GE(requests[i].timestampUs - requests[i - 1].timestampUs, 50'000U + 25'000U * (i - 1));
  }
  for (std::size_t i = 8; i < 10; ++i) {  // then the 225 ms reply wait and a 1 s pause
    EXPECT_GE(requests[i].timestampUs - requests[i - 1].timestampUs, 1'225'000U);
  }

  controller.setIdentityBehaviour(IdentityBehaviour::Answer);  // powered on late
  EXPECT_TRUE(waitFor([&] { return identityKnown(handle); }, kWaitLimit));
  EXPECT_EQ(c_Ordex_getID(handle), kDevice);
  c_Ordex_destroy(handle);
}

// --- The blocking path beside the fetch ------------------------------------------------------

TEST_F(OrdexBackground, TheFirstToGetTheAnswerFillsTheCacheForBoth) {
  SimOrdex controller(kDevice, {OrdexTiming::Manual});
  // Fetch first, blocking call at once: whichever asks, the controller is asked once.
  int32_t handle = c_Ordex_create(kDevice, 1000);
  ASSERT_TRUE(c_Ordex_requestIdentity(handle));
  EXPECT_EQ(c_Ordex_getID(handle), kDevice);
  EXPECT_TRUE(identityKnown(handle));
  EXPECT_EQ(controller.identityRequestCount(), 1);
  c_Ordex_destroy(handle);

  // Blocking call first: a later request finds the answer and starts nothing.
  SimOrdex witness(kDevice + 1, {OrdexTiming::Manual});
  const int32_t other = c_Ordex_create(kDevice + 1, 1000);
  handle = c_Ordex_create(kDevice, 1000);
  EXPECT_FALSE(identityKnown(handle));  // created afresh: the cache was cleared
  EXPECT_EQ(c_Ordex_getFirmwareVersion(handle), "Firmware Version: [1.4.2]");
  EXPECT_TRUE(identityKnown(handle));
  EXPECT_TRUE(c_Ordex_requestIdentity(handle));
  const std::size_t beats = witness.heartbeats().size();
  ASSERT_TRUE(waitFor([&] { return witness.heartbeats().size() >= beats + 2; }, kWaitLimit));
  EXPECT_EQ(controller.identityRequestCount(), 2);
  c_Ordex_destroy(handle);
  c_Ordex_destroy(other);
}

TEST_F(OrdexBackground, TheBlockingCallAndTheFetchNeverAskAtTheSameTime) {
  SimOrdex controller(kDevice, {OrdexTiming::Manual});
  controller.setIdentityBehaviour(IdentityBehaviour::Silent);
  const int32_t handle = c_Ordex_create(kDevice, 1000);
  ASSERT_TRUE(c_Ordex_requestIdentity(handle));
  ASSERT_TRUE(waitFor([&] { return controller.identityRequestCount() >= 2; }, kWaitLimit));

  testing::internal::CaptureStderr();
  const uint64_t callStart = halvern::test::rawhal::halMicros();
  const auto start = Clock::now();
  EXPECT_EQ(c_Ordex_getID(handle), 0);
  const auto elapsed = Clock::now() - start;
  const uint64_t callEnd = halvern::test::rawhal::halMicros();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "[Ordex] Device ID could not be obtained (handle=" + std::to_string(handle) +
                ", deviceID=5)\n");
  EXPECT_GE(elapsed, 1000ms);  // its own eight attempts, whole
  // Let the fetch carry on for a few attempts after the call.
  const int afterCall = controller.identityRequestCount();
  ASSERT_TRUE(waitFor([&] { return controller.identityRequestCount() >= afterCall + 2; }, kWaitLimit));
  c_Ordex_destroy(handle);

  // Each exchange holds the bus from its request until its reply is read, at least 50 ms
  // later: two requests closer than that would be two exchanges interleaved.
  const auto requests = halvern::sim::sentFrames(kIdentityRequestId, kExactId);
  std::vector<uint64_t> duringCall;
  for (std::size_t i = 0; i < requests.size(); ++i) {
    if (requests[i].timestampUs >= callStart && requests[i].timestampUs <= callEnd) {
      duringCall.push_back(requests[i].timestampUs);
    }
    if (i > 0) {
      EXPECT_GE(requests[i].timestampUs - requests[i - 1].timestampUs, 49'000U) << "request " << i;
    }
  }
  ASSERT_GE(duringCall.size(), 8U);
  // The call's eight, and at most one of the fetch's, which may have taken the bus first. The
  // fetch asks again only once the call is done: after the call's last attempt has waited its
  // 225 ms for a reply, however late this thread then reads the end of the call.
  constexpr uint64_t kLastWaitUs = 225'000;
  const auto beforeTheCallIsDone = static_cast<std::size_t>(
      std::count_if(duringCall.begin(), duringCall.end(),
                    [&](uint64_t at) { return at < duringCall[7] + kLastWaitUs; }));
  EXPECT_LE(beforeTheCallIsDone, 9U);
}

// --- Timestamps ------------------------------------------------------------------------------

class OrdexTimestamps : public OrdexBackground {
 protected:
  void SetUp() override {
    OrdexBackground::SetUp();
    handle = c_Ordex_create(kDevice, 1000);
    ASSERT_NE(handle, 0);
  }
  void TearDown() override {
    c_Ordex_destroy(handle);
    OrdexBackground::TearDown();
  }

  // The controller sends a frame; the robot-clock span [from, to] it was stamped in. The
  // HAL may stamp in whole milliseconds, so `from` is rounded down to one.
  struct Sent {
    int64_t from;
    int64_t to;
  };
  static Sent report(uint32_t api, const std::vector<uint8_t>& bytes) {
    const int64_t before = robotMicros();
    halvern::sim::transmitToRobot(idFor(api), bytes);
    return {before / 1000 * 1000, robotMicros()};
  }
  static void expectStampedWithin(const OrdexReading& reading, const Sent& sent) {
    EXPECT_TRUE(reading.received);
    EXPECT_GE(reading.timestampUs, sent.from);
    EXPECT_LE(reading.timestampUs, sent.to);
  }

  int32_t handle = 0;
};

TEST_F(OrdexTimestamps, NothingReceivedReadsZeroAtTimeZero) {
  OrdexReading reading{1.0, 5, true};
  EXPECT_EQ(c_Ordex_readRPM(handle, 1, &reading), &reading);
  EXPECT_FALSE(reading.received);
  EXPECT_EQ(reading.value, 0.0);
  EXPECT_EQ(reading.timestampUs, 0);
  EXPECT_EQ(c_Ordex_readRPM(handle, 1, nullptr), nullptr);
  EXPECT_EQ(c_Ordex_readControllerTemp(handle, nullptr), nullptr);
}

TEST_F(OrdexTimestamps, EachReadingCarriesItsFramesReceiveTime) {
  const Sent rpm = report(43, {0x18, 0xFC, 0xFF, 0xFF});  // motor 2: -10.00 RPM
  const Sent target = report(49, {0xD2, 0x04});           // motor 1: 12.34 RPM
  const Sent count = report(40, {0x10, 0x27});            // encoder 3: 10000
  const Sent temperature = report(47, {36, 25});
  const Sent frequency = report(12, {0x98, 0x3A});
  const Sent switches = report(45, {0, 0, 0, 1});
  const Sent quorin = report(36, {0, 0, 0, 0, 0xD2, 0x04});

  OrdexReading reading{};
  expectStampedWithin(*c_Ordex_readRPM(handle, 2, &reading), rpm);
  EXPECT_DOUBLE_EQ(reading.value, -10.0);
  expectStampedWithin(*c_Ordex_readTargetRPM(handle, 1, &reading), target);
  EXPECT_DOUBLE_EQ(reading.value, 12.34);
  expectStampedWithin(*c_Ordex_readEncoderCount(handle, 3, &reading), count);
  EXPECT_DOUBLE_EQ(reading.value, 10000.0);
  c_Ordex_setEncoder(handle, 3, 0.25);
  expectStampedWithin(*c_Ordex_readEncoderDistance(handle, 3, &reading), count);
  EXPECT_DOUBLE_EQ(reading.value, 2500.0);
  c_Ordex_setEncoder(handle, 3, 1.0);
  expectStampedWithin(*c_Ordex_readControllerTemp(handle, &reading), temperature);
  EXPECT_DOUBLE_EQ(reading.value, 36.25);
  expectStampedWithin(*c_Ordex_readFrequency(handle, &reading), frequency);
  EXPECT_DOUBLE_EQ(reading.value, 15000.0);
  expectStampedWithin(*c_Ordex_readLimitSwitch(handle, 1, true, &reading), switches);
  EXPECT_EQ(reading.value, 1.0);
  expectStampedWithin(*c_Ordex_readLimitSwitch(handle, 1, false, &reading), switches);
  EXPECT_EQ(reading.value, 0.0);
  expectStampedWithin(*c_Ordex_readQuorinPosition(handle, 2, &reading), quorin);
  EXPECT_DOUBLE_EQ(reading.value, 12.34);

  // Read again with nothing new: the same frame, the same stamp, as the plain getters read it.
  const int64_t first = reading.timestampUs;
  EXPECT_EQ(c_Ordex_readQuorinPosition(handle, 2, &reading)->timestampUs, first);
  EXPECT_DOUBLE_EQ(c_Ordex_getQuorinPosition(handle, 2), 12.34);
  EXPECT_DOUBLE_EQ(c_Ordex_getRPM(handle, 2), -10.0);
}

TEST_F(OrdexTimestamps, ChannelsOutsideZeroToThreeReadNothing) {
  report(41, {100});  // motor 0's speed, which the plain getter reads for motor 4
  OrdexReading reading{};
  for (const int8_t channel : {int8_t{4}, int8_t{-1}}) {
    for (auto* filled : {c_Ordex_readRPM(handle, channel, &reading),
                         c_Ordex_readTargetRPM(handle, channel, &reading),
                         c_Ordex_readEncoderCount(handle, channel, &reading),
                         c_Ordex_readEncoderDistance(handle, channel, &reading),
                         c_Ordex_readQuorinPosition(handle, channel, &reading),
                         c_Ordex_readLimitSwitch(handle, channel, false, &reading)}) {
      EXPECT_FALSE(filled->received);
      EXPECT_EQ(filled->timestampUs, 0);
    }
  }
  EXPECT_DOUBLE_EQ(c_Ordex_getRPM(handle, 4), 1.0);
}

TEST_F(OrdexTimestamps, SimulatedStatusFramesAreStampedWhenSentAndIncrease) {
  SimOrdex controller(kDevice, {OrdexTiming::Manual});
  controller.setRpmOverride(0, 12.5);
  int64_t previous = 0;
  for (int round = 0; round < 3; ++round) {
    // A new round only once the clock has moved on, so that the stamps must differ.
    ASSERT_TRUE(waitFor([&] { return robotMicros() / 1000 > previous / 1000; }, kWaitLimit));
    const int64_t before = robotMicros() / 1000 * 1000;
    controller.publishNow();
    const int64_t after = robotMicros();
    OrdexReading rpm{};
    OrdexReading temperature{};
    c_Ordex_readRPM(handle, 0, &rpm);
    c_Ordex_readControllerTemp(handle, &temperature);
    EXPECT_DOUBLE_EQ(rpm.value, 12.5);
    for (const auto& reading : {rpm, temperature}) {
      EXPECT_GE(reading.timestampUs, before);
      EXPECT_LE(reading.timestampUs, after);
      EXPECT_GT(reading.timestampUs, previous);
    }
    previous = rpm.timestampUs;
  }
}

// --- Connection ----------------------------------------------------------------------------

TEST_F(OrdexBackground, ConnectedWhileStatusFramesArriveAndNotAfterTheyStop) {
  SimOrdex controller(kDevice);  // status frames every 20 ms
  const int32_t handle = c_Ordex_create(kDevice, 1000);
  ASSERT_NE(handle, 0);
  ASSERT_TRUE(waitFor([&] { return c_Ordex_isConnected(handle); }, kWaitLimit));

  controller.setStatusSilent(true);
  ASSERT_TRUE(waitFor([&] { return !c_Ordex_isConnected(handle); }, kWaitLimit));
  // It reads disconnected by the rule: the newest status frame is older than the limit.
  OrdexReading newest{};
  c_Ordex_readControllerTemp(handle, &newest);
  EXPECT_GT(robotMicros() - newest.timestampUs, kSilenceUs);

  controller.setStatusSilent(false);
  ASSERT_TRUE(waitFor([&] { return c_Ordex_isConnected(handle); }, kWaitLimit));
  c_Ordex_readControllerTemp(handle, &newest);
  EXPECT_GT(newest.timestampUs, 0);
  c_Ordex_destroy(handle);
  EXPECT_FALSE(c_Ordex_isConnected(handle));
  EXPECT_FALSE(c_Ordex_isConnected(0));
}

TEST_F(OrdexBackground, AnUnpluggedControllerReadsDisconnectedAndAReplugConnected) {
  const int32_t handle = c_Ordex_create(kDevice, 1000);
  EXPECT_FALSE(c_Ordex_isConnected(handle));  // nothing ever arrived
  {
    SimOrdex controller(kDevice);
    ASSERT_TRUE(waitFor([&] { return c_Ordex_isConnected(handle); }, kWaitLimit));
  }  // unplugged
  ASSERT_TRUE(waitFor([&] { return !c_Ordex_isConnected(handle); }, kWaitLimit));
  SimOrdex replugged(kDevice);
  ASSERT_TRUE(waitFor([&] { return c_Ordex_isConnected(handle); }, kWaitLimit));
  c_Ordex_destroy(handle);
}

TEST_F(OrdexBackground, AnyStatusFrameReadCountsAsTraffic) {
  // Only one motor's speed arrives, no temperature frame: once read, it counts.
  const int32_t handle = c_Ordex_create(kDevice, 1000);
  halvern::sim::transmitToRobot(idFor(41), std::vector<uint8_t>{1});
  EXPECT_FALSE(c_Ordex_isConnected(handle));  // not read yet
  OrdexReading reading{};
  c_Ordex_readRPM(handle, 0, &reading);
  ASSERT_TRUE(reading.received);
  const int64_t before = robotMicros();
  const bool connected = c_Ordex_isConnected(handle);
  const int64_t after = robotMicros();
  if (after - reading.timestampUs <= kSilenceUs) {
    EXPECT_TRUE(connected);
  }
  if (before - reading.timestampUs > kSilenceUs) {
    EXPECT_FALSE(connected);  // a loaded machine got here late
  }
  ASSERT_TRUE(waitFor([&] { return !c_Ordex_isConnected(handle); }, kWaitLimit));
  c_Ordex_destroy(handle);
}

// --- Threads ---------------------------------------------------------------------------------

#if defined(__linux__)
TEST_F(OrdexBackground, TwoHundredCyclesWithIdentityFetchesLeaveNoThread) {
  SimOrdex answering(kDevice, {OrdexTiming::Manual});
  SimOrdex silent(kDevice + 1, {OrdexTiming::Manual});
  silent.setIdentityBehaviour(IdentityBehaviour::Silent);
  // One cycle first: the first thread a process starts may bring a helper thread of its own
  // (ThreadSanitizer's), which stays.
  const int32_t first = c_Ordex_create(kDevice, 1000);
  c_Ordex_requestIdentity(first);
  c_Ordex_destroy(first);
  const std::size_t before = halvern::testing::settledThreadCount();
  for (int cycle = 0; cycle < 200; ++cycle) {
    const int32_t device = cycle % 2 == 0 ? kDevice : kDevice + 1;
    const int32_t handle = c_Ordex_create(device, 1000);
    ASSERT_NE(handle, 0);
    ASSERT_TRUE(c_Ordex_requestIdentity(handle));
    if (cycle % 20 == 0) {  // now and then the fetch gets to finish
      ASSERT_TRUE(waitFor([&] { return identityKnown(handle); }, kWaitLimit));
    }
    c_Ordex_destroy(handle);
  }
  EXPECT_EQ(halvern::testing::threadCountSettledAt(before), before);
}
#endif

}  // namespace

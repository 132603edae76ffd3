// A controller's session on its own (internal): its background fetch ends at once when
// stopped, whatever it was waiting for, and its connection rule.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "RawHal.h"
#include "SimCanBus.h"
#include "TestPlatform.h"
#include "WaitFor.h"
#include "ordex/ControllerSession.h"

namespace {

using namespace std::chrono_literals;
using halvern::ordex::ControllerSession;
using halvern::ordex::kStatusSilenceLimit;
using halvern::test::waitFor;

constexpr int32_t kUnregisteredHandle = 424242;
constexpr int32_t kDevice = 5;
constexpr uint32_t kIdentityRequestId = 0x020C0100U + kDevice;

TEST(OrdexControllerSession, StoppingEndsTheFetchInItsPauseAtOnce) {
  halvern::test::resetSimulation();
  // Nobody answers; after one attempt the fetch pauses for an hour. Stopping must wake it: a
  // fetch that slept its pause out would hang here until the test's time limit.
  ControllerSession session(kUnregisteredHandle, kDevice, {.eagerAttempts = 1, .quietPause = 1h});
  session.startFetch();
  session.startFetch();  // a second start does nothing
  ASSERT_TRUE(waitFor(
      [] { return !halvern::sim::sentFrames(kIdentityRequestId, 0x1FFFFFFF).empty(); }, 5s));
  const uint64_t askedAt =
      halvern::sim::sentFrames(kIdentityRequestId, 0x1FFFFFFF).front().timestampUs;
  // Past its 50 ms reply wait: in the pause now (or, on a stalled machine, still in the wait).
  ASSERT_TRUE(waitFor([&] { return halvern::test::rawhal::halMicros() > askedAt + 100'000; }, 5s));
  session.stopFetch();
  session.stopFetch();   // again: nothing left to stop
  session.startFetch();  // a stopped session starts nothing
  EXPECT_EQ(halvern::sim::sentFrames(kIdentityRequestId, 0x1FFFFFFF).size(), 1U);
  halvern::test::resetSimulation();
}

TEST(OrdexControllerSession, ConnectedUntilTheNewestStatusFrameIsOlderThanTheLimit) {
  static_assert(kStatusSilenceLimit <= halvern::kLongestConnectionSilence);
  ControllerSession session(kUnregisteredHandle, kDevice);
  auto& traffic = session.statusTraffic();
  EXPECT_FALSE(traffic.connectedAt(1'000'000));  // nothing ever arrived
  traffic.noteTraffic(1'000'000);
  EXPECT_TRUE(traffic.connectedAt(1'000'000));
  EXPECT_TRUE(traffic.connectedAt(1'100'000));  // exactly 100 ms of silence
  EXPECT_FALSE(traffic.connectedAt(1'100'001));
  traffic.noteTraffic(900'000);  // an older frame read late changes nothing
  EXPECT_FALSE(traffic.connectedAt(1'100'001));
  traffic.noteTraffic(1'050'000);
  EXPECT_TRUE(traffic.connectedAt(1'150'000));
}

}  // namespace

// The simulated CAN bus on the HAL's simulation API: handle reads, raw receives, sends,
// listeners and stream sessions, alone, beside other callbacks on the bus, and with many
// threads at once (the latter meant above all for the ThreadSanitizer build). The robot's side
// makes its calls through the library's platform layer, and those the library never makes
// through the tests' own (RawHal.h), so they run on WPILib 2026 and 2027 as on the stand-in;
// the cases of injected faults need the stand-in, those of several buses WPILib 2027.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <future>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <span>
#include <thread>
#include <vector>

#include "RawHal.h"
#include "SimCanBus.h"
#include "SimClock.h"
#include "SimDystal.h"
#include "SimIridel.h"
#include "TestPlatform.h"
#include "core/HalPlatform.h"

namespace {

namespace platform = halvern::platform;
namespace rawhal = halvern::test::rawhal;

constexpr int32_t kMessageNotFound = platform::kCanMessageNotFound;
constexpr int32_t kHandleError = -1098;  // the stand-in's, for a handle it does not know
constexpr uint32_t kExtendedMask = 0x1FFFFFFFU;
using Bytes = std::array<uint8_t, 8>;

/** Starts and ends every test with a fresh simulation. */
class SimTest : public ::testing::Test {
 protected:
  void SetUp() override { halvern::test::resetSimulation(); }
  void TearDown() override { halvern::test::resetSimulation(); }
};

/** Like SimTest, with a device attached that sends under every identifier: the bus serves every
 *  stream session opened. */
class StreamTest : public SimTest {
 protected:
  halvern::sim::CanSubscription everyIdentifier_ = halvern::sim::subscribeToRobotFrames(
      {0, kExtendedMask}, {0, 0}, [](const halvern::sim::CanFrame&) {});
};

/** Now on the HAL's clock, in the milliseconds the library's reads report. */
uint64_t nowMs() { return rawhal::halMicros() / 1000U; }

class ScopedCanHandle {
 public:
  ScopedCanHandle(int32_t manufacturer, int32_t device, int32_t type)
      : handle_(platform::canInitialize(manufacturer, device, type, status_)) {}
  ~ScopedCanHandle() { platform::canClean(handle_); }
  ScopedCanHandle(const ScopedCanHandle&) = delete;
  ScopedCanHandle& operator=(const ScopedCanHandle&) = delete;

  [[nodiscard]] platform::CanHandle handle() const { return handle_; }
  [[nodiscard]] int32_t status() const { return status_; }

 private:
  int32_t status_ = 0;
  platform::CanHandle handle_;
};

class ScopedStreamSession {
 public:
  ScopedStreamSession(uint32_t id, uint32_t mask, uint32_t depth)
      : handle_(platform::canOpenStream(id, mask, depth, status_)) {}
  ~ScopedStreamSession() { platform::canCloseStream(handle_); }
  ScopedStreamSession(const ScopedStreamSession&) = delete;
  ScopedStreamSession& operator=(const ScopedStreamSession&) = delete;

  [[nodiscard]] platform::CanStreamHandle handle() const { return handle_; }
  [[nodiscard]] int32_t status() const { return status_; }

 private:
  int32_t status_ = 0;
  platform::CanStreamHandle handle_;
};

struct PacketRead {
  int32_t status = 1;
  platform::CanFrame frame;
  [[nodiscard]] uint8_t first() const { return frame.data[0]; }
};

PacketRead readLatest(platform::CanHandle handle, int32_t apiId) {
  PacketRead read;
  read.status = platform::canReadLatest(handle, apiId, read.frame);
  return read;
}

PacketRead readNew(platform::CanHandle handle, int32_t apiId) {
  PacketRead read;
  read.status = platform::canReadNew(handle, apiId, read.frame);
  return read;
}

PacketRead receive(uint32_t id, uint32_t mask = kExtendedMask) {
  PacketRead read;
  read.status = platform::canReceive(id, mask, read.frame);
  return read;
}

struct StreamRead {
  int32_t status = 1;
  std::vector<platform::CanFrame> messages;
};

StreamRead readStream(platform::CanStreamHandle session, uint32_t capacity) {
  StreamRead read;
  read.messages.resize(capacity);
  uint32_t count = 0;
  read.status = platform::canReadStream(session, read.messages, count);
  read.messages.resize(count);
  return read;
}

void transmit(uint32_t id, std::initializer_list<uint8_t> bytes) {
  const std::vector<uint8_t> data(bytes);
  halvern::sim::transmitToRobot(id, data);
}

int32_t send(uint32_t id, std::initializer_list<uint8_t> bytes) {
  const std::vector<uint8_t> data(bytes);
  return platform::canSend(id, data);
}

constexpr int32_t kManufacturer = 12;
constexpr int32_t kDeviceType = 2;
constexpr int32_t kDevice = 5;
constexpr int32_t kApi = 2;
constexpr uint32_t kDeviceFrame = halvern::sim::canId(kDeviceType, kManufacturer, kApi, kDevice);
static_assert(kDeviceFrame == 0x020C0085U);

using HalCanApi = SimTest;
using HalCanSend = SimTest;
using HalCanReceive = SimTest;
using HalCanStream = StreamTest;
using HalCanSensorSessions = SimTest;  // no device attached to serve the sessions
using HalCanFaults = StreamTest;

// A frame answers one receive: the handle that read it keeps a copy that "latest" returns,
// another handle of the same device finds nothing new.
TEST_F(HalCanApi, LatestAlwaysAnswersWhileNewAnswersOncePerArrival) {
  ScopedCanHandle device(kManufacturer, kDevice, kDeviceType);
  ScopedCanHandle otherReader(kManufacturer, kDevice, kDeviceType);
  ASSERT_EQ(device.status(), 0);
  ASSERT_NE(device.handle(), platform::kInvalidCanHandle);
  ASSERT_NE(device.handle(), otherReader.handle());

  for (const PacketRead& never :
       {readLatest(device.handle(), kApi), readNew(device.handle(), kApi)}) {
    EXPECT_EQ(never.status, kMessageNotFound);
    EXPECT_EQ(never.frame.length, 0);
  }

  const uint64_t before = nowMs();
  transmit(kDeviceFrame, {1, 2, 3});
  const PacketRead latest = readLatest(device.handle(), kApi);
  ASSERT_EQ(latest.status, 0);
  EXPECT_EQ(latest.frame.length, 3);
  EXPECT_EQ(latest.frame.data, (Bytes{1, 2, 3, 0, 0, 0, 0, 0}));
  EXPECT_GE(latest.frame.timestampMs, before);
  EXPECT_LE(latest.frame.timestampMs, nowMs());

  // Reading the latest frame counts as reading it, for every handle.
  EXPECT_EQ(readNew(device.handle(), kApi).status, kMessageNotFound);
  EXPECT_EQ(readNew(otherReader.handle(), kApi).status, kMessageNotFound);
  EXPECT_EQ(readLatest(device.handle(), kApi).first(), 1);

  transmit(kDeviceFrame, {4});
  const PacketRead fresh = readNew(device.handle(), kApi);
  ASSERT_EQ(fresh.status, 0);
  EXPECT_EQ(fresh.frame.length, 1);
  EXPECT_EQ(fresh.first(), 4);
  EXPECT_EQ(readNew(device.handle(), kApi).status, kMessageNotFound);
  EXPECT_EQ(readLatest(device.handle(), kApi).first(), 4);
}

// Frames carry the HAL's own time, which the HAL judges a frame's age by: in the milliseconds
// the library reads (WPILib 2027 reports microseconds, the platform layer milliseconds), and in
// microseconds in the bus's own log of what the robot sent.
TEST_F(HalCanApi, FramesAreStampedOnTheHalClock) {
  ScopedCanHandle device(kManufacturer, kDevice, kDeviceType);
  const auto listener = halvern::sim::subscribeToRobotFrames(
      kDeviceFrame, kExtendedMask, [](const halvern::sim::CanFrame&) {});
  ScopedStreamSession session(kDeviceFrame, kExtendedMask, 4);
  ASSERT_EQ(session.status(), 0);

  const uint64_t before = rawhal::halMicros();
  transmit(kDeviceFrame, {1});
  ASSERT_EQ(send(kDeviceFrame, {2}), 0);
  const uint64_t after = rawhal::halMicros();

  const auto sent = halvern::sim::sentFrames(kDeviceFrame, kExtendedMask);
  ASSERT_EQ(sent.size(), 1U);
  EXPECT_GE(sent[0].timestampUs, before);
  EXPECT_LE(sent[0].timestampUs, after);
  const StreamRead queued = readStream(session.handle(), 4);
  ASSERT_EQ(queued.messages.size(), 1U);
  EXPECT_GE(queued.messages[0].timestampMs, before / 1000U);
  EXPECT_LE(queued.messages[0].timestampMs, after / 1000U);
  const PacketRead read = readNew(device.handle(), kApi);
  ASSERT_EQ(read.status, 0);
  EXPECT_GE(read.frame.timestampMs, before / 1000U);
  EXPECT_LE(read.frame.timestampMs, after / 1000U);
}

// While the simulation's timing is paused, the HAL's clock stands still: a frame arriving then
// is stamped with the paused time, so the HAL's own read with a time-out takes it as fresh.
TEST_F(HalCanApi, AFreshFrameIsFreshToTheHalsTimedReadWhileTimingIsPaused) {
  const rawhal::PausedHalClock paused;
  ScopedCanHandle device(kManufacturer, kDevice, kDeviceType);
  if (!paused.active()) {
    GTEST_SKIP() << "the stand-in's clock cannot be paused and it has no read with a time-out";
  }
  platform::CanFrame frame;
  const uint64_t frozenMs = rawhal::halMicros() / 1000U;
  std::this_thread::sleep_for(std::chrono::milliseconds(30));  // real time passes, HAL time not
  transmit(kDeviceFrame, {7});
  const std::optional<int32_t> status = rawhal::readTimeout(device.handle(), kApi, 10, frame);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0) << "a frame just received counted as older than 10 ms";
  EXPECT_EQ(frame.data[0], 7);
  EXPECT_EQ(frame.timestampMs, frozenMs);
}

TEST_F(HalCanApi, HandleSeesOnlyItsOwnDeviceIdentifiers) {
  ScopedCanHandle device(kManufacturer, kDevice, kDeviceType);
  ScopedCanHandle neighbour(kManufacturer, kDevice + 1, kDeviceType);
  ScopedCanHandle otherMaker(kManufacturer + 1, kDevice, kDeviceType);
  ScopedCanHandle otherType(kManufacturer, kDevice, kDeviceType + 1);

  transmit(0x020C0085U, {0x42});
  EXPECT_EQ(readLatest(device.handle(), kApi).first(), 0x42);
  EXPECT_EQ(readLatest(device.handle(), kApi + 1).status, kMessageNotFound);
  for (const auto* other : {&neighbour, &otherMaker, &otherType}) {
    EXPECT_EQ(readLatest(other->handle(), kApi).status, kMessageNotFound);
  }

  transmit(halvern::sim::canId(kDeviceType, kManufacturer, kApi, kDevice + 1), {0x43});
  EXPECT_EQ(readLatest(neighbour.handle(), kApi).first(), 0x43);
  EXPECT_EQ(readLatest(device.handle(), kApi).first(), 0x42);
}

TEST_F(HalCanApi, CleanedHandleIsForgottenAndTouchesNothing) {
  HALVERN_NEEDS_STANDIN();
  const int before = halvern::test::openCanHandleCount();
  std::optional<ScopedCanHandle> device(std::in_place, kManufacturer, kDevice, kDeviceType);
  const platform::CanHandle handle = device->handle();
  EXPECT_EQ(halvern::test::openCanHandleCount(), before + 1);
  transmit(kDeviceFrame, {9});
  device.reset();
  platform::canClean(handle);  // already gone: ignored
  EXPECT_EQ(halvern::test::openCanHandleCount(), before);
  const PacketRead read = readLatest(handle, kApi);
  EXPECT_EQ(read.status, kHandleError);
  EXPECT_EQ(read.frame.length, 0);
}

TEST_F(HalCanSend, LogsEveryFrameAndDeliversMatchingOnes) {
  auto heard = std::make_shared<std::vector<halvern::sim::CanFrame>>();
  const auto subscription = halvern::sim::subscribeToRobotFrames(
      0x02000000U, 0x1F000000U, [heard](const halvern::sim::CanFrame& f) { heard->push_back(f); });

  EXPECT_EQ(send(0x02001234U, {1, 2}), 0);
  EXPECT_EQ(send(0x03001234U, {3}), 0);
  EXPECT_EQ(send(0x3FFFFFFFU, {}), 0);  // a bit above the identifier's 29
  const std::array<uint8_t, 9> tooLong{};
  const int32_t status = rawhal::send(0x02000001U, tooLong);  // no frame, on any HAL
  if (halvern::test::hasStandinControls()) {
    EXPECT_NE(status, 0);  // the stand-in also says so
  }

  const auto sent = halvern::sim::sentFrames();
  ASSERT_EQ(sent.size(), 3U);
  EXPECT_EQ(sent[0].id, 0x02001234U);
  EXPECT_EQ(sent[0].length, 2);
  EXPECT_EQ(sent[0].data[1], 2);
  EXPECT_EQ(sent[2].id, 0x1FFFFFFFU);  // identifiers are 29 bits
  EXPECT_EQ(halvern::sim::sentFrames(0x03000000U, 0x1F000000U).size(), 1U);

  ASSERT_EQ(heard->size(), 1U);
  EXPECT_EQ(heard->front().id, 0x02001234U);
  EXPECT_EQ(heard->front().data[0], 1);

  halvern::sim::clearSentFrames();
  EXPECT_TRUE(halvern::sim::sentFrames().empty());
}

// The devices here speak extended data frames. A remote request (what a handle's RTR write
// sends) or a standard (11-bit) frame under the same bits is another frame altogether (WPILib
// 2026 and 2027 mark them with different bits): no device here hears it, the log does not show
// it, and a receive of one is not answered with a device's extended frame.
TEST_F(HalCanSend, RemoteAndStandardFramesAreNotTheDevicesFrames) {
  if (halvern::test::hasStandinControls()) {
    GTEST_SKIP() << "the stand-in's HAL clears the remote and standard bits before its callbacks";
  }
  auto heard = std::make_shared<int>(0);
  const auto everything = halvern::sim::subscribeToRobotFrames(
      {0, 0}, {kDeviceFrame, kExtendedMask}, [heard](const halvern::sim::CanFrame&) { ++*heard; });
  const Bytes payload{1, 2, 3, 4, 5, 6, 7, 8};
  for (const uint32_t flag : {rawhal::remoteFrameFlag(), rawhal::standardFrameFlag()}) {
    EXPECT_EQ(rawhal::send(kDeviceFrame | flag, payload), 0);
  }
  EXPECT_EQ(*heard, 0);
  EXPECT_TRUE(halvern::sim::sentFrames().empty());

  EXPECT_EQ(rawhal::send(kDeviceFrame, payload), 0);
  EXPECT_EQ(*heard, 1);
}

TEST_F(HalCanReceive, AStandardIdentifierIsNotAnsweredWithAnExtendedFrame) {
  transmit(kDeviceFrame, {0x42});
  EXPECT_EQ(receive(kDeviceFrame | rawhal::standardFrameFlag()).status, kMessageNotFound);
  EXPECT_EQ(receive(kDeviceFrame).first(), 0x42);  // still unread: the standard receive took none
}

using HalCanBuses = SimTest;

// WPILib 2027 names a bus in every call. A simulated device hears only its own bus (bus 0 here):
// what the robot program sends, receives or streams on another bus is other devices' business,
// and so are CAN FD frames and frames longer than a classic frame's 8 bytes.
TEST_F(HalCanBuses, OnlyClassicFramesOnBusZeroAreTheDevicesFrames) {
  if (!rawhal::hasBusesAndFd()) {
    GTEST_SKIP() << "WPILib 2026 and the stand-in have one bus and no CAN FD frames";
  }
  auto heard = std::make_shared<int>(0);
  const auto everything = halvern::sim::subscribeToRobotFrames(
      {0, 0}, {kDeviceFrame, kExtendedMask}, [heard](const halvern::sim::CanFrame&) { ++*heard; });
  const Bytes payload{1, 2, 3, 4, 5, 6, 7, 8};
  const std::array<uint8_t, 12> longer{};
  EXPECT_EQ(rawhal::sendOn(1, kDeviceFrame, payload, false), 0);
  EXPECT_EQ(rawhal::sendOn(0, kDeviceFrame, payload, true), 0);
  EXPECT_EQ(rawhal::sendOn(0, kDeviceFrame, longer, false), 0);
  EXPECT_EQ(*heard, 0);
  EXPECT_TRUE(halvern::sim::sentFrames().empty());
  EXPECT_EQ(rawhal::sendOn(0, kDeviceFrame, payload, false), 0);
  EXPECT_EQ(*heard, 1);

  transmit(kDeviceFrame, {0x42});
  EXPECT_EQ(rawhal::receiveOn(1, kDeviceFrame), kMessageNotFound);
  EXPECT_EQ(receive(kDeviceFrame).first(), 0x42);  // bus 0's frame was left unread

  const int sessions = halvern::sim::openStreamSessionCount();
  EXPECT_EQ(rawhal::openStreamOn(1, kDeviceFrame, kExtendedMask, 4), 0);
  EXPECT_EQ(halvern::sim::openStreamSessionCount(), sessions);
  const int32_t onBusZero = rawhal::openStreamOn(0, kDeviceFrame, kExtendedMask, 4);
  EXPECT_GT(onBusZero, 0);  // the HAL's stream handles are signed there; the bus's positive
  platform::canCloseStream(static_cast<platform::CanStreamHandle>(onBusZero));
  EXPECT_EQ(halvern::sim::openStreamSessionCount(), sessions);
}

TEST_F(HalCanSend, ListenerStopsWhenItsSubscriptionIsReplacedOrDestroyed) {
  auto firstCalls = std::make_shared<int>(0);
  auto secondCalls = std::make_shared<int>(0);
  auto subscription = halvern::sim::subscribeToRobotFrames(
      0x100, kExtendedMask, [firstCalls](const halvern::sim::CanFrame&) { ++*firstCalls; });
  send(0x100, {});
  subscription = halvern::sim::subscribeToRobotFrames(
      0x100, kExtendedMask, [secondCalls](const halvern::sim::CanFrame&) { ++*secondCalls; });
  send(0x100, {});
  EXPECT_EQ(*firstCalls, 1);
  EXPECT_EQ(*secondCalls, 1);

  { const halvern::sim::CanSubscription moved = std::move(subscription); }
  send(0x100, {});
  EXPECT_EQ(*secondCalls, 1);
}

TEST_F(HalCanSend, ListenerAnswerIsReadableWhenTheSendReturns) {
  constexpr int32_t kRequestApi = 5;
  constexpr int32_t kReplyApi = 6;
  const auto responder = halvern::sim::subscribeToRobotFrames(
      halvern::sim::canId(kDeviceType, kManufacturer, kRequestApi, kDevice), kExtendedMask,
      [](const halvern::sim::CanFrame& request) {
        const std::array<uint8_t, 2> reply{request.data[0], 0x99};
        halvern::sim::transmitToRobot(halvern::sim::canId(kDeviceType, kManufacturer, kReplyApi, kDevice),
                                reply);
      });
  ScopedCanHandle device(kManufacturer, kDevice, kDeviceType);

  ASSERT_EQ(send(halvern::sim::canId(kDeviceType, kManufacturer, kRequestApi, kDevice), {7}), 0);
  const PacketRead reply = readNew(device.handle(), kReplyApi);
  ASSERT_EQ(reply.status, 0);
  EXPECT_EQ(reply.frame.length, 2);
  EXPECT_EQ(reply.frame.data[0], 7);
  EXPECT_EQ(reply.frame.data[1], 0x99);
}

TEST_F(HalCanSend, UnsubscribingDuringDeliveryNeitherWaitsNorBreaksTheCall) {
  auto calls = std::make_shared<std::atomic<int>>(0);
  auto entered = std::make_shared<std::promise<void>>();
  auto enteredFuture = entered->get_future();
  auto release = std::make_shared<std::promise<void>>();
  std::shared_future<void> released = release->get_future().share();
  std::optional<halvern::sim::CanSubscription> subscription = halvern::sim::subscribeToRobotFrames(
      0x100, kExtendedMask, [calls, entered, released](const halvern::sim::CanFrame&) {
        if (calls->fetch_add(1) == 0) {
          entered->set_value();
          released.wait();
        }
      });

  std::thread sender([] { send(0x100, {}); });
  enteredFuture.wait();
  subscription.reset();  // the listener is running on the sender's thread right now
  release->set_value();
  sender.join();

  send(0x100, {});
  EXPECT_EQ(calls->load(), 1);
}

TEST_F(HalCanReceive, ReturnsTheNewestUnreadFrameOfAnIdentifierOnce) {
  transmit(0x100, {1});
  transmit(0x101, {2});
  transmit(0x100, {3});  // replaces the first: a receive gives the newest

  const PacketRead newest = receive(0x100);
  ASSERT_EQ(newest.status, 0);
  EXPECT_EQ(newest.frame.messageId, 0x100U);
  EXPECT_EQ(newest.first(), 3);
  EXPECT_EQ(newest.frame.length, 1);
  EXPECT_LE(newest.frame.timestampMs, nowMs());
  const PacketRead none = receive(0x100);
  EXPECT_EQ(none.status, kMessageNotFound);
  EXPECT_EQ(none.frame.length, 0);
  EXPECT_EQ(receive(0x101).first(), 2);  // another identifier's frame is its own

  transmit(0x100, {4});  // a new frame under a returned identifier is returned again
  EXPECT_EQ(receive(0x100).first(), 4);
}

TEST_F(HalCanReceive, ReturnsNewestMatchingFrameOnlyOnce) {
  if (rawhal::hasBusesAndFd()) {
    GTEST_SKIP() << "WPILib 2027 receives by exact identifier only, without a mask";
  }
  constexpr uint32_t kMask = 0x1FFFFF00U;  // 0x1xx
  transmit(0x100, {1});
  transmit(0x101, {2});
  transmit(0x200, {3});

  const PacketRead newest = receive(0x100, kMask);
  ASSERT_EQ(newest.status, 0);
  EXPECT_EQ(newest.frame.messageId, 0x101U);
  EXPECT_EQ(newest.first(), 2);
  EXPECT_EQ(newest.frame.length, 1);
  EXPECT_EQ(receive(0x100, kMask).first(), 1);
  EXPECT_EQ(receive(0x100, kMask).status, kMessageNotFound);
  EXPECT_EQ(receive(0x200, kMask).first(), 3);

  transmit(0x100, {4});  // a new frame under a returned identifier is returned again
  EXPECT_EQ(receive(0x100, kMask).first(), 4);
}

TEST_F(HalCanStream, QueuesLaterMatchingFramesOldestFirstUntilClosed) {
  const int before = halvern::sim::openStreamSessionCount();
  transmit(0x301, {0});  // before the session opens: not queued
  std::optional<ScopedStreamSession> session(std::in_place, 0x300, 0x1FFFFFF0U, 8);
  ASSERT_EQ(session->status(), 0);
  const platform::CanStreamHandle handle = session->handle();
  ASSERT_NE(handle, 0U);
  EXPECT_EQ(halvern::sim::openStreamSessionCount(), before + 1);
  transmit(0x301, {1});
  transmit(0x400, {9});
  transmit(0x302, {2});
  transmit(0x303, {3});

  const StreamRead first = readStream(handle, 2);
  EXPECT_EQ(first.status, 0);
  ASSERT_EQ(first.messages.size(), 2U);
  EXPECT_EQ(first.messages[0].messageId, 0x301U);
  EXPECT_EQ(first.messages[0].data[0], 1);
  EXPECT_EQ(first.messages[0].length, 1);
  EXPECT_EQ(first.messages[1].messageId, 0x302U);

  const StreamRead rest = readStream(handle, 8);
  ASSERT_EQ(rest.messages.size(), 1U);
  EXPECT_EQ(rest.messages[0].messageId, 0x303U);

  const StreamRead none = readStream(handle, 8);
  EXPECT_TRUE(none.messages.empty());
  EXPECT_EQ(none.status, kMessageNotFound);

  transmit(0x301, {4});
  session.reset();
  platform::canCloseStream(handle);  // already closed: ignored
  EXPECT_EQ(halvern::sim::openStreamSessionCount(), before);
  // Nobody answers for it any more: no frames, and not the bus's "nothing queued" either (the
  // status stays as the read began).
  const StreamRead closed = readStream(handle, 8);
  EXPECT_TRUE(closed.messages.empty());
  EXPECT_EQ(closed.status, 0);
}

// A robot program makes its sensors (and opens their sessions) before its simulation: the
// sensors' simulators claim their families' sessions for the bus before one of them exists.
TEST_F(HalCanSensorSessions, AreTheBussBeforeTheirSimulatorsExist) {
  constexpr uint32_t kFamilyMask = 0x1FFF0000;
  ScopedStreamSession distances(0x06090000, kFamilyMask, 8);
  ScopedStreamSession colours(0x04090000, kFamilyMask, 8);
  ASSERT_EQ(distances.status(), 0);
  ASSERT_EQ(colours.status(), 0);

  halvern::sim::SimDystalCan distanceSensor(5);
  halvern::sim::SimIridelCan colourSensor;
  distanceSensor.sendChunk(1, 0, 10, 11, 12);
  colourSensor.sendColor(1, 0.5F, 0.25F, 0.125F);

  const StreamRead distanceFrames = readStream(distances.handle(), 8);
  ASSERT_EQ(distanceFrames.messages.size(), 1U);
  EXPECT_EQ(distanceFrames.messages[0].messageId, 0x06090045U);  // chunk frame, CAN ID 5
  const StreamRead colourFrames = readStream(colours.handle(), 8);
  ASSERT_EQ(colourFrames.messages.size(), 1U);
  EXPECT_EQ(colourFrames.messages[0].messageId, 0x04090540U);  // colour frame
}

TEST_F(HalCanStream, OverflowKeepsNewestAndReportsOverrunOnce) {
  ScopedStreamSession session(0x500, kExtendedMask, 3);
  for (uint8_t i = 1; i <= 5; ++i) {
    transmit(0x500, {i});
  }
  const StreamRead overrun = readStream(session.handle(), 10);
  EXPECT_EQ(overrun.status, platform::kCanStreamOverrun);
  ASSERT_EQ(overrun.messages.size(), 3U);
  EXPECT_EQ(overrun.messages[0].data[0], 3);
  EXPECT_EQ(overrun.messages[2].data[0], 5);

  transmit(0x500, {6});
  const StreamRead next = readStream(session.handle(), 10);
  EXPECT_EQ(next.status, 0);
  EXPECT_EQ(next.messages.size(), 1U);
}

TEST_F(HalCanFaults, InjectedStatusRefusesInitSendAndStreamOpen) {
  HALVERN_NEEDS_STANDIN();
  auto heard = std::make_shared<int>(0);
  const auto subscription =
      halvern::sim::subscribeToRobotFrames(0, 0, [heard](const halvern::sim::CanFrame&) { ++*heard; });
  const int handles = halvern::test::openCanHandleCount();
  const int sessions = halvern::sim::openStreamSessionCount();
  halvern::test::setInitializeCanStatus(-7);
  halvern::test::setSendStatus(-9);
  halvern::test::setStreamOpenStatus(-3);

  const ScopedCanHandle device(kManufacturer, kDevice, kDeviceType);
  EXPECT_EQ(device.handle(), platform::kInvalidCanHandle);
  EXPECT_EQ(device.status(), -7);
  EXPECT_EQ(send(0x100, {1}), -9);
  const ScopedStreamSession session(0x100, kExtendedMask, 4);
  EXPECT_EQ(session.status(), -3);
  EXPECT_EQ(session.handle(), 0U);
  EXPECT_EQ(halvern::test::openCanHandleCount(), handles);
  EXPECT_EQ(halvern::sim::openStreamSessionCount(), sessions);
  EXPECT_TRUE(halvern::sim::sentFrames().empty());
  EXPECT_EQ(*heard, 0);

  halvern::test::setInitializeCanStatus(0);
  halvern::test::setSendStatus(0);
  EXPECT_NE(ScopedCanHandle(kManufacturer, kDevice, kDeviceType).handle(),
            platform::kInvalidCanHandle);
  EXPECT_EQ(send(0x100, {1}), 0);
  EXPECT_EQ(*heard, 1);
}

TEST_F(HalCanStream, ResetForgetsTrafficAndFaultsButKeepsHandlesAndSessions) {
  ScopedCanHandle device(kManufacturer, kDevice, kDeviceType);
  ScopedStreamSession session(kDeviceFrame, kExtendedMask, 4);
  transmit(kDeviceFrame, {1});
  send(0x100, {});
  halvern::test::setRobotEnabled(true);
  if (halvern::test::hasStandinControls()) {
    halvern::test::setSendStatus(-1);
  }

  EXPECT_TRUE(platform::systemActive());

  halvern::test::resetSimulation();
  EXPECT_FALSE(platform::systemActive());
  EXPECT_TRUE(halvern::sim::sentFrames().empty());
  EXPECT_EQ(readNew(device.handle(), kApi).status, kMessageNotFound);
  EXPECT_EQ(readStream(session.handle(), 4).status, kMessageNotFound);
  EXPECT_EQ(send(0x100, {}), 0);

  transmit(kDeviceFrame, {2});
  EXPECT_EQ(readNew(device.handle(), kApi).first(), 2);
  EXPECT_EQ(readStream(session.handle(), 4).messages.size(), 1U);
}

// Other vendors' device models share the bus: each answers its own identifiers, every send
// reaches every callback, and what nobody answers is "not found".
TEST_F(HalCanReceive, OtherCallbacksOnTheBusKeepTheirOwnIdentifiers) {
  auto other = std::make_unique<rawhal::ForeignCanModel>(0x0777, 0x77);
  auto ours = std::make_shared<int>(0);
  const auto device = halvern::sim::subscribeToRobotFrames(
      kDeviceFrame, kExtendedMask, [ours](const halvern::sim::CanFrame&) { ++*ours; });

  transmit(kDeviceFrame, {0x42});
  EXPECT_EQ(receive(0x0777).status, 0);
  EXPECT_EQ(receive(0x0777).first(), 0x77);
  EXPECT_EQ(receive(kDeviceFrame).first(), 0x42);
  EXPECT_EQ(receive(0x0888).status, kMessageNotFound);
  EXPECT_EQ(other->answered(), 2);

  send(kDeviceFrame, {1});
  send(0x0777, {2});
  EXPECT_EQ(other->heard(), (std::vector<uint32_t>{kDeviceFrame, 0x0777}));
  EXPECT_EQ(*ours, 1);

  // A session on identifiers no device here sends is left to the others: nothing answers it.
  const int sessions = halvern::sim::openStreamSessionCount();
  int32_t status = 0;
  const platform::CanStreamHandle session =
      platform::canOpenStream(0x0777, kExtendedMask, 4, status);
  EXPECT_EQ(session, 0U);
  EXPECT_EQ(halvern::sim::openStreamSessionCount(), sessions);
  other.reset();
  EXPECT_EQ(receive(0x0777).status, kMessageNotFound);
}

using HalCanPeriodic = SimTest;

// A task may end itself from its run while it owns a device: the device then goes with the
// task, on the status thread, and leaves the bus as it goes.
TEST_F(HalCanPeriodic, TaskEndingItselfTakesTheDeviceItOwnsOffTheBus) {
  struct Owned {
    halvern::sim::CanSubscription subscription;
    std::promise<void> gone;
    ~Owned() {
      subscription = halvern::sim::CanSubscription();
      gone.set_value();
    }
  };
  struct Slot {
    std::mutex mutex;
    halvern::sim::PeriodicTask task;
  };
  auto heard = std::make_shared<std::atomic<int>>(0);
  auto owned = std::shared_ptr<Owned>(new Owned{
      halvern::sim::subscribeToRobotFrames(
          0x100, kExtendedMask, [heard](const halvern::sim::CanFrame&) { heard->fetch_add(1); }),
      {}});
  std::future<void> gone = owned->gone.get_future();
  auto slot = std::make_shared<Slot>();
  auto released = std::make_shared<std::atomic<bool>>(false);
  {
    const std::scoped_lock lock(slot->mutex);  // a first run waits until the task is in its slot
    slot->task =
        halvern::sim::schedulePeriodic(std::chrono::milliseconds(1), [slot, owned, released] {
          if (!released->load()) {
            return;  // the test still holds the device
          }
          halvern::sim::PeriodicTask ending;
          const std::scoped_lock runLock(slot->mutex);
          std::swap(ending, slot->task);
        });
  }
  send(0x100, {});
  owned.reset();
  slot.reset();
  released->store(true);  // the task alone holds the device now

  ASSERT_EQ(gone.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  send(0x100, {});
  EXPECT_EQ(heard->load(), 1);
}

// A program keeps its device models in its own static objects, made before the bus: at exit the
// bus goes first, and they then leave it without touching what is gone (the ASan build sees it
// if not). The program starts afresh, so nothing made the bus earlier.
TEST(HalCanExitDeathTest, DeviceHeldByAProgramStaticLeavesCleanlyAfterTheBusWent) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        static halvern::sim::CanSubscription subscription;
        static halvern::sim::PeriodicTask task;
        subscription = halvern::sim::subscribeToRobotFrames(
            0x100, kExtendedMask, [](const halvern::sim::CanFrame&) {});
        task = halvern::sim::schedulePeriodic(std::chrono::milliseconds(1), [] {});
        std::exit(send(0x100, {}) == 0 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

using HalConcurrency = SimTest;

TEST_F(HalConcurrency, SendersReadersAndSubscriptionChurnShareTheBus) {
  constexpr int32_t kReplyApi = 1;
  constexpr uint32_t kRequest = halvern::sim::canId(kDeviceType, kManufacturer, 0, kDevice);
  constexpr uint32_t kReply = halvern::sim::canId(kDeviceType, kManufacturer, kReplyApi, kDevice);
  constexpr int kSends = 2000;

  auto answered = std::make_shared<std::atomic<int>>(0);
  const auto responder = halvern::sim::subscribeToRobotFrames(
      {kRequest, kExtendedMask}, {kReply, kExtendedMask},
      [answered](const halvern::sim::CanFrame& request) {
        halvern::sim::transmitToRobot(kReply, std::span(request.data.data(), request.length));
        answered->fetch_add(1);
      });
  ScopedCanHandle device(kManufacturer, kDevice, kDeviceType);
  ScopedStreamSession session(kReply, kExtendedMask, 16);
  std::atomic<bool> stop{false};
  // All three threads are running before the first frame goes out. A spinning gate, as
  // std::latch can miss its wake-up where libstdc++ 12 has no futex to wait on (Windows).
  std::atomic<int> notStarted{3};
  const auto arriveAndWait = [&notStarted] {
    notStarted.fetch_sub(1);
    while (notStarted.load() > 0) {
      std::this_thread::yield();
    }
  };

  std::thread sender([&] {
    arriveAndWait();
    for (int i = 0; i < kSends; ++i) {
      const std::array<uint8_t, 2> data{static_cast<uint8_t>(i & 0xFF),
                                        static_cast<uint8_t>(i >> 8)};
      EXPECT_EQ(platform::canSend(kRequest, data), 0);
    }
  });
  std::thread reader([&] {
    arriveAndWait();
    while (!stop.load()) {
      readLatest(device.handle(), kReplyApi);
      readNew(device.handle(), kReplyApi);
      readStream(session.handle(), 4);
      receive(kReply);
    }
  });
  std::thread churn([&] {
    auto heard = std::make_shared<std::atomic<int>>(0);
    arriveAndWait();
    while (!stop.load()) {
      const auto subscription = halvern::sim::subscribeToRobotFrames(
          kRequest, kExtendedMask, [heard](const halvern::sim::CanFrame&) { heard->fetch_add(1); });
      static_cast<void>(halvern::sim::sentFrames(kRequest, kExtendedMask));
    }
  });

  sender.join();
  stop.store(true);
  reader.join();
  churn.join();

  EXPECT_EQ(answered->load(), kSends);
  EXPECT_EQ(halvern::sim::sentFrames(kRequest, kExtendedMask).size(), static_cast<std::size_t>(kSends));
  // The reader may have taken the last reply with its raw receive; the next one is the handle's.
  ASSERT_EQ(send(kRequest, {0x5A, 0xA5}), 0);
  const PacketRead last = readLatest(device.handle(), kReplyApi);
  ASSERT_EQ(last.status, 0);
  EXPECT_EQ(last.frame.data[0], 0x5A);
  EXPECT_EQ(last.frame.data[1], 0xA5);
}

}  // namespace

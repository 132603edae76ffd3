// The simulated CAN bus on the HAL's simulation API: handle reads, raw receives, sends,
// listeners and stream sessions, alone, beside other callbacks on the bus, and with many
// threads at once (the latter meant above all for the ThreadSanitizer build). They run on
// WPILib's HAL as on the stand-in; the cases of injected faults need the stand-in.
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

#include "hal/CAN.h"
#include "hal/CANAPI.h"
#include "hal/HALBase.h"
#include "SimCanBus.h"
#include "SimClock.h"
#include "TestPlatform.h"
#include "hal/simulation/CanData.h"

namespace {

constexpr int32_t kMessageNotFound = HAL_ERR_CANSessionMux_MessageNotFound;
constexpr int32_t kHandleError = -1098;
constexpr uint32_t kExtendedMask = 0x1FFFFFFFU;
// Reads go into outputs filled with this, so a test can see what a call left untouched.
constexpr uint8_t kUntouched = 0xEE;
const std::array<uint8_t, 8> kAllUntouched{kUntouched, kUntouched, kUntouched, kUntouched,
                                           kUntouched, kUntouched, kUntouched, kUntouched};

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

/** Now on the simulation's clock, in the milliseconds receives report. */
uint64_t nowMs() { return halvern::sim::simMicros() / 1000U; }

class ScopedCanHandle {
 public:
  ScopedCanHandle(int32_t manufacturer, int32_t device, int32_t type)
      : handle_(HAL_InitializeCAN(static_cast<HAL_CANManufacturer>(manufacturer), device,
                                  static_cast<HAL_CANDeviceType>(type), &status_)) {}
  ~ScopedCanHandle() { HAL_CleanCAN(handle_); }
  ScopedCanHandle(const ScopedCanHandle&) = delete;
  ScopedCanHandle& operator=(const ScopedCanHandle&) = delete;

  [[nodiscard]] HAL_CANHandle handle() const { return handle_; }
  [[nodiscard]] int32_t status() const { return status_; }

 private:
  int32_t status_ = 0;
  HAL_CANHandle handle_;
};

class ScopedStreamSession {
 public:
  ScopedStreamSession(uint32_t id, uint32_t mask, uint32_t depth) {
    HAL_CAN_OpenStreamSession(&handle_, id, mask, depth, &status_);
  }
  ~ScopedStreamSession() { HAL_CAN_CloseStreamSession(handle_); }
  ScopedStreamSession(const ScopedStreamSession&) = delete;
  ScopedStreamSession& operator=(const ScopedStreamSession&) = delete;

  [[nodiscard]] uint32_t handle() const { return handle_; }
  [[nodiscard]] int32_t status() const { return status_; }

 private:
  uint32_t handle_ = 0;
  int32_t status_ = 1;
};

struct PacketRead {
  int32_t status = 1;
  std::array<uint8_t, 8> data = kAllUntouched;
  int32_t length = -1;
  uint64_t timestampMs = 0;
};

PacketRead readLatest(HAL_CANHandle handle, int32_t apiId) {
  PacketRead read;
  HAL_ReadCANPacketLatest(handle, apiId, read.data.data(), &read.length, &read.timestampMs,
                          &read.status);
  return read;
}

PacketRead readNew(HAL_CANHandle handle, int32_t apiId) {
  PacketRead read;
  HAL_ReadCANPacketNew(handle, apiId, read.data.data(), &read.length, &read.timestampMs,
                       &read.status);
  return read;
}

struct StreamRead {
  int32_t status = 1;
  std::vector<HAL_CANStreamMessage> messages;
};

StreamRead readStream(uint32_t session, uint32_t capacity) {
  StreamRead read;
  read.messages.resize(capacity);
  uint32_t count = 0;
  HAL_CAN_ReadStreamSession(session, read.messages.data(), capacity, &count, &read.status);
  read.messages.resize(count);
  return read;
}

void transmit(uint32_t id, std::initializer_list<uint8_t> bytes) {
  const std::vector<uint8_t> data(bytes);
  halvern::sim::transmitToRobot(id, data);
}

int32_t send(uint32_t id, std::initializer_list<uint8_t> bytes) {
  const std::vector<uint8_t> data(bytes);
  int32_t status = 0;
  HAL_CAN_SendMessage(id, data.data(), static_cast<uint8_t>(data.size()),
                      HAL_CAN_SEND_PERIOD_NO_REPEAT, &status);
  return status;
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
using HalCanFaults = StreamTest;

// A frame answers one receive: the handle that read it keeps a copy that "latest" returns,
// another handle of the same device finds nothing new.
TEST_F(HalCanApi, LatestAlwaysAnswersWhileNewAnswersOncePerArrival) {
  ScopedCanHandle device(kManufacturer, kDevice, kDeviceType);
  ScopedCanHandle otherReader(kManufacturer, kDevice, kDeviceType);
  ASSERT_EQ(device.status(), 0);
  ASSERT_NE(device.handle(), HAL_kInvalidHandle);
  ASSERT_NE(device.handle(), otherReader.handle());

  for (const PacketRead& never :
       {readLatest(device.handle(), kApi), readNew(device.handle(), kApi)}) {
    EXPECT_EQ(never.status, kMessageNotFound);
    EXPECT_EQ(never.data, kAllUntouched);
  }

  const uint64_t before = nowMs();
  transmit(kDeviceFrame, {1, 2, 3});
  const PacketRead latest = readLatest(device.handle(), kApi);
  ASSERT_EQ(latest.status, 0);
  EXPECT_EQ(latest.length, 3);
  EXPECT_EQ(latest.data, (std::array<uint8_t, 8>{1, 2, 3, kUntouched, kUntouched, kUntouched,
                                                 kUntouched, kUntouched}));
  EXPECT_GE(latest.timestampMs, before);
  EXPECT_LE(latest.timestampMs, nowMs());

  // Reading the latest frame counts as reading it, for every handle.
  EXPECT_EQ(readNew(device.handle(), kApi).status, kMessageNotFound);
  EXPECT_EQ(readNew(otherReader.handle(), kApi).status, kMessageNotFound);
  EXPECT_EQ(readLatest(device.handle(), kApi).data[0], 1);

  transmit(kDeviceFrame, {4});
  const PacketRead fresh = readNew(device.handle(), kApi);
  ASSERT_EQ(fresh.status, 0);
  EXPECT_EQ(fresh.length, 1);
  EXPECT_EQ(fresh.data[0], 4);
  EXPECT_EQ(readNew(device.handle(), kApi).status, kMessageNotFound);
  EXPECT_EQ(readLatest(device.handle(), kApi).data[0], 4);
}

TEST_F(HalCanApi, HandleSeesOnlyItsOwnDeviceIdentifiers) {
  ScopedCanHandle device(kManufacturer, kDevice, kDeviceType);
  ScopedCanHandle neighbour(kManufacturer, kDevice + 1, kDeviceType);
  ScopedCanHandle otherMaker(kManufacturer + 1, kDevice, kDeviceType);
  ScopedCanHandle otherType(kManufacturer, kDevice, kDeviceType + 1);

  transmit(0x020C0085U, {0x42});
  EXPECT_EQ(readLatest(device.handle(), kApi).data[0], 0x42);
  EXPECT_EQ(readLatest(device.handle(), kApi + 1).status, kMessageNotFound);
  for (const auto* other : {&neighbour, &otherMaker, &otherType}) {
    EXPECT_EQ(readLatest(other->handle(), kApi).status, kMessageNotFound);
  }

  transmit(halvern::sim::canId(kDeviceType, kManufacturer, kApi, kDevice + 1), {0x43});
  EXPECT_EQ(readLatest(neighbour.handle(), kApi).data[0], 0x43);
  EXPECT_EQ(readLatest(device.handle(), kApi).data[0], 0x42);
}

TEST_F(HalCanApi, CleanedHandleIsForgottenAndTouchesNothing) {
  HALVERN_NEEDS_STANDIN();
  const int before = halvern::test::openCanHandleCount();
  std::optional<ScopedCanHandle> device(std::in_place, kManufacturer, kDevice, kDeviceType);
  const HAL_CANHandle handle = device->handle();
  EXPECT_EQ(halvern::test::openCanHandleCount(), before + 1);
  transmit(kDeviceFrame, {9});
  device.reset();
  HAL_CleanCAN(handle);  // already gone: ignored
  EXPECT_EQ(halvern::test::openCanHandleCount(), before);
  const PacketRead read = readLatest(handle, kApi);
  EXPECT_EQ(read.status, kHandleError);
  EXPECT_EQ(read.data, kAllUntouched);
  EXPECT_EQ(read.length, -1);
}

TEST_F(HalCanSend, LogsEveryFrameAndDeliversMatchingOnes) {
  auto heard = std::make_shared<std::vector<halvern::sim::CanFrame>>();
  const auto subscription = halvern::sim::subscribeToRobotFrames(
      0x02000000U, 0x1F000000U, [heard](const halvern::sim::CanFrame& f) { heard->push_back(f); });

  EXPECT_EQ(send(0x02001234U, {1, 2}), 0);
  EXPECT_EQ(send(0x03001234U, {3}), 0);
  EXPECT_EQ(send(0xFFFFFFFFU, {}), 0);
  const std::array<uint8_t, 9> tooLong{};
  int32_t status = 0;
  HAL_CAN_SendMessage(0x02000001U, tooLong.data(), 9, 0, &status);  // no frame, on either HAL
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
  EXPECT_EQ(reply.length, 2);
  EXPECT_EQ(reply.data[0], 7);
  EXPECT_EQ(reply.data[1], 0x99);
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

TEST_F(HalCanReceive, ReturnsNewestMatchingFrameOnlyOnce) {
  struct Received {
    int32_t status = 1;
    uint32_t id = 0x100;  // matches 0x1xx under the mask below
    std::array<uint8_t, 8> data = kAllUntouched;
    uint8_t size = 0;
    uint32_t timestampMs = 0;
  };
  const auto receive = [] {
    Received got;
    HAL_CAN_ReceiveMessage(&got.id, 0x1FFFFF00U, got.data.data(), &got.size, &got.timestampMs,
                           &got.status);
    EXPECT_LE(got.timestampMs, nowMs());
    return got;
  };
  transmit(0x100, {1});
  transmit(0x101, {2});
  transmit(0x200, {3});

  const Received newest = receive();
  ASSERT_EQ(newest.status, 0);
  EXPECT_EQ(newest.id, 0x101U);
  EXPECT_EQ(newest.data[0], 2);
  EXPECT_EQ(newest.size, 1);
  EXPECT_EQ(receive().data[0], 1);
  const Received none = receive();
  EXPECT_EQ(none.status, kMessageNotFound);
  EXPECT_EQ(none.id, 0x100U);
  EXPECT_EQ(none.data, kAllUntouched);

  transmit(0x100, {4});  // a new frame under a returned identifier is returned again
  EXPECT_EQ(receive().data[0], 4);
}

TEST_F(HalCanStream, QueuesLaterMatchingFramesOldestFirstUntilClosed) {
  const int before = halvern::sim::openStreamSessionCount();
  transmit(0x301, {0});  // before the session opens: not queued
  std::optional<ScopedStreamSession> session(std::in_place, 0x300, 0x1FFFFFF0U, 8);
  ASSERT_EQ(session->status(), 0);
  const uint32_t handle = session->handle();
  ASSERT_NE(handle, 0U);
  EXPECT_EQ(halvern::sim::openStreamSessionCount(), before + 1);
  transmit(0x301, {1});
  transmit(0x400, {9});
  transmit(0x302, {2});
  transmit(0x303, {3});

  const StreamRead first = readStream(handle, 2);
  EXPECT_EQ(first.status, 0);
  ASSERT_EQ(first.messages.size(), 2U);
  EXPECT_EQ(first.messages[0].messageID, 0x301U);
  EXPECT_EQ(first.messages[0].data[0], 1);
  EXPECT_EQ(first.messages[0].dataSize, 1);
  EXPECT_EQ(first.messages[1].messageID, 0x302U);

  const StreamRead rest = readStream(handle, 8);
  ASSERT_EQ(rest.messages.size(), 1U);
  EXPECT_EQ(rest.messages[0].messageID, 0x303U);

  const StreamRead none = readStream(handle, 8);
  EXPECT_TRUE(none.messages.empty());
  EXPECT_EQ(none.status, kMessageNotFound);

  transmit(0x301, {4});
  session.reset();
  HAL_CAN_CloseStreamSession(handle);  // already closed: ignored
  EXPECT_EQ(halvern::sim::openStreamSessionCount(), before);
  const StreamRead closed = readStream(handle, 8);  // nobody answers for it any more
  EXPECT_TRUE(closed.messages.empty());
  EXPECT_EQ(closed.status, 1);
}

TEST_F(HalCanStream, OverflowKeepsNewestAndReportsOverrunOnce) {
  ScopedStreamSession session(0x500, kExtendedMask, 3);
  for (uint8_t i = 1; i <= 5; ++i) {
    transmit(0x500, {i});
  }
  const StreamRead overrun = readStream(session.handle(), 10);
  EXPECT_EQ(overrun.status, HAL_ERR_CANSessionMux_SessionOverrun);
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
  EXPECT_EQ(device.handle(), HAL_kInvalidHandle);
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
  EXPECT_NE(ScopedCanHandle(kManufacturer, kDevice, kDeviceType).handle(), HAL_kInvalidHandle);
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

  EXPECT_NE(HAL_GetSystemActive(nullptr), 0);

  halvern::test::resetSimulation();
  EXPECT_EQ(HAL_GetSystemActive(nullptr), 0);
  EXPECT_TRUE(halvern::sim::sentFrames().empty());
  EXPECT_EQ(readNew(device.handle(), kApi).status, kMessageNotFound);
  EXPECT_EQ(readStream(session.handle(), 4).status, kMessageNotFound);
  EXPECT_EQ(send(0x100, {}), 0);

  transmit(kDeviceFrame, {2});
  EXPECT_EQ(readNew(device.handle(), kApi).data[0], 2);
  EXPECT_EQ(readStream(session.handle(), 4).messages.size(), 1U);
}

// Other vendors' device models share the bus: each answers its own identifiers, every send
// reaches every callback, and what nobody answers is "not found".
TEST_F(HalCanReceive, OtherCallbacksOnTheBusKeepTheirOwnIdentifiers) {
  struct OtherVendor {
    static void onReceive(const char* /*name*/, void* param, uint32_t* messageID,
                          uint32_t /*mask*/, uint8_t* data, uint8_t* dataSize, uint32_t* timeStamp,
                          int32_t* status) {
      if (*messageID != 0x0777) {
        return;  // not its identifier
      }
      data[0] = 0x77;
      *dataSize = 1;
      *timeStamp = 0;
      *status = 0;
      ++static_cast<OtherVendor*>(param)->answered;
    }
    static void onSend(const char* /*name*/, void* param, uint32_t messageID,
                       const uint8_t* /*data*/, uint8_t /*dataSize*/, int32_t /*periodMs*/,
                       int32_t* /*status*/) {
      static_cast<OtherVendor*>(param)->heard.push_back(messageID);
    }
    int answered = 0;
    std::vector<uint32_t> heard;
  } other;
  const int32_t receiveUid = HALSIM_RegisterCanReceiveMessageCallback(&OtherVendor::onReceive, &other);
  const int32_t sendUid = HALSIM_RegisterCanSendMessageCallback(&OtherVendor::onSend, &other);
  auto ours = std::make_shared<int>(0);
  const auto device = halvern::sim::subscribeToRobotFrames(
      kDeviceFrame, kExtendedMask, [ours](const halvern::sim::CanFrame&) { ++*ours; });

  const auto receive = [](uint32_t id) {
    std::array<uint8_t, 8> data{};
    uint8_t size = 0;
    uint32_t timestamp = 0;
    int32_t status = 0;
    HAL_CAN_ReceiveMessage(&id, kExtendedMask, data.data(), &size, &timestamp, &status);
    return std::pair(status, data[0]);
  };
  transmit(kDeviceFrame, {0x42});
  EXPECT_EQ(receive(0x0777), std::pair(0, uint8_t{0x77}));
  EXPECT_EQ(receive(kDeviceFrame), std::pair(0, uint8_t{0x42}));
  EXPECT_EQ(receive(0x0888).first, kMessageNotFound);
  EXPECT_EQ(other.answered, 1);

  send(kDeviceFrame, {1});
  send(0x0777, {2});
  EXPECT_EQ(other.heard, (std::vector<uint32_t>{kDeviceFrame, 0x0777}));
  EXPECT_EQ(*ours, 1);

  // A session on identifiers no device here sends is left to the others: nothing answers it.
  uint32_t session = 0xABCD;
  int32_t status = 5;
  HAL_CAN_OpenStreamSession(&session, 0x0777, kExtendedMask, 4, &status);
  EXPECT_EQ(session, 0xABCDU);
  EXPECT_EQ(status, 5);
  HALSIM_CancelCanReceiveMessageCallback(receiveUid);
  HALSIM_CancelCanSendMessageCallback(sendUid);
  EXPECT_EQ(receive(0x0777).first, kMessageNotFound);
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
      int32_t status = 0;
      HAL_CAN_SendMessage(kRequest, data.data(), 2, 0, &status);
      EXPECT_EQ(status, 0);
    }
  });
  std::thread reader([&] {
    arriveAndWait();
    while (!stop.load()) {
      readLatest(device.handle(), kReplyApi);
      readNew(device.handle(), kReplyApi);
      readStream(session.handle(), 4);
      uint32_t id = kReply;
      std::array<uint8_t, 8> data{};
      uint8_t size = 0;
      uint32_t timestamp = 0;
      int32_t status = 0;
      HAL_CAN_ReceiveMessage(&id, kExtendedMask, data.data(), &size, &timestamp, &status);
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
  EXPECT_EQ(last.data[0], 0x5A);
  EXPECT_EQ(last.data[1], 0xA5);
}

}  // namespace

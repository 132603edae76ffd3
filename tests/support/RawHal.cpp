#include "RawHal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <iterator>

#include "SimClock.h"
#include "SimHal.h"

#if __has_include(<halsim/SimControl.h>)
#define HALVERN_TEST_STANDIN 1
#else
#define HALVERN_TEST_STANDIN 0
#if HALVERN_SIM_WPILIB_2027
#include "wpi/hal/simulation/MockHooks.h"
#else
#include "hal/simulation/MockHooks.h"
#endif
#endif

namespace halvern::test::rawhal {
namespace {

constexpr std::size_t kLongestMessage = 64;

void only2027() {
  if (!hasBusesAndFd()) {
    ADD_FAILURE() << "WPILib 2027 only: check hasBusesAndFd() first";
  }
}

ForeignCanModel* model(void* param) { return static_cast<ForeignCanModel*>(param); }

#if HALVERN_SIM_WPILIB_2027
void onForeignSend(const char* /*name*/, void* param, int32_t busId, uint32_t messageId,
                   const HAL_CANMessage* /*message*/, int32_t /*periodMs*/, int32_t* /*status*/) {
  if (busId == 0) {
    model(param)->onSend(messageId);
  }
}
void onForeignReceive(const char* /*name*/, void* param, int32_t busId, uint32_t messageId,
                      HAL_CANReceiveMessage* message, int32_t* status) {
  if (busId != 0 || !model(param)->onReceive(messageId)) {
    return;  // not its identifier
  }
  message->message.data[0] = model(param)->answer();
  message->message.dataSize = 1;
  message->timeStamp = 0;
  *status = 0;
}
#else
void onForeignSend(const char* /*name*/, void* param, uint32_t messageID, const uint8_t* /*data*/,
                   uint8_t /*dataSize*/, int32_t /*periodMs*/, int32_t* /*status*/) {
  model(param)->onSend(messageID);
}
void onForeignReceive(const char* /*name*/, void* param, uint32_t* messageID, uint32_t /*mask*/,
                      uint8_t* data, uint8_t* dataSize, uint32_t* timeStamp, int32_t* status) {
  if (!model(param)->onReceive(*messageID)) {
    return;  // not its identifier
  }
  data[0] = model(param)->answer();
  *dataSize = 1;
  *timeStamp = 0;
  *status = 0;
}
#endif

}  // namespace

uint32_t remoteFrameFlag() { return HAL_CAN_IS_FRAME_REMOTE; }
uint32_t standardFrameFlag() { return HAL_CAN_IS_FRAME_11BIT; }

bool hasBusesAndFd() { return HALVERN_SIM_WPILIB_2027 != 0; }

int32_t send(uint32_t id, std::span<const uint8_t> data, int32_t periodMs) {
  int32_t status = 0;
  const std::size_t size = std::min(data.size(), kLongestMessage);
#if HALVERN_SIM_WPILIB_2027
  HAL_CANMessage message{};
  message.flags = HAL_CAN_NO_FLAGS;
  message.dataSize = static_cast<uint8_t>(size);
  std::copy_n(data.begin(), size, std::begin(message.data));
  HAL_CAN_SendMessage(0, id, &message, periodMs, &status);
#else
  std::array<uint8_t, kLongestMessage> bytes{};
  std::copy_n(data.begin(), size, bytes.begin());
  HAL_CAN_SendMessage(id, bytes.data(), static_cast<uint8_t>(size), periodMs, &status);
#endif
  return status;
}

int32_t sendOn([[maybe_unused]] int32_t bus, [[maybe_unused]] uint32_t id,
               [[maybe_unused]] std::span<const uint8_t> data, [[maybe_unused]] bool fd) {
  only2027();
  int32_t status = 0;
#if HALVERN_SIM_WPILIB_2027
  const std::size_t size = std::min(data.size(), kLongestMessage);
  HAL_CANMessage message{};
  message.flags = fd ? HAL_CAN_FD_DATALENGTH : HAL_CAN_NO_FLAGS;
  message.dataSize = static_cast<uint8_t>(size);
  std::copy_n(data.begin(), size, std::begin(message.data));
  HAL_CAN_SendMessage(bus, id, &message, 0, &status);
#endif
  return status;
}

int32_t receiveOn([[maybe_unused]] int32_t bus, [[maybe_unused]] uint32_t id) {
  only2027();
  int32_t status = 0;
#if HALVERN_SIM_WPILIB_2027
  HAL_CANReceiveMessage message{};
  HAL_CAN_ReceiveMessage(bus, id, &message, &status);
#endif
  return status;
}

int32_t openStreamOn([[maybe_unused]] int32_t bus, [[maybe_unused]] uint32_t id,
                     [[maybe_unused]] uint32_t mask, [[maybe_unused]] uint32_t depth) {
  only2027();
  int32_t handle = 0;
#if HALVERN_SIM_WPILIB_2027
  int32_t status = 0;
  handle = HAL_CAN_OpenStreamSession(bus, id, mask, depth, &status);
  if (status != 0) {
    handle = 0;
  }
#endif
  return handle;
}

std::optional<int32_t> readTimeout([[maybe_unused]] platform::CanHandle handle,
                                   [[maybe_unused]] int32_t apiId,
                                   [[maybe_unused]] int32_t timeoutMs, platform::CanFrame& frame) {
  frame = platform::CanFrame{};
#if HALVERN_TEST_STANDIN
  return std::nullopt;
#else
  int32_t status = 0;
#if HALVERN_SIM_WPILIB_2027
  HAL_CANReceiveMessage message{};
  HAL_ReadCANPacketTimeout(handle, apiId, &message, timeoutMs, &status);
  if (status == 0) {
    frame.length = std::min<uint8_t>(message.message.dataSize, platform::kCanFrameBytes);
    std::copy_n(std::begin(message.message.data), frame.length, frame.data.begin());
    frame.timestampMs = message.timeStamp / 1000U;
  }
#else
  int32_t length = 0;
  uint64_t timestampMs = 0;
  HAL_ReadCANPacketTimeout(handle, apiId, frame.data.data(), &length, &timestampMs, timeoutMs,
                           &status);
  if (status == 0) {
    frame.length = static_cast<uint8_t>(std::clamp<int32_t>(length, 0, 8));
    frame.timestampMs = timestampMs;
  }
#endif
  return status;
#endif
}

uint64_t halMicros() { return sim::simhal::halMicros(); }

PausedHalClock::PausedHalClock() {
#if !HALVERN_TEST_STANDIN
  HALSIM_PauseTiming();
  active_ = true;
#endif
}

PausedHalClock::~PausedHalClock() {
#if !HALVERN_TEST_STANDIN
  HALSIM_ResumeTiming();
#endif
}

ForeignCanModel::ForeignCanModel(uint32_t id, uint8_t answer) : id_(id), answer_(answer) {
  sim::startSimulation();
  receiveUid_ = HALSIM_RegisterCanReceiveMessageCallback(&onForeignReceive, this);
  sendUid_ = HALSIM_RegisterCanSendMessageCallback(&onForeignSend, this);
  registered_ = true;
}

ForeignCanModel::~ForeignCanModel() { leave(); }

void ForeignCanModel::leave() {
  if (registered_) {
    HALSIM_CancelCanReceiveMessageCallback(receiveUid_);
    HALSIM_CancelCanSendMessageCallback(sendUid_);
    registered_ = false;
  }
}

int ForeignCanModel::answered() const {
  const std::scoped_lock lock(mutex_);
  return answered_;
}

std::vector<uint32_t> ForeignCanModel::heard() const {
  const std::scoped_lock lock(mutex_);
  return heard_;
}

void ForeignCanModel::onSend(uint32_t id) {
  const std::scoped_lock lock(mutex_);
  heard_.push_back(id);
}

bool ForeignCanModel::onReceive(uint32_t id) {
  if (id != id_) {
    return false;
  }
  const std::scoped_lock lock(mutex_);
  ++answered_;
  return true;
}

}  // namespace halvern::test::rawhal

// The raw CAN calls on WPILib 2027's HAL: each names a bus; messages are structs of up to 64
// bytes with flags, CAN FD among them.
#include <algorithm>
#include <iterator>

#include "RawHal.h"
#include "SimHal.h"

namespace halvern::test::rawhal {
namespace {

ForeignCanModel* model(void* param) { return static_cast<ForeignCanModel*>(param); }

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

}  // namespace

bool hasBusesAndFd() { return true; }

int32_t send(uint32_t id, std::span<const uint8_t> data, int32_t periodMs) {
  int32_t status = 0;
  const std::size_t size = std::min(data.size(), kLongestMessage);
  HAL_CANMessage message{};
  message.flags = HAL_CAN_NO_FLAGS;
  message.dataSize = static_cast<uint8_t>(size);
  std::copy_n(data.begin(), size, std::begin(message.data));
  HAL_CAN_SendMessage(0, id, &message, periodMs, &status);
  return status;
}

int32_t sendOn(int32_t bus, uint32_t id, std::span<const uint8_t> data, bool fd) {
  int32_t status = 0;
  const std::size_t size = std::min(data.size(), kLongestMessage);
  HAL_CANMessage message{};
  message.flags = fd ? HAL_CAN_FD_DATALENGTH : HAL_CAN_NO_FLAGS;
  message.dataSize = static_cast<uint8_t>(size);
  std::copy_n(data.begin(), size, std::begin(message.data));
  HAL_CAN_SendMessage(bus, id, &message, 0, &status);
  return status;
}

int32_t receiveOn(int32_t bus, uint32_t id) {
  int32_t status = 0;
  HAL_CANReceiveMessage message{};
  HAL_CAN_ReceiveMessage(bus, id, &message, &status);
  return status;
}

int32_t openStreamOn(int32_t bus, uint32_t id, uint32_t mask, uint32_t depth) {
  int32_t status = 0;
  const int32_t handle = HAL_CAN_OpenStreamSession(bus, id, mask, depth, &status);
  return status == 0 ? handle : 0;
}

detail::CallbackIds detail::registerForeignModel(ForeignCanModel& foreign) {
  return {HALSIM_RegisterCanReceiveMessageCallback(&onForeignReceive, &foreign),
          HALSIM_RegisterCanSendMessageCallback(&onForeignSend, &foreign)};
}

}  // namespace halvern::test::rawhal

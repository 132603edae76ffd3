// The raw CAN calls on WPILib 2026's HAL and the stand-in's: one bus, classic frames only, the
// payload a byte array with a length.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "RawHal.h"
#include "SimHal.h"

namespace halvern::test::rawhal {
namespace {

int32_t only2027() {
  ADD_FAILURE() << "WPILib 2027 only: check hasBusesAndFd() first";
  return 0;
}

ForeignCanModel* model(void* param) { return static_cast<ForeignCanModel*>(param); }

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

}  // namespace

bool hasBusesAndFd() { return false; }

int32_t send(uint32_t id, std::span<const uint8_t> data, int32_t periodMs) {
  int32_t status = 0;
  const std::size_t size = std::min(data.size(), kLongestMessage);
  std::array<uint8_t, kLongestMessage> bytes{};
  std::copy_n(data.begin(), size, bytes.begin());
  HAL_CAN_SendMessage(id, bytes.data(), static_cast<uint8_t>(size), periodMs, &status);
  return status;
}

int32_t sendOn(int32_t /*bus*/, uint32_t /*id*/, std::span<const uint8_t> /*data*/, bool /*fd*/) {
  return only2027();
}

int32_t receiveOn(int32_t /*bus*/, uint32_t /*id*/) { return only2027(); }

int32_t openStreamOn(int32_t /*bus*/, uint32_t /*id*/, uint32_t /*mask*/, uint32_t /*depth*/) {
  return only2027();
}

detail::CallbackIds detail::registerForeignModel(ForeignCanModel& foreign) {
  return {HALSIM_RegisterCanReceiveMessageCallback(&onForeignReceive, &foreign),
          HALSIM_RegisterCanSendMessageCallback(&onForeignSend, &foreign)};
}

}  // namespace halvern::test::rawhal

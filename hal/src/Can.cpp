// Raw CAN: every call goes to the simulation's CAN callbacks (hal/simulation/CanData.h), where
// device models answer. Sessions and received frames are the models' business: with no model
// answering, a receive reports "message not found" and the other calls leave their outputs as
// they were, as in WPILib's simulation.
#include "hal/CAN.h"

#include <mutex>

#include "SimState.h"
#include "hal/simulation/CanData.h"

namespace {

using namespace halsim::detail;

// WPILib's simulation marks a receive no callback answered by this data size.
constexpr uint8_t kUnansweredDataSize = 42;

CanBus& can() { return simState().can; }

}  // namespace

extern "C" {

void HAL_CAN_SendMessage(uint32_t messageID, const uint8_t* data, uint8_t dataSize,
                         int32_t periodMs, int32_t* status) {
  {
    std::scoped_lock lock(can().mutex);
    if (can().sendStatus != 0) {  // a fault: the frame is dropped
      setStatus(status, can().sendStatus);
      return;
    }
  }
  if (dataSize > kMaxCanDataBytes || (data == nullptr && dataSize > 0)) {
    setStatus(status, kParameterOutOfRange);
    return;
  }
  int32_t ignored = 0;
  can().sendCallbacks.call("SendMessage", messageID & kExtendedIdMask, data, dataSize, periodMs,
                           status == nullptr ? &ignored : status);
}

void HAL_CAN_ReceiveMessage(uint32_t* messageID, uint32_t messageIDMask, uint8_t* data,
                            uint8_t* dataSize, uint32_t* timeStamp, int32_t* status) {
  if (messageID == nullptr || data == nullptr || dataSize == nullptr || timeStamp == nullptr ||
      status == nullptr) {
    setStatus(status, kParameterOutOfRange);
    return;
  }
  *dataSize = kUnansweredDataSize;
  const int32_t before = *status;
  can().receiveCallbacks.call("ReceiveMessage", messageID, messageIDMask, data, dataSize,
                              timeStamp, status);
  if (*dataSize == kUnansweredDataSize && *status == before) {
    *status = HAL_ERR_CANSessionMux_MessageNotFound;
  }
}

void HAL_CAN_OpenStreamSession(uint32_t* sessionHandle, uint32_t messageID, uint32_t messageIDMask,
                               uint32_t maxMessages, int32_t* status) {
  {
    std::scoped_lock lock(can().mutex);
    if (can().streamOpenStatus != 0) {  // a fault: nothing opens
      setStatus(status, can().streamOpenStatus);
      return;
    }
  }
  if (sessionHandle == nullptr || status == nullptr) {
    setStatus(status, kParameterOutOfRange);
    return;
  }
  can().openStreamCallbacks.call("OpenStream", sessionHandle, messageID, messageIDMask,
                                 maxMessages, status);
}

void HAL_CAN_CloseStreamSession(uint32_t sessionHandle) {
  can().closeStreamCallbacks.call("CloseStream", sessionHandle);
}

void HAL_CAN_ReadStreamSession(uint32_t sessionHandle, struct HAL_CANStreamMessage* messages,
                               uint32_t messagesToRead, uint32_t* messagesRead, int32_t* status) {
  if (messagesRead == nullptr || status == nullptr) {
    setStatus(status, kParameterOutOfRange);
    return;
  }
  can().readStreamCallbacks.call("ReadStream", sessionHandle, messages, messagesToRead,
                                 messagesRead, status);
}

void HAL_CAN_GetCANStatus(float* percentBusUtilization, uint32_t* busOffCount,
                          uint32_t* txFullCount, uint32_t* receiveErrorCount,
                          uint32_t* transmitErrorCount, int32_t* status) {
  can().statusCallbacks.call("GetCANStatus", percentBusUtilization, busOffCount, txFullCount,
                             receiveErrorCount, transmitErrorCount, status);
}

void HALSIM_ResetCanData(void) {
  can().sendCallbacks.clear();
  can().receiveCallbacks.clear();
  can().openStreamCallbacks.clear();
  can().closeStreamCallbacks.clear();
  can().readStreamCallbacks.clear();
  can().statusCallbacks.clear();
}

// Each kind of callback: its register and cancel functions, over its list.
#define HALVERN_CAN_CALLBACK_API(Name, CallbackType, list)                              \
  int32_t HALSIM_RegisterCan##Name##Callback(CallbackType callback, void* param) {      \
    return can().list.add(callback, param);                                             \
  }                                                                                     \
  void HALSIM_CancelCan##Name##Callback(int32_t uid) { can().list.cancel(uid); }

HALVERN_CAN_CALLBACK_API(SendMessage, HAL_CAN_SendMessageCallback, sendCallbacks)
HALVERN_CAN_CALLBACK_API(ReceiveMessage, HAL_CAN_ReceiveMessageCallback, receiveCallbacks)
HALVERN_CAN_CALLBACK_API(OpenStream, HAL_CAN_OpenStreamSessionCallback, openStreamCallbacks)
HALVERN_CAN_CALLBACK_API(CloseStream, HAL_CAN_CloseStreamSessionCallback, closeStreamCallbacks)
HALVERN_CAN_CALLBACK_API(ReadStream, HAL_CAN_ReadStreamSessionCallback, readStreamCallbacks)
HALVERN_CAN_CALLBACK_API(GetCANStatus, HAL_CAN_GetCANStatusCallback, statusCallbacks)

#undef HALVERN_CAN_CALLBACK_API

}  // extern "C"

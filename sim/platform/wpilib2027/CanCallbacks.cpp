// WPILib 2027's CAN callbacks as calls of the simulated bus.
#include "can/CanCallbacks.h"

#include <algorithm>
#include <iterator>
#include <span>

#include "SimHal.h"
#include "can/CanBus.h"
#include "can/CanFrameRules.h"

namespace halvern::sim {
namespace {

// The HAL's CAN callbacks. Every callback registered is called for every call, in
// registration order: each answers only what is the bus's and leaves the rest alone. The bus
// carries classic frames of at most 8 bytes with extended identifiers.

// WPILib 2027: calls name a bus, passed through to the devices of that bus, and messages are
// structs holding up to 64 bytes with flags. Receives carry an exact identifier (no mask) and
// report microseconds on the HAL's clock.
constexpr int32_t kFdFlags = HAL_CAN_FD_BITRATESWITCH | HAL_CAN_FD_DATALENGTH;

void onSend(const char* /*name*/, void* param, int32_t busId, uint32_t messageId,
            const HAL_CANMessage* message, int32_t periodMs, int32_t* /*status*/) {
  // Stopping a repetition sends nothing; FD frames and longer ones are not classic frames.
  if (periodMs < 0 || message == nullptr || (messageId & kNotExtendedDataFrame) != 0 ||
      (message->flags & kFdFlags) != 0 || message->dataSize > kMaxDataBytes) {
    return;
  }
  static_cast<CanBus*>(param)->robotSent(busId, messageId,
                                         std::span(message->data, message->dataSize));
}

void onReceive(const char* /*name*/, void* param, int32_t busId, uint32_t messageId,
               HAL_CANReceiveMessage* message, int32_t* status) {
  if (message == nullptr || (messageId & kNotExtendedDataFrame) != 0) {
    return;
  }
  const auto frame = static_cast<CanBus*>(param)->receive(busId, {messageId, kExtendedIdMask});
  if (!frame) {
    return;  // not ours to answer
  }
  message->timeStamp = frame->timestampUs;
  message->message.flags = HAL_CAN_NO_FLAGS;
  message->message.dataSize = frame->length;
  std::copy_n(frame->data.begin(), frame->length, std::begin(message->message.data));
  *status = 0;
}

void onOpenStream(const char* /*name*/, void* param, HAL_CANStreamHandle* streamHandle,
                  int32_t busId, uint32_t messageId, uint32_t messageIDMask, uint32_t maxMessages,
                  int32_t* status) {
  if (streamHandle == nullptr) {
    return;
  }
  if (const auto handle = static_cast<CanBus*>(param)->openSession(
          busId, {messageId, messageIDMask}, maxMessages)) {
    *streamHandle = static_cast<HAL_CANStreamHandle>(*handle);
    *status = 0;
  }
}

void onReadStream(const char* /*name*/, void* param, HAL_CANStreamHandle sessionHandle,
                  HAL_CANStreamMessage* messages, uint32_t messagesToRead, uint32_t* messagesRead,
                  int32_t* status) {
  if (sessionHandle <= 0) {
    return;  // never one of the bus's
  }
  const std::span<HAL_CANStreamMessage> out(messages, messages == nullptr ? 0 : messagesToRead);
  const auto result = static_cast<CanBus*>(param)->readSession(
      static_cast<uint32_t>(sessionHandle), out.size(),
      [&out](std::size_t i, const CanFrame& frame) {
        HAL_CANStreamMessage& message = out[i];
        message.messageId = frame.id;
        message.message.timeStamp = frame.timestampUs;
        message.message.message.flags = HAL_CAN_NO_FLAGS;
        message.message.message.dataSize = frame.length;
        std::copy_n(frame.data.begin(), frame.length, std::begin(message.message.message.data));
      });
  if (!result) {
    return;  // not ours
  }
  *messagesRead = static_cast<uint32_t>(result->count);
  *status = result->empty     ? HAL_ERR_CANSessionMux_MessageNotFound
            : result->overrun ? HAL_ERR_CANSessionMux_SessionOverrun
                              : 0;
}

void onCloseStream(const char* /*name*/, void* param, HAL_CANStreamHandle sessionHandle) {
  if (sessionHandle > 0) {
    static_cast<CanBus*>(param)->closeSession(static_cast<uint32_t>(sessionHandle));
  }
}

}  // namespace

CanCallbackIds registerCanCallbacks(CanBus* bus) {
  return registerAdapters(bus, &onSend, &onReceive, &onOpenStream, &onReadStream, &onCloseStream);
}

}  // namespace halvern::sim

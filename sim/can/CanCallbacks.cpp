#include "can/CanCallbacks.h"

#include <algorithm>
#include <iterator>
#include <span>

#include "SimHal.h"
#include "can/CanBus.h"

namespace halvern::sim {
namespace {

constexpr uint32_t kExtendedIdMask = 0x1FFFFFFF;
// Identifier bits that make a frame a remote request or a standard (11-bit) one: the devices
// here speak extended data frames only. WPILib 2026 and 2027 place these two bits differently.
constexpr uint32_t kNotExtendedDataFrame = HAL_CAN_IS_FRAME_REMOTE | HAL_CAN_IS_FRAME_11BIT;
constexpr std::size_t kMaxDataBytes = 8;

// The HAL's CAN callbacks, on each platform. Every callback registered is called for every
// call, in registration order: each answers only what is the bus's and leaves the rest alone.
// The bus carries classic frames of at most 8 bytes with extended identifiers.

#if HALVERN_SIM_WPILIB_2027

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

#else

// WPILib 2026 and the stand-in: one bus (bus 0), frames as pointer and length, receives under a
// mask, timestamps in milliseconds on the HAL's clock.
uint32_t toMilliseconds(uint64_t micros) { return static_cast<uint32_t>(micros / 1000U); }

void onSend(const char* /*name*/, void* param, uint32_t messageID, const uint8_t* data,
            uint8_t dataSize, int32_t periodMs, int32_t* /*status*/) {
  // Stopping a repetition sends nothing.
  if (periodMs < 0 || dataSize > kMaxDataBytes || (dataSize > 0 && data == nullptr) ||
      (messageID & kNotExtendedDataFrame) != 0) {
    return;
  }
  static_cast<CanBus*>(param)->robotSent(kDefaultCanBus, messageID, std::span(data, dataSize));
}

void onReceive(const char* /*name*/, void* param, uint32_t* messageID, uint32_t messageIDMask,
               uint8_t* data, uint8_t* dataSize, uint32_t* timeStamp, int32_t* status) {
  if ((*messageID & kNotExtendedDataFrame) != 0) {
    return;
  }
  const auto frame =
      static_cast<CanBus*>(param)->receive(kDefaultCanBus, {*messageID, messageIDMask});
  if (!frame) {
    return;  // not ours to answer
  }
  *messageID = frame->id;
  std::copy_n(frame->data.begin(), frame->length, data);
  *dataSize = frame->length;
  *timeStamp = toMilliseconds(frame->timestampUs);
  *status = 0;
}

void onOpenStream(const char* /*name*/, void* param, uint32_t* sessionHandle, uint32_t messageID,
                  uint32_t messageIDMask, uint32_t maxMessages, int32_t* status) {
  if (const auto handle = static_cast<CanBus*>(param)->openSession(
          kDefaultCanBus, {messageID, messageIDMask}, maxMessages)) {
    *sessionHandle = *handle;
    *status = 0;
  }
}

void onReadStream(const char* /*name*/, void* param, uint32_t sessionHandle,
                  HAL_CANStreamMessage* messages, uint32_t messagesToRead, uint32_t* messagesRead,
                  int32_t* status) {
  const std::span<HAL_CANStreamMessage> out(messages, messages == nullptr ? 0 : messagesToRead);
  const auto result = static_cast<CanBus*>(param)->readSession(
      sessionHandle, out.size(), [&out](std::size_t i, const CanFrame& frame) {
        HAL_CANStreamMessage& message = out[i];
        message.messageID = frame.id;
        message.timeStamp = toMilliseconds(frame.timestampUs);
        std::copy(frame.data.begin(), frame.data.end(), std::begin(message.data));
        message.dataSize = frame.length;
      });
  if (!result) {
    return;  // not ours
  }
  *messagesRead = static_cast<uint32_t>(result->count);
  *status = result->empty     ? HAL_ERR_CANSessionMux_MessageNotFound
            : result->overrun ? HAL_ERR_CANSessionMux_SessionOverrun
                              : 0;
}

void onCloseStream(const char* /*name*/, void* param, uint32_t sessionHandle) {
  static_cast<CanBus*>(param)->closeSession(sessionHandle);
}

#endif

}  // namespace

CanCallbackIds registerCanCallbacks(CanBus* bus) {
  CanCallbackIds ids;
  ids.send = HALSIM_RegisterCanSendMessageCallback(&onSend, bus);
  ids.receive = HALSIM_RegisterCanReceiveMessageCallback(&onReceive, bus);
  ids.openStream = HALSIM_RegisterCanOpenStreamCallback(&onOpenStream, bus);
  ids.readStream = HALSIM_RegisterCanReadStreamCallback(&onReadStream, bus);
  ids.closeStream = HALSIM_RegisterCanCloseStreamCallback(&onCloseStream, bus);
  return ids;
}

void cancelCanCallbacks(const CanCallbackIds& ids) {
  HALSIM_CancelCanSendMessageCallback(ids.send);
  HALSIM_CancelCanReceiveMessageCallback(ids.receive);
  HALSIM_CancelCanOpenStreamCallback(ids.openStream);
  HALSIM_CancelCanReadStreamCallback(ids.readStream);
  HALSIM_CancelCanCloseStreamCallback(ids.closeStream);
}

}  // namespace halvern::sim

// WPILib 2026's (and the stand-in's) CAN callbacks as calls of the simulated bus.
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

}  // namespace

CanCallbackIds registerCanCallbacks(CanBus* bus) {
  return registerAdapters(bus, &onSend, &onReceive, &onOpenStream, &onReadStream, &onCloseStream);
}

}  // namespace halvern::sim

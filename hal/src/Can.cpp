// Raw CAN: sending by full identifier, receiving by identifier and mask, stream sessions.
#include "hal/CAN.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "SimState.h"

namespace {

using namespace halsim::detail;

uint32_t toMilliseconds(uint64_t timestampUs) {
  // WPILib reports 32-bit milliseconds here, wrapping after 49 days.
  return static_cast<uint32_t>(timestampUs / 1000U);
}

}  // namespace

extern "C" {

void HAL_CAN_SendMessage(uint32_t messageID, const uint8_t* data, uint8_t dataSize,
                         int32_t periodMs, int32_t* status) {
  // The bus keeps no schedules: a repeating send (periodMs > 0) goes out once, like a one-shot
  // send, and cancelling a repetition (periodMs < 0) has nothing to cancel and sends nothing.
  auto& can = simState().can;
  std::vector<std::shared_ptr<const RobotFrameListener>> listeners;
  halsim::CanFrame frame;
  {
    std::scoped_lock lock(can.mutex);
    if (can.sendStatus != 0) {
      setStatus(status, can.sendStatus);
      return;
    }
    if (dataSize > kMaxCanDataBytes || (data == nullptr && dataSize > 0)) {
      setStatus(status, kParameterOutOfRange);
      return;
    }
    if (periodMs < 0) {
      setStatus(status, 0);
      return;
    }
    frame.id = messageID & kExtendedIdMask;
    std::copy_n(data, dataSize, frame.data.begin());
    frame.length = dataSize;
    frame.timestampUs = nowMicros();
    can.sent.push_back(frame);
    if (can.sent.size() > kSentLogCapacity) {
      can.sent.pop_front();
    }
    for (const auto& entry : can.listeners) {
      if (entry.second->matches(frame.id)) {
        listeners.push_back(entry.second);
      }
    }
  }
  setStatus(status, 0);
  // Outside the lock: a listener may answer by transmitting to the robot.
  for (const auto& listener : listeners) {
    listener->callback(frame);
  }
}

void HAL_CAN_ReceiveMessage(uint32_t* messageID, uint32_t messageIDMask, uint8_t* data,
                            uint8_t* dataSize, uint32_t* timeStamp, int32_t* status) {
  if (messageID == nullptr) {
    setStatus(status, kParameterOutOfRange);
    return;
  }
  auto& can = simState().can;
  std::scoped_lock lock(can.mutex);
  const uint32_t wanted = *messageID & messageIDMask;
  ReceivedFrame* newest = nullptr;
  for (auto& entry : can.received) {
    ReceivedFrame& candidate = entry.second;
    if (!candidate.returnedByReceiveMessage && (candidate.frame.id & messageIDMask) == wanted &&
        (newest == nullptr || candidate.sequence > newest->sequence)) {
      newest = &candidate;
    }
  }
  if (newest == nullptr) {
    setStatus(status, HAL_ERR_CANSessionMux_MessageNotFound);
    return;
  }
  newest->returnedByReceiveMessage = true;
  const halsim::CanFrame& frame = newest->frame;
  *messageID = frame.id;
  if (data != nullptr) {
    std::copy_n(frame.data.begin(), frame.length, data);
  }
  if (dataSize != nullptr) {
    *dataSize = frame.length;
  }
  if (timeStamp != nullptr) {
    *timeStamp = toMilliseconds(frame.timestampUs);
  }
  setStatus(status, 0);
}

void HAL_CAN_OpenStreamSession(uint32_t* sessionHandle, uint32_t messageID, uint32_t messageIDMask,
                               uint32_t maxMessages, int32_t* status) {
  auto& can = simState().can;
  std::scoped_lock lock(can.mutex);
  if (can.streamOpenStatus != 0) {
    setStatus(status, can.streamOpenStatus);
    return;
  }
  if (sessionHandle == nullptr) {
    setStatus(status, kParameterOutOfRange);
    return;
  }
  uint32_t handle = can.nextSessionHandle++;
  if (handle == 0) {  // wrapped around; 0 is never a session
    handle = can.nextSessionHandle++;
  }
  StreamSession session;
  session.id = messageID;
  session.mask = messageIDMask;
  // A session that could hold nothing would be useless; it holds at least the newest frame.
  session.capacity = std::max<std::size_t>(maxMessages, 1);
  can.sessions.insert_or_assign(handle, std::move(session));
  *sessionHandle = handle;
  setStatus(status, 0);
}

void HAL_CAN_CloseStreamSession(uint32_t sessionHandle) {
  auto& can = simState().can;
  std::scoped_lock lock(can.mutex);
  can.sessions.erase(sessionHandle);
}

void HAL_CAN_ReadStreamSession(uint32_t sessionHandle, struct HAL_CANStreamMessage* messages,
                               uint32_t messagesToRead, uint32_t* messagesRead, int32_t* status) {
  auto& can = simState().can;
  std::scoped_lock lock(can.mutex);
  const auto found = can.sessions.find(sessionHandle);
  if (found == can.sessions.end()) {
    if (messagesRead != nullptr) {
      *messagesRead = 0;
    }
    setStatus(status, HAL_ERR_CANSessionMux_NotInitialized);
    return;
  }
  StreamSession& session = found->second;
  if (session.queue.empty()) {
    if (messagesRead != nullptr) {
      *messagesRead = 0;
    }
    setStatus(status, HAL_ERR_CANSessionMux_MessageNotFound);
    return;
  }
  const std::size_t capacity = messages == nullptr ? 0 : messagesToRead;
  const std::span<HAL_CANStreamMessage> out(messages, capacity);
  const std::size_t count = std::min(capacity, session.queue.size());
  for (std::size_t i = 0; i < count; ++i) {
    const halsim::CanFrame& frame = session.queue.front();
    HAL_CANStreamMessage& message = out[i];
    message.messageID = frame.id;
    message.timeStamp = toMilliseconds(frame.timestampUs);
    std::copy(frame.data.begin(), frame.data.end(), std::begin(message.data));
    message.dataSize = frame.length;
    session.queue.pop_front();
  }
  if (messagesRead != nullptr) {
    *messagesRead = static_cast<uint32_t>(count);
  }
  setStatus(status, session.overrun ? HAL_ERR_CANSessionMux_SessionOverrun : 0);
  session.overrun = false;
}

}  // extern "C"

#include "SimCanBus.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>

#include "SimClock.h"
#include "SimHal.h"
#include "dystal/DystalProtocol.h"
#include "iridel/IridelProtocol.h"

namespace halvern::sim {
namespace {

constexpr uint32_t kExtendedIdMask = 0x1FFFFFFF;
// Identifier bits that make a frame a remote request or a standard (11-bit) one: the devices
// here speak extended data frames only. WPILib 2026 and 2027 place these two bits differently.
constexpr uint32_t kNotExtendedDataFrame = HAL_CAN_IS_FRAME_REMOTE | HAL_CAN_IS_FRAME_11BIT;
constexpr std::size_t kMaxDataBytes = 8;
constexpr std::size_t kSentLogCapacity = 100000;
// Session handles of this bus start here, apart from those other models may hand out.
constexpr uint32_t kFirstSessionHandle = 0x48560001;
constexpr uint32_t kLastSessionHandle = 0x7FFFFFFF;

struct Device {
  int32_t bus = kDefaultCanBus;
  CanIdRange listens;
  CanIdRange transmits;
  CanListener listener;
};

/** The newest frame a device sent under one identifier. */
struct Mailbox {
  CanFrame frame;
  uint64_t sequence = 0;  // rises with every frame, so "newest" is a comparison
  bool read = false;      // a receive has returned it
};

struct StreamSession {
  int32_t bus = kDefaultCanBus;
  CanIdRange filter;
  std::size_t capacity = 1;
  std::deque<CanFrame> queue;
  bool overrun = false;  // a frame was dropped since the last read
};

struct Periodic {
  std::chrono::nanoseconds period{};
  SimTime due;
  std::shared_ptr<std::function<void()>> task;
};

/** Where a mailbox is: a bus and an identifier on it. */
using MailboxKey = std::pair<int32_t, uint32_t>;

/** Two ranges share an identifier: they agree on every bit both masks hold. */
bool overlap(const CanIdRange& a, const CanIdRange& b) {
  const uint32_t both = a.mask & b.mask;
  return (a.id & both) == (b.id & both);
}

/** Every identifier of `inner` is in `outer`. */
bool within(const CanIdRange& inner, const CanIdRange& outer) {
  return (outer.mask & ~inner.mask) == 0 && (inner.id & outer.mask) == (outer.id & outer.mask);
}

// The sensors' own sessions are the bus's even before their simulated device exists (a robot
// program creates its sensors first, its simulation later).
constexpr std::array<CanIdRange, 2> kSensorSessions{{
    {halvern::iridel::kStreamId, halvern::iridel::kStreamMask},
    {halvern::dystal::kStreamId, halvern::dystal::kStreamMask},
}};


// Set once the bus is being destroyed at exit. Constant-initialised and trivially destructible,
// so it can be read for as long as the process runs: by the handles of devices a program keeps
// in its own static objects, which may be made before the bus and so destroyed after it.
constinit std::atomic<bool> busGone{false};

class Bus;

/** The bus's registrations with the HAL's CAN callbacks. */
struct CallbackIds {
  int32_t send = 0;
  int32_t receive = 0;
  int32_t openStream = 0;
  int32_t readStream = 0;
  int32_t closeStream = 0;
};
// The HAL's CAN callbacks of this platform, each turned into the bus's own call; defined below
// the bus.
CallbackIds registerCanCallbacks(Bus* bus);
void cancelCanCallbacks(const CallbackIds& ids);

/** What one read of a stream session the bus serves gave. */
struct StreamReadResult {
  std::size_t count = 0;  // frames put
  bool empty = false;     // nothing was queued
  bool overrun = false;   // frames were dropped since the last read
};

class Bus {
 public:
  Bus() {
    startSimulation();
    callbacks_ = registerCanCallbacks(this);
  }
  Bus(const Bus&) = delete;
  Bus& operator=(const Bus&) = delete;
  ~Bus() {
    busGone.store(true);
    {
      const std::scoped_lock lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    if (statusThread_.joinable()) {
      statusThread_.join();
    }
    cancelCanCallbacks(callbacks_);
  }

  uint64_t attach(Device device) {
    auto shared = std::make_shared<const Device>(std::move(device));
    const std::scoped_lock lock(mutex_);
    const uint64_t token = nextToken_++;
    devices_.emplace(token, std::move(shared));
    return token;
  }

  void detach(uint64_t token) {
    std::shared_ptr<const Device> removed;  // released after the lock: its captures are not ours
    const std::scoped_lock lock(mutex_);
    if (const auto found = devices_.find(token); found != devices_.end()) {
      removed = std::move(found->second);
      devices_.erase(found);
    }
  }

  void transmit(int32_t bus, uint32_t id, std::span<const uint8_t> data) {
    if (data.size() > kMaxDataBytes) {
      throw std::invalid_argument("a CAN frame carries at most 8 bytes");
    }
    CanFrame frame;
    frame.bus = bus;
    frame.id = id & kExtendedIdMask;
    std::copy(data.begin(), data.end(), frame.data.begin());
    frame.length = static_cast<uint8_t>(data.size());
    const std::scoped_lock lock(mutex_);
    // Stamped under the lock so timestamps rise with sequence numbers.
    frame.timestampUs = simhal::halMicros();
    mailboxes_.insert_or_assign(MailboxKey{bus, frame.id},
                                Mailbox{.frame = frame, .sequence = nextSequence_++, .read = false});
    for (auto& [handle, session] : sessions_) {
      if (session.bus != bus || !session.filter.contains(frame.id)) {
        continue;
      }
      if (session.queue.size() >= session.capacity) {
        session.queue.pop_front();
        session.overrun = true;
      }
      session.queue.push_back(frame);
    }
  }

  std::vector<CanFrame> sent(int32_t bus, const CanIdRange& range) {
    const std::scoped_lock lock(mutex_);
    std::vector<CanFrame> matching;
    std::copy_if(sent_.begin(), sent_.end(), std::back_inserter(matching),
                 [bus, &range](const CanFrame& frame) {
                   return frame.bus == bus && range.contains(frame.id);
                 });
    return matching;
  }

  void clearSent() {
    const std::scoped_lock lock(mutex_);
    sent_.clear();
  }

  int sessionCount() {
    const std::scoped_lock lock(mutex_);
    return static_cast<int>(sessions_.size());
  }

  void reset() {
    const std::scoped_lock lock(mutex_);
    sent_.clear();
    mailboxes_.clear();
    for (auto& [handle, session] : sessions_) {
      session.queue.clear();
      session.overrun = false;
    }
  }

  uint64_t schedule(std::chrono::nanoseconds period, std::function<void()> task) {
    if (period <= std::chrono::nanoseconds::zero()) {
      throw std::invalid_argument("a periodic task needs a positive period");
    }
    const std::scoped_lock lock(mutex_);
    const uint64_t token = nextToken_++;
    periodic_.emplace(token, Periodic{.period = period,
                                      .due = simNow() + period,
                                      .task = std::make_shared<std::function<void()>>(
                                          std::move(task))});
    if (!statusThread_.joinable()) {
      statusThread_ = std::thread([this] { runPeriodic(); });
    }
    wake_.notify_all();
    return token;
  }

  void unschedule(uint64_t token) {
    std::shared_ptr<std::function<void()>> removed;  // released after the lock
    std::unique_lock lock(mutex_);
    if (const auto found = periodic_.find(token); found != periodic_.end()) {
      removed = std::move(found->second.task);
      periodic_.erase(found);
    }
    if (std::this_thread::get_id() != statusThread_.get_id()) {
      taskDone_.wait(lock, [this, token] { return running_ != token; });
    }
  }

  // The robot program sent an extended data frame: log it, then hand it to each device that
  // listens, outside the lock (a device may answer by transmitting).
  void robotSent(int32_t bus, uint32_t id, std::span<const uint8_t> data) {
    CanFrame frame;
    frame.bus = bus;
    frame.id = id & kExtendedIdMask;
    std::copy(data.begin(), data.end(), frame.data.begin());
    frame.length = static_cast<uint8_t>(data.size());
    std::vector<std::shared_ptr<const Device>> listeners;
    {
      const std::scoped_lock lock(mutex_);
      frame.timestampUs = simhal::halMicros();
      sent_.push_back(frame);
      if (sent_.size() > kSentLogCapacity) {
        sent_.pop_front();
      }
      for (const auto& [token, device] : devices_) {
        if (device->bus == bus && device->listens.contains(frame.id)) {
          listeners.push_back(device);
        }
      }
    }
    for (const auto& device : listeners) {
      device->listener(frame);
    }
  }

  // A receive on `bus`: the newest unread frame under the identifier and mask, from any device
  // here on that bus; nothing when none sent one (the receive is someone else's to answer).
  std::optional<CanFrame> receive(int32_t bus, const CanIdRange& wanted) {
    const std::scoped_lock lock(mutex_);
    Mailbox* newest = nullptr;
    for (auto& [key, mailbox] : mailboxes_) {
      if (!mailbox.read && key.first == bus && wanted.contains(key.second) &&
          (newest == nullptr || mailbox.sequence > newest->sequence)) {
        newest = &mailbox;
      }
    }
    if (newest == nullptr) {
      return std::nullopt;
    }
    newest->read = true;
    return newest->frame;
  }

  // A session on `bus` is the bus's when its filter covers identifiers a device here on that
  // bus sends, or lies within a sensor family's own identifiers; its handle then, else nothing.
  std::optional<uint32_t> openSession(int32_t bus, const CanIdRange& filter,
                                      uint32_t maxMessages) {
    const std::scoped_lock lock(mutex_);
    const bool ours =
        std::any_of(kSensorSessions.begin(), kSensorSessions.end(),
                    [&](const CanIdRange& range) { return within(filter, range); }) ||
        std::any_of(devices_.begin(), devices_.end(), [&](const auto& entry) {
          return entry.second->bus == bus && overlap(entry.second->transmits, filter);
        });
    if (!ours) {
      return std::nullopt;
    }
    // Handles stay positive, as the HAL's are (signed on WPILib 2027), and skip those in use.
    const auto after = [](uint32_t h) {
      return h == kLastSessionHandle ? kFirstSessionHandle : h + 1;
    };
    uint32_t handle = nextSession_;
    while (sessions_.contains(handle)) {
      handle = after(handle);
    }
    nextSession_ = after(handle);
    // A session that could hold nothing would be useless; it holds at least the newest frame.
    sessions_.emplace(handle, StreamSession{.bus = bus,
                                            .filter = filter,
                                            .capacity = std::max<std::size_t>(maxMessages, 1),
                                            .queue = {},
                                            .overrun = false});
    return handle;
  }

  // Moves up to `capacity` queued frames of a session the bus serves, oldest first, to
  // `put(index, frame)`; nothing when the session is not the bus's.
  template <typename Put>
  std::optional<StreamReadResult> readSession(uint32_t handle, std::size_t capacity, Put&& put) {
    const std::scoped_lock lock(mutex_);
    const auto found = sessions_.find(handle);
    if (found == sessions_.end()) {
      return std::nullopt;
    }
    StreamSession& session = found->second;
    StreamReadResult result;
    if (session.queue.empty()) {
      result.empty = true;
      return result;
    }
    result.count = std::min(capacity, session.queue.size());
    for (std::size_t i = 0; i < result.count; ++i) {
      put(i, session.queue.front());
      session.queue.pop_front();
    }
    result.overrun = session.overrun;
    session.overrun = false;
    return result;
  }

  void closeSession(uint32_t handle) {
    const std::scoped_lock lock(mutex_);
    sessions_.erase(handle);
  }

 private:
  void runPeriodic() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
      auto next = periodic_.end();
      for (auto entry = periodic_.begin(); entry != periodic_.end(); ++entry) {
        if (next == periodic_.end() || entry->second.due < next->second.due) {
          next = entry;
        }
      }
      if (next == periodic_.end()) {
        wake_.wait(lock);
        continue;
      }
      const SimTime due = next->second.due;
      if (simNow() < due) {
        wake_.wait_until(lock, due);
        continue;  // woken early, or a task came or went: look again
      }
      Periodic& task = next->second;
      task.due += task.period;
      if (const SimTime now = simNow(); now > task.due + task.period) {
        task.due = now;  // after a stall, carry on from now rather than in a burst
      }
      running_ = next->first;
      auto work = task.task;
      lock.unlock();
      (*work)();
      // Released before the lock: when the task ended itself, this is its last copy, and what it
      // captures (a device, leaving the bus) goes with it.
      work.reset();
      lock.lock();
      running_ = 0;
      taskDone_.notify_all();
    }
  }

  std::mutex mutex_;  // never held while a device's code runs
  std::map<uint64_t, std::shared_ptr<const Device>> devices_;
  std::map<MailboxKey, Mailbox> mailboxes_;
  std::map<uint32_t, StreamSession> sessions_;
  std::deque<CanFrame> sent_;
  std::map<uint64_t, Periodic> periodic_;
  uint64_t nextToken_ = 1;
  uint64_t nextSequence_ = 1;
  uint32_t nextSession_ = kFirstSessionHandle;
  uint64_t running_ = 0;  // the periodic task running now, 0 when none
  bool stopping_ = false;
  std::condition_variable wake_;
  std::condition_variable taskDone_;
  std::thread statusThread_;
  CallbackIds callbacks_;
};

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
  if (periodMs < 0 || message == nullptr ||
      (messageId & kNotExtendedDataFrame) != 0 || (message->flags & kFdFlags) != 0 ||
      message->dataSize > kMaxDataBytes) {
    return;
  }
  static_cast<Bus*>(param)->robotSent(busId, messageId,
                                      std::span(message->data, message->dataSize));
}

void onReceive(const char* /*name*/, void* param, int32_t busId, uint32_t messageId,
               HAL_CANReceiveMessage* message, int32_t* status) {
  if (message == nullptr || (messageId & kNotExtendedDataFrame) != 0) {
    return;
  }
  const auto frame = static_cast<Bus*>(param)->receive(busId, {messageId, kExtendedIdMask});
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
  if (const auto handle = static_cast<Bus*>(param)->openSession(busId, {messageId, messageIDMask},
                                                                 maxMessages)) {
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
  const auto result = static_cast<Bus*>(param)->readSession(
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
    static_cast<Bus*>(param)->closeSession(static_cast<uint32_t>(sessionHandle));
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
  static_cast<Bus*>(param)->robotSent(kDefaultCanBus, messageID, std::span(data, dataSize));
}

void onReceive(const char* /*name*/, void* param, uint32_t* messageID, uint32_t messageIDMask,
               uint8_t* data, uint8_t* dataSize, uint32_t* timeStamp, int32_t* status) {
  if ((*messageID & kNotExtendedDataFrame) != 0) {
    return;
  }
  const auto frame = static_cast<Bus*>(param)->receive(kDefaultCanBus, {*messageID, messageIDMask});
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
  if (const auto handle = static_cast<Bus*>(param)->openSession(
          kDefaultCanBus, {messageID, messageIDMask}, maxMessages)) {
    *sessionHandle = *handle;
    *status = 0;
  }
}

void onReadStream(const char* /*name*/, void* param, uint32_t sessionHandle,
                  HAL_CANStreamMessage* messages, uint32_t messagesToRead, uint32_t* messagesRead,
                  int32_t* status) {
  const std::span<HAL_CANStreamMessage> out(messages, messages == nullptr ? 0 : messagesToRead);
  const auto result = static_cast<Bus*>(param)->readSession(
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
  static_cast<Bus*>(param)->closeSession(sessionHandle);
}

#endif

CallbackIds registerCanCallbacks(Bus* bus) {
  CallbackIds ids;
  ids.send = HALSIM_RegisterCanSendMessageCallback(&onSend, bus);
  ids.receive = HALSIM_RegisterCanReceiveMessageCallback(&onReceive, bus);
  ids.openStream = HALSIM_RegisterCanOpenStreamCallback(&onOpenStream, bus);
  ids.readStream = HALSIM_RegisterCanReadStreamCallback(&onReadStream, bus);
  ids.closeStream = HALSIM_RegisterCanCloseStreamCallback(&onCloseStream, bus);
  return ids;
}

void cancelCanCallbacks(const CallbackIds& ids) {
  HALSIM_CancelCanSendMessageCallback(ids.send);
  HALSIM_CancelCanReceiveMessageCallback(ids.receive);
  HALSIM_CancelCanOpenStreamCallback(ids.openStream);
  HALSIM_CancelCanReadStreamCallback(ids.readStream);
  HALSIM_CancelCanCloseStreamCallback(ids.closeStream);
}

Bus& bus() {
  static Bus instance;
  return instance;
}

/** A device leaves the bus, unless the bus went first: then there is nothing to leave. */
void detachFromBus(uint64_t token) {
  if (token != 0 && !busGone.load()) {
    bus().detach(token);
  }
}

void unscheduleFromBus(uint64_t token) {
  if (token != 0 && !busGone.load()) {
    bus().unschedule(token);
  }
}

}  // namespace

CanSubscription& CanSubscription::operator=(CanSubscription&& other) noexcept {
  if (this != &other) {
    detachFromBus(token_);
    token_ = std::exchange(other.token_, 0);
  }
  return *this;
}

CanSubscription::~CanSubscription() { detachFromBus(token_); }

CanSubscription subscribeToRobotFrames(CanIdRange listens, CanIdRange transmits,
                                       CanListener listener, int32_t busNumber) {
  if (!listener) {
    throw std::invalid_argument("subscribeToRobotFrames needs a listener");
  }
  return CanSubscription(bus().attach(Device{.bus = busNumber,
                                             .listens = listens,
                                             .transmits = transmits,
                                             .listener = std::move(listener)}));
}

CanSubscription subscribeToRobotFrames(uint32_t id, uint32_t mask, CanListener listener,
                                       int32_t busNumber) {
  return subscribeToRobotFrames({id, mask}, {id, mask}, std::move(listener), busNumber);
}

void transmitToRobot(uint32_t id, std::span<const uint8_t> data, int32_t busNumber) {
  bus().transmit(busNumber, id, data);
}

std::vector<CanFrame> sentFrames() { return bus().sent(kDefaultCanBus, {0, 0}); }

std::vector<CanFrame> sentFrames(uint32_t id, uint32_t mask) {
  return bus().sent(kDefaultCanBus, {id, mask});
}

std::vector<CanFrame> sentFramesOnBus(int32_t busNumber, uint32_t id, uint32_t mask) {
  return bus().sent(busNumber, {id, mask});
}

void clearSentFrames() { bus().clearSent(); }

int openStreamSessionCount() { return bus().sessionCount(); }

void resetCanBus() { bus().reset(); }

PeriodicTask& PeriodicTask::operator=(PeriodicTask&& other) noexcept {
  if (this != &other) {
    unscheduleFromBus(token_);
    token_ = std::exchange(other.token_, 0);
  }
  return *this;
}

PeriodicTask::~PeriodicTask() { unscheduleFromBus(token_); }

PeriodicTask schedulePeriodic(std::chrono::nanoseconds period, std::function<void()> task) {
  if (!task) {
    throw std::invalid_argument("schedulePeriodic needs a task");
  }
  return PeriodicTask(bus().schedule(period, std::move(task)));
}

}  // namespace halvern::sim

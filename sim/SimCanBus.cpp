#include "SimCanBus.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <unordered_map>
#include <utility>

#include "SimClock.h"
#include "dystal/DystalProtocol.h"
#include "hal/CAN.h"
#include "hal/HALBase.h"
#include "hal/simulation/CanData.h"
#include "iridel/IridelProtocol.h"

namespace halvern::sim {
namespace {

constexpr uint32_t kExtendedIdMask = 0x1FFFFFFF;
constexpr std::size_t kMaxDataBytes = 8;
constexpr std::size_t kSentLogCapacity = 100000;
// Session handles of this bus start here, apart from those other models may hand out.
constexpr uint32_t kFirstSessionHandle = 0x48560001;

struct Device {
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

uint32_t toMilliseconds(uint64_t micros) { return static_cast<uint32_t>(micros / 1000U); }

// Set once the bus is being destroyed at exit. Constant-initialised and trivially destructible,
// so it can be read for as long as the process runs: by the handles of devices a program keeps
// in its own static objects, which may be made before the bus and so destroyed after it.
constinit std::atomic<bool> busGone{false};

class Bus {
 public:
  Bus() {
    startSimulation();
    sendUid_ = HALSIM_RegisterCanSendMessageCallback(&Bus::onSend, this);
    receiveUid_ = HALSIM_RegisterCanReceiveMessageCallback(&Bus::onReceive, this);
    openUid_ = HALSIM_RegisterCanOpenStreamCallback(&Bus::onOpenStream, this);
    readUid_ = HALSIM_RegisterCanReadStreamCallback(&Bus::onReadStream, this);
    closeUid_ = HALSIM_RegisterCanCloseStreamCallback(&Bus::onCloseStream, this);
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
    HALSIM_CancelCanSendMessageCallback(sendUid_);
    HALSIM_CancelCanReceiveMessageCallback(receiveUid_);
    HALSIM_CancelCanOpenStreamCallback(openUid_);
    HALSIM_CancelCanReadStreamCallback(readUid_);
    HALSIM_CancelCanCloseStreamCallback(closeUid_);
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

  void transmit(uint32_t id, std::span<const uint8_t> data) {
    if (data.size() > kMaxDataBytes) {
      throw std::invalid_argument("a CAN frame carries at most 8 bytes");
    }
    CanFrame frame;
    frame.id = id & kExtendedIdMask;
    std::copy(data.begin(), data.end(), frame.data.begin());
    frame.length = static_cast<uint8_t>(data.size());
    const std::scoped_lock lock(mutex_);
    // Stamped under the lock so timestamps rise with sequence numbers.
    frame.timestampUs = simMicros();
    mailboxes_.insert_or_assign(frame.id,
                                Mailbox{.frame = frame, .sequence = nextSequence_++, .read = false});
    for (auto& [handle, session] : sessions_) {
      if (!session.filter.contains(frame.id)) {
        continue;
      }
      if (session.queue.size() >= session.capacity) {
        session.queue.pop_front();
        session.overrun = true;
      }
      session.queue.push_back(frame);
    }
  }

  std::vector<CanFrame> sent(const CanIdRange& range) {
    const std::scoped_lock lock(mutex_);
    std::vector<CanFrame> matching;
    std::copy_if(sent_.begin(), sent_.end(), std::back_inserter(matching),
                 [&range](const CanFrame& frame) { return range.contains(frame.id); });
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

 private:
  static Bus* self(void* param) { return static_cast<Bus*>(param); }

  // The robot program sent a frame: log it, then hand it to each device that listens, outside
  // the lock (a device may answer by transmitting).
  static void onSend(const char* /*name*/, void* param, uint32_t messageID, const uint8_t* data,
                     uint8_t dataSize, int32_t periodMs, int32_t* /*status*/) {
    if (periodMs < 0 || dataSize > kMaxDataBytes) {
      return;  // stopping a repetition sends nothing
    }
    Bus& bus = *self(param);
    CanFrame frame;
    frame.id = messageID & kExtendedIdMask;
    std::copy_n(data, dataSize, frame.data.begin());
    frame.length = dataSize;
    std::vector<std::shared_ptr<const Device>> listeners;
    {
      const std::scoped_lock lock(bus.mutex_);
      frame.timestampUs = simMicros();
      bus.sent_.push_back(frame);
      if (bus.sent_.size() > kSentLogCapacity) {
        bus.sent_.pop_front();
      }
      for (const auto& [token, device] : bus.devices_) {
        if (device->listens.contains(frame.id)) {
          listeners.push_back(device);
        }
      }
    }
    for (const auto& device : listeners) {
      device->listener(frame);
    }
  }

  // A receive: the newest unread frame under the identifier and mask, from any device here.
  static void onReceive(const char* /*name*/, void* param, uint32_t* messageID,
                        uint32_t messageIDMask, uint8_t* data, uint8_t* dataSize,
                        uint32_t* timeStamp, int32_t* status) {
    Bus& bus = *self(param);
    const CanIdRange wanted{*messageID, messageIDMask};
    const std::scoped_lock lock(bus.mutex_);
    Mailbox* newest = nullptr;
    for (auto& [id, mailbox] : bus.mailboxes_) {
      if (!mailbox.read && wanted.contains(id) &&
          (newest == nullptr || mailbox.sequence > newest->sequence)) {
        newest = &mailbox;
      }
    }
    if (newest == nullptr) {
      return;  // not ours to answer
    }
    newest->read = true;
    *messageID = newest->frame.id;
    std::copy_n(newest->frame.data.begin(), newest->frame.length, data);
    *dataSize = newest->frame.length;
    *timeStamp = toMilliseconds(newest->frame.timestampUs);
    *status = 0;
  }

  // A session is the bus's when its filter covers identifiers a device here sends, or lies
  // within a sensor family's own identifiers.
  static void onOpenStream(const char* /*name*/, void* param, uint32_t* sessionHandle,
                           uint32_t messageID, uint32_t messageIDMask, uint32_t maxMessages,
                           int32_t* status) {
    Bus& bus = *self(param);
    const CanIdRange filter{messageID, messageIDMask};
    const std::scoped_lock lock(bus.mutex_);
    const bool ours =
        std::any_of(kSensorSessions.begin(), kSensorSessions.end(),
                    [&](const CanIdRange& range) { return within(filter, range); }) ||
        std::any_of(bus.devices_.begin(), bus.devices_.end(),
                    [&](const auto& entry) { return overlap(entry.second->transmits, filter); });
    if (!ours) {
      return;
    }
    uint32_t handle = bus.nextSession_++;
    while (handle == 0 || bus.sessions_.contains(handle)) {
      handle = bus.nextSession_++;
    }
    // A session that could hold nothing would be useless; it holds at least the newest frame.
    bus.sessions_.emplace(handle, StreamSession{.filter = filter,
                                                .capacity = std::max<std::size_t>(maxMessages, 1),
                                                .queue = {},
                                                .overrun = false});
    *sessionHandle = handle;
    *status = 0;
  }

  static void onReadStream(const char* /*name*/, void* param, uint32_t sessionHandle,
                           HAL_CANStreamMessage* messages, uint32_t messagesToRead,
                           uint32_t* messagesRead, int32_t* status) {
    Bus& bus = *self(param);
    const std::scoped_lock lock(bus.mutex_);
    const auto found = bus.sessions_.find(sessionHandle);
    if (found == bus.sessions_.end()) {
      return;  // not ours
    }
    StreamSession& session = found->second;
    *messagesRead = 0;
    if (session.queue.empty()) {
      *status = HAL_ERR_CANSessionMux_MessageNotFound;
      return;
    }
    const std::size_t capacity = messages == nullptr ? 0 : messagesToRead;
    const std::span<HAL_CANStreamMessage> out(messages, capacity);
    const std::size_t count = std::min(capacity, session.queue.size());
    for (std::size_t i = 0; i < count; ++i) {
      const CanFrame& frame = session.queue.front();
      HAL_CANStreamMessage& message = out[i];
      message.messageID = frame.id;
      message.timeStamp = toMilliseconds(frame.timestampUs);
      std::copy(frame.data.begin(), frame.data.end(), std::begin(message.data));
      message.dataSize = frame.length;
      session.queue.pop_front();
    }
    *messagesRead = static_cast<uint32_t>(count);
    *status = session.overrun ? HAL_ERR_CANSessionMux_SessionOverrun : 0;
    session.overrun = false;
  }

  static void onCloseStream(const char* /*name*/, void* param, uint32_t sessionHandle) {
    Bus& bus = *self(param);
    const std::scoped_lock lock(bus.mutex_);
    bus.sessions_.erase(sessionHandle);
  }

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
  std::unordered_map<uint32_t, Mailbox> mailboxes_;
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
  int32_t sendUid_ = 0;
  int32_t receiveUid_ = 0;
  int32_t openUid_ = 0;
  int32_t readUid_ = 0;
  int32_t closeUid_ = 0;
};

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
                                       CanListener listener) {
  if (!listener) {
    throw std::invalid_argument("subscribeToRobotFrames needs a listener");
  }
  return CanSubscription(bus().attach(
      Device{.listens = listens, .transmits = transmits, .listener = std::move(listener)}));
}

CanSubscription subscribeToRobotFrames(uint32_t id, uint32_t mask, CanListener listener) {
  return subscribeToRobotFrames({id, mask}, {id, mask}, std::move(listener));
}

void transmitToRobot(uint32_t id, std::span<const uint8_t> data) { bus().transmit(id, data); }

std::vector<CanFrame> sentFrames() { return bus().sent({0, 0}); }

std::vector<CanFrame> sentFrames(uint32_t id, uint32_t mask) { return bus().sent({id, mask}); }

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

#include "can/CanBus.h"

#include <algorithm>
#include <atomic>
#include <stdexcept>

#include "SimClock.h"
#include "SimHal.h"
#include "common/PeriodicScheduler.h"

namespace halvern::sim {
namespace {

constexpr uint32_t kExtendedIdMask = 0x1FFFFFFF;
constexpr std::size_t kMaxDataBytes = 8;

/** Two ranges share an identifier: they agree on every bit both masks hold. */
bool overlap(const CanIdRange& a, const CanIdRange& b) {
  const uint32_t both = a.mask & b.mask;
  return (a.id & both) == (b.id & both);
}

/** Every identifier of `inner` is in `outer`. */
bool within(const CanIdRange& inner, const CanIdRange& outer) {
  return (outer.mask & ~inner.mask) == 0 && (inner.id & outer.mask) == (outer.id & outer.mask);
}

/** The ranges of claimStreamSessions. */
class SessionClaims {
 public:
  void add(const CanIdRange& range) {
    const std::scoped_lock lock(mutex_);
    ranges_.push_back(range);
  }
  bool cover(const CanIdRange& filter) {
    const std::scoped_lock lock(mutex_);
    return std::any_of(ranges_.begin(), ranges_.end(),
                       [&](const CanIdRange& range) { return within(filter, range); });
  }

 private:
  std::mutex mutex_;
  std::vector<CanIdRange> ranges_;
};

SessionClaims& sessionClaims() {
  static SessionClaims claims;
  return claims;
}

// Set once the bus is being destroyed at exit. Constant-initialised and trivially destructible,
// so it can be read for as long as the process runs: by the handles of devices a program keeps
// in its own static objects, which may be made before the bus and so destroyed after it.
constinit std::atomic<bool> busGone{false};

}  // namespace

void claimStreamSessions(const CanIdRange& range) { sessionClaims().add(range); }

CanBus::CanBus() {
  startSimulation();
  callbacks_ = registerCanCallbacks(this);
}

CanBus::~CanBus() {
  busGone.store(true);
  cancelCanCallbacks(callbacks_);
}

uint64_t CanBus::attach(Device device) {
  auto shared = std::make_shared<const Device>(std::move(device));
  const std::scoped_lock lock(mutex_);
  const uint64_t token = nextToken_++;
  devices_.emplace(token, std::move(shared));
  return token;
}

void CanBus::detach(uint64_t token) {
  std::shared_ptr<const Device> removed;  // released after the lock: its captures are not ours
  const std::scoped_lock lock(mutex_);
  if (const auto found = devices_.find(token); found != devices_.end()) {
    removed = std::move(found->second);
    devices_.erase(found);
  }
}

CanFrame CanBus::stamped(int32_t bus, uint32_t id, std::span<const uint8_t> data) {
  CanFrame frame;
  frame.bus = bus;
  frame.id = id & kExtendedIdMask;
  std::copy(data.begin(), data.end(), frame.data.begin());
  frame.length = static_cast<uint8_t>(data.size());
  // Under the bus's lock, so timestamps rise in the order frames cross it.
  frame.timestampUs = simhal::halMicros();
  return frame;
}

void CanBus::transmit(int32_t bus, uint32_t id, std::span<const uint8_t> data) {
  if (data.size() > kMaxDataBytes) {
    throw std::invalid_argument("a CAN frame carries at most 8 bytes");
  }
  const std::scoped_lock lock(mutex_);
  const CanFrame frame = stamped(bus, id, data);
  mailboxes_.put(frame);
  sessions_.offer(frame);
}

std::vector<CanFrame> CanBus::sent(int32_t bus, const CanIdRange& range) {
  const std::scoped_lock lock(mutex_);
  return sent_.matching(bus, range);
}

void CanBus::clearSent() {
  const std::scoped_lock lock(mutex_);
  sent_.clear();
}

int CanBus::sessionCount() {
  const std::scoped_lock lock(mutex_);
  return sessions_.count();
}

void CanBus::reset() {
  const std::scoped_lock lock(mutex_);
  sent_.clear();
  mailboxes_.clear();
  sessions_.clearQueues();
}

void CanBus::robotSent(int32_t bus, uint32_t id, std::span<const uint8_t> data) {
  std::vector<std::shared_ptr<const Device>> listeners;
  CanFrame frame;
  {
    const std::scoped_lock lock(mutex_);
    frame = stamped(bus, id, data);
    sent_.add(frame);
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

std::optional<CanFrame> CanBus::receive(int32_t bus, const CanIdRange& wanted) {
  const std::scoped_lock lock(mutex_);
  return mailboxes_.takeNewest(bus, wanted);
}

std::optional<uint32_t> CanBus::openSession(int32_t bus, const CanIdRange& filter,
                                            uint32_t maxMessages) {
  const std::scoped_lock lock(mutex_);
  const bool ours = sessionClaims().cover(filter) ||
                    std::any_of(devices_.begin(), devices_.end(), [&](const auto& entry) {
                      return entry.second->bus == bus && overlap(entry.second->transmits, filter);
                    });
  if (!ours) {
    return std::nullopt;
  }
  return sessions_.open(bus, filter, maxMessages);
}

void CanBus::closeSession(uint32_t handle) {
  const std::scoped_lock lock(mutex_);
  sessions_.close(handle);
}

CanBus& canBus() {
  static CanBus instance;
  return instance;
}

// A device leaves the bus, unless the bus went first: then there is nothing to leave.
void detail::detachFromBus(uint64_t token) {
  if (token != 0 && !busGone.load()) {
    canBus().detach(token);
  }
}

CanSubscription subscribeToRobotFrames(CanIdRange listens, CanIdRange transmits,
                                       CanListener listener, int32_t bus) {
  if (!listener) {
    throw std::invalid_argument("subscribeToRobotFrames needs a listener");
  }
  return CanSubscription(canBus().attach(CanBus::Device{
      .bus = bus, .listens = listens, .transmits = transmits, .listener = std::move(listener)}));
}

CanSubscription subscribeToRobotFrames(uint32_t id, uint32_t mask, CanListener listener,
                                       int32_t bus) {
  return subscribeToRobotFrames({id, mask}, {id, mask}, std::move(listener), bus);
}

void transmitToRobot(uint32_t id, std::span<const uint8_t> data, int32_t bus) {
  canBus().transmit(bus, id, data);
}

std::vector<CanFrame> sentFrames() { return canBus().sent(kDefaultCanBus, {0, 0}); }

std::vector<CanFrame> sentFrames(uint32_t id, uint32_t mask) {
  return canBus().sent(kDefaultCanBus, {id, mask});
}

std::vector<CanFrame> sentFramesOnBus(int32_t bus, uint32_t id, uint32_t mask) {
  return canBus().sent(bus, {id, mask});
}

void clearSentFrames() { canBus().clearSent(); }

int openStreamSessionCount() { return canBus().sessionCount(); }

void resetCanBus() { canBus().reset(); }

PeriodicTask schedulePeriodic(std::chrono::nanoseconds period, std::function<void()> task) {
  if (!task) {
    throw std::invalid_argument("schedulePeriodic needs a task");
  }
  // The bus is made first so that it goes last at exit: the status frames a task sends need it
  // until the scheduler has stopped.
  static_cast<void>(canBus());
  return PeriodicTask(periodicScheduler().schedule(period, std::move(task)));
}

}  // namespace halvern::sim

#include "can/StreamSessions.h"

namespace halvern::sim {
uint32_t StreamSessions::open(int32_t bus, const CanIdRange& filter, uint32_t maxMessages) {
  const auto after = [](uint32_t h) { return h == kLastHandle ? kFirstHandle : h + 1; };
  uint32_t handle = nextHandle_;
  while (sessions_.contains(handle)) {
    handle = after(handle);
  }
  nextHandle_ = after(handle);
  // A session that could hold nothing would be useless; it holds at least the newest frame.
  sessions_.emplace(handle, Session{.bus = bus,
                                    .filter = filter,
                                    .capacity = std::max<std::size_t>(maxMessages, 1),
                                    .queue = {},
                                    .overrun = false});
  return handle;
}

void StreamSessions::clearQueues() {
  for (auto& [handle, session] : sessions_) {
    session.queue.clear();
    session.overrun = false;
  }
}

void StreamSessions::offer(const CanFrame& frame) {
  for (auto& [handle, session] : sessions_) {
    if (session.bus != frame.bus || !session.filter.contains(frame.id)) {
      continue;
    }
    if (session.queue.size() >= session.capacity) {
      session.queue.pop_front();
      session.overrun = true;
    }
    session.queue.push_back(frame);
  }
}

}  // namespace halvern::sim

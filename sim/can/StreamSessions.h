// The stream sessions the bus serves: each queues the frames the devices send on its bus under
// its filter, up to its capacity, dropping the oldest (an overrun) when full.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <utility>

#include "SimCanBus.h"

namespace halvern::sim {

/** What one read of a session gave. */
struct StreamReadResult {
  std::size_t count = 0;  // frames put
  bool empty = false;     // nothing was queued
  bool overrun = false;   // frames were dropped since the last read
};

/** Not locked: the bus guards it. */
class StreamSessions {
 public:
  /** Opens a session and returns its handle: positive, as the HAL's are, and not in use. */
  uint32_t open(int32_t bus, const CanIdRange& filter, uint32_t maxMessages);
  void close(uint32_t handle) { sessions_.erase(handle); }
  [[nodiscard]] int count() const { return static_cast<int>(sessions_.size()); }
  /** Empties every queue. */
  void clearQueues();

  /** Queues a frame a device sent in every session of its bus whose filter takes it. */
  void offer(const CanFrame& frame);

  /**
   * Moves up to `capacity` queued frames of a session, oldest first, to `put(index, frame)`;
   * nothing when the session is not one of these.
   */
  template <typename Put>
  std::optional<StreamReadResult> read(uint32_t handle, std::size_t capacity, Put&& put) {
    const auto found = sessions_.find(handle);
    if (found == sessions_.end()) {
      return std::nullopt;
    }
    Session& session = found->second;
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
    result.overrun = std::exchange(session.overrun, false);
    return result;
  }

 private:
  struct Session {
    int32_t bus = kDefaultCanBus;
    CanIdRange filter;
    std::size_t capacity = 1;
    std::deque<CanFrame> queue;
    bool overrun = false;  // a frame was dropped since the last read
  };

  // Handles start here, apart from those other models may hand out.
  static constexpr uint32_t kFirstHandle = 0x48560001;
  static constexpr uint32_t kLastHandle = 0x7FFFFFFF;

  std::map<uint32_t, Session> sessions_;
  uint32_t nextHandle_ = kFirstHandle;
};

}  // namespace halvern::sim

// What the robot program's receives read: the newest frame the devices sent under each
// identifier of each bus, each returned once.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <utility>

#include "SimCanBus.h"

namespace halvern::sim {

/** Not locked: the bus guards it. */
class Mailboxes {
 public:
  /** The frame replaces what its bus and identifier held, unread. */
  void put(const CanFrame& frame);
  /** The newest unread frame on `bus` under `wanted`, now read; nothing when there is none. */
  std::optional<CanFrame> takeNewest(int32_t bus, const CanIdRange& wanted);
  void clear() { boxes_.clear(); }

 private:
  struct Mailbox {
    CanFrame frame;
    uint64_t sequence = 0;  // rises with every frame, so "newest" is a comparison
    bool read = false;      // a receive has returned it
  };
  using Key = std::pair<int32_t, uint32_t>;  // a bus and an identifier on it

  std::map<Key, Mailbox> boxes_;
  uint64_t nextSequence_ = 1;
};

}  // namespace halvern::sim

// The frames the robot program sent, newest kept, for tests to look back on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "SimCanBus.h"

namespace halvern::sim {

/** Not locked: the bus guards it. */
class SentFrameLog {
 public:
  static constexpr std::size_t kCapacity = 100000;  // over all buses

  void add(const CanFrame& frame);
  /** The frames sent on `bus` with identifiers in `range`, oldest first. */
  [[nodiscard]] std::vector<CanFrame> matching(int32_t bus, const CanIdRange& range) const;
  void clear() { frames_.clear(); }

 private:
  std::deque<CanFrame> frames_;
};

}  // namespace halvern::sim

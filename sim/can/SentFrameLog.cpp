#include "can/SentFrameLog.h"

#include <algorithm>
#include <iterator>

namespace halvern::sim {

void SentFrameLog::add(const CanFrame& frame) {
  frames_.push_back(frame);
  if (frames_.size() > kCapacity) {
    frames_.pop_front();
  }
}

std::vector<CanFrame> SentFrameLog::matching(int32_t bus, const CanIdRange& range) const {
  std::vector<CanFrame> found;
  std::copy_if(frames_.begin(), frames_.end(), std::back_inserter(found),
               [bus, &range](const CanFrame& frame) {
                 return frame.bus == bus && range.contains(frame.id);
               });
  return found;
}

}  // namespace halvern::sim

// What a simulated lidar got onto the line, packet by packet: the record its timing tests read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace halvern::sim {

/** A packet that reached the robot program's end of the line, and when, on the HAL's clock (the
 *  robot's time). */
struct SentPacket {
  bool start = false;
  uint64_t halMicros = 0;
};

/** The latest packets sent (up to kKept), oldest first, and how many were sent in all. Its
 *  owner's lock guards it. */
class SentPacketLog {
 public:
  static constexpr std::size_t kKept = 4096;

  void record(bool start, uint64_t halMicros) {
    latest_.push_back(SentPacket{.start = start, .halMicros = halMicros});
    if (latest_.size() > kKept) {
      latest_.pop_front();
    }
    ++count_;
  }

  [[nodiscard]] std::vector<SentPacket> latest() const { return {latest_.begin(), latest_.end()}; }
  [[nodiscard]] int count() const { return count_; }

 private:
  std::deque<SentPacket> latest_;
  int count_ = 0;
};

}  // namespace halvern::sim

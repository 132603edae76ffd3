// The LidarMini's motor in time: revolutions at its frequency, each cut into the packets it
// streams, and when each packet's last sample has been measured. It knows no port and no room.
#pragma once

#include <chrono>
#include <vector>

namespace halvern::sim::lidarmini {

/** Samples [first, end) of a revolution of `samplesInRevolution`, all measured by `due`. */
struct TimedPacket {
  int first = 0;
  int end = 0;
  int samplesInRevolution = 0;
  std::chrono::steady_clock::time_point due;
  /** The packet of a revolution's first sample. */
  [[nodiscard]] bool start() const { return first == 0; }
};

class ScanTimeline {
 public:
  using Clock = std::chrono::steady_clock;
  using Packet = TimedPacket;

  /** The frequency the motor turns at, in tenths of a hertz (so steps add up exactly). */
  [[nodiscard]] int frequencyTenths() const { return frequencyTenths_; }
  /** Steps the frequency, within 6 to 12 Hz; a new one takes effect from the next revolution. */
  void stepFrequency(int tenths);

  /** Scanning stopped (or held back): the next packet starts a new timeline. */
  void stop() { streaming_ = false; }
  /** The packets due by `now`, in order; the first call after stop() starts a revolution now. */
  std::vector<Packet> due(Clock::time_point now);

 private:
  void beginRevolution(Clock::time_point at);

  int frequencyTenths_ = kDefaultFrequencyTenths;
  bool streaming_ = false;
  Clock::time_point revolutionStart_;
  int revolutionSamples_ = 0;
  int nextSample_ = 0;

  static constexpr int kDefaultFrequencyTenths = 60;
};

}  // namespace halvern::sim::lidarmini

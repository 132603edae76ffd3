// The faults a simulated LidarMini can put into its stream: damaged packets, garbage with false
// marks between packets. The draws come from a fixed seed, so they fall the same way every run.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace halvern::sim::lidarmini {

class ScanFaults {
 public:
  /** The share (0 to 1) of packets damaged: one flipped bit in a sample's distance. */
  double corruptedShare = 0.0;
  /** Garbage before about half the packets. */
  bool garbage = false;

  /** Damages the whole packet `packet` if its draw says so. */
  void damage(std::vector<uint8_t>& packet);
  /**
   * The garbage to send before `packet`, empty when its draw says none. Some of it ends in a
   * false mark with a header whose length reaches into the packet; its check code is wrong.
   */
  std::vector<uint8_t> garbageBefore(const std::vector<uint8_t>& packet);

 private:
  std::vector<uint8_t> falseMarkedGarbage(const std::vector<uint8_t>& packet);

  std::mt19937 random_;  // fixed seed: the faults fall the same way every run
};

}  // namespace halvern::sim::lidarmini

// What the simulated serial lidar measures of its room, packet by packet: a revolution of
// evenly spaced reported angles, each sample measured where the lidar's angle correction will
// place it, written through the library's wire format. It knows no port and no time.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "SimLidar.h"

namespace halvern::sim::lidar {

/** One past the last revolution position of the packet that begins at `first`. */
int packetEnd(int first);

/** The room as the lidar measures it, with Gaussian noise of this standard deviation (mm). */
struct RoomScan {
  const SimLidar::Room& room;
  float noiseMm = 0.0F;

  /** The packet of revolution positions [first, end), noise drawn from `random`. */
  [[nodiscard]] std::vector<uint8_t> packet(int first, int end, std::mt19937& random) const;
  /** The distance word measured for a reported angle, after choosing the true angle. */
  [[nodiscard]] uint16_t measure(double reportedDegrees, std::mt19937& random) const;
};

}  // namespace halvern::sim::lidar

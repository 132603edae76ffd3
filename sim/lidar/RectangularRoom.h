// A rectangular room as a lidar standing in it sees it: the distance to the first wall at each
// angle. Both simulated lidars scan one.
#pragma once

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace halvern::sim {

struct RectangularRoom {
  double widthMetres = 0.0;      // along angle 0
  double depthMetres = 0.0;      // along angle 90
  double fromWestMetres = 0.0;   // from the lidar to the wall at angle 180
  double fromSouthMetres = 0.0;  // from the lidar to the wall at angle 270

  /** The distance in millimetres to the first wall at `angleDegrees`. */
  [[nodiscard]] double distanceMm(double angleDegrees) const {
    constexpr double kMillimetresPerMetre = 1000.0;
    const double radians = angleDegrees * std::numbers::pi / 180.0;
    const double dx = std::cos(radians);
    const double dy = std::sin(radians);
    double metres = std::numeric_limits<double>::infinity();
    if (dx > 0) {
      metres = std::min(metres, (widthMetres - fromWestMetres) / dx);
    } else if (dx < 0) {
      metres = std::min(metres, -fromWestMetres / dx);
    }
    if (dy > 0) {
      metres = std::min(metres, (depthMetres - fromSouthMetres) / dy);
    } else if (dy < 0) {
      metres = std::min(metres, -fromSouthMetres / dy);
    }
    return metres * kMillimetresPerMetre;
  }
};

}  // namespace halvern::sim

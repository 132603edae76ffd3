// A simulated lidar's room as Java tests give it: one distance a whole degree.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

namespace halvern::sim::jni {

/**
 * The room in which the angle's whole degree, counted from 0 to 359 whatever the turn, picks the
 * distance (the last one past the table's end); no return (0) anywhere when the table is empty.
 */
template <typename Distance>
std::function<Distance(double)> roomByDegree(std::vector<Distance> table) {
  return [table = std::move(table)](double angleDegrees) -> Distance {
    if (table.empty()) {
      return Distance{};
    }
    const double turns = std::floor(angleDegrees / 360.0);
    const auto degree = static_cast<std::size_t>(angleDegrees - turns * 360.0);
    return table[std::min(degree, table.size() - 1)];
  };
}

}  // namespace halvern::sim::jni

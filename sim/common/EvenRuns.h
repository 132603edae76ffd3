// A revolution cut into the packets a lidar sends it in. A packet carries only its first and
// last angle and the receiver spreads its samples evenly between them, so one packet can hold a
// run of samples only when their angles are evenly spaced. Both lidars' simulators replay
// recorded revolutions through this.
#pragma once

#include <cmath>
#include <cstddef>
#include <span>
#include <vector>

namespace halvern::sim {

/** Samples [first, end) of a revolution, sent as one packet. */
struct SampleRun {
  std::size_t first = 0;
  std::size_t end = 0;
};

/**
 * `angles` (degrees, in the order measured, passing 360 at most once a run) as runs: the first
 * sample alone (a revolution's start packet holds one), then runs of at most `longest` samples,
 * each as long as its samples lie within `tolerance` degrees of an even spread from its first
 * angle to its last.
 */
inline std::vector<SampleRun> evenRuns(std::span<const double> angles, std::size_t longest,
                                       double tolerance) {
  constexpr double kFullTurn = 360.0;
  constexpr double kHalfTurn = 180.0;
  const auto ahead = [](double from, double to) {  // from `from` on to `to`, in [0, 360)
    const double degrees = std::fmod(to - from, kFullTurn);
    return degrees < 0.0 ? degrees + kFullTurn : degrees;
  };
  const auto evenlySpread = [&](std::size_t first, std::size_t last) {
    const double step = ahead(angles[first], angles[last]) / static_cast<double>(last - first);
    for (std::size_t i = first + 1; i < last; ++i) {
      double off = ahead(angles[first] + step * static_cast<double>(i - first), angles[i]);
      off = off > kHalfTurn ? off - kFullTurn : off;
      if (std::abs(off) > tolerance) {
        return false;
      }
    }
    return true;
  };
  std::vector<SampleRun> runs;
  if (angles.empty()) {
    return runs;
  }
  runs.push_back({0, 1});
  for (std::size_t first = 1; first < angles.size();) {
    std::size_t end = first + 1;
    while (end < angles.size() && end - first < longest && evenlySpread(first, end)) {
      ++end;
    }
    runs.push_back({first, end});
    first = end;
  }
  return runs;
}

}  // namespace halvern::sim

#include "lidar/LidarFilters.h"

#include <algorithm>
#include <cmath>

namespace halvern::lidar {
namespace {

// The newest `window` values (all of them when fewer); a window below 1 counts as 1.
std::span<const float> newest(std::span<const float> history, int window) {
  const auto wanted = static_cast<std::size_t>(std::max(window, 1));
  return history.last(std::min(wanted, history.size()));
}

float mean(std::span<const float> values) {
  float sum = 0.0F;
  for (const float value : values) {
    sum += value;
  }
  return sum / static_cast<float>(values.size());
}

}  // namespace

void DegreeHistory::push(float distance) {
  if (count_ == kLimit) {
    std::shift_left(values_.begin(), values_.end(), 1);
    --count_;
  }
  values_.at(count_) = distance;
  ++count_;
}

float kalmanFilter(std::span<const float> history, KalmanState& state) {
  if (history.empty()) {
    return 0.0F;
  }
  for (const float z : history) {
    const float gain = state.errorCovariance / (state.errorCovariance + state.measurementNoise);
    const float next = state.estimate + gain * (z - state.estimate);
    state.errorCovariance = (1.0F - gain) * state.errorCovariance +
                            std::fabs(state.estimate - next) * state.processNoise;
    state.estimate = next;
  }
  return state.estimate;
}

float movingAverageFilter(std::span<const float> history, int window) {
  return history.empty() ? 0.0F : mean(newest(history, window));
}

float medianFilter(std::span<const float> history, int window) {
  if (history.empty()) {
    return 0.0F;
  }
  const auto values = newest(history, window);
  std::array<float, DegreeHistory::kLimit> sorted{};
  const std::size_t count = std::min(values.size(), sorted.size());
  std::copy_n(values.begin(), count, sorted.begin());
  const std::size_t middle = count / 2;
  std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(middle),
                   sorted.begin() + static_cast<std::ptrdiff_t>(count));
  return sorted.at(middle);
}

float jitterFilter(std::span<const float> history, float threshold) {
  if (history.empty()) {
    return 0.0F;
  }
  const float latest = history.back();
  const float previous = history.size() >= 2 ? history[history.size() - 2] : latest;
  return std::fabs(latest - previous) > threshold ? previous : latest;
}

float clusterFilter(std::span<const float> history, float tolerance, int minPoints) {
  if (history.empty()) {
    return 0.0F;
  }
  if (minPoints >= 0) {
    const auto needed = static_cast<std::size_t>(minPoints);
    for (std::size_t i = 0; i < history.size(); ++i) {
      float sum = history[i];
      std::size_t members = 1;
      for (std::size_t j = i + 1; j < history.size(); ++j) {
        if (std::fabs(history[j] - history[i]) <= tolerance) {
          sum += history[j];
          ++members;
        }
      }
      if (members >= needed) {
        return sum / static_cast<float>(members);
      }
    }
  }
  return history.back();
}

}  // namespace halvern::lidar

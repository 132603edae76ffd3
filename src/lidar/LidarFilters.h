// The serial lidar's five filters over one degree's recent distances, and the history they
// draw on. Pure functions only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "halvern/Lidar.h"

namespace halvern::lidar {

/** The filters, by the code the C and Java faces use. */
enum class FilterType : int32_t {
  Cluster = 0,
  Kalman = 1,
  MovingAverage = 2,
  Median = 3,
  Jitter = 4,
};
inline constexpr int kFilterTypeCount = 5;

/** A degree's latest distances, oldest first; at most kLimit, the oldest going first. */
class DegreeHistory {
 public:
  static constexpr std::size_t kLimit = LIDAR_HISTORY_LENGTH;

  void push(float distance);
  [[nodiscard]] std::span<const float> values() const { return {values_.data(), count_}; }

 private:
  std::array<float, kLimit> values_{};
  std::size_t count_ = 0;
};

/**
 * A degree's Kalman state. Every degree keeps its own, started from the configured one, so a
 * degree's estimate carries over only from its own samples and never from its neighbours'.
 */
struct KalmanState {
  float processNoise = 0.00001F;
  float measurementNoise = 0.1F;
  float errorCovariance = 1.0F;
  float estimate = 0.0F;
};

/** Runs the Kalman update over every value, oldest first, updating `state`; the estimate. */
float kalmanFilter(std::span<const float> history, KalmanState& state);

/** The mean of the newest `window` values (all when fewer; a window below 1 counts as 1). */
float movingAverageFilter(std::span<const float> history, int window);

/** The median of the newest `window` values: the upper middle one of an even count. */
float medianFilter(std::span<const float> history, int window);

/** The newest value, or the one before it when the jump between them exceeds `threshold`. */
float jitterFilter(std::span<const float> history, float threshold);

/**
 * The mean of the first group of at least `minPoints` values lying within `tolerance` of a
 * value (that value and the later ones near it, oldest first); the newest value when no group
 * is large enough. A negative minimum is met by no group.
 */
float clusterFilter(std::span<const float> history, float tolerance, int minPoints);

/** Empty histories give 0 for every filter but the cluster filter, which needs a value. */

}  // namespace halvern::lidar

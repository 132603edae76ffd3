// The serial lidar's five filters against hand-worked histories.
#include <gtest/gtest.h>

#include <vector>

#include "lidar/LidarFilters.h"

namespace {

using namespace halvern::lidar;
using Values = std::vector<float>;

TEST(LidarFilters, MovingAverageAndMedianOverTheNewestWindow) {
  EXPECT_FLOAT_EQ(movingAverageFilter(Values{100, 200, 300}, 5), 200.0F);
  EXPECT_FLOAT_EQ(movingAverageFilter(Values{1000, -1.0F}, 5), 499.5F);
  EXPECT_FLOAT_EQ(movingAverageFilter(Values{100, 200, 300}, 2), 250.0F);  // the newest two
  EXPECT_FLOAT_EQ(movingAverageFilter(Values{100, 200, 300}, 0), 300.0F);  // at least one

  const Values unsorted{5, 1, 3, 2};
  EXPECT_FLOAT_EQ(medianFilter(unsorted, 5), 3.0F);  // the upper middle of an even count
  EXPECT_EQ(unsorted, (Values{5, 1, 3, 2}));         // the history keeps its order
  EXPECT_FLOAT_EQ(medianFilter(Values{4}, 5), 4.0F);
  EXPECT_FLOAT_EQ(medianFilter(Values{9, 9, 9, 1, 2, 3}, 3), 2.0F);
  EXPECT_FLOAT_EQ(medianFilter(Values{}, 5), 0.0F);
  EXPECT_FLOAT_EQ(movingAverageFilter(Values{}, 5), 0.0F);
}

TEST(LidarFilters, JitterHoldsBackOneJump) {
  EXPECT_FLOAT_EQ(jitterFilter(Values{1000, 1100}, 50), 1000.0F);
  EXPECT_FLOAT_EQ(jitterFilter(Values{1000, 1040}, 50), 1040.0F);
  EXPECT_FLOAT_EQ(jitterFilter(Values{1000, 1100, 1100}, 50), 1100.0F);
  EXPECT_FLOAT_EQ(jitterFilter(Values{1000}, 50), 1000.0F);
  EXPECT_FLOAT_EQ(jitterFilter(Values{1000, 1050}, 50), 1050.0F);  // the threshold itself passes
}

TEST(LidarFilters, ClusterTakesTheFirstLargeEnoughGroup) {
  const Values history{1000, 2000, 1020, 1040, 3000};
  EXPECT_FLOAT_EQ(clusterFilter(history, 50, 3), 1020.0F);
  EXPECT_FLOAT_EQ(clusterFilter(history, 50, 5), 3000.0F);   // no group: the newest
  EXPECT_FLOAT_EQ(clusterFilter(history, 50, 0), 1020.0F);   // any group will do: the first
  EXPECT_FLOAT_EQ(clusterFilter(history, 50, -1), 3000.0F);  // no group will do
  EXPECT_FLOAT_EQ(clusterFilter(history, -1, 1), 1000.0F);   // single values only
  // Members are those near the group's first value, not near each other.
  EXPECT_FLOAT_EQ(clusterFilter(Values{1000, 1040, 1080, 1120}, 50, 3), 1120.0F);
}

TEST(LidarFilters, KalmanCarriesItsStateFromCallToCall) {
  KalmanState state;
  EXPECT_NEAR(kalmanFilter(Values{100}, state), 90.909F, 0.001F);
  EXPECT_NEAR(state.errorCovariance, 0.0918F, 0.0001F);
  EXPECT_NEAR(state.estimate, 90.909F, 0.001F);

  // Each call runs over the whole history again, starting from where the last one ended.
  KalmanState twice;
  kalmanFilter(Values{100}, twice);
  const float second = kalmanFilter(Values{100, 100}, twice);
  EXPECT_GT(second, 90.909F);
  EXPECT_LT(second, 100.0F);
  KalmanState untouched;
  EXPECT_FLOAT_EQ(kalmanFilter(Values{}, untouched), 0.0F);
  EXPECT_FLOAT_EQ(untouched.errorCovariance, 1.0F);
}

TEST(LidarFilters, AHistoryKeepsTheNewestTen) {
  DegreeHistory history;
  for (int i = 1; i <= 11; ++i) {
    history.push(static_cast<float>(i));
  }
  ASSERT_EQ(history.values().size(), 10U);
  EXPECT_FLOAT_EQ(history.values().front(), 2.0F);
  EXPECT_FLOAT_EQ(history.values().back(), 11.0F);
}

}  // namespace

// The simulated Ordex on its own thread, on the wall clock. Limits are generous: these run on
// shared machines and under sanitizers.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "RobotSide.h"
#include "SimOrdex.h"
#include "SimCanBus.h"
#include "TestPlatform.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using halvern::sim::SimOrdex;
using halvern::sim::testing::HeartbeatSender;
using halvern::sim::testing::int32At;
using halvern::sim::testing::RobotSide;
namespace msg = halvern::ordex;

constexpr int32_t kDevice = 17;
constexpr uint32_t kExactId = 0x1FFFFFFF;
constexpr std::chrono::milliseconds kStatusPeriod{20};  // the controller's default
// Bounds a failure only: what normally takes a few periods.
constexpr std::chrono::milliseconds kLimit{10000};

class SimOrdexRealTime : public ::testing::Test {
 protected:
  void SetUp() override { halvern::test::resetSimulation(); }
  void TearDown() override { halvern::test::resetSimulation(); }
};

/** Polls until `condition` holds or `limit` passes; true if it held. */
bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline) {
    if (condition()) {
      return true;
    }
    std::this_thread::sleep_for(10ms);
  }
  return condition();
}

/** Frames of one identifier queued by a stream session, drained by count(). */
class FrameCounter {
 public:
  explicit FrameCounter(uint32_t id) {
    int32_t status = 0;
    session_ = halvern::platform::canOpenStream(id, kExactId, kDepth, status);
    EXPECT_EQ(status, 0);
  }
  FrameCounter(const FrameCounter&) = delete;
  FrameCounter& operator=(const FrameCounter&) = delete;
  ~FrameCounter() { halvern::platform::canCloseStream(session_); }

  std::size_t count() {  // NOLINT(readability-make-member-function-const): drains the queue
    std::vector<halvern::platform::CanFrame> frames(kDepth);
    uint32_t read = 0;
    halvern::platform::canReadStream(session_, frames, read);
    return read;
  }

 private:
  static constexpr uint32_t kDepth = 1000;
  halvern::platform::CanStreamHandle session_ = 0;
};

TEST_F(SimOrdexRealTime, SendsStatusFramesAtItsRateUntilDestroyed) {
  // The controller first: the bus serves sessions on the identifiers of devices it has.
  const auto created = Clock::now();
  auto controller = std::make_unique<SimOrdex>(kDevice);  // every 20 ms
  FrameCounter rpmFrames(msg::ordexMessageId(msg::Api::MotorRPM, kDevice) + 64U);  // motor 1
  FrameCounter temperatureFrames(msg::ordexMessageId(msg::Api::ControllerTemp, kDevice));
  // Twenty rounds of status frames, counted as they come.
  std::size_t rpmCount = 0;
  std::size_t temperatureCount = 0;
  EXPECT_TRUE(eventually(
      [&] {
        rpmCount += rpmFrames.count();
        temperatureCount += temperatureFrames.count();
        return rpmCount >= 20 && temperatureCount >= 20;
      },
      kLimit));
  const auto counted = Clock::now();
  EXPECT_GE(rpmCount, 20U);
  // One round a period at the most, from one period after it was made: never a burst, however
  // late the status thread ran.
  EXPECT_LE(rpmCount, static_cast<std::size_t>((counted - created) / kStatusPeriod));
  EXPECT_GE(temperatureCount, 20U);
  EXPECT_THROW(controller->advance(10ms), std::logic_error);

  const auto start = Clock::now();
  controller.reset();
  // The status thread wakes to stop, it is not waited out (the limit only tells a hang from a
  // busy machine).
  EXPECT_LT(Clock::now() - start, kLimit);
  // Gone from the bus: another controller's two rounds on the same status thread bring none.
  (void)rpmFrames.count();
  const SimOrdex witness(kDevice + 1);
  FrameCounter witnessFrames(msg::ordexMessageId(msg::Api::ControllerTemp, kDevice + 1));
  std::size_t witnessCount = 0;
  EXPECT_TRUE(eventually(
      [&] {
        witnessCount += witnessFrames.count();
        return witnessCount >= 2;
      },
      kLimit));
  EXPECT_EQ(rpmFrames.count(), 0U);
}

TEST_F(SimOrdexRealTime, MotorRunsWithTheHeartbeatAndCoastsWithoutIt) {
  SimOrdex controller(kDevice);
  RobotSide robot(kDevice);
  const auto reportedRpm = [&robot](int motor) {
    const auto frame = robot.latest(msg::Api::MotorRPM, motor);
    return frame ? int32At(*frame) / 100.0 : -1.0;
  };

  robot.motorSpeed(2, 50);
  {
    const HeartbeatSender heartbeat(robot);
    EXPECT_TRUE(eventually([&] { return reportedRpm(2) > 2900.0; }, kLimit))
        << "reported " << reportedRpm(2);
    // While the heartbeat comes (a busy machine may hold it up past the time-out for a moment).
    EXPECT_TRUE(eventually([&] { return controller.motorsEnabled(); }, kLimit));
    EXPECT_DOUBLE_EQ(reportedRpm(0), 0.0);
  }
  EXPECT_TRUE(eventually([&] { return reportedRpm(2) < 1000.0; }, kLimit))
      << "reported " << reportedRpm(2);
  EXPECT_FALSE(controller.motorsEnabled());
}

}  // namespace

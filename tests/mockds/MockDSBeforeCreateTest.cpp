// Before any create, the mock driver station's other functions do nothing. A program of its
// own with one case, so that nothing was created in the process before.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "MockDSTestSupport.h"
#include "halvern/MockDS.h"

namespace {

using namespace halvern::mockds::testing;  // NOLINT(google-build-using-namespace)

TEST(MockDSBeforeCreate, EnableDisableAndDestroyDoNothing) {
  const auto robot = listenAsRobot();
  ASSERT_NE(robot, nullptr);
#if defined(__linux__)
  const std::size_t threads = threadCount();
  const std::size_t descriptors = baselineDescriptorCount();
#endif

  ::testing::internal::CaptureStderr();
  c_MockDS_enable();
  c_MockDS_disable();
  c_MockDS_destroy();
  c_MockDS_destroy();
  c_MockDS_enable();  // the last word before create is "enabled"
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
#if defined(__linux__)
  // No sender thread and no socket: nothing can send.
  EXPECT_EQ(threadCount(), threads);
  EXPECT_EQ(descriptorCountSettledAt(descriptors, 10000ms), descriptors);
#endif
  // Whatever had been sent would have arrived before the marker (the only datagrams ignored).
  std::size_t markers = 0;
  ASSERT_TRUE(passMarker(*robot, &markers));
  EXPECT_EQ(robot->receivedCount(), 0U);
  EXPECT_LE(robot->ignoredCount(), markers);
  robot->clear();

  // The enable before create was not kept: the instance starts disabled.
  c_MockDS_create();
  ASSERT_TRUE(robot->waitForCount(5, 10000ms));
  const auto stream = robot->received();
  EXPECT_EQ(stream.front().control.sequence, 0);
  EXPECT_TRUE(consecutive(stream));
  for (const Received& datagram : stream) {
    EXPECT_EQ(datagram.control.control, kDisabled);
  }
#if defined(__linux__)
  EXPECT_EQ(threadCount(), threads + 1);                                          // the sender
  EXPECT_EQ(descriptorCountSettledAt(descriptors + 1, 10000ms), descriptors + 1);  // its socket
#endif
}

}  // namespace

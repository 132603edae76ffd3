// Unloading the library stops the mock driver station: its sender thread is joined and its
// socket closed, and the robot program, hearing nothing more, counts itself disabled.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "LibraryLoading.h"
#include "MockDSTestSupport.h"

namespace {

using namespace halvern::mockds::testing;  // NOLINT(google-build-using-namespace)

using MockDSFn = void (*)();

using halvern::testing::libraryIsLoaded;
using halvern::testing::loadLibrary;

class MockDSUnload : public ::testing::Test {
 protected:
  void SetUp() override {
    robot = listenAsRobot();
    ASSERT_NE(robot, nullptr);
    threads = threadCount();
    descriptors = baselineDescriptorCount();
    library = loadLibrary();
    ASSERT_NE(library, nullptr) << dlerror();
  }

  void TearDown() override {
    if (library != nullptr) {
      dlclose(library);
    }
  }

  MockDSFn function(const char* name) {
    auto* found = reinterpret_cast<MockDSFn>(dlsym(library, name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }

  // Unloads the library and checks that nothing of the mock driver station is left running.
  void unloadAndCheckEverythingStopped() {
    ASSERT_EQ(dlclose(library), 0);
    library = nullptr;
    EXPECT_FALSE(libraryIsLoaded());
    EXPECT_EQ(threadCountSettledAt(threads, 10000ms), threads) << "the sender thread runs on";
    EXPECT_EQ(descriptorCountSettledAt(descriptors, 10000ms), descriptors)
        << "the socket is still open";

    // Once the last datagram is older than the link's time-out, the robot program counts
    // itself disabled.
    EXPECT_TRUE(waitUntil([&] { return !robot->robotEnabled(); }, 10000ms));
    ASSERT_TRUE(passMarker(*robot));  // what was sent before the unload is read by now
    const std::size_t atUnload = robot->receivedCount();
    // No sender thread is left to send more; a later marker finds nothing new before it.
    EXPECT_EQ(threadCount(), threads);
    ASSERT_TRUE(passMarker(*robot));
    EXPECT_EQ(robot->receivedCount(), atUnload) << "datagrams after the unload";
  }

  std::unique_ptr<Robot> robot;
  std::size_t threads = 0;
  std::size_t descriptors = 0;
  void* library = nullptr;
};

TEST_F(MockDSUnload, StopsAnEnabledSender) {
  function("c_MockDS_create")();
  function("c_MockDS_enable")();
  ASSERT_TRUE(waitUntil([&] { return robot->robotEnabled(); }, 10000ms));
  EXPECT_EQ(threadCount(), threads + 1);
  EXPECT_EQ(descriptorCountSettledAt(descriptors + 1, 10000ms), descriptors + 1);
  unloadAndCheckEverythingStopped();
}

TEST_F(MockDSUnload, StopsTheSenderThatDestroyLeftRunning) {
  function("c_MockDS_create")();
  function("c_MockDS_create")();  // replaced once
  function("c_MockDS_destroy")();
  ASSERT_TRUE(robot->waitForCount(5, 10000ms));
  EXPECT_EQ(threadCount(), threads + 1);
  unloadAndCheckEverythingStopped();
}

}  // namespace

// A mock driver station whose sender thread cannot start.
//
// This executable defines pthread_create itself; the dynamic linker binds the standard
// library's calls (std::thread, inside the library's create) to this definition ahead of the C
// library's, so a test can make thread creation fail. Otherwise it forwards to the real one.
// Linux only, and not under sanitizers, which intercept pthread_create themselves.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "MockDSTestSupport.h"
#include "halvern/MockDS.h"

namespace {

// NOLINTBEGIN(cppcoreguidelines-avoid-non-const-global-variables): the interposer's switch
std::atomic<bool> threadsFail{false};
std::atomic<int> refusedThreads{0};
// NOLINTEND(cppcoreguidelines-avoid-non-const-global-variables)

using PthreadCreateFn = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

}  // namespace

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name): glibc's are reserved
extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes,
                              void* (*start)(void*), void* argument) noexcept {
  if (threadsFail.load()) {
    refusedThreads.fetch_add(1);
    return EAGAIN;
  }
  static const auto real = reinterpret_cast<PthreadCreateFn>(dlsym(RTLD_NEXT, "pthread_create"));
  return real(thread, attributes, start, argument);
}

namespace {

using namespace halvern::mockds::testing;  // NOLINT(google-build-using-namespace)

constexpr const char* kPrefix = "[MockDS] Could not start the sender thread: ";

/** Creates with thread creation failing; what create printed on standard error. */
std::string createWithoutThreads() {
  ::testing::internal::CaptureStderr();
  const int refusedBefore = refusedThreads.load();
  threadsFail.store(true);
  c_MockDS_create();
  threadsFail.store(false);
  EXPECT_EQ(refusedThreads.load(), refusedBefore + 1) << "create did not go through here";
  return ::testing::internal::GetCapturedStderr();
}

void expectOneLine(const std::string& logged) {
  ASSERT_EQ(logged.rfind(kPrefix, 0), 0U) << logged;
  EXPECT_GT(logged.size(), std::string(kPrefix).size() + 1) << "no reason given: " << logged;
  EXPECT_EQ(logged.back(), '\n');
  EXPECT_EQ(logged.find('\n'), logged.size() - 1) << "more than one line: " << logged;
}

TEST(MockDSThreadFailure, TheInterpositionIsInPlace) {
  // Otherwise the cases below would pass without testing anything.
  threadsFail.store(true);
  EXPECT_THROW(std::thread([] {}).join(), std::system_error);
  threadsFail.store(false);
  std::thread([] {}).join();
}

TEST(MockDSThreadFailure, NothingIsSentAndEnableDoesNothing) {
  const auto robot = listenAsRobot();
  ASSERT_NE(robot, nullptr);
  const std::size_t threads = threadCount();
  const std::size_t descriptors = baselineDescriptorCount();

  expectOneLine(createWithoutThreads());
  c_MockDS_enable();
  // No sender thread and no socket: nothing can send. Whatever had been sent would have
  // arrived before the marker.
  EXPECT_EQ(threadCount(), threads);
  EXPECT_EQ(descriptorCountSettledAt(descriptors, 10000ms), descriptors);
  ASSERT_TRUE(passMarker(*robot));
  EXPECT_EQ(robot->receivedCount(), 0U);
  c_MockDS_disable();
  c_MockDS_destroy();
}

TEST(MockDSThreadFailure, TheInstanceBeforeIsStoppedToo) {
  const auto robot = listenAsRobot();
  ASSERT_NE(robot, nullptr);
  const std::size_t threads = threadCount();

  c_MockDS_create();
  c_MockDS_enable();
  ASSERT_TRUE(waitUntil([&] { return robot->robotEnabled(); }, 10000ms));
  EXPECT_EQ(threadCount(), threads + 1);

  // A failed create leaves no instance: the enabled one before it stops.
  expectOneLine(createWithoutThreads());
  EXPECT_EQ(threadCountSettledAt(threads, 10000ms), threads);
  EXPECT_TRUE(waitUntil([&] { return !robot->robotEnabled(); }, 10000ms));
  ASSERT_TRUE(passMarker(*robot));  // what was sent before is read by now
  const std::size_t atFailure = robot->receivedCount();
  c_MockDS_enable();  // nothing to enable
  // Still no sender thread: nothing more can come; the marker shows nothing did meanwhile.
  EXPECT_EQ(threadCount(), threads);
  ASSERT_TRUE(passMarker(*robot));
  EXPECT_EQ(robot->receivedCount(), atFailure);
  EXPECT_FALSE(robot->robotEnabled());
}

}  // namespace

// Loading and unloading the library at run time, as a robot program's plugin host would.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <thread>

#include "LibraryLoading.h"
#include "ProcessEntries.h"
#include "SimCanBus.h"
#include "SimOrdex.h"
#include "TestPlatform.h"
#include "WaitFor.h"

namespace {

using namespace std::chrono_literals;

using CreateFn = int32_t (*)(int32_t, int32_t);

using halvern::testing::libraryIsLoaded;
using halvern::testing::loadLibrary;

TEST(LibraryUnload, WithNothingCreated) {
  void* library = loadLibrary();
  ASSERT_NE(library, nullptr) << dlerror();
  EXPECT_NE(dlsym(library, "c_Ordex_create"), nullptr);
  EXPECT_EQ(dlclose(library), 0);
  EXPECT_FALSE(libraryIsLoaded());
}

TEST(LibraryUnload, StopsTheHeartbeatOfALiveController) {
  halvern::test::resetSimulation();
  halvern::sim::SimOrdex controller(5);
  void* library = loadLibrary();
  ASSERT_NE(library, nullptr) << dlerror();
  auto create = reinterpret_cast<CreateFn>(dlsym(library, "c_Ordex_create"));
  ASSERT_NE(create, nullptr);
  const std::size_t threads = halvern::testing::settledThreadCount();
  ASSERT_NE(create(5, 1000), 0);
  EXPECT_TRUE(halvern::test::waitFor([&] { return controller.heartbeats().size() >= 2; }, 10s));

  // Unload without destroying the controller: the heartbeat thread must not run on in
  // unmapped code.
  EXPECT_EQ(dlclose(library), 0);
  EXPECT_FALSE(libraryIsLoaded());
  const std::size_t atUnload = controller.heartbeats().size();
  // Its thread is gone (joined as the library unloaded), so no heartbeat can follow.
  EXPECT_EQ(halvern::testing::threadCountSettledAt(threads, 10s), threads);
  EXPECT_EQ(controller.heartbeats().size(), atUnload);
}

}  // namespace

// Loading and unloading the library at run time, as a robot program's plugin host would.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <thread>

#include "SimOrdex.h"
#include "SimCanBus.h"
#include "TestPlatform.h"
#include "LibraryLoading.h"

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
  ASSERT_NE(create(5, 1000), 0);
  std::this_thread::sleep_for(250ms);
  EXPECT_GE(controller.heartbeats().size(), 2U);

  // Unload without destroying the controller: the heartbeat thread must not run on in
  // unmapped code.
  EXPECT_EQ(dlclose(library), 0);
  EXPECT_FALSE(libraryIsLoaded());
  const std::size_t atUnload = controller.heartbeats().size();
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(controller.heartbeats().size(), atUnload);
}

}  // namespace

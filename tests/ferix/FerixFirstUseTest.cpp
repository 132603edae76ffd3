// The analog board's C face before any c_initializeI2C. A program of its own: the library's
// state lasts for the life of the process, and any case of another program may have
// initialised it.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "SimCanBus.h"
#include "SimFerix.h"
#include "SimHal.h"
#include "TestPlatform.h"
#include "core/HalPlatform.h"
#include "halvern/Ferix.h"

namespace {

using namespace std::chrono_literals;
using halvern::sim::SimFerixConverter;

TEST(FerixFirstUse, VoltageIsZeroBeforeInitialize) {
  halvern::test::resetSimulation();
  const auto board = SimFerixConverter::attach();
  board->setInputVoltage(0, 2.0);
  // The port opened by someone else, so readings reach the board.
  int32_t status = 0;
  halvern::platform::i2cInitialize(halvern::platform::kExpansionI2CPort, status);
  ASSERT_EQ(status, 0);

  // Readings are taken, but the converter is as yet unconfigured for the board's settings: its
  // conversion may need longer than a reading waits, so a later reading returns it.
  c_getRawValue(0);
  std::this_thread::sleep_for(20ms);
  const int raw = c_getRawValue(0);
  EXPECT_GT(raw, 0);
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(c_getVoltage(0), 0.0F);
  EXPECT_EQ(c_getVoltage(4), 0.0F);

  c_closeI2C();  // harmless before initialising
  EXPECT_FALSE(HALSIM_GetI2CInitialized(1));
  halvern::test::resetSimulation();
}

}  // namespace

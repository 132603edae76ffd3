// What the analog board's device suites share: every case on a fresh simulation with the
// simulated converter attached and the library's bus closed after it, and four inputs whose
// readings all differ.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <memory>

#include "SimFerix.h"
#include "TestPlatform.h"
#include "halvern/Ferix.h"

namespace halvern::test::ferix {

// Distinct counts at 1 mV a count (+-2.048 V full scale), so an input read for another shows.
inline constexpr std::array<int, 4> kInputCounts{250, 800, 1500, 2000};

class FerixBoardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetSimulation();
    board = sim::SimFerixConverter::attach();
  }

  void TearDown() override {
    c_closeI2C();
    resetSimulation();
  }

  /** Puts each input at the voltage that reads as its count of kInputCounts. */
  void setInputsToTheirCounts() {
    for (std::size_t channel = 0; channel < kInputCounts.size(); ++channel) {
      board->setInputVoltage(static_cast<int>(channel), kInputCounts.at(channel) / 1000.0);
    }
  }

  std::shared_ptr<sim::SimFerixConverter> board;
};

}  // namespace halvern::test::ferix

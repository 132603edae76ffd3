// What the suites of the C++ classes share: a fresh simulation for every case, and checking the
// exception a call throws.
#pragma once

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>

#include "TestPlatform.h"

namespace halvern::test {

/** A suite whose every case starts and ends with the simulation reset. */
class FreshSimulation : public testing::Test {
 protected:
  void SetUp() override { resetSimulation(); }
  void TearDown() override { resetSimulation(); }
};

/** Expects `call` to throw an `Exception` whose what() is `message`. */
template <typename Exception, typename Call>
void expectThrows(Call&& call, const std::string& message) {
  try {
    call();
    ADD_FAILURE() << "no exception; expected \"" << message << "\"";
  } catch (const Exception& thrown) {
    EXPECT_EQ(std::string(thrown.what()), message);
  }
}

/** Expects `call` to throw std::invalid_argument with `message`, as an argument check does. */
template <typename Call>
void expectRejected(Call&& call, const std::string& message) {
  expectThrows<std::invalid_argument>(std::forward<Call>(call), message);
}

}  // namespace halvern::test

// What the suites of the C++ classes share: a fresh simulation for every case, and checking the
// exception a call or a failed creation throws.
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

/**
 * Expects creating a device with `create` to throw std::runtime_error with `message`; the
 * library's own line on the standard output meanwhile is dropped.
 */
template <typename Create>
void expectCreationFails(Create&& create, const std::string& message) {
  ::testing::internal::CaptureStdout();
  expectThrows<std::runtime_error>(std::forward<Create>(create), message);
  ::testing::internal::GetCapturedStdout();
}

}  // namespace halvern::test

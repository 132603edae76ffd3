// What every sensor's creation on a USB serial port answers to a port it cannot use.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace halvern::test {

/** A path no device has. */
inline constexpr const char* kMissingPort = "/dev/halvern-no-such-port";

/**
 * Creating on no port, or on `kMissingPort`, gives no sensor; the second prints `missingLine` on
 * the standard error. `createUsb` is a family's C create on a port, `setting` its second
 * argument.
 */
inline void expectBadPortsRejected(void* (*createUsb)(const char*, int), int setting,
                                   const std::string& missingLine) {
  EXPECT_EQ(createUsb(nullptr, setting), nullptr);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(createUsb(kMissingPort, setting), nullptr);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), missingLine);
}

}  // namespace halvern::test

#include <gtest/gtest.h>

#include <string>

#include "core/ErrorText.h"

namespace {

using halvern::errorText;

TEST(ErrorText, KnownCodesHaveTheirMessages) {
  EXPECT_EQ(errorText(0), "");
  EXPECT_EQ(errorText(1000), "Ordex could not be initialized");
  EXPECT_EQ(errorText(1002), "Device ID out of range [1;63]");
  EXPECT_EQ(errorText(1017 + 3), "RPM for motor 3 could not be obtained");
  EXPECT_EQ(errorText(1100 + 2), "Encoder distance for encoder 2 could not be obtained");
  EXPECT_EQ(errorText(1104), "Raw distance for encoder 0 could not be obtained");
  EXPECT_EQ(errorText(1111), "Speed for encoder 3 could not be obtained");
  EXPECT_EQ(errorText(2010), "Read count bytes out of range [1;)");
  EXPECT_EQ(errorText(2011), "Read buffer is null");
}

TEST(ErrorText, CodesOutsideTheTableAreUnknown) {
  for (const int code : {-1, 999, 1003, 1024, 1099, 1112, 2000, 2003, 2012}) {
    EXPECT_EQ(errorText(code), "Unknown error found") << code;
  }
}

TEST(ErrorText, ReportWritesOneFlushedLineToStandardOutput) {
  testing::internal::CaptureStdout();
  halvern::reportError(1001);
  halvern::reportError(12345);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Motor frequency out of range [0;20000]\nUnknown error found\n");
}

}  // namespace

// The C++ classes of the CAN devices opened on a bus: the default bus 0, and a bus no platform
// has (WPILib 2027 has buses 0 to 5, WPILib 2026 only bus 0), refused with the library's line.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "ClassTestSupport.h"
#include "SimCanBus.h"
#include "SimDystal.h"
#include "SimIridel.h"
#include "SimOrdex.h"
#include "TestPlatform.h"
#include "halvern/Dystal.hpp"
#include "halvern/Iridel.hpp"
#include "halvern/Ordex.hpp"

namespace {

using halvern::test::expectThrows;

// No platform has this bus; each names its own range in the line it prints.
constexpr int kMissingBus = 6;

class CanBusClasses : public halvern::test::FreshSimulation {};

// Runs `open`, which must throw std::runtime_error `message`; what the library printed.
template <typename Open>
std::string refusal(Open open, const std::string& message) {
  testing::internal::CaptureStdout();
  expectThrows<std::runtime_error>(open, message);
  return testing::internal::GetCapturedStdout();
}

TEST_F(CanBusClasses, ABusThePlatformLacksThrowsAfterTheLibrarySaysWhy) {
  EXPECT_NE(refusal([] { halvern::Ordex(5, 1000, kMissingBus); },
                    "Ordex on CAN device 5, bus 6 could not be initialized")
                .find("CAN bus out of range [0;"),
            std::string::npos);
  EXPECT_NE(refusal([] { halvern::Iridel(3, kMissingBus); },
                    "Iridel on CAN ID 3, bus 6 could not be initialized")
                .find("[Iridel] CAN bus 6 is out of range (0 - "),
            std::string::npos);
  EXPECT_NE(refusal([] { halvern::Dystal(7, -1); },
                    "Dystal on CAN ID 7, bus -1 could not be initialized")
                .find("[Dystal] CAN bus -1 is out of range (0 - "),
            std::string::npos);
  EXPECT_TRUE(halvern::sim::sentFramesOnBus(kMissingBus, 0, 0).empty());
  EXPECT_TRUE(halvern::sim::sentFrames().empty());
  // The CAN ID is still checked first, by the class itself.
  halvern::test::expectRejected([] { halvern::Iridel(64, kMissingBus); },
                                "CAN ID 64 out of range [0;63]");
}

TEST_F(CanBusClasses, DevicesOpenOnBusZeroByDefault) {
  const halvern::sim::SimOrdex controller(5);
  halvern::Ordex ordex(5, 1000);
  EXPECT_EQ(ordex.GetCanBus(), 0);
  const halvern::Ordex moved(std::move(ordex));
  EXPECT_EQ(moved.GetCanBus(), 0);

  const halvern::Iridel colour(3);
  EXPECT_EQ(colour.GetCanBus(), 0);
  halvern::Dystal distance(7, 0);
  EXPECT_EQ(distance.GetCanBus(), 0);
  EXPECT_EQ(distance.GetCanId(), 7);
  distance.Close();
  EXPECT_EQ(distance.GetCanBus(), -1);
}

}  // namespace

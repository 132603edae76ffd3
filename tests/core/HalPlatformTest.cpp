// The platform layer: the WPILib year the build chose is the one the library, the simulators
// and the tests' raw HAL calls all see, and every year's frames come out alike.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "RawHal.h"
#include "SimHal.h"
#include "core/HalPlatform.h"

namespace halvern {
namespace {

TEST(HalPlatformYear, TheLibrarySimulatorsAndTestsSeeTheYearTheBuildChose) {
  EXPECT_EQ(sim::simhal::kWpilibYear, HALVERN_WPILIB_YEAR);
  // WPILib 2027 is the first year with several CAN buses and CAN FD frames.
  const bool severalBuses = HALVERN_WPILIB_YEAR >= 2027;
  EXPECT_EQ(platform::kCanBusCount > 1, severalBuses);
  EXPECT_EQ(test::rawhal::hasBusesAndFd(), severalBuses);
  EXPECT_TRUE(platform::canBusExists(platform::kDefaultCanBus));
  EXPECT_TRUE(platform::canBusExists(platform::kMaxCanBus));
  EXPECT_FALSE(platform::canBusExists(platform::kCanBusCount));
  EXPECT_FALSE(platform::canBusExists(-1));
}

TEST(HalPlatformFrame, AFrameKeepsAtMostEightBytesZeroesTheRestAndStampsBothUnits) {
  platform::CanFrame frame;
  frame.data.fill(0xEE);  // left over from an earlier frame
  const std::array<uint8_t, 12> longer{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  platform::detail::fill(frame, 0x1234, longer.data(), longer.size(), 2'345'678);
  EXPECT_EQ(frame.messageId, 0x1234U);
  ASSERT_EQ(frame.length, platform::kCanFrameBytes);
  EXPECT_EQ(frame.bytes()[7], 8);
  EXPECT_EQ(frame.timestampUs, 2'345'678U);
  EXPECT_EQ(frame.timestampMs, 2'345U);

  const std::array<uint8_t, 2> shorter{0xAB, 0xCD};
  platform::detail::fill(frame, 0x99, shorter.data(), shorter.size(), 999);
  EXPECT_EQ(frame.length, 2);
  EXPECT_EQ(frame.data[0], 0xAB);
  EXPECT_EQ(frame.data[1], 0xCD);
  for (std::size_t i = 2; i < frame.data.size(); ++i) {
    EXPECT_EQ(frame.data[i], 0) << "byte " << i << " of a two-byte frame";
  }
  EXPECT_EQ(frame.timestampMs, 0U);
}

TEST(HalPlatformFrame, APayloadLongerThanAClassicFrameIsNotSent) {
  const std::array<uint8_t, platform::kCanFrameBytes + 1> payload{};
  EXPECT_EQ(platform::canSend(0x100, payload), platform::kCanInvalidBuffer);
}

}  // namespace
}  // namespace halvern

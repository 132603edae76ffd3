// Which serial port the device search picks, from Windows- and POSIX-shaped listings.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/DevicePath.h"
#include "halvern/Serial.h"

namespace {

using namespace halvern::serial;  // NOLINT(google-build-using-namespace)

std::string pick(const std::vector<DeviceMapValue>& map, int port) {
  return selectDevicePath(pathsFromDeviceMap(map, kWindowsPathRules.prefix), port,
                          kWindowsPathRules);
}

TEST(DevicePath, WithNoPortsFallsBackToComThreeAndFour) {
  EXPECT_EQ(pick({}, 3), R"(\\.\COM4)");
  for (const int port : {0, 1, 2, 4, -1}) {
    EXPECT_EQ(pick({}, port), R"(\\.\COM3)") << port;
  }
}

TEST(DevicePath, SelectorThreeWantsTheSecondPort) {
  const std::vector<DeviceMapValue> one{{kTextValueType, "COM5"}};
  EXPECT_EQ(pick(one, 0), R"(\\.\COM5)");
  EXPECT_EQ(pick(one, 3), R"(\\.\COM4)");  // the fall-back, not COM5
}

TEST(DevicePath, PortsAreOrderedByteWise) {
  const std::vector<DeviceMapValue> map{{kTextValueType, "COM3"}, {kTextValueType, "COM10"}};
  EXPECT_EQ(pick(map, 2), R"(\\.\COM10)");
  EXPECT_EQ(pick(map, 3), R"(\\.\COM3)");
  const std::vector<DeviceMapValue> listed{{kTextValueType, "COM7"}, {kTextValueType, "COM4"}};
  EXPECT_EQ(pick(listed, 2), R"(\\.\COM4)");
  EXPECT_EQ(pick(listed, 3), R"(\\.\COM7)");
}

TEST(DevicePath, OnlyTextValuesCount) {
  const std::vector<DeviceMapValue> map{{4, std::string("\x05\0\0\0", 4)},
                                        {kTextValueType, std::string("COM9\0junk", 9)}};
  EXPECT_EQ(pick(map, 0), R"(\\.\COM9)");
  EXPECT_EQ(pick(map, 3), R"(\\.\COM4)");
}

TEST(DevicePath, PosixFallBacks) {
  EXPECT_EQ(selectDevicePath({}, 0, kPosixPathRules), "/dev/ttyUSB0");
  EXPECT_EQ(selectDevicePath({}, 3, kPosixPathRules), "/dev/ttyUSB1");
  EXPECT_EQ(selectDevicePath({"/dev/ttyUSB1", "/dev/ttyACM0"}, 3, kPosixPathRules), "/dev/ttyUSB1");
}

TEST(DevicePath, AddedPathsAreListedBesideTheHostPorts) {
  std::vector<std::string> expected = listHostSerialPorts();
  const std::string added = "/dev/pts/zz-halvern-test";
  c_Serial_addDevicePath(added.c_str());
  c_Serial_addDevicePath(added.c_str());  // adding twice lists it once
  expected.push_back(added);
  EXPECT_EQ(FindDevicePath(0), selectDevicePath(expected, 0, hostPathRules()));
  EXPECT_EQ(FindDevicePath(3), selectDevicePath(expected, 3, hostPathRules()));

  // The C variant writes what fits and tells the whole length.
  const std::string first = FindDevicePath(0);
  std::array<char, 6> small{};
  EXPECT_EQ(c_Serial_findDevicePath(0, small.data(), small.size()),
            static_cast<int32_t>(first.size()));
  EXPECT_EQ(std::string(small.data()), first.substr(0, 5));
  EXPECT_EQ(c_Serial_findDevicePath(0, nullptr, 0), static_cast<int32_t>(first.size()));

  c_Serial_removeDevicePath(added.c_str());
  expected.pop_back();
  EXPECT_EQ(FindDevicePath(3), selectDevicePath(expected, 3, hostPathRules()));
  c_Serial_addDevicePath(nullptr);
  c_Serial_removeDevicePath(nullptr);
}

}  // namespace

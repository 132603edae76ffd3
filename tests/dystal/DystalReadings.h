// What the distance sensor's device tests read through the C face, on either transport: the
// reading and the configuration as the library leaves them, and how they are compared.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "OwnedHandle.h"
#include "halvern/Dystal.h"

namespace halvern::test::dystal {

using Sensor = OwnedHandle<c_Dystal_destroy>;
using Distances = std::vector<int16_t>;

/** A reading as c_Dystal_getData leaves it, starting from bytes it must overwrite. */
inline DystalScanData readingOf(void* sensor, int count = DYSTAL_MAX_DISTANCES) {
  DystalScanData scan{};
  std::memset(&scan, 0x55, sizeof scan);
  EXPECT_EQ(c_Dystal_getData(sensor, &scan, count), &scan);
  return scan;
}

/** How long a configuration read may wait for a sensor that answers: the limit only bounds a
 *  failure, so it is far beyond what a busy machine needs. */
inline constexpr int kAnsweredConfigLimitMs = 10000;

/** A configuration as c_Dystal_getConfig leaves it, starting from bytes it must overwrite. */
inline DystalConfig configOf(void* sensor, int timeoutMs) {
  DystalConfig config{};
  std::memset(&config, 0x55, sizeof config);
  EXPECT_EQ(c_Dystal_getConfig(sensor, &config, timeoutMs), &config);
  return config;
}

/** The first `count` distances of a reading. */
inline Distances firstDistances(const DystalScanData& scan, int count) {
  return {std::begin(scan.distance), std::begin(scan.distance) + count};
}

/** Every field of a configuration, so a failed comparison says which differ. */
inline std::string describe(const DystalConfig& c) {
  return "valid " + std::to_string(c.valid) + ", version " + std::to_string(c.version) +
         ", distance " + std::to_string(c.distanceEnabled) + ", FD " +
         std::to_string(c.canFdEnabled) + ", BRS " + std::to_string(c.canBrsEnabled) + ", CAN ID " +
         std::to_string(c.canID);
}

/** An invalid configuration is all 0. */
inline void expectInvalid(const DystalConfig& config) {
  EXPECT_EQ(describe(config), describe(DystalConfig{}));
}

}  // namespace halvern::test::dystal

// WPILib 2026's simulation API (and the stand-in's, shaped like it) as SimHal.h names it.
#pragma once

#include <cstdint>

#include "hal/CAN.h"
#include "hal/HALBase.h"
#include "hal/SimDevice.h"
#include "hal/simulation/CanData.h"
#include "hal/simulation/DriverStationData.h"
#include "hal/simulation/I2CData.h"
#include "hal/simulation/SimDeviceData.h"
#include "wpi/Logger.h"
#include "wpinet/UDPClient.h"

namespace halvern::sim::simhal {

inline constexpr int kWpilibYear = 2026;

/** Where the HAL's C++ SimDevice wrappers are. */
namespace simdevice = ::hal;
using Direction = simdevice::SimDevice::Direction;
inline constexpr Direction kInput = simdevice::SimDevice::kInput;
inline constexpr Direction kOutput = simdevice::SimDevice::kOutput;
inline constexpr Direction kBidir = simdevice::SimDevice::kBidir;
using Logger = ::wpi::Logger;
using UDPClient = ::wpi::UDPClient;
inline constexpr int32_t kInvalidHandle = HAL_kInvalidHandle;

/**
 * The HAL's own clock, in microseconds since HAL_Initialize: what a robot program reads as the
 * time and what the HAL's handle reads judge a frame's age by (it stops while the simulation's
 * timing is paused).
 */
inline uint64_t halMicros() {
  int32_t status = 0;
  return HAL_GetFPGATime(&status);
}

/** Nothing to wait for: the HAL's threads here start with it. */
inline void awaitHalThreads() {}

}  // namespace halvern::sim::simhal

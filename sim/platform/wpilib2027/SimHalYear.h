// WPILib 2027's simulation API as SimHal.h names it: headers under wpi/hal/, the C++ wrappers
// in wpi::hal, the utility classes in wpi::util and wpi::net.
#pragma once

#include <cstdint>

#include "wpi/hal/CAN.h"
#include "wpi/hal/HAL.h"
#include "wpi/hal/Notifier.h"
#include "wpi/hal/SimDevice.h"
#include "wpi/hal/SimDevice.hpp"
#include "wpi/hal/simulation/CanData.h"
#include "wpi/hal/simulation/DriverStationData.h"
#include "wpi/hal/simulation/I2CData.h"
#include "wpi/hal/simulation/SimDeviceData.h"
#include "wpi/net/UDPClient.hpp"
#include "wpi/util/Logger.hpp"
#include "wpi/util/Synchronization.h"

namespace halvern::sim::simhal {

inline constexpr int kWpilibYear = 2027;

/** Where the HAL's C++ SimDevice wrappers are. */
namespace simdevice = ::wpi::hal;
using Direction = simdevice::SimDevice::Direction;
inline constexpr Direction kInput = Direction::INPUT;
inline constexpr Direction kOutput = Direction::OUTPUT;
inline constexpr Direction kBidir = Direction::BIDIR;
using Logger = ::wpi::util::Logger;
using UDPClient = ::wpi::net::UDPClient;
inline constexpr int32_t kInvalidHandle = HAL_INVALID_HANDLE;

/**
 * The HAL's own clock, in microseconds since HAL_Initialize: what a robot program reads as the
 * time and what the HAL's handle reads judge a frame's age by (it stops while the simulation's
 * timing is paused).
 */
inline uint64_t halMicros() { return HAL_GetMonotonicTime(); }

/**
 * Returns once the HAL's own threads are running, after HAL_Initialize. WPILib 2027 (alpha-6)
 * starts its notifier thread there, and a process that ends before that thread first waits
 * hangs at exit, joining a thread that missed its stop (about 3 in 1000 short-lived programs
 * here, test programs among them). One alarm through a notifier proves the thread is in its
 * loop.
 */
inline void awaitHalThreads() {
  int32_t status = 0;
  const HAL_NotifierHandle notifier = HAL_CreateNotifier(&status);
  if (status != 0 || notifier == HAL_INVALID_HANDLE) {
    return;
  }
  HAL_SetNotifierAlarm(notifier, 0, 0, false, true, &status);  // due now
  int timedOut = 0;
  if (status == 0) {
    static_cast<void>(WPI_WaitForObjectTimeout(static_cast<WPI_Handle>(notifier), 1.0, &timedOut));
  }
  HAL_DestroyNotifier(notifier);
}

}  // namespace halvern::sim::simhal

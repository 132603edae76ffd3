// The simulated devices' one view of WPILib's simulation API. WPILib 2026 (and the stand-in HAL,
// shaped like it) and WPILib 2027 offer the same simulation, spelt differently: 2027 moved the
// headers under wpi/hal/ (C++ wrappers .hpp), the C++ wrappers into namespace wpi::hal (value
// directions Direction::INPUT ...), the utility classes into wpi::util and wpi::net, and gave
// the CAN callbacks a bus number and message structs. This header picks the HAL whose headers
// are on the include path and names what the devices use in one way; the device models use
// these names and nothing platform-specific. The CAN callbacks' own adapters live with the bus
// (SimCanBus.cpp), the one place that registers them.
#pragma once

#include <cstdint>

#if __has_include(<wpi/hal/HAL.h>)
#define HALVERN_SIM_WPILIB_2027 1
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
#else
#define HALVERN_SIM_WPILIB_2027 0
#include "hal/CAN.h"
#include "hal/HALBase.h"
#include "hal/SimDevice.h"
#include "hal/simulation/CanData.h"
#include "hal/simulation/DriverStationData.h"
#include "hal/simulation/I2CData.h"
#include "hal/simulation/SimDeviceData.h"
#include "wpi/Logger.h"
#include "wpinet/UDPClient.h"
#endif

namespace halvern::sim::simhal {

#if HALVERN_SIM_WPILIB_2027
using SimDevice = ::wpi::hal::SimDevice;
using SimValue = ::wpi::hal::SimValue;
using SimDouble = ::wpi::hal::SimDouble;
using SimInt = ::wpi::hal::SimInt;
using SimBoolean = ::wpi::hal::SimBoolean;
using SimEnum = ::wpi::hal::SimEnum;
using Direction = SimDevice::Direction;
inline constexpr Direction kInput = Direction::INPUT;
inline constexpr Direction kOutput = Direction::OUTPUT;
inline constexpr Direction kBidir = Direction::BIDIR;
/** The C API's value directions, as HALSIM_EnumerateSimValues reports them. */
inline constexpr int32_t kInputDirection = HAL_SIM_VALUE_INPUT;
inline constexpr int32_t kOutputDirection = HAL_SIM_VALUE_OUTPUT;
using Logger = ::wpi::util::Logger;
using UDPClient = ::wpi::net::UDPClient;
/** The HAL's "no handle". */
inline constexpr int32_t kInvalidHandle = HAL_INVALID_HANDLE;
#else
using SimDevice = ::hal::SimDevice;
using SimValue = ::hal::SimValue;
using SimDouble = ::hal::SimDouble;
using SimInt = ::hal::SimInt;
using SimBoolean = ::hal::SimBoolean;
using SimEnum = ::hal::SimEnum;
using Direction = SimDevice::Direction;
inline constexpr Direction kInput = SimDevice::kInput;
inline constexpr Direction kOutput = SimDevice::kOutput;
inline constexpr Direction kBidir = SimDevice::kBidir;
inline constexpr int32_t kInputDirection = HAL_SimValueInput;
inline constexpr int32_t kOutputDirection = HAL_SimValueOutput;
using Logger = ::wpi::Logger;
using UDPClient = ::wpi::UDPClient;
inline constexpr int32_t kInvalidHandle = HAL_kInvalidHandle;
#endif

/** WPILib's year whose simulation API this is: 2026 (the stand-in's too) or 2027. */
inline constexpr int kWpilibYear = HALVERN_SIM_WPILIB_2027 ? 2027 : 2026;

/**
 * The HAL's own clock, in microseconds since HAL_Initialize: what a robot program reads as the
 * time and what the HAL's handle reads judge a frame's age by (it stops while the simulation's
 * timing is paused). The simulated bus stamps its frames with it.
 */
inline uint64_t halMicros() {
#if HALVERN_SIM_WPILIB_2027
  return HAL_GetMonotonicTime();
#else
  int32_t status = 0;
  return HAL_GetFPGATime(&status);
#endif
}

/**
 * Returns once the HAL's own threads are running, after HAL_Initialize. WPILib 2027 (alpha-6)
 * starts its notifier thread there, and a process that ends before that thread first waits
 * hangs at exit, joining a thread that missed its stop (about 3 in 1000 short-lived programs
 * here, test programs among them). One alarm through a notifier proves the thread is in its
 * loop. Nothing to wait for on WPILib 2026 and the stand-in.
 */
inline void awaitHalThreads() {
#if HALVERN_SIM_WPILIB_2027
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
#endif
}

}  // namespace halvern::sim::simhal

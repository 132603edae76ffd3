// The simulated devices' one view of WPILib's simulation API. WPILib 2026 (and the stand-in HAL,
// shaped like it) and WPILib 2027 offer the same simulation, spelt differently: 2027 moved the
// headers under wpi/hal/ (C++ wrappers .hpp), the C++ wrappers into namespace wpi::hal (value
// directions Direction::INPUT ...), the utility classes into wpi::util and wpi::net, and gave
// the CAN callbacks a bus number and message structs. The build's WPILib year picks its own
// SimHalYear.h (sim/platform/wpilib<year>/, installed beside this header), which names what the
// devices use in one way, in namespace halvern::sim::simhal:
//   simdevice, Direction and kInput, kOutput, kBidir
//                                       where the HAL's C++ SimDevice wrappers are (this header
//                                       names them SimDevice, SimValue, SimDouble, ...), and the
//                                       value directions
//   Logger, UDPClient                   the utility libraries' logger and UDP client
//   kInvalidHandle                      the HAL's "no handle"
//   kWpilibYear                         the year itself
//   halMicros()                         the HAL's own clock, in microseconds since
//                                       HAL_Initialize, which the simulated bus stamps frames with
//   awaitHalThreads()                   returns once the HAL's own threads run
// The device models use these names and nothing platform-specific. The CAN callbacks' own
// adapters live with the bus, the one place that registers them.
#pragma once

#include <cstdint>

#include "SimHalYear.h"

namespace halvern::sim::simhal {

using SimDevice = simdevice::SimDevice;
using SimValue = simdevice::SimValue;
using SimDouble = simdevice::SimDouble;
using SimInt = simdevice::SimInt;
using SimBoolean = simdevice::SimBoolean;
using SimEnum = simdevice::SimEnum;
/** The C API's value directions, as HALSIM_EnumerateSimValues reports them. */
inline constexpr int32_t kInputDirection = static_cast<int32_t>(kInput);
inline constexpr int32_t kOutputDirection = static_cast<int32_t>(kOutput);

}  // namespace halvern::sim::simhal

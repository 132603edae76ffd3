// Ordex four-motor controller on the CAN bus: the C face of HalvernDriver.
//
// A controller is created under its CAN device number and referred to by the CAN handle that
// creation returns (0 means failure). While it exists the library tells it ten times a second
// whether the robot is enabled. Destroy every controller before unloading the library.
#pragma once

#include <cstdint>
#include <string>

#include "halvern/Export.h"

extern "C" {

/**
 * Creates a controller on device number 1 to 63 with a motor PWM frequency of 0 to 20000 Hz.
 * Returns its CAN handle, or 0 after printing why on standard output.
 */
HALVERN_API int32_t c_Ordex_create(int32_t deviceId, int32_t frequency);

/** Stops the controller's heartbeat, forgets it and releases its CAN handle. */
HALVERN_API void c_Ordex_destroy(int32_t handle);

/** The device number the controller reports of itself; 0 when it does not answer. */
HALVERN_API int32_t c_Ordex_getID(int32_t handle);

/** "Firmware Version: [a.b.c]", or "Firmware Version: (read failed)". */
HALVERN_API std::string c_Ordex_getFirmwareVersion(int32_t handle);

/** "Hardware: Ordex Quad, Version: n", "No Hardware Found!" or "Hardware: (read failed)". */
HALVERN_API std::string c_Ordex_getHardwareVersion(int32_t handle);

}  // extern "C"

// Robot state and the monotonic FPGA clock.
#pragma once

#include <stdint.h>

#include "hal/Types.h"

#ifdef __cplusplus
extern "C" {
#endif

/**
 * Starts the HAL. WPILib's simulation needs it before any HALSIM_ call; the stand-in is ready
 * when it loads, so it only returns true. Calling it again is harmless.
 */
HAL_Bool HAL_Initialize(int32_t timeout, int32_t mode);
/** Called once at the end of a program; the stand-in has nothing to stop. */
void HAL_Shutdown(void);

/** True while the robot system is enabled. */
HAL_Bool HAL_GetSystemActive(int32_t* status);
/** Monotonic time in microseconds. */
uint64_t HAL_GetFPGATime(int32_t* status);

#ifdef __cplusplus
}
#endif

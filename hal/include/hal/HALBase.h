// Robot state and the monotonic FPGA clock.
#pragma once

#include <stdint.h>

#include "hal/Types.h"

#ifdef __cplusplus
extern "C" {
#endif

/** True while the robot system is enabled. */
HAL_Bool HAL_GetSystemActive(int32_t* status);
/** Monotonic time in microseconds. */
uint64_t HAL_GetFPGATime(int32_t* status);

#ifdef __cplusplus
}
#endif

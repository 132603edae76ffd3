// The simulation side of the driver station: the robot's enabled state, which
// HAL_GetSystemActive reports.
#pragma once

#include "hal/Types.h"
#include "hal/simulation/NotifyListener.h"

#ifdef __cplusplus
extern "C" {
#endif

void HALSIM_ResetDriverStationData(void);

int32_t HALSIM_RegisterDriverStationEnabledCallback(HAL_NotifyCallback callback, void* param,
                                                    HAL_Bool initialNotify);
void HALSIM_CancelDriverStationEnabledCallback(int32_t uid);
HAL_Bool HALSIM_GetDriverStationEnabled(void);
void HALSIM_SetDriverStationEnabled(HAL_Bool enabled);

#ifdef __cplusplus
}  // extern "C"
#endif

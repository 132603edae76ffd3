#include "hal/HALBase.h"

#include "SimState.h"
#include "hal/simulation/DriverStationData.h"

using halsim::detail::setStatus;
using halsim::detail::simState;

extern "C" {

HAL_Bool HAL_Initialize(int32_t /*timeout*/, int32_t /*mode*/) { return 1; }

void HAL_Shutdown(void) {}

HAL_Bool HAL_GetSystemActive(int32_t* status) {
  setStatus(status, 0);
  return HALSIM_GetDriverStationEnabled();
}

uint64_t HAL_GetFPGATime(int32_t* status) {
  setStatus(status, 0);
  return halsim::detail::nowMicros();
}

// The driver station's enabled state, as a driver station (or a test) sets it.

void HALSIM_ResetDriverStationData(void) {
  HALSIM_SetDriverStationEnabled(0);
  simState().enabledCallbacks.clear();
}

int32_t HALSIM_RegisterDriverStationEnabledCallback(HAL_NotifyCallback callback, void* param,
                                                    HAL_Bool initialNotify) {
  const int32_t uid = simState().enabledCallbacks.add(callback, param);
  if (uid != 0 && initialNotify) {
    const HAL_Value value = HAL_MakeBoolean(HALSIM_GetDriverStationEnabled());
    callback("Enabled", param, &value);
  }
  return uid;
}

void HALSIM_CancelDriverStationEnabledCallback(int32_t uid) {
  simState().enabledCallbacks.cancel(uid);
}

HAL_Bool HALSIM_GetDriverStationEnabled(void) { return simState().enabled.load() ? 1 : 0; }

void HALSIM_SetDriverStationEnabled(HAL_Bool enabled) {
  const bool previous = simState().enabled.exchange(enabled != 0);
  if (previous != (enabled != 0)) {
    const HAL_Value value = HAL_MakeBoolean(enabled != 0 ? 1 : 0);
    simState().enabledCallbacks.call("Enabled", &value);
  }
}

}  // extern "C"

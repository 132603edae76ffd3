#include "hal/HALBase.h"

#include "SimState.h"

using halsim::detail::setStatus;
using halsim::detail::simState;

extern "C" {

HAL_Bool HAL_GetSystemActive(int32_t* status) {
  setStatus(status, 0);
  return simState().systemActive.load() ? 1 : 0;
}

uint64_t HAL_GetFPGATime(int32_t* status) {
  setStatus(status, 0);
  return halsim::detail::nowMicros();
}

}  // extern "C"

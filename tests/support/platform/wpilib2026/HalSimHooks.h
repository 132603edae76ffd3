// WPILib 2026's simulation hooks the tests use beyond SimHal.h: the HAL's extensions and its
// timing (paused, resumed), and the CAN handle read with a time-out. The stand-in has none.
#pragma once

#include "hal/CANAPI.h"
#include "hal/Extensions.h"
#include "hal/simulation/MockHooks.h"

// WPILib 2027's simulation hooks the tests use beyond SimHal.h: the HAL's extensions and its
// timing (paused, resumed), and the CAN handle read with a time-out. The stand-in has none.
#pragma once

#include "wpi/hal/CANAPI.h"
#include "wpi/hal/Extensions.h"
#include "wpi/hal/simulation/MockHooks.h"

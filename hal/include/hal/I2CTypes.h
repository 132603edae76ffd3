#pragma once

#include "hal/Types.h"

HAL_ENUM(HAL_I2CPort){HAL_I2C_kInvalid = -1, HAL_I2C_kOnboard, HAL_I2C_kMXP};

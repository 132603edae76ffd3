// Manufacturer and device-type codes of the robot CAN identifier layout.
#pragma once

#include "hal/Types.h"

// Codes are passed as plain numbers cast to these types.
HAL_ENUM(HAL_CANManufacturer){};
HAL_ENUM(HAL_CANDeviceType){};

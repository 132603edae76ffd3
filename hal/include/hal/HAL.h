// The whole HAL, as a robot program includes it.
#pragma once

#include "hal/CAN.h"
#include "hal/CANAPI.h"
#include "hal/HALBase.h"
#include "hal/I2C.h"
#include "hal/SerialPort.h"
#include "hal/SimDevice.h"
#include "hal/Types.h"
#include "hal/Value.h"

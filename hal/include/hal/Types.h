// Handle and boolean types of the robot HAL.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
#define HAL_ENUM(name) enum name : int32_t
#else
#define HAL_ENUM(name) \
  typedef int32_t name; \
  enum name
#endif

typedef int32_t HAL_Handle;
typedef HAL_Handle HAL_CANHandle;
typedef HAL_Handle HAL_SerialPortHandle;
typedef HAL_Handle HAL_SimDeviceHandle;
typedef HAL_Handle HAL_SimValueHandle;
typedef int32_t HAL_Bool;

#define HAL_kInvalidHandle 0

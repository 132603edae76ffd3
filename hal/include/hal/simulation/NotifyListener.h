// The callback shapes of the simulation's data.
#pragma once

#include "hal/Value.h"

typedef void (*HAL_NotifyCallback)(const char* name, void* param, const struct HAL_Value* value);

typedef void (*HAL_BufferCallback)(const char* name, void* param, unsigned char* buffer,
                                   unsigned int count);

typedef void (*HAL_ConstBufferCallback)(const char* name, void* param,
                                        const unsigned char* buffer, unsigned int count);

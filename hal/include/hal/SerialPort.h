// The robot controller's own serial ports.
#pragma once

#include <stdint.h>

#include "hal/Types.h"

HAL_ENUM(HAL_SerialPort){HAL_SerialPort_Onboard = 0, HAL_SerialPort_MXP = 1,
                         HAL_SerialPort_USB1 = 2, HAL_SerialPort_USB2 = 3};

#ifdef __cplusplus
extern "C" {
#endif

HAL_SerialPortHandle HAL_InitializeSerialPort(HAL_SerialPort port, int32_t* status);
void HAL_SetSerialBaudRate(HAL_SerialPortHandle handle, int32_t baud,
                                       int32_t* status);
void HAL_SetSerialDataBits(HAL_SerialPortHandle handle, int32_t bits,
                                       int32_t* status);
void HAL_SetSerialParity(HAL_SerialPortHandle handle, int32_t parity,
                                     int32_t* status);
void HAL_SetSerialStopBits(HAL_SerialPortHandle handle, int32_t stopBits,
                                       int32_t* status);
void HAL_SetSerialWriteMode(HAL_SerialPortHandle handle, int32_t mode,
                                        int32_t* status);
void HAL_SetSerialTimeout(HAL_SerialPortHandle handle, double timeout,
                                      int32_t* status);
void HAL_DisableSerialTermination(HAL_SerialPortHandle handle, int32_t* status);
int32_t HAL_GetSerialBytesReceived(HAL_SerialPortHandle handle, int32_t* status);
int32_t HAL_ReadSerial(HAL_SerialPortHandle handle, char* buffer, int32_t count,
                                   int32_t* status);
void HAL_CloseSerial(HAL_SerialPortHandle handle);

#ifdef __cplusplus
}
#endif

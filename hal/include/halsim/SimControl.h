// The stand-in HAL's own controls: what only a stand-in can do, for tests.
//
// Device models meet the HAL through WPILib's simulation API (hal/simulation/*.h,
// hal/SimDevice.h), on this stand-in and on WPILib alike. This header adds what WPILib's
// simulation has not: faults injected into HAL calls, counts of open handles, and the robot
// controller's serial ports, which WPILib does not simulate. Nothing in a robot library or a
// device model may include it.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

namespace halsim {

/** Number of CAN handles initialised and not yet cleaned. */
int openCanHandleCount();

// ---------------------------------------------------------------------------------------------
// I2C

/** True while the port is initialised and not closed. */
bool i2cPortOpen(int32_t port);

/**
 * While set, a write on the port for which `fails` returns true fails (a negative result)
 * before any device sees it; an empty function fails none.
 */
void setI2CWriteFault(int32_t port, std::function<bool(std::span<const uint8_t>)> fails);
/** While set, every read on the port fails, leaving 0xFF (the idle bus) in the buffer. */
void setI2CReadFault(int32_t port, bool fails);
/** Every transfer on the port fails, as with no board on the bus (false: none). */
void setI2CAbsent(int32_t port, bool absent);

// ---------------------------------------------------------------------------------------------
// The robot controller's serial ports (HAL_SerialPort numbers 0 to 3)

/** Bytes a device sends towards the robot program on that port. */
void pushSerialBytes(int32_t port, std::span<const uint8_t> bytes);

/** The line settings a robot program applied to a port. */
struct SerialSettings {
  bool open = false;
  int32_t baudRate = 9600;
  int32_t dataBits = 8;
  int32_t parity = 0;
  int32_t stopBits = 10;
  int32_t writeMode = 0;
  double timeoutSeconds = 0.0;
  bool terminationEnabled = false;
};
SerialSettings serialSettings(int32_t port);

// ---------------------------------------------------------------------------------------------
// Faults. Each stays in force until set back to 0 (or false), or until reset().

/** HAL_InitializeCAN reports this status (and no handle) while it is nonzero. */
void setInitializeCanStatus(int32_t status);
/** HAL_CAN_SendMessage reports this status, and drops the frame, while it is nonzero. */
void setSendStatus(int32_t status);
/** HAL_CAN_OpenStreamSession reports this status, and opens nothing, while it is nonzero. */
void setStreamOpenStatus(int32_t status);
/** HAL_InitializeSerialPort reports this status while it is nonzero. */
void setSerialOpenStatus(int32_t status);
/** HAL_GetSerialBytesReceived and HAL_ReadSerial report this status while it is nonzero. */
void setSerialReadStatus(int32_t status);
/** HAL_InitializeI2C reports this status while it is nonzero. */
void setI2CInitializeStatus(int32_t status);

/**
 * Clears every fault and every serial byte waiting, and disables the robot. Simulation
 * callbacks, SimDevices, handles and open ports stay as they are.
 */
void reset();

}  // namespace halsim

// Finding USB serial devices: the C face of HalvernDriver's serial transport.
#pragma once

#include <cstdint>
#include <string>

#include "halvern/Export.h"

/** The port selectors of FindDevicePath (any other value picks the first port too). */
enum SerialPortSelector : int32_t {
  SERIAL_FIRST_PORT = 0,
  SERIAL_SECOND_PORT = 3,
};

extern "C" {

/**
 * The device path of the first serial port found, or of the second when `port` is 3. Ports are
 * ordered byte-wise by path. With too few ports it returns a fixed fall-back: "\\.\COM3" and
 * "\\.\COM4" on Windows, "/dev/ttyUSB0" and "/dev/ttyUSB1" elsewhere.
 */
HALVERN_API std::string FindDevicePath(int port);

/**
 * FindDevicePath for C callers: writes the path into `buffer` (always NUL-terminated when
 * `capacity` is positive, truncated if it does not fit) and returns the path's full length.
 */
HALVERN_API int32_t c_Serial_findDevicePath(int32_t port, char* buffer, int32_t capacity);

/** Lists a path (a simulator's pseudo-terminal, say) beside the host's own serial ports. */
HALVERN_API void c_Serial_addDevicePath(const char* path);

/** Takes back a path added with c_Serial_addDevicePath. */
HALVERN_API void c_Serial_removeDevicePath(const char* path);

}  // extern "C"

// The USB serial port search of the C++ classes of USB devices. Not for robot programs to use
// directly: each class offers it as FindDevicePath.
#pragma once

#include <cstdint>
#include <string>

#include "halvern/Serial.h"
#include "halvern/detail/ClassSupport.hpp"

namespace halvern::detail {

/** The library's USB serial port search, through its C export. */
inline std::string FindDevicePath(int port) {
  return CopyText([port](char* buffer, int32_t capacity) {
    return c_Serial_findDevicePath(port, buffer, capacity);
  });
}

}  // namespace halvern::detail

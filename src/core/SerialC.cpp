// The serial device search as exported C functions.
#include <algorithm>
#include <cstring>

#include "core/DevicePath.h"
#include "core/LibraryState.h"
#include "halvern/Serial.h"

extern "C" {

std::string FindDevicePath(int port) { return halvern::serial::findDevicePath(port); }

int32_t c_Serial_findDevicePath(int32_t port, char* buffer, int32_t capacity) {
  const std::string path = halvern::serial::findDevicePath(port);
  if (buffer != nullptr && capacity > 0) {
    const auto copied = std::min(path.size(), static_cast<std::size_t>(capacity) - 1);
    std::memcpy(buffer, path.data(), copied);
    buffer[copied] = '\0';
  }
  return static_cast<int32_t>(path.size());
}

void c_Serial_addDevicePath(const char* path) {
  if (path != nullptr && *path != '\0') {
    halvern::libraryState().addedDevicePaths.add(path);
  }
}

void c_Serial_removeDevicePath(const char* path) {
  if (path != nullptr) {
    halvern::libraryState().addedDevicePaths.remove(path);
  }
}

}  // extern "C"

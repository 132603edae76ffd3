// The serial device search as exported C functions.
#include "core/DevicePath.h"
#include "core/LibraryState.h"
#include "core/TextCopy.h"
#include "halvern/Serial.h"

extern "C" {

std::string FindDevicePath(int port) { return halvern::serial::findDevicePath(port); }

int32_t c_Serial_findDevicePath(int32_t port, char* buffer, int32_t capacity) {
  return halvern::copyTextOut(halvern::serial::findDevicePath(port), buffer, capacity);
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

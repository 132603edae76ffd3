// A robot program's use of the vendordep on Linux, built by check_vendordep.py from the headers
// zip and the linuxx86-64 zip alone. Prints "vendordep consumer: OK" when every call answers as
// documented.
#include <cstdio>
#include <cstring>
#include <string>

#include "halvern/Ferix.h"
#include "halvern/Ordex.h"
#include "halvern/Serial.h"

int main() {
  int failures = 0;
  auto expect = [&failures](bool ok, const char* what) {
    if (!ok) {
      std::printf("FAILED: %s\n", what);
      ++failures;
    }
  };

  expect(c_getRawValue(7) == 0, "c_getRawValue(7) == 0 (no input 7)");

  char path[256] = {};
  int32_t length = c_Serial_findDevicePath(0, path, sizeof path);
  expect(length > 0 && length == static_cast<int32_t>(std::strlen(path)),
         "c_Serial_findDevicePath(0) writes the whole path");
  expect(std::strncmp(path, "/dev/", 5) == 0, "c_Serial_findDevicePath(0) is a /dev/ path");
  expect(FindDevicePath(0) == path, "FindDevicePath(0) == c_Serial_findDevicePath(0)");

  expect(c_Ordex_create(99, 15000) == 0, "c_Ordex_create(99, ...) fails: device ID out of range");

  if (failures == 0) {
    std::printf("vendordep consumer: OK\n");
  }
  return failures == 0 ? 0 : 1;
}

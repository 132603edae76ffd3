// The analog board's C face.
#include <algorithm>
#include <chrono>

#include "core/LibraryState.h"
#include "halvern/Ferix.h"

using halvern::libraryState;

extern "C" {

bool c_initializeI2C(int referenceVoltage) {
  return libraryState().ferix.initialize(referenceVoltage);
}

void c_closeI2C() { libraryState().ferix.close(); }

int c_getRawValue(uint8_t channel) { return libraryState().ferix.readRaw(channel); }

float c_getVoltage(uint8_t channel) { return libraryState().ferix.readVolts(channel); }

bool c_Ferix_startConversions() { return libraryState().ferix.startConversions(); }

bool c_Ferix_getLatest(uint8_t channel, FerixReading* out) {
  if (out == nullptr) {
    return false;
  }
  return libraryState().ferix.latest(channel, *out);
}

bool c_Ferix_waitForConversions(int32_t timeoutMs) {
  return libraryState().ferix.waitForConversions(std::chrono::milliseconds(std::max(timeoutMs, 0)));
}

bool c_Ferix_isConnected() { return libraryState().ferix.connected(); }

}  // extern "C"

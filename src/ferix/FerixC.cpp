// The analog board's C face.
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

}  // extern "C"

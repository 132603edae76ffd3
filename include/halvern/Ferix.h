// The four-input analog board on the robot controller's expansion-port I2C bus: the C face of
// HalvernDriver.
//
// There is one board, at a fixed address, so no function takes a handle. Initialise once with
// the reference voltage, then read inputs 0 to 3 as 12-bit counts or as volts. Every reading
// waits 1 ms for the board's converter, so it blocks its caller for a little over 1 ms.
#pragma once

#include <cstdint>

#include "halvern/Export.h"

/** The board's inputs and the range of its counts, shared by every face of the library. */
enum FerixLimit : int32_t {
  FERIX_CHANNELS = 4,             // inputs, numbered from 0
  FERIX_MAX_RAW = 4095,           // the largest count; the smallest is 0
  FERIX_FULL_SCALE_COUNT = 2048,  // the count that reads as the reference voltage
};

extern "C" {

/**
 * Opens the bus and stores the reference voltage (volts, whole) that scales c_getVoltage.
 * Returns true when the board answered; when it did not, readings can still be requested and
 * return 0. May be called again to replace the reference voltage.
 */
HALVERN_API bool c_initializeI2C(int referenceVoltage);

/** Closes the bus; the reference voltage is kept. */
HALVERN_API void c_closeI2C();

/**
 * Reads one input as a count from 0 to 4095 (a slightly negative input reads near 4095). An
 * input above 3, or a reading the board did not answer, gives 0. Readings from several
 * threads are taken one after another, each returning its own input.
 */
HALVERN_API int c_getRawValue(uint8_t channel);

/** The count of c_getRawValue scaled by reference voltage / 2048; 0.0 before initialising. */
HALVERN_API float c_getVoltage(uint8_t channel);

}  // extern "C"

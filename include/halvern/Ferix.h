// The four-input analog board on the robot controller's expansion-port I2C bus: the C face of
// HalvernDriver.
//
// There is one board, at a fixed address, so no function takes a handle. Initialise once with
// the reference voltage, then read inputs 0 to 3 as 12-bit counts or as volts. c_getRawValue
// and c_getVoltage wait 1 ms for the board's converter, so each blocks its caller for a little
// over 1 ms.
//
// For a robot's periodic loop, start the background conversions (c_Ferix_startConversions):
// one library thread then converts the four inputs in turn, and c_Ferix_getLatest and
// c_Ferix_isConnected answer at once from what it holds. Programs that never start them see
// exactly the bus traffic of their own readings.
#pragma once

#include <cstdint>

#include "halvern/Export.h"

/** The board's inputs and the range of its counts, shared by every face of the library. */
enum FerixLimit : int32_t {
  FERIX_CHANNELS = 4,             // inputs, numbered from 0
  FERIX_MAX_RAW = 4095,           // the largest count; the smallest is 0
  FERIX_FULL_SCALE_COUNT = 2048,  // the count that reads as the reference voltage
};

/** One input's latest background conversion. */
struct FerixReading {
  /** The count, 0 to 4095 (a slightly negative input reads near 4095); 0 when none. */
  int32_t raw;
  /** The count scaled by reference voltage / 2048; 0 when none. */
  float volts;
  /**
   * When the conversion's bytes arrived, in microseconds on the robot's clock (the time base
   * of HAL_GetFPGATime); 0 when there is no conversion.
   */
  int64_t timestampUs;
};

/** How long the board may go without an answered conversion and still read connected. */
#define FERIX_CONNECTION_SILENCE_MS 100  // NOLINT(cppcoreguidelines-macro-usage): shared with C

extern "C" {

/**
 * Opens the bus and stores the reference voltage (volts, whole) that scales c_getVoltage.
 * Returns true when the board answered; when it did not, readings can still be requested and
 * return 0. May be called again to replace the reference voltage; that stops background
 * conversions and forgets their readings (start them again with c_Ferix_startConversions).
 */
HALVERN_API bool c_initializeI2C(int referenceVoltage);

/**
 * Closes the bus; the reference voltage is kept. Background conversions stop (the thread is
 * joined) and their readings are forgotten.
 */
HALVERN_API void c_closeI2C();

/**
 * Reads one input as a count from 0 to 4095 (a slightly negative input reads near 4095). An
 * input above 3, or a reading the board did not answer, gives 0. Readings from several
 * threads are taken one after another, each returning its own input.
 */
HALVERN_API int c_getRawValue(uint8_t channel);

/** The count of c_getRawValue scaled by reference voltage / 2048; 0.0 before initialising. */
HALVERN_API float c_getVoltage(uint8_t channel);

/**
 * Starts the background conversions on a bus opened by c_initializeI2C: one library thread
 * converts inputs 0 to 3 in turn (a conversion every 2 ms or so, each input about every 10 ms).
 * Never waits: it starts the thread and returns. True when conversions run (already running
 * counts); false before c_initializeI2C, after c_closeI2C, or when the thread cannot start.
 *
 * The conversions and c_getRawValue / c_getVoltage take turns on the bus, a whole reading at a
 * time, so neither ever returns the other's input; a c_getRawValue then may wait for one
 * background conversion in progress (about 1 ms) before its own.
 */
HALVERN_API bool c_Ferix_startConversions();

/**
 * Copies input `channel`'s latest background conversion into `out`. Never waits. True when
 * there is one; false, with `out` all zero, for a channel above 3, before the first conversion
 * of that input, when conversions are not running, or when the input's latest conversion was
 * not answered by the board (its last reading is then dropped rather than shown as current).
 * A null `out` gives false.
 */
HALVERN_API bool c_Ferix_getLatest(uint8_t channel, FerixReading* out);

/**
 * Waits until every input has a background conversion, at most `timeoutMs` milliseconds; true
 * when all four have one. Waits: for start-up, not for the robot's periodic loop.
 */
HALVERN_API bool c_Ferix_waitForConversions(int32_t timeoutMs);

/**
 * Whether the board answers: true while background conversions keep being acknowledged, false
 * once none has been for FERIX_CONNECTION_SILENCE_MS (100 ms), and false while conversions are
 * not running. Never waits.
 */
HALVERN_API bool c_Ferix_isConnected();

}  // extern "C"

// The analog board: the library's one board, its reference voltage and its readings.
#pragma once

#include <cstdint>
#include <mutex>

#include "ferix/FerixProtocol.h"

namespace halvern::ferix {

/** Lives for the life of the library; there is no board object to create or destroy. */
class FerixBoard {
 public:
  /**
   * Stores the reference voltage, opens the bus and returns whether the board answered a
   * one-byte read. The bus stays open either way.
   */
  bool initialize(int referenceVoltage);
  void close();

  /** 0 to 4095; 0 for a channel above 3 (no bus traffic) or a read the board did not answer. */
  int readRaw(uint8_t channel);
  /** readRaw scaled by the reference voltage (0 before initialize). */
  float readVolts(uint8_t channel);

 private:
  int readChannel(uint8_t channel);  // readingMutex held
  bool checkPresence();              // readingMutex held

  // One reading at a time: a reading is three transfers and a wait, and another reading's
  // configuration write in between would make the converter convert the other input.
  std::mutex readingMutex;
  float referenceVoltage = 0.0F;    // guarded by readingMutex
  ConverterSettings settings{};     // guarded by readingMutex; all zero until initialize
};

}  // namespace halvern::ferix

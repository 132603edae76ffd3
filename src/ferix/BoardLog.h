// The analog board's signals in the robot's data log: each answered reading of each input
// (background conversions and blocking reads alike), the reference voltage set, and the changes
// of its connection.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "core/DataLogSink.h"
#include "halvern/Ferix.h"

namespace halvern::ferix {

class BoardLog {
 public:
  BoardLog();

  /** The caller's thread, when it sets the reference voltage. */
  void referenceVoltageSet(double volts, int64_t robotMicros);
  /** Any thread: an answered reading of `channel`, logged at its own time. */
  void read(uint8_t channel, const FerixReading& reading);

  // The converter's thread alone, from its start to its stop.
  /** Conversions start now: a silence is counted from here. */
  void conversionsStarted(int64_t robotMicros);
  /** An answered conversion of `channel`, logged at its own time. */
  void converted(uint8_t channel, const FerixReading& reading);
  /** An unanswered conversion at `robotMicros`. */
  void unanswered(int64_t robotMicros);

  /** The caller's thread, once the converter has stopped: the board reads disconnected. */
  void conversionsStopped(int64_t robotMicros);

 private:
  struct Input {
    explicit Input(int input);
    datalog::LogSignal raw, voltage;
  };

  std::array<std::unique_ptr<Input>, FERIX_CHANNELS> inputs;
  datalog::LogSignal referenceVoltage, connected;
  int64_t lastAnsweredUs = 0;  // the newest answered conversion, or the start
};

}  // namespace halvern::ferix

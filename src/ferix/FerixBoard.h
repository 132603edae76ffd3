// The analog board: the library's one board, its reference voltage, its readings and its
// background conversions.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "core/ConnectionMonitor.h"
#include "ferix/BoardLog.h"
#include "ferix/FerixConverter.h"
#include "ferix/FerixProtocol.h"
#include "halvern/Ferix.h"

namespace halvern::ferix {

/** A board without an answered conversion for this long reads disconnected. */
inline constexpr std::chrono::milliseconds kConnectionSilence{FERIX_CONNECTION_SILENCE_MS};

/** Lives for the life of the library; there is no board object to create or destroy. */
class FerixBoard {
 public:
  FerixBoard() = default;
  FerixBoard(const FerixBoard&) = delete;
  FerixBoard& operator=(const FerixBoard&) = delete;
  /** Stops the background conversions (at unload). */
  ~FerixBoard();

  /**
   * Stores the reference voltage, opens the bus and returns whether the board answered a
   * one-byte read. The bus stays open either way. Background conversions stop.
   */
  bool initialize(int referenceVoltage);
  /** Stops the background conversions and closes the bus. */
  void close();

  /** 0 to 4095; 0 for a channel above 3 (no bus traffic) or a read the board did not answer. */
  int readRaw(uint8_t channel);
  /** readRaw scaled by the reference voltage (0 before initialize). */
  float readVolts(uint8_t channel);

  /** Starts the background conversions on an open bus; true while they run. Never waits. */
  bool startConversions();
  /** The input's latest background conversion; false (and `out` zero) when there is none. */
  bool latest(uint8_t channel, FerixReading& out) const;
  /** Waits up to `timeout` until every input has a background conversion. */
  bool waitForConversions(std::chrono::milliseconds timeout) const;
  /** Background conversions are being answered. */
  [[nodiscard]] bool connected() const;

 private:
  /** Writes the configuration, waits, points at the result and reads it into `result`;
   *  true when every transfer went through. readingMutex held. */
  bool convert(uint8_t channel, std::array<uint8_t, 2>& result);
  /** A reading made now, in the caller's thread; all zero for a channel above 3 and raw 0
   *  when a transfer failed. Logged when the board answered. */
  FerixReading readNow(uint8_t channel);
  bool checkPresence();  // readingMutex held
  /** One background conversion of `channel`, on the converter's thread. */
  void convertInBackground(uint8_t channel);
  void stopConversions();  // lifecycleMutex held
  void forgetReadings();

  // Held by initialize, close and startConversions, in that order before readingMutex, so that
  // the converter is started and stopped (joined) by one caller at a time, and never joined
  // under readingMutex, which its thread takes.
  std::mutex lifecycleMutex;
  bool busOpen = false;                       // guarded by lifecycleMutex
  // Its signals in the robot's data log: before the converter, which appends to them.
  BoardLog log;
  std::unique_ptr<FerixConverter> converter;  // guarded by lifecycleMutex; while converting

  // One reading at a time: a reading is three transfers and a wait, and another reading's
  // configuration write in between would make the converter convert the other input.
  std::mutex readingMutex;
  float referenceVoltage = 0.0F;  // guarded by readingMutex
  ConverterSettings settings{};   // guarded by readingMutex; all zero until initialize

  mutable std::mutex latestMutex;  // the background readings
  mutable std::condition_variable converted;
  std::array<FerixReading, kChannelCount> readings{};  // timestampUs 0: none
  ConnectionMonitor monitor{kConnectionSilence};
};

}  // namespace halvern::ferix

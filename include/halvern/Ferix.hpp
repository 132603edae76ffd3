// The four-input analog board on the expansion-port I2C bus: the C++ class of HalvernDriver,
// over the C face of halvern/Ferix.h.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "halvern/Ferix.h"
#include "halvern/detail/ClassSupport.hpp"
#include "halvern/detail/DeviceHandle.hpp"

namespace halvern {

/**
 * The four-input analog board on the robot controller's expansion-port I2C bus (port 1, address
 * 0x48). Each input is read against ground as a 12-bit count, and as a voltage scaled by the
 * reference voltage (whole volts) given when the board is opened.
 *
 * Opening the board opens the bus, stores the reference voltage and starts the library's
 * background conversions: one thread converts the four inputs in turn (each about every 10 ms),
 * and the constructor waits up to 100 ms for the first conversion of each. GetRaw(),
 * GetVoltage(), GetReading() and IsConnected() never wait: they return the latest conversion
 * the library holds, made for a robot's periodic loop. A board that does not answer throws
 * nothing: its readings are 0 (timestamp 0) and IsConnected() is false; it is found again as
 * soon as it answers.
 *
 * The library drives one such board per program. Opening a second Ferix replaces the first: the
 * bus is opened again with the new reference voltage, and the first object is closed (its
 * readings are 0). Destroying or closing the board stops the conversions and closes the bus;
 * destroying a board that a newer one replaced leaves the newer one's bus open.
 *
 * Inputs are numbered 0 to 3; a channel outside that range throws std::invalid_argument and
 * reads nothing. Readings may be made from any thread.
 */
class Ferix {
 public:
  /** The number of inputs; they are numbered from 0. */
  static constexpr int kChannels = FERIX_CHANNELS;
  /** The largest count GetRaw() returns; the smallest is 0. */
  static constexpr int kMaxRaw = FERIX_MAX_RAW;
  /** The count that reads as the reference voltage. */
  static constexpr int kFullScaleCount = FERIX_FULL_SCALE_COUNT;
  /** How long the constructor waits for the first conversion of every input. */
  static constexpr int kFirstConversionsWaitMs = 100;

  /** One input's latest conversion. */
  struct Reading {
    /** The count, 0 to kMaxRaw; 0 when there is none. */
    int raw = 0;
    /** The count scaled by the reference voltage / kFullScaleCount; 0.0 when there is none. */
    double volts = 0.0;
    /** When it was converted, in microseconds on the robot's clock (the time base of
     *  frc::Timer::GetFPGATimestamp()); 0 when there is none. */
    int64_t timestampUs = 0;
  };

  /**
   * Opens the board: opens the I2C bus, stores the reference voltage, checks that the board
   * answers and starts the background conversions. A Ferix opened before, and not closed, is
   * replaced. Waits up to kFirstConversionsWaitMs (100 ms) for the first conversions; not for
   * the robot's periodic loop.
   *
   * @param referenceVolts the reference voltage in whole volts, 1 or more
   * @throws std::invalid_argument if `referenceVolts` is less than 1; nothing is opened or
   *     replaced then
   */
  explicit Ferix(int referenceVolts) : m_referenceVolts(referenceVolts) {
    if (referenceVolts < 1) {
      throw std::invalid_argument("Reference voltage " + std::to_string(referenceVolts) +
                                  " V is not positive");
    }
    m_board = Open(referenceVolts);
    static_cast<void>(c_Ferix_waitForConversions(kFirstConversionsWaitMs));
  }

  /** Takes over `other`'s board; `other` is left closed. Not copyable: the object owns its
   *  device. */
  Ferix(Ferix&&) = default;
  /** Closes this board and takes over `other`'s; `other` is left closed. */
  Ferix& operator=(Ferix&&) = default;
  /** Closes the board (see Close()). */
  ~Ferix() = default;

  /**
   * Stops the background conversions and closes the I2C bus. Closing again, or closing a board that
   * a newer one replaced, does nothing.
   */
  void Close() noexcept { m_board.Close(); }

  /** Whether the board was closed, moved from or replaced by a newer Ferix. */
  [[nodiscard]] bool IsClosed() const { return !m_board.IsCurrent(); }

  /**
   * Whether the board answers: true while its conversions keep being acknowledged, false once
   * none has been for 100 ms (FERIX_CONNECTION_SILENCE_MS), and false once closed. Never waits.
   */
  [[nodiscard]] bool IsConnected() const { return !IsClosed() && c_Ferix_isConnected(); }

  /** The reference voltage the board was opened with, in volts. */
  [[nodiscard]] int GetReferenceVoltage() const { return m_referenceVolts; }

  /**
   * One input's latest conversion, with its count, its voltage and when it was converted.
   * Never waits.
   *
   * @param channel the input, 0 to 3
   * @return the reading; all zero when there is none yet, when the board did not answer its
   *     latest conversion, or when the board is closed
   */
  [[nodiscard]] Reading GetReading(int channel) const {
    const uint8_t checked = Channel(channel);
    FerixReading latest{};
    if (IsClosed() || !c_Ferix_getLatest(checked, &latest)) {
      return {};
    }
    return Reading{latest.raw, static_cast<double>(latest.volts), latest.timestampUs};
  }

  /**
   * One input's latest conversion as a 12-bit count against ground (1 mV a count up to 2.047
   * V). Never waits.
   *
   * @param channel the input, 0 to 3
   * @return the count, 0 to kMaxRaw; 0 when there is none (see GetReading())
   */
  [[nodiscard]] int GetRaw(int channel) const { return GetReading(channel).raw; }

  /**
   * One input's latest conversion as GetRaw() gives it, scaled: the count times the reference
   * voltage / kFullScaleCount. Never waits.
   *
   * @param channel the input, 0 to 3
   * @return volts; 0.0 when there is none (see GetReading())
   */
  [[nodiscard]] double GetVoltage(int channel) const { return GetReading(channel).volts; }

 private:
  static void CloseBoard(uint64_t /*token*/) { c_closeI2C(); }
  using Board = detail::LibraryWideHandle<Ferix, &CloseBoard>;

  static Board Open(int referenceVolts) {
    const auto lock = Board::Owner::Lock();
    static_cast<void>(c_initializeI2C(referenceVolts));  // IsConnected() follows the board
    static_cast<void>(c_Ferix_startConversions());
    return Board::TakeOver();
  }

  static uint8_t Channel(int channel) {
    return static_cast<uint8_t>(detail::RequireInRange(channel, 0, kChannels - 1, "Channel"));
  }

  int m_referenceVolts;
  Board m_board;  // closed once closed, moved from or replaced
};

}  // namespace halvern

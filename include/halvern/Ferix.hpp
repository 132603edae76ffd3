// The four-input analog board on the expansion-port I2C bus: the C++ class of HalvernDriver,
// over the C face of halvern/Ferix.h.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "halvern/Ferix.h"
#include "halvern/detail/ClassSupport.hpp"

namespace halvern {

/**
 * The four-input analog board on the robot controller's expansion-port I2C bus (port 1, address
 * 0x48). Each input is read against ground as a 12-bit count, and as a voltage scaled by the
 * reference voltage (whole volts) given when the board is opened.
 *
 * Opening the board opens the bus, stores the reference voltage and checks that the board
 * answers; IsConnected() tells whether it did. A board that did not answer throws nothing: its
 * readings are 0, as is any reading the board does not answer later. Every reading waits 1 ms
 * for the board's converter, so GetRaw() and GetVoltage() block their caller for a little over
 * 1 ms.
 *
 * The library drives one such board per program. Opening a second Ferix replaces the first: the
 * bus is opened again with the new reference voltage, and the first object is closed (its
 * readings are 0). Destroying or closing the board closes the bus; destroying a board that a
 * newer one replaced leaves the newer one's bus open.
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

  /**
   * Opens the board: opens the I2C bus, stores the reference voltage and checks that the board
   * answers. A Ferix opened before, and not closed, is replaced.
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
    const auto lock = Owner::Lock();
    m_connected = c_initializeI2C(referenceVolts);
    m_token = Owner::TakeOver();
  }

  /** Not copyable: the object owns its device. */
  Ferix(const Ferix&) = delete;
  /** Not copyable: the object owns its device. */
  Ferix& operator=(const Ferix&) = delete;

  /** Takes over `other`'s board; `other` is left closed. */
  Ferix(Ferix&& other) noexcept
      : m_referenceVolts(other.m_referenceVolts),
        m_connected(other.m_connected),
        m_token(std::exchange(other.m_token, 0)) {}

  /** Closes this board and takes over `other`'s; `other` is left closed. */
  Ferix& operator=(Ferix&& other) noexcept {
    if (this != &other) {
      Close();
      m_referenceVolts = other.m_referenceVolts;
      m_connected = other.m_connected;
      m_token = std::exchange(other.m_token, 0);
    }
    return *this;
  }

  /** Closes the board (see Close()). */
  ~Ferix() { Close(); }

  /**
   * Closes the I2C bus. Closing again, or closing a board that a newer one replaced, does
   * nothing.
   */
  void Close() noexcept {
    const auto lock = Owner::Lock();
    if (Owner::Release(std::exchange(m_token, 0))) {
      c_closeI2C();
    }
  }

  /** Whether the board was closed, moved from or replaced by a newer Ferix. */
  [[nodiscard]] bool IsClosed() const {
    const auto lock = Owner::Lock();
    return !Owner::IsCurrent(m_token);
  }

  /** Whether the board answered when it was opened; false once closed. */
  [[nodiscard]] bool IsConnected() const { return m_connected && !IsClosed(); }

  /** The reference voltage the board was opened with, in volts. */
  [[nodiscard]] int GetReferenceVoltage() const { return m_referenceVolts; }

  /**
   * Reads one input against ground as a 12-bit count (1 mV a count up to 2.047 V).
   *
   * @param channel the input, 0 to 3
   * @return the count, 0 to kMaxRaw; 0 when the board did not answer or is closed
   */
  [[nodiscard]] int GetRaw(int channel) const {
    const uint8_t checked = Channel(channel);
    return IsClosed() ? 0 : c_getRawValue(checked);
  }

  /**
   * Reads one input as GetRaw() does, scaled: the count times the reference voltage /
   * kFullScaleCount.
   *
   * @param channel the input, 0 to 3
   * @return volts; 0.0 when the board did not answer or is closed
   */
  [[nodiscard]] double GetVoltage(int channel) const {
    const uint8_t checked = Channel(channel);
    return IsClosed() ? 0.0 : static_cast<double>(c_getVoltage(checked));
  }

 private:
  using Owner = detail::LibraryWideOwner<Ferix>;

  static uint8_t Channel(int channel) {
    return static_cast<uint8_t>(detail::RequireInRange(channel, 0, kChannels - 1, "Channel"));
  }

  int m_referenceVolts;
  bool m_connected = false;
  uint64_t m_token = 0;  // this object's hold on the board; 0 once closed
};

}  // namespace halvern

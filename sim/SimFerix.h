// A simulated four-input analog board on the stand-in HAL's I2C bus: a 12-bit converter with
// the register map of the board's converter, as the robot program sees it over I2C.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "halsim/SimControl.h"

namespace halvern::sim {

/**
 * The converter answers at one I2C port and address. A write's first byte selects a register
 * (the pointer); two more bytes written to the configuration register (1) or a threshold
 * register (2, 3) replace it, most significant byte first. A read returns the selected
 * register's bytes, most significant first, from where the pointer points.
 *
 * The configuration word chooses the input (bits 14 to 12: 4 to 7 single-ended inputs 0 to 3,
 * 0 to 3 the differential pairs), the full-scale range (bits 11 to 9), single-shot or
 * continuous mode (bit 8) and the data rate (bits 7 to 5). A conversion of the chosen input
 * completes one sample period (1/data rate) after the configuration is written; until then the
 * conversion register (0) still holds the previous result. Results are 12-bit two's complement
 * in the register's upper 12 bits (V / full scale * 2048, to the nearest count), clamped to the
 * full-scale range. In continuous mode, once that first conversion is due, the register
 * follows the input as it is when read.
 */
class SimFerixConverter : public halsim::I2CDevice {
 public:
  static constexpr int32_t kDefaultPort = 1;        // the expansion-port bus
  static constexpr int32_t kDefaultAddress = 0x48;  // address pin to ground
  static constexpr uint16_t kPowerOnConfig = 0x8583;

  /** One transfer as it reached the converter. */
  struct Transfer {
    enum class Kind { Write, Read } kind = Kind::Write;
    std::vector<uint8_t> bytes;  // written bytes, or the bytes a read returned
    int32_t count = 0;           // bytes asked for (reads) or sent (writes)
    bool failed = false;         // the transfer was failed on demand
    std::chrono::steady_clock::time_point at;
  };

  /** Makes a converter and attaches it to the HAL's I2C bus at `port` and `address`. */
  static std::shared_ptr<SimFerixConverter> attach(int32_t port = kDefaultPort,
                                                   int32_t address = kDefaultAddress);
  /** Detaches whatever device answers at `port` and `address` (halsim::reset detaches all). */
  static void detach(int32_t port = kDefaultPort, int32_t address = kDefaultAddress);

  /** The voltage at input 0 to 3, in volts against ground (may be slightly negative). */
  void setInputVoltage(int channel, double volts);
  [[nodiscard]] double inputVoltage(int channel) const;

  /** While absent, every transfer fails, as with no board on the bus. */
  void setAbsent(bool absent);
  /**
   * While set, writes (or reads) fail; the converter's registers stay as they were. A failed
   * read (or any read while absent) leaves 0xFF in the buffer, the bus's idle level, never a
   * register's bytes.
   */
  void setWritesFail(bool fail);
  void setReadsFail(bool fail);

  /** As a read returns it: bit 15 reads 0 while a conversion is in progress, 1 otherwise. */
  [[nodiscard]] uint16_t configRegister() const;
  /** The conversion register as a read now would return it. */
  [[nodiscard]] uint16_t conversionRegister() const;

  /** Every transfer since the last clear, oldest first, failed ones included. */
  [[nodiscard]] std::vector<Transfer> transfers() const;
  void clearTransfers();

  /** The 16-bit conversion-register value for a voltage under a configuration word. */
  static uint16_t convert(double volts, uint16_t config);

  int32_t write(std::span<const uint8_t> data) override;
  int32_t read(std::span<uint8_t> buffer) override;

 private:
  using Clock = std::chrono::steady_clock;

  /** Completes the conversion in progress if its sample period has passed; mutex held. */
  void settle(Clock::time_point now) const;
  [[nodiscard]] double selectedVoltage(uint16_t config) const;  // mutex held
  [[nodiscard]] uint16_t configAsRead() const;                  // mutex held
  void record(Transfer transfer);                               // mutex held

  mutable std::mutex mutex_;
  std::array<double, 4> inputs_{};
  uint8_t pointer_ = 0;
  uint16_t config_ = kPowerOnConfig;
  std::array<uint16_t, 2> thresholds_{0x8000, 0x7FF0};
  mutable uint16_t conversion_ = 0;
  mutable bool converting_ = false;
  Clock::time_point conversionDue_{};
  bool absent_ = false;
  bool writesFail_ = false;
  bool readsFail_ = false;
  std::vector<Transfer> transfers_;
};

}  // namespace halvern::sim

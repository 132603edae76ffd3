// A simulated four-input analog board on the HAL's I2C bus (WPILib's simulation API,
// hal/simulation/I2CData.h): a 12-bit converter with the register map of the board's
// converter, as the robot program sees it over I2C.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "SimClock.h"
#include "SimHal.h"

namespace halvern::sim {

/**
 * The converter answers on one I2C port (the simulation's callbacks do not pass the address:
 * it answers every transfer there, so one board a port). A write's first byte selects a register
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
 *
 * It is also the SimDevice "Ferix[<port>,<address>]", whose inputs "Voltage 0" to "Voltage 3"
 * are the input voltages in volts; a voltage the simulation sets there is converted from then
 * on, as setInputVoltage would have it.
 *
 * Transfers that fail (faults of the stand-in HAL) never reach the converter.
 */
class SimFerixConverter {
 public:
  static constexpr int32_t kDefaultPort = 1;        // the expansion-port bus
  static constexpr int32_t kDefaultAddress = 0x48;  // address pin to ground
  static constexpr uint16_t kPowerOnConfig = 0x8583;

  /** One transfer as it reached the converter. */
  struct Transfer {
    enum class Kind { Write, Read } kind = Kind::Write;
    std::vector<uint8_t> bytes;  // written bytes, or the bytes a read returned
    int32_t count = 0;           // bytes asked for (reads) or sent (writes)
    SimTime at;
    uint64_t atHalMicros = 0;  // the same moment on the HAL's clock (the robot's time)
  };

  /**
   * Makes a converter and attaches it to the HAL's I2C port; it stays attached until the last
   * copy of the pointer goes. The address names its SimDevice.
   */
  static std::shared_ptr<SimFerixConverter> attach(int32_t port = kDefaultPort,
                                                   int32_t address = kDefaultAddress);

  SimFerixConverter(int32_t port, int32_t address);
  SimFerixConverter(const SimFerixConverter&) = delete;
  SimFerixConverter& operator=(const SimFerixConverter&) = delete;
  /** Leaves the bus: no callback of it runs after this. */
  ~SimFerixConverter();

  /** The name of its SimDevice: "Ferix[<port>,<address>]". */
  [[nodiscard]] std::string simDeviceName() const;
  [[nodiscard]] int32_t port() const { return port_; }

  /** Takes the board off the bus, as pulling it out would: no transfer reaches it after this. */
  void unplug();
  /**
   * While silent it answers no read: the bus reads idle (every bit high), as when the board's
   * answers are lost; writes still reach it, so it converts what it was last told.
   */
  void setSilent(bool silent);

  /** The voltage at input 0 to 3, in volts against ground (may be slightly negative). */
  void setInputVoltage(int channel, double volts);
  [[nodiscard]] double inputVoltage(int channel) const;
  /**
   * Sets input 0 to 3 to the voltage whose conversion reads `raw`, the register's 12 bits as a
   * reader takes them unsigned (0 to 4095; 4095 is one count below zero), under the full-scale
   * range of the configuration it holds now. For replaying recorded counts.
   */
  void setInputCount(int channel, int raw);

  /** As a read returns it: bit 15 reads 0 while a conversion is in progress, 1 otherwise. */
  [[nodiscard]] uint16_t configRegister() const;
  /** The conversion register as a read now would return it. */
  [[nodiscard]] uint16_t conversionRegister() const;

  /** Every transfer that reached it since the last clear, oldest first. */
  [[nodiscard]] std::vector<Transfer> transfers() const;
  void clearTransfers();

  /** The 16-bit conversion-register value for a voltage under a configuration word. */
  static uint16_t convert(double volts, uint16_t config);

  /** A write reaching the converter; returns the bytes taken. */
  int32_t write(std::span<const uint8_t> data);
  /** A read of the converter; fills `buffer` and returns the bytes given. */
  int32_t read(std::span<uint8_t> buffer);

 private:
  static void onWrite(const char* name, void* param, const unsigned char* buffer,
                      unsigned int count);
  static void onRead(const char* name, void* param, unsigned char* buffer, unsigned int count);

  /** Completes the conversion in progress if its sample period has passed; mutex held. */
  void settle(SimTime now) const;
  /** Takes the voltages the simulation set since the converter last showed them; mutex held. */
  void takeFedVoltages() const;
  void showVoltages();                          // mutex held
  [[nodiscard]] uint16_t configAsRead() const;  // mutex held
  void record(Transfer transfer);               // mutex held

  mutable std::mutex mutex_;
  mutable std::array<double, 4> inputs_{};  // mutable: the simulation may have fed them
  uint8_t pointer_ = 0;
  bool silent_ = false;
  uint16_t config_ = kPowerOnConfig;
  std::array<uint16_t, 2> thresholds_{0x8000, 0x7FF0};
  mutable uint16_t conversion_ = 0;
  mutable bool converting_ = false;
  SimTime conversionDue_{};
  std::vector<Transfer> transfers_;

  const int32_t port_;
  const int32_t address_;
  struct Values;  // its SimDevice
  std::unique_ptr<Values> values_;
  std::mutex plugMutex_;       // the callbacks' registration
  int32_t writeCallback_ = 0;  // registered last, cancelled first; 0 once unplugged
  int32_t readCallback_ = 0;
};

}  // namespace halvern::sim

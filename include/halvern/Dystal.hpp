// Dystal multi-zone distance sensor on CAN or USB serial: the C++ class of HalvernDriver, over
// the C face of halvern/Dystal.h.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "halvern/Dystal.h"
#include "halvern/detail/ClassSupport.hpp"
#include "halvern/detail/DeviceHandle.hpp"
#include "halvern/detail/DevicePath.hpp"

namespace halvern {

/**
 * A Dystal multi-zone distance sensor, on the robot's CAN bus or on a USB serial port. One
 * reading holds up to kMaxDistances distances, one per zone of an 8x8 grid, in millimetres.
 *
 * GetData() and IsConnected() never wait: they return what the library holds. A USB sensor's
 * reader and a CAN sensor's background gathering (started at construction: one thread per
 * sensor, reading the chunk frames as they arrive) keep the newest reading there, with the time
 * it was received. GetConfig() waits for the sensor's reply: not for the robot's periodic loop.
 *
 * An argument outside the range its method documents throws std::invalid_argument and sends
 * nothing. Destroying or closing the object stops reading and releases the port or CAN
 * session; once closed (or moved from) readings are empty. Use a sensor from one thread.
 */
class Dystal {
 public:
  /** The lowest CAN ID a sensor can have. */
  static constexpr int kMinCanId = DYSTAL_MIN_CAN_ID;
  /** The highest CAN ID a sensor can have. */
  static constexpr int kMaxCanId = DYSTAL_MAX_CAN_ID;
  /** The most distances one reading holds: an 8x8 grid of zones. */
  static constexpr int kMaxDistances = DYSTAL_MAX_DISTANCES;
  /** The distance of a zone for which nothing was received. */
  static constexpr int kMissingDistance = -1;
  /** How long c_Dystal_getData() gathers a CAN sensor's frames, in milliseconds, when nothing
   *  gathers them in the background. This class gathers in the background: GetData() never
   *  waits. */
  static constexpr int kCanGatherMs = 24;
  /** A sensor silent for longer than this reads disconnected, in milliseconds. */
  static constexpr int kConnectionSilenceMs = 250;
  /** How long GetConfig() waits for the sensor's reply by default, in milliseconds. */
  static constexpr int kConfigTimeoutMs = 500;
  /** The port selector of FindDevicePath() that picks the first port found. */
  static constexpr int kFirstPort = SERIAL_FIRST_PORT;
  /** The port selector of FindDevicePath() that picks the second port found. */
  static constexpr int kSecondPort = SERIAL_SECOND_PORT;

  /** How a sensor is connected. */
  enum class Transport {
    kCAN,  ///< on the robot's CAN bus
    kUSB,  ///< on a USB serial port
  };

  /** One reading: the zones' distances in the order the sensor sends them. */
  struct ScanData {
    /** The sequence number of the frame the distances come from, 0 to 255; 0 when empty. */
    int sequence = 0;
    /** The distances in millimetres; kMissingDistance for a zone nothing was received for. */
    std::vector<int> distancesMm;
    /**
     * When the reading was received, in microseconds on the robot's clock (the time base of
     * frc::Timer::GetFPGATimestamp()): on CAN the stamp of the frame that completed it, on USB
     * the moment its last bytes arrived. 0 when empty.
     */
    int64_t timestampUs = 0;
    /** Two readings are equal when their sequences and all their distances are (the time they
     *  were received is not compared). */
    bool operator==(const ScanData& other) const {
      return sequence == other.sequence && distancesMm == other.distancesMm;
    }
  };

  /** The sensor's configuration as it reports it (a USB sensor reports distances only). */
  struct Config {
    /** The configuration's version, 0 to 255. */
    int version = 0;
    /** Whether the sensor measures distances. */
    bool distanceEnabled = false;
    /** Whether the sensor uses CAN FD. */
    bool canFdEnabled = false;
    /** Whether the sensor switches the bit rate within CAN FD frames. */
    bool canBrsEnabled = false;
    /** The CAN ID the sensor reports, 0 to 255. */
    int canID = 0;
    /** Two configurations are equal when every field is. */
    bool operator==(const Config&) const = default;
  };

  /**
   * Opens a sensor on the CAN bus and starts gathering its readings in the background.
   *
   * @param canId the sensor's CAN ID, kMinCanId to kMaxCanId
   * @param bus the robot controller's CAN bus the sensor is wired to (default 0); WPILib 2027
   *     has buses 0 to 5, WPILib 2026 only bus 0
   * @throws std::invalid_argument if `canId` is out of range
   * @throws std::runtime_error "Dystal on CAN ID <n> could not be initialized" (", bus <b>"
   *     after the ID when the bus is not 0) when the library could not open the CAN bus, for
   *     example a bus the platform does not have (it prints why)
   */
  explicit Dystal(int canId, int bus = detail::kDefaultCanBus)
      : m_transport(Transport::kCAN),
        m_description(detail::CanDescription(
            "Dystal", "ID", detail::RequireInRange(canId, kMinCanId, kMaxCanId, "CAN ID"), bus)),
        m_device(c_Dystal_createOnBus(bus, canId)) {
    if (m_device.IsClosed()) {
      throw detail::CreationFailure(m_description);
    }
    c_Dystal_startGathering(m_device.Get());
  }

  /**
   * Opens a sensor on a USB serial port and switches it to binary output. Against a sensor that
   * streams this takes about 1.25 s (up to about 1.33 s), against a silent one about 0.32 s, and
   * never more than about 2 s: open sensors before the robot program's loop starts.
   *
   * @param path the port's device path, for example "/dev/ttyUSB0"; see FindDevicePath()
   * @param outputDataRate readings per second the sensor is to send, 1 or more; 0 keeps its own
   * @throws std::invalid_argument if `outputDataRate` is negative
   * @throws std::runtime_error "Dystal on <path> could not be initialized" when the port could
   *     not be opened (the library prints why)
   */
  Dystal(const std::string& path, int outputDataRate)
      : m_transport(Transport::kUSB),
        m_description("Dystal on " + path),
        m_device(c_Dystal_createUsb(
            path.c_str(), detail::RequireNotNegative(outputDataRate, "Output data rate"))) {
    if (m_device.IsClosed()) {
      throw detail::CreationFailure(m_description);
    }
  }

  /**
   * The device path of a USB serial port, ordered by path: the second found for kSecondPort (3),
   * the first for any other value. With too few ports, "/dev/ttyUSB0" or "/dev/ttyUSB1"
   * ("\\.\COM3" or "\\.\COM4" on Windows), which may not exist.
   */
  [[nodiscard]] static std::string FindDevicePath(int port) { return detail::FindDevicePath(port); }

  /** Takes over `other`'s sensor; `other` is left closed. Not copyable: the object owns its
   *  device. */
  Dystal(Dystal&&) = default;
  /** Closes this sensor and takes over `other`'s; `other` is left closed. */
  Dystal& operator=(Dystal&&) = default;
  /** Closes the sensor (see Close()). */
  ~Dystal() = default;

  /** Stops reading and releases the port or the CAN session. Closing again does nothing. */
  void Close() noexcept { m_device.Close(); }

  /** Whether Close() has been called or the object was moved from. */
  [[nodiscard]] bool IsClosed() const { return m_device.IsClosed(); }

  /** How the sensor is connected. */
  [[nodiscard]] Transport GetTransport() const { return m_transport; }

  /** The CAN ID the sensor was opened with; -1 for a USB sensor or once closed. */
  [[nodiscard]] int GetCanId() const { return c_Dystal_getCanID(m_device.Get()); }

  /** The CAN bus the sensor was opened on; -1 for a USB sensor or once closed. */
  [[nodiscard]] int GetCanBus() const { return c_Dystal_getCanBus(m_device.Get()); }

  /**
   * The newest reading, up to `count` distances, returned at once (the same again until a newer
   * one arrives). On USB the latest frame the sensor sent; on CAN the latest reading the
   * background gathering completed, a zone whose chunk did not arrive reading kMissingDistance.
   *
   * @param count the most distances to return, 1 to kMaxDistances
   * @return the reading; empty (sequence 0, no distances, timestamp 0) when nothing was received
   * @throws std::invalid_argument if `count` is out of range
   */
  [[nodiscard]] ScanData GetData(int count = kMaxDistances) const {
    detail::RequireInRange(count, 1, kMaxDistances, "Distance count");
    DystalReading reading{};
    c_Dystal_getLatest(m_device.Get(), &reading, count);
    const int received = std::clamp(reading.count, 0, count);
    return ScanData{reading.sequence,
                    std::vector<int>(reading.distance, reading.distance + received),
                    reading.timestampUs};
  }

  /**
   * Whether the sensor is connected: true while its frames (CAN) or bytes (USB) keep arriving,
   * false once it has been silent for more than kConnectionSilenceMs ms, before anything
   * arrived, and once closed. Returns at once.
   */
  [[nodiscard]] bool IsConnected() const { return c_Dystal_isConnected(m_device.Get()); }

  /**
   * Asks the sensor for its configuration, waiting up to `timeoutMs` for its reply (on USB, 0
   * waits 500 ms): not for the robot's periodic loop.
   *
   * @return the configuration, or empty when the sensor did not answer in time
   * @throws std::invalid_argument if `timeoutMs` is negative
   */
  [[nodiscard]] std::optional<Config> GetConfig(int timeoutMs = kConfigTimeoutMs) const {
    detail::RequireNotNegative(timeoutMs, "Timeout");
    DystalConfig config{};
    c_Dystal_getConfig(m_device.Get(), &config, timeoutMs);
    if (config.valid == 0) {
      return std::nullopt;
    }
    return Config{config.version, config.distanceEnabled != 0, config.canFdEnabled != 0,
                  config.canBrsEnabled != 0, config.canID};
  }

 private:
  using Device = detail::DeviceHandle<void*, &c_Dystal_destroy>;

  Transport m_transport;
  std::string m_description;  // names the sensor in exception messages
  Device m_device;
};

}  // namespace halvern

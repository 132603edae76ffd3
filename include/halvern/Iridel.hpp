// Iridel colour sensor on CAN or USB serial: the C++ class of HalvernDriver, over the C face of
// halvern/Iridel.h.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "halvern/Iridel.h"
#include "halvern/detail/ClassSupport.hpp"
#include "halvern/detail/DeviceHandle.hpp"
#include "halvern/detail/DevicePath.hpp"

namespace halvern {

/**
 * An Iridel colour sensor, on the robot's CAN bus or on a USB serial port.
 *
 * GetColor() returns the newest colour sample as x, y and z components, with the time it was
 * received; GetColor() and IsConnected() never wait. Each setter returns true when the sensor
 * accepted it: on CAN the sensor confirmed, and a setter waits up to kReplyTimeoutMs ms for
 * that (not for the robot's periodic loop); on USB the command was written. Several settings
 * exist on CAN only; on a USB sensor they throw std::logic_error and send nothing.
 *
 * An argument outside the range its method documents throws std::invalid_argument and sends
 * nothing; values documented as clamped are sent clamped. Destroying or closing the object stops
 * reading and releases the port or CAN session; once closed (or moved from) readings are empty
 * and setters return false. Use a sensor from one thread.
 */
class Iridel {
 public:
  /** The lowest CAN ID a sensor can have. */
  static constexpr int kMinCanId = IRIDEL_MIN_CAN_ID;
  /** The highest CAN ID a sensor can have. */
  static constexpr int kMaxCanId = IRIDEL_MAX_CAN_ID;
  /** The longest sample time, in milliseconds. */
  static constexpr int kMaxSampleTimeMs = IRIDEL_MAX_SAMPLE_TIME_MS;
  /** The highest brightness and status LED level; levels run from 0. */
  static constexpr int kMaxLevel = IRIDEL_MAX_LEVEL;
  /** The highest measure mode; modes run from 0, and the highest uses its parameter. */
  static constexpr int kMaxMeasureMode = IRIDEL_MAX_MEASURE_MODE;
  /** The highest configuration key; keys run from 0. */
  static constexpr int kMaxConfigKey = IRIDEL_MAX_CONFIG_KEY;
  /** How long a CAN setting waits for the sensor's confirmation, in milliseconds: CAN settings
   *  are not for the robot's periodic loop. */
  static constexpr int kReplyTimeoutMs = 500;
  /** The port selector of FindDevicePath() that picks the first port found. */
  static constexpr int kFirstPort = SERIAL_FIRST_PORT;
  /** The port selector of FindDevicePath() that picks the second port found. */
  static constexpr int kSecondPort = SERIAL_SECOND_PORT;

  /** How a sensor is connected. */
  enum class Transport {
    kCAN,  ///< on the robot's CAN bus
    kUSB,  ///< on a USB serial port
  };

  /** The sensor's output formats, numbered as on the wire. */
  enum class ColorFormat {
    kRGB = 0,   ///< red, green, blue
    kRAW = 1,   ///< the sensor's raw channel values
    kSRGB = 2,  ///< standard RGB
    kHEX = 3,   ///< a hexadecimal colour code
    kXYZ = 4,   ///< CIE XYZ: what GetColor() reads on USB
  };

  /** One colour sample. */
  struct ColorData {
    /** The sample counter, 0 to 65535; it wraps around. */
    int sequence = 0;
    /** The first component (on CAN in steps of 0.0001 from -3.2768 to 3.2767). */
    float x = 0.0F;
    /** The second component. */
    float y = 0.0F;
    /** The third component. */
    float z = 0.0F;
    /**
     * When the sample was received, in microseconds on the robot's clock (the time base of
     * frc::Timer::GetFPGATimestamp()): on CAN the stamp of its colour frame, on USB the moment
     * its line arrived.
     */
    int64_t timestampUs = 0;
    /** Two samples are equal when their sequences and components are (the time they were
     *  received is not compared). */
    bool operator==(const ColorData& other) const {
      return sequence == other.sequence && x == other.x && y == other.y && z == other.z;
    }
  };

  /**
   * Opens a sensor on the CAN bus.
   *
   * @param canId the sensor's CAN ID, kMinCanId to kMaxCanId
   * @param bus the robot controller's CAN bus the sensor is wired to (default 0); WPILib 2027
   *     has buses 0 to 5, WPILib 2026 only bus 0
   * @throws std::invalid_argument if `canId` is out of range
   * @throws std::runtime_error "Iridel on CAN ID <n> could not be initialized" (", bus <b>"
   *     after the ID when the bus is not 0) when the library could not open the CAN bus, for
   *     example a bus the platform does not have (it prints why)
   */
  explicit Iridel(int canId, int bus = detail::kDefaultCanBus)
      : m_transport(Transport::kCAN),
        m_description(detail::CanDescription(
            "Iridel", "ID", detail::RequireInRange(canId, kMinCanId, kMaxCanId, "CAN ID"), bus)),
        m_device(c_Iridel_createOnBus(bus, canId)) {
    if (m_device.IsClosed()) {
      throw detail::CreationFailure(m_description);
    }
  }

  /**
   * Opens a sensor on a USB serial port and selects its XYZ output, the format GetColor() reads.
   *
   * @param path the port's device path, for example "/dev/ttyUSB0"; see FindDevicePath()
   * @param sampleTimeMs the time between samples in milliseconds, 1 to kMaxSampleTimeMs; 0 keeps
   *     the sensor's own
   * @throws std::invalid_argument if `sampleTimeMs` is out of range
   * @throws std::runtime_error "Iridel on <path> could not be initialized" when the port could
   *     not be opened (the library prints why)
   */
  Iridel(const std::string& path, int sampleTimeMs)
      : m_transport(Transport::kUSB),
        m_description("Iridel on " + path),
        m_device(c_Iridel_createUsb(
            path.c_str(),
            detail::RequireInRange(sampleTimeMs, 0, kMaxSampleTimeMs, "Sample time"))) {
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
  Iridel(Iridel&&) = default;
  /** Closes this sensor and takes over `other`'s; `other` is left closed. */
  Iridel& operator=(Iridel&&) = default;
  /** Closes the sensor (see Close()). */
  ~Iridel() = default;

  /** Stops reading and releases the port or the CAN session. Closing again does nothing. */
  void Close() noexcept { m_device.Close(); }

  /** Whether Close() has been called or the object was moved from. */
  [[nodiscard]] bool IsClosed() const { return m_device.IsClosed(); }

  /** How the sensor is connected. */
  [[nodiscard]] Transport GetTransport() const { return m_transport; }

  /** The CAN ID the sensor was opened with (SetCanId() does not change it); -1 on USB or closed. */
  [[nodiscard]] int GetCanId() const { return c_Iridel_getCanID(m_device.Get()); }

  /** The CAN bus the sensor was opened on; -1 for a USB sensor or once closed. */
  [[nodiscard]] int GetCanBus() const { return c_Iridel_getCanBus(m_device.Get()); }

  /**
   * The newest colour sample, returned at once and again until a newer one arrives: on USB the
   * latest line the sensor sent, on CAN the latest colour frame.
   *
   * @return the sample, or empty before the first sample and once closed
   */
  [[nodiscard]] std::optional<ColorData> GetColor() const {
    IridelReading sample{};
    c_Iridel_getLatestColor(m_device.Get(), &sample);
    if (!sample.valid) {
      return std::nullopt;
    }
    return ColorData{sample.sequence, sample.x, sample.y, sample.z, sample.timestampUs};
  }

  /**
   * Whether the sensor is connected: true while its colour frames (CAN) or lines (USB) keep
   * arriving; false before the first, once closed, and once it has been silent for longer than
   * four sample times (at least 100 ms, at most 250 ms; 250 ms until a sample time was given at
   * creation or through SetSampleTime()). Returns at once.
   */
  [[nodiscard]] bool IsConnected() const { return c_Iridel_isConnected(m_device.Get()); }

  /** Selects the output format (a USB sensor's samples are read in kXYZ only). On CAN it waits
   *  up to 500 ms for the reply; not for the robot's periodic loop. */
  bool SetColorFormat(ColorFormat format) {
    return c_Iridel_setColorFormat(m_device.Get(), static_cast<int>(format));
  }

  /** Sets the time between samples, 0 to kMaxSampleTimeMs ms. On CAN it waits up to 500 ms for
   *  the reply; not for the robot's periodic loop. */
  bool SetSampleTime(int milliseconds) {
    detail::RequireInRange(milliseconds, 0, kMaxSampleTimeMs, "Sample time");
    return c_Iridel_setSampleTimeMs(m_device.Get(), milliseconds);
  }

  /** Sets the brightness of the sensor's light, 0 to kMaxLevel (clamped). CAN only; waits up
   *  to 500 ms for the reply; not for the robot's periodic loop. */
  bool SetBrightness(int level) { return c_Iridel_setBrightness(CanHandle("SetBrightness"), level); }

  /** Switches the status LED, its level 0 to kMaxLevel (clamped). CAN only; waits up to
   *  500 ms for the reply; not for the robot's periodic loop. */
  bool SetStatusLed(bool enable, int level) {
    return c_Iridel_setStatusLed(CanHandle("SetStatusLed"), enable, level);
  }

  /**
   * Selects the measure mode, 0 to kMaxMeasureMode; the parameter is sent in the highest mode
   * only. CAN only; waits up to 500 ms for the reply; not for the robot's periodic loop.
   */
  bool SetMeasureMode(int mode, float parameter = 0.0F) {
    detail::RequireInRange(mode, 0, kMaxMeasureMode, "Measure mode");
    return c_Iridel_setMeasureMode(CanHandle("SetMeasureMode"), mode, parameter);
  }

  /** Sends the sensor its Zmm value. CAN only; waits up to 500 ms for the reply; not for the
   *  robot's periodic loop. */
  bool SetZmm(float value) { return c_Iridel_setZmm(CanHandle("SetZmm"), value); }

  /** Switches the sensor's USB override. CAN only; waits up to 500 ms for the reply; not for
   *  the robot's periodic loop. */
  bool SetUsbOverride(bool on) { return c_Iridel_setUsbOverride(CanHandle("SetUsbOverride"), on); }

  /**
   * Gives the sensor a new CAN ID, kMinCanId to kMaxCanId; this object still reaches it, and
   * GetCanId() still returns the ID it was opened with. CAN only; waits up to 500 ms for the
   * reply; not for the robot's periodic loop.
   */
  bool SetCanId(int newId) {
    detail::RequireInRange(newId, kMinCanId, kMaxCanId, "CAN ID");
    return c_Iridel_setCanId(CanHandle("SetCanId"), newId);
  }

  /**
   * Reads one configuration value, key 0 to kMaxConfigKey. CAN only; waits up to 500 ms for
   * the reply; not for the robot's periodic loop.
   *
   * @return the value, or empty when the sensor did not answer or reported a failure
   */
  [[nodiscard]] std::optional<uint32_t> GetConfig(int key) {
    detail::RequireInRange(key, 0, kMaxConfigKey, "Configuration key");
    uint32_t value = 0;
    if (c_Iridel_getConfig(CanHandle("GetConfig"), key, &value)) {
      return value;
    }
    return std::nullopt;
  }

 private:
  using Device = detail::DeviceHandle<void*, &c_Iridel_destroy>;

  void* CanHandle(const char* operation) const {
    if (m_transport != Transport::kCAN) {
      throw std::logic_error(std::string(operation) + " needs a sensor on CAN; " +
                             m_description + " is on USB");
    }
    return m_device.Get();
  }

  Transport m_transport;
  std::string m_description;  // names the sensor in exception messages
  Device m_device;
};

}  // namespace halvern

// LidarMini 360-degree scanning laser range finder on a USB serial port: the C++ class of
// HalvernDriver, over the C face of halvern/LidarMini.h.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "halvern/LidarMini.h"
#include "halvern/detail/ClassSupport.hpp"
#include "halvern/detail/DeviceHandle.hpp"
#include "halvern/detail/DevicePath.hpp"

namespace halvern {

/**
 * A LidarMini 360-degree scanning laser range finder on a USB serial port. While it scans it
 * turns kMinFrequencyHz to kMaxFrequencyHz times a second, each point an angle, a distance and
 * an intensity.
 *
 * Open a lidar, which finds its port by itself, and call Start(); GetData() then returns the
 * latest whole revolution at once. Opening takes about kCreateMs ms and starting about kStartMs
 * ms, and GetInfo() and GetHealth() wait for the lidar's answer: do them outside the robot
 * program's loop.
 *
 * Failures of the lidar never throw: the library prints what went wrong, and the call answers
 * an all-zero record or an empty revolution, as it does once the object is closed or moved
 * from. Destroying or closing it stops reading and releases the port. Use it from one thread.
 */
class LidarMini {
 public:
  /** The port selector that picks the first serial port found. */
  static constexpr int kFirstPort = SERIAL_FIRST_PORT;
  /** The port selector that picks the second serial port found. */
  static constexpr int kSecondPort = SERIAL_SECOND_PORT;
  /** The lowest scan frequency, in revolutions a second; also the frequency after opening. */
  static constexpr int kMinFrequencyHz = LIDARMINI_MIN_FREQUENCY_HZ;
  /** The highest scan frequency, in revolutions a second. */
  static constexpr int kMaxFrequencyHz = LIDARMINI_MAX_FREQUENCY_HZ;
  /** About how long opening a lidar takes, in milliseconds. */
  static constexpr int kCreateMs = 200;
  /** About how long Start() takes, in milliseconds. */
  static constexpr int kStartMs = 300;
  /** The distance of a point the lidar could not measure. */
  static constexpr float kMissingDistance = -1.0F;
  /** The number of bytes in a lidar's serial number. */
  static constexpr int kSerialLength = 16;

  /** The lidar's identity; all zero when the lidar did not answer in full. */
  struct LidarInfo {
    /** The model number, 0 to 255. */
    int model = 0;
    /** The firmware version, 0 to 65535. */
    int firmwareVersion = 0;
    /** The hardware version, 0 to 255. */
    int hardwareVersion = 0;
    /** The serial number's bytes exactly as the lidar sent them (not a text). */
    std::array<uint8_t, kSerialLength> serialnum{};
    /** Two identities are equal when every field is. */
    bool operator==(const LidarInfo&) const = default;
  };

  /** The lidar's health; both fields 0 when the lidar did not answer in full. */
  struct LidarHealth {
    /** The status, 0 to 255. */
    int status = 0;
    /** The error code, 0 to 65535. */
    int errorCode = 0;
    /** Two health records are equal when both fields are. */
    bool operator==(const LidarHealth&) const = default;
  };

  /** One measured point. */
  struct ScanPoint {
    /** Degrees, from 0 up to (not including) 360. */
    float angleDegrees = 0.0F;
    /** Metres, 0.05 to 12; kMissingDistance for a point the lidar could not measure. */
    float distanceMeters = 0.0F;
    /** The strength of the return, 0 to 255. */
    float intensity = 0.0F;
    /** Two points are equal when every field is. */
    bool operator==(const ScanPoint&) const = default;
  };

  /** One whole revolution, its points in the order the lidar measured them. */
  struct ScanData {
    /** When the revolution began, in nanoseconds of the library's steady clock; 0 when empty. */
    int64_t timestampNs = 0;
    /** When its first packet arrived, in microseconds on the robot's clock (the time base of
     *  frc::Timer::GetFPGATimestamp()); 0 when empty. */
    int64_t firstPacketUs = 0;
    /** When its last packet arrived, on the same clock; 0 when empty. */
    int64_t lastPacketUs = 0;
    /** The points. */
    std::vector<ScanPoint> points;
    /** Two revolutions are equal when their timestamps and all their points are. */
    bool operator==(const ScanData&) const = default;
  };

  /**
   * Opens a lidar on a USB serial port found by the library's device search and tells it to
   * stop scanning, in case an earlier program left it scanning.
   *
   * @param port kSecondPort (3) for the second port found; any other value for the first
   * @throws std::runtime_error "LidarMini on port <n> could not be initialized" when the port
   *     could not be opened (the library prints why)
   */
  explicit LidarMini(int port) : m_device(c_LidarMini_create(port)) {
    if (m_device.IsClosed()) {
      throw detail::CreationFailure("LidarMini on port " + std::to_string(port));
    }
  }

  /** Takes over `other`'s lidar; `other` is left closed. Not copyable: the object owns its
   *  device. */
  LidarMini(LidarMini&&) = default;
  /** Closes this lidar and takes over `other`'s; `other` is left closed. */
  LidarMini& operator=(LidarMini&&) = default;
  /** Closes the lidar (see Close()). */
  ~LidarMini() = default;

  /**
   * Stops reading and releases the port. Nothing is sent to the lidar: call Stop() first to
   * stop it turning. Closing again does nothing.
   */
  void Close() noexcept {
    m_device.Close();
    m_scanning = false;
  }

  /** Whether Close() has been called or the object was moved from. */
  [[nodiscard]] bool IsClosed() const { return m_device.IsClosed(); }

  /** Tells the lidar to scan and starts gathering its revolutions. Waits about kStartMs ms for
   *  the lidar's first bytes; not for the robot's periodic loop. */
  void Start() {
    if (!m_device.IsClosed()) {
      c_LidarMini_start(m_device.Get());
      m_scanning = true;
    }
  }

  /** Tells the lidar to stop scanning; GetData() is empty until the next Start()'s revolution.
   *  Waits for the scan thread to end (a few ms); not for the robot's periodic loop. */
  void Stop() {
    if (!m_device.IsClosed()) {
      c_LidarMini_stop(m_device.Get());
      m_scanning = false;
    }
  }

  /** Whether Start() was called since opening or the last Stop(). */
  [[nodiscard]] bool IsScanning() const { return m_scanning && !m_device.IsClosed(); }

  /**
   * Whether the lidar's scan packets keep arriving: true while scanning and a packet came within
   * the last 100 ms (LIDARMINI_CONNECTION_SILENCE_MS); false while not scanning. Never waits.
   */
  [[nodiscard]] bool IsConnected() const {
    return !m_device.IsClosed() && c_LidarMini_isConnected(m_device.Get());
  }

  /**
   * The latest whole revolution, at once; the same one again until the next is complete
   * (compare timestamps to tell).
   *
   * @return the revolution; empty, with timestamp 0, while not scanning and until the first
   *     whole revolution after Start()
   */
  [[nodiscard]] ScanData GetData() const {
    ScanData scan;
    if (m_device.IsClosed()) {
      return scan;
    }
    std::vector<float> angles;
    std::vector<float> distances;
    std::vector<float> intensities;
    int32_t count = 0;
    // A revolution larger than the arrays is asked for again with room for it.
    for (int32_t capacity = kTypicalPoints;; capacity = count) {
      angles.resize(static_cast<std::size_t>(capacity));
      distances.resize(angles.size());
      intensities.resize(angles.size());
      LidarMiniScanTimes times{};
      count = c_LidarMini_copyDataTimed(m_device.Get(), angles.data(), distances.data(),
                                        intensities.data(), capacity, &scan.timestampNs, &times);
      scan.firstPacketUs = times.firstPacketUs;
      scan.lastPacketUs = times.lastPacketUs;
      if (count <= capacity) {
        break;
      }
    }
    scan.points.reserve(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
      scan.points.push_back(ScanPoint{angles[i], distances[i], intensities[i]});
    }
    return scan;
  }

  /**
   * Raises the scan frequency by 1 Hz (`big`) or 0.1 Hz, up to kMaxFrequencyHz; a step above
   * it is refused (the library prints so). The library counts the frequency itself. Waits up to
   * 2 s for the request to be written; not for the robot's periodic loop.
   */
  void IncreaseFrequency(bool big) {
    if (!m_device.IsClosed()) {
      c_LidarMini_increaseFrequency(m_device.Get(), big);
    }
  }

  /** Lowers the scan frequency by 1 Hz (`big`) or 0.1 Hz, down to kMinFrequencyHz. */
  void DecreaseFrequency(bool big) {
    if (!m_device.IsClosed()) {
      c_LidarMini_decreaseFrequency(m_device.Get(), big);
    }
  }

  /**
   * Asks the lidar for its identity and waits for the answer (up to 4 s; about 2 s when it does
   * not answer). Best called while not scanning; not for the robot's periodic loop.
   */
  [[nodiscard]] LidarInfo GetInfo() const {
    LidarInfo info;
    if (!m_device.IsClosed()) {
      const ::LidarInfo raw = c_LidarMini_getInfo(m_device.Get());
      info.model = raw.model;
      info.firmwareVersion = raw.firmwareVersion;
      info.hardwareVersion = raw.hardwareVersion;
      std::copy(std::begin(raw.serialnum), std::end(raw.serialnum), info.serialnum.begin());
    }
    return info;
  }

  /** Asks the lidar for its health and waits as GetInfo() does. Best called while not scanning;
   *  not for the robot's periodic loop. */
  [[nodiscard]] LidarHealth GetHealth() const {
    if (m_device.IsClosed()) {
      return {};
    }
    const ::LidarHealth raw = c_LidarMini_getHealth(m_device.Get());
    return LidarHealth{raw.status, raw.errorCode};
  }

 private:
  using Device = detail::DeviceHandle<void*, &c_LidarMini_destroy>;

  // Room for a revolution at the lowest frequency, so that one copy usually does.
  static constexpr int32_t kTypicalPoints = 1024;

  Device m_device;
  bool m_scanning = false;  // read only while the device is open: a moved-from object keeps it
};

}  // namespace halvern

// The scanning lidar on the robot controller's own serial port: the C++ class of HalvernDriver,
// over the C face of halvern/Lidar.h.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>

#include "halvern/Lidar.h"
#include "halvern/detail/ClassSupport.hpp"
#include "halvern/detail/DeviceHandle.hpp"

namespace halvern {

/**
 * A 360-degree scanning laser range finder on one of the robot controller's serial ports. The
 * library keeps, for every whole degree, the angle and distance of the latest sample that fell
 * into it; GetData() copies both tables at once.
 *
 * Opening a Lidar opens its port at kBaudRate baud and starts reading at once; Start() only
 * resumes after Stop(). A filter can smooth each degree's distances: see EnableFilter().
 *
 * The library drives one such lidar per program. Opening a second Lidar replaces the first,
 * which is stopped and closed; the new one starts with empty tables, no filter and every setting
 * at its default. Destroying or closing it stops the lidar (closes the port). Failures of the
 * lidar never throw (the library prints why); an argument outside the range its method
 * documents throws std::invalid_argument and changes nothing. Once closed, replaced or moved
 * from, the object changes nothing and GetData() returns the empty tables. Its methods may be
 * called from any thread.
 */
class Lidar {
 public:
  /** The number of degrees, and so of entries, in each table of ScanData. */
  static constexpr int kDegrees = LIDAR_DEGREES;
  /** The distance of a sample out of range, and of a degree that has had no sample yet. */
  static constexpr float kNoDistance = -1.0F;
  /** The speed of the serial line, in bits a second. */
  static constexpr int kBaudRate = 115200;
  /** How many of a degree's latest distances the filters keep: the largest window and cluster. */
  static constexpr int kHistoryLength = LIDAR_HISTORY_LENGTH;

  /** The robot controller's serial ports, numbered as its HAL knows them. */
  enum class Port {
    kOnboard = 0,  ///< the onboard RS-232 port
    kMXP = 1,      ///< the serial pins of the MXP expansion port
    kUSB1 = 2,     ///< the first USB serial port
    kUSB2 = 3,     ///< the second USB serial port
  };

  /** The filters that can smooth each degree's distances; one at most is on at a time. */
  enum class FilterType {
    /** The mean of the first large enough group of close distances (ConfigureCluster()). */
    kCluster = LIDAR_FILTER_CLUSTER,
    /** A Kalman estimate, its state shared by every degree (ConfigureKalman()). */
    kKalman = LIDAR_FILTER_KALMAN,
    /** The mean of a degree's latest distances (SetMovingAverageWindow()). */
    kMovingAverage = LIDAR_FILTER_MOVING_AVERAGE,
    /** The median of a degree's latest distances (SetMedianWindow()). */
    kMedian = LIDAR_FILTER_MEDIAN,
    /** The newest distance, a large jump held back for one sample (SetJitterThreshold()). */
    kJitter = LIDAR_FILTER_JITTER,
  };

  /** The latest sample of every degree: element i of both tables belongs to degree i. */
  struct ScanData {
    /** Degrees: from i up to i + 1, or i itself while degree i has had no sample. */
    std::array<float, kDegrees> angleDegrees{};
    /** Millimetres, 120 to 8000 (the filter's output while one is on); kNoDistance otherwise. */
    std::array<float, kDegrees> distanceMm{};
    /** When each degree's sample arrived, in microseconds on the robot's clock (the time base of
     *  frc::Timer::GetFPGATimestamp()); 0 while degree i has had no sample. */
    std::array<int64_t, kDegrees> sampleUs{};
    /** The oldest of sampleUs: the earliest packet whose data the tables hold; 0 if none. */
    int64_t firstPacketUs = 0;
    /** The newest of sampleUs: the latest packet stored; 0 if none. */
    int64_t lastPacketUs = 0;

    /** The tables before any sample: angle i is i and every distance kNoDistance. */
    ScanData() {
      for (int degree = 0; degree < kDegrees; ++degree) {
        angleDegrees[static_cast<std::size_t>(degree)] = static_cast<float>(degree);
      }
      distanceMm.fill(kNoDistance);
    }

    /** The number of degrees whose distance is in range (not kNoDistance). */
    [[nodiscard]] int InRangeCount() const {
      return static_cast<int>(std::count_if(distanceMm.begin(), distanceMm.end(),
                                            [](float value) { return value != kNoDistance; }));
    }

    /** Two scans are equal when all their angles and distances are (their times aside). */
    bool operator==(const ScanData& other) const {
      return angleDegrees == other.angleDegrees && distanceMm == other.distanceMm;
    }
  };

  /**
   * Opens the lidar on a serial port of the robot controller and starts reading; a Lidar opened
   * before, and not closed, is replaced. When the port cannot be opened the library prints why
   * and nothing new is read.
   */
  explicit Lidar(Port port) : m_lidar(Open(port)) {}

  /** Takes over `other`'s lidar; `other` is left closed. Not copyable: the object owns its
   *  device. */
  Lidar(Lidar&&) = default;
  /** Closes this lidar and takes over `other`'s; `other` is left closed. */
  Lidar& operator=(Lidar&&) = default;
  /** Closes the lidar (see Close()). */
  ~Lidar() = default;

  /**
   * Stops the lidar: the library closes its port. Closing again, or closing a lidar that a newer
   * one replaced, does nothing.
   */
  void Close() noexcept { m_lidar.Close(); }

  /** Whether it was closed, moved from or replaced by a newer Lidar. */
  [[nodiscard]] bool IsClosed() const { return !m_lidar.IsCurrent(); }

  /** Opens the port again after Stop(); reading resumes into the tables as they were. */
  void Start() {
    m_lidar.IfCurrent([&] {
      c_Lidar_start();
      ScanningToken() = m_lidar.Token();
    });
  }

  /** Closes the port: reading pauses, and the tables keep their values until Start(). */
  void Stop() {
    m_lidar.IfCurrent([&] {
      c_Lidar_stop();
      ScanningToken() = 0;
    });
  }

  /** Whether the lidar was opened or started and not stopped since. */
  [[nodiscard]] bool IsScanning() const {
    bool scanning = false;
    m_lidar.IfCurrent([&] { scanning = ScanningToken() == m_lidar.Token(); });
    return scanning;
  }

  /**
   * The latest sample of every degree with the time each arrived, at once (never waits); the
   * empty tables once closed or replaced.
   */
  [[nodiscard]] ScanData GetData() const {
    ScanData data;
    if (IsClosed()) {
      return data;
    }
    const auto scan = std::make_unique<LidarTimedScan>();  // 7 KB: kept off the stack
    c_Lidar_getTimedData(scan.get());
    std::copy(std::begin(scan->angle), std::end(scan->angle), data.angleDegrees.begin());
    std::copy(std::begin(scan->distance), std::end(scan->distance), data.distanceMm.begin());
    std::copy(std::begin(scan->sampleUs), std::end(scan->sampleUs), data.sampleUs.begin());
    data.firstPacketUs = scan->firstPacketUs;
    data.lastPacketUs = scan->lastPacketUs;
    return data;
  }

  /**
   * Whether the lidar's packets keep arriving: true while one came within the last 100 ms
   * (LIDAR_CONNECTION_SILENCE_MS); false once stopped, closed or replaced. Never waits.
   */
  [[nodiscard]] bool IsConnected() const { return !IsClosed() && c_Lidar_isConnected(); }

  /** Switches a filter on, and whichever was on before off. */
  void EnableFilter(FilterType type) {
    m_lidar.IfCurrent([&] {
      c_Lidar_enableFilter(static_cast<int>(type), true);
      Filter() = type;
    });
  }

  /** Switches the filter off: each degree stores its measured distances again. */
  void DisableFilters() {
    m_lidar.IfCurrent([&] {
      c_Lidar_enableFilter(LIDAR_FILTER_CLUSTER, false);
      Filter().reset();
    });
  }

  /** The filter that is on, or empty when none is (or once closed). */
  [[nodiscard]] std::optional<FilterType> GetFilter() const {
    std::optional<FilterType> filter;
    m_lidar.IfCurrent([&] { filter = Filter(); });
    return filter;
  }

  /**
   * Sets the cluster filter (defaults 50 mm and 5).
   *
   * @param toleranceMm the largest difference within a group, in millimetres, 0 or more
   * @param minPoints the fewest distances a group needs, 1 to kHistoryLength
   */
  void ConfigureCluster(float toleranceMm, int minPoints) {
    detail::RequireNotNegativeFinite(toleranceMm, "Cluster tolerance");
    detail::RequireInRange(minPoints, 1, kHistoryLength, "Cluster size");
    m_lidar.IfCurrent([&] { c_Lidar_clusterConfig(toleranceMm, minPoints); });
  }

  /**
   * Sets the Kalman filter and starts its estimate again from 0 (defaults 0.00001, 0.1, 1).
   *
   * @param processNoise 0 or more
   * @param measurementNoise more than 0
   * @param errorCovariance 0 or more
   */
  void ConfigureKalman(float processNoise, float measurementNoise, float errorCovariance) {
    detail::RequireNotNegativeFinite(processNoise, "Process noise");
    detail::RequireNotNegativeFinite(measurementNoise, "Measurement noise");
    if (measurementNoise == 0.0F) {
      throw std::invalid_argument("Measurement noise 0.0 is not positive");
    }
    detail::RequireNotNegativeFinite(errorCovariance, "Error covariance");
    m_lidar.IfCurrent(
        [&] { c_Lidar_kalmanConfig(processNoise, measurementNoise, errorCovariance); });
  }

  /** How many of a degree's latest distances, 1 to kHistoryLength, the moving average takes. */
  void SetMovingAverageWindow(int window) {
    detail::RequireInRange(window, 1, kHistoryLength, "Moving average window");
    m_lidar.IfCurrent([&] { c_Lidar_movingAverageConfig(window); });
  }

  /** How many of a degree's latest distances, 1 to kHistoryLength, the median takes. */
  void SetMedianWindow(int window) {
    detail::RequireInRange(window, 1, kHistoryLength, "Median window");
    m_lidar.IfCurrent([&] { c_Lidar_medianConfig(window); });
  }

  /** The jitter filter's threshold in millimetres, 0 or more (default 50 mm). */
  void SetJitterThreshold(float thresholdMm) {
    detail::RequireNotNegativeFinite(thresholdMm, "Jitter threshold");
    m_lidar.IfCurrent([&] { c_Lidar_jitterConfig(thresholdMm); });
  }

 private:
  // Stops the port when it is open (this object's, as it is current) and closes the lidar.
  static void CloseLidar(uint64_t token) {
    if (ScanningToken() == token) {
      c_Lidar_stop();
      ScanningToken() = 0;
    }
    c_Lidar_destroy();
  }
  using Hold = detail::LibraryWideHandle<Lidar, &CloseLidar>;

  static Hold Open(Port port) {
    const auto lock = Hold::Owner::Lock();
    if (Hold::Owner::IsCurrent(ScanningToken())) {
      c_Lidar_stop();  // the replaced lidar's port
    }
    c_Lidar_create(static_cast<int>(port));
    Hold hold = Hold::TakeOver();
    ScanningToken() = hold.Token();
    Filter().reset();
    return hold;
  }

  // The library's one lidar's state, guarded by Hold::Owner::Lock(): the token of the object whose
  // port is open (0 while stopped), and the filter that is on.
  static uint64_t& ScanningToken() {
    static uint64_t token = 0;
    return token;
  }
  static std::optional<FilterType>& Filter() {
    static std::optional<FilterType> filter;
    return filter;
  }

  Hold m_lidar;  // closed once closed, moved from or replaced
};

}  // namespace halvern

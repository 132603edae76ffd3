// The library's one serial lidar: its port, the reader that turns the port's bytes into a
// table of the latest sample of every degree, and the filter settings.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>

#include "core/ConnectionMonitor.h"
#include "halvern/Lidar.h"
#include "lidar/LidarFilters.h"
#include "lidar/LidarLog.h"

namespace halvern::lidar {

/** What a program can tune in a reader; each create's reader starts from the defaults. */
struct ReaderSettings {
  KalmanState kalman{};  // where every degree's Kalman state starts
  int movingAverageWindow = 5;
  int medianWindow = 5;
  float jitterThreshold = 50.0F;
};

/** The cluster filter's settings after each create. */
inline constexpr float kDefaultClusterTolerance = 50.0F;
inline constexpr int kDefaultClusterMinPoints = 5;

class LidarReader;

class LidarModule {
 public:
  LidarModule();
  LidarModule(const LidarModule&) = delete;
  LidarModule& operator=(const LidarModule&) = delete;
  /** Stops and joins the reader. */
  ~LidarModule();

  void create(int port);
  void start();
  void stop();
  [[nodiscard]] LidarScan getData() const;
  void getTimedData(LidarTimedScan& out) const;
  /** Scanning, and packets keep arriving. */
  [[nodiscard]] bool connected() const { return scanning.load() && monitor.connected(); }
  /** The reader's: a packet arrived at `robotMicros`. */
  void notePacket(int64_t robotMicros) const { monitor.noteTraffic(robotMicros); }
  /**
   * The reader's, each pass while logging: logs a change of the connection, once it has been
   * connected (`everConnected`), in step with stop's logging of its end.
   */
  void logConnection(LidarLog& log, bool& everConnected) const;

  void enableFilter(int type, bool enable);
  void clusterConfig(float tolerance, int minPoints);
  void kalmanConfig(float processNoise, float measurementNoise, float errorCovariance);
  void movingAverageConfig(int window);
  void medianConfig(int window);
  void jitterConfig(float threshold);

  // What the reader reads on every pass.
  [[nodiscard]] int32_t portHandle() const { return handle.load(); }
  [[nodiscard]] bool isScanning() const { return scanning.load(); }
  /** The filter switched on, if any. */
  [[nodiscard]] bool filterOn(FilterType type) const;
  [[nodiscard]] bool anyFilterOn() const;
  [[nodiscard]] float clusterTolerance() const { return tolerance.load(); }
  [[nodiscard]] int clusterMinPoints() const { return minPoints.load(); }

 private:
  /** Opens the port under the port mutex; false (after saying why) when the HAL refuses. */
  bool openPort();
  /** Replaces the reader with a new one, which applies the line settings and starts reading. */
  void startReader();
  /** A filter setting reaches the running reader at once (through `setOnReader`), or waits in
   *  `pending` for the first one. */
  template <typename SetOnReader, typename Value>
  void applyFilterSetting(SetOnReader setOnReader, Value ReaderSettings::*kept,
                          const Value& value);
  /** The signals of the lidar created last; none before the first create. */
  [[nodiscard]] std::shared_ptr<LidarLog> currentLog() const;

  int32_t port = 0;
  std::atomic<int32_t> handle{0};  // 0 while the port is closed
  std::atomic<bool> scanning{false};
  std::array<std::atomic<bool>, kFilterTypeCount> filters{};
  std::atomic<float> tolerance{0.0F};
  std::atomic<int> minPoints{0};

  std::mutex portMutex;    // create, start and stop around opening and closing the port
  std::mutex configMutex;  // the setters
  ReaderSettings pending;  // set before any create: kept for the first reader
  mutable std::mutex logMutex;  // `log` itself, replaced by create
  // Held while the connection is judged and logged, so that a judgement made before a stop is
  // never logged after the stop's.
  mutable std::mutex connectionLogMutex;
  std::shared_ptr<LidarLog> log;  // shared with the reader, which appends until it stops
  std::unique_ptr<LidarReader> reader;
  mutable ConnectionMonitor monitor{// noted by the reader, which sees the module as const
                                    std::chrono::milliseconds(LIDAR_CONNECTION_SILENCE_MS)};
};

}  // namespace halvern::lidar

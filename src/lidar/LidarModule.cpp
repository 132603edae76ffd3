#include "lidar/LidarModule.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <iostream>
#include <span>
#include <thread>
#include <vector>

#include "core/DataLogSink.h"
#include "core/HalPlatform.h"
#include "lidar/LidarPackets.h"

namespace halvern::lidar {
namespace {

using std::chrono::milliseconds;

// Line settings of the lidar's port.
constexpr int32_t kBaudRate = 115200;
constexpr int32_t kDataBits = 8;
constexpr int32_t kNoParity = 0;
constexpr int32_t kOneStopBit = 10;  // the HAL's code
constexpr double kReadTimeoutSeconds = 1.0;
constexpr int32_t kFlushOnAccess = 1;

// The HAL cannot wait for bytes: the reader looks this often while none are waiting, less
// often while the port is closed, and after a failing query it backs off further.
constexpr milliseconds kPollInterval{1};
constexpr milliseconds kClosedPortInterval{10};
constexpr milliseconds kErrorBackoff{100};
// Starting the port again waits this long between raising the flag and opening the port.
constexpr milliseconds kRestartPause{1};

constexpr std::size_t kReceiveReserve = 4096;

void applyLineSettings(int32_t handle) {
  int32_t status = 0;  // the setters' statuses are not looked at
  platform::serialSetBaudRate(handle, kBaudRate, status);
  platform::serialSetDataBits(handle, kDataBits, status);
  platform::serialSetParity(handle, kNoParity, status);
  platform::serialSetStopBits(handle, kOneStopBit, status);
  platform::serialSetTimeout(handle, kReadTimeoutSeconds, status);
  platform::serialSetWriteMode(handle, kFlushOnAccess, status);
  platform::serialDisableTermination(handle, status);
}

std::size_t degreeOf(float angle) {
  // Decoded angles lie in [0, 360).
  return std::min(static_cast<std::size_t>(angle), static_cast<std::size_t>(LIDAR_DEGREES - 1));
}

std::array<KalmanState, LIDAR_DEGREES> everyDegree(const KalmanState& state) {
  std::array<KalmanState, LIDAR_DEGREES> states{};
  states.fill(state);
  return states;
}

LidarScan emptyScan() {
  LidarScan scan{};
  for (std::size_t i = 0; i < LIDAR_DEGREES; ++i) {
    scan.angle[i] = static_cast<float>(i);
    scan.distance[i] = kOutOfRange;
  }
  return scan;
}

}  // namespace

/** The thread that reads the port and keeps the latest sample of every degree. */
class LidarReader {
 public:
  LidarReader(const LidarModule& owner, const ReaderSettings& settings,
              std::shared_ptr<LidarLog> signals)
      : module(owner),
        log(std::move(signals)),
        kalman(everyDegree(settings.kalman)),
        movingAverageWindow(settings.movingAverageWindow),
        medianWindow(settings.medianWindow),
        jitterThreshold(settings.jitterThreshold),
        table(emptyScan()),
        thread([this] { run(); }) {}
  LidarReader(const LidarReader&) = delete;
  LidarReader& operator=(const LidarReader&) = delete;
  ~LidarReader() {
    {
      const std::lock_guard lock(wakeMutex);
      running = false;
    }
    wake.notify_all();
    thread.join();
  }

  [[nodiscard]] LidarScan scan() const {
    const std::lock_guard lock(dataMutex);
    return table;
  }

  void timedScan(LidarTimedScan& out) const {
    const std::lock_guard lock(dataMutex);
    std::copy(std::begin(table.angle), std::end(table.angle), std::begin(out.angle));
    std::copy(std::begin(table.distance), std::end(table.distance), std::begin(out.distance));
    std::copy(sampleUs.begin(), sampleUs.end(), std::begin(out.sampleUs));
  }

  /** Every degree's Kalman state starts again from `state`. */
  void setKalman(const KalmanState& state) {
    const std::lock_guard lock(dataMutex);  // never during an update
    kalman.fill(state);
  }
  void setMovingAverageWindow(int window) { movingAverageWindow.store(window); }
  void setMedianWindow(int window) { medianWindow.store(window); }
  void setJitterThreshold(float threshold) { jitterThreshold.store(threshold); }

 private:
  void run();
  /** Sleeps for `interval`, or less when the reader is being stopped; false once stopped. */
  bool pause(milliseconds interval);
  void takePackets(int64_t arrivedUs);
  /** Gathers the packet's samples into the revolution to log, logging the one it completes. */
  void logRevolution(bool start, int64_t arrivedUs);
  /** Logs the connection while the data log is on: true after packets, false once silent. */
  void logConnection();
  void store(std::span<const LidarSample> decoded, int64_t arrivedUs);
  float filtered(std::size_t degree, std::span<const float> history);

  const LidarModule& module;
  const std::shared_ptr<LidarLog> log;  // none when the module had none

  mutable std::mutex dataMutex;  // guards the table, the histories and the Kalman states
  std::array<KalmanState, LIDAR_DEGREES> kalman;  // a degree's own
  std::atomic<int> movingAverageWindow;
  std::atomic<int> medianWindow;
  std::atomic<float> jitterThreshold;
  LidarScan table;
  std::array<int64_t, LIDAR_DEGREES> sampleUs{};  // when each degree's sample arrived; 0: none
  std::array<DegreeHistory, LIDAR_DEGREES> histories{};

  // The thread's own: received bytes carried from read to read, and one packet's samples.
  std::vector<uint8_t> received;
  std::vector<LidarSample> samples;
  // The thread's own: the revolution being gathered for the log, from a start packet that came
  // while logging was on.
  std::vector<LidarSample> revolution;
  bool gathering = false;
  int64_t revolutionFirstUs = 0;
  int64_t revolutionLastUs = 0;
  bool everConnected = false;  // Connected is logged from the first packet on

  std::mutex wakeMutex;
  std::condition_variable wake;
  bool running = true;  // under wakeMutex

  std::thread thread;  // last: it starts once everything above exists
};

bool LidarReader::pause(milliseconds interval) {
  std::unique_lock lock(wakeMutex);
  return !wake.wait_for(lock, interval, [this] { return !running; });
}

void LidarReader::run() {
  received.reserve(kReceiveReserve);
  applyLineSettings(module.portHandle());
  while (true) {
    if (log && datalog::dataLogActive()) {
      logConnection();  // every pass: at least each closed-port interval
    }
    const int32_t handle = module.portHandle();
    if (!module.isScanning() || handle == 0) {
      // Stopped, or the port would not open: wait for start to open it again.
      if (!pause(kClosedPortInterval)) {
        return;
      }
      continue;
    }
    int32_t status = 0;
    const int32_t waiting = platform::serialBytesReceived(handle, status);
    if (status < 0) {
      // A stop that closed the port just now is not a failure of the port.
      if (module.portHandle() == handle && module.isScanning()) {
        std::cerr << "Error getting serial bytes: " << status << std::endl;
      }
      if (!pause(kErrorBackoff)) {
        return;
      }
      continue;
    }
    if (waiting <= 0) {
      if (!pause(kPollInterval)) {
        return;
      }
      continue;
    }
    const std::size_t before = received.size();
    received.resize(before + static_cast<std::size_t>(waiting));
    const int32_t read = platform::serialRead(
        handle, std::span(received).subspan(before, static_cast<std::size_t>(waiting)), status);
    received.resize(before + static_cast<std::size_t>(std::clamp(read, 0, waiting)));
    takePackets(platform::robotTimeMicros());
    const std::lock_guard lock(wakeMutex);
    if (!running) {
      return;
    }
  }
}

void LidarReader::takePackets(int64_t arrivedUs) {
  PacketCodec::takePackets(received, [this, arrivedUs](std::span<const uint8_t> packet) {
    samples.clear();
    const bool start = decodePacket(packet, samples);
    store(samples, arrivedUs);
    module.notePacket(arrivedUs);
    if (log) {
      logRevolution(start, arrivedUs);
    }
  });
}

void LidarReader::logRevolution(bool start, int64_t arrivedUs) {
  if (start) {
    if (gathering && !revolution.empty()) {
      log->revolution(revolution, revolutionFirstUs, revolutionLastUs);
    }
    revolution.clear();
    gathering = datalog::dataLogActive();
    revolutionFirstUs = arrivedUs;
  }
  if (gathering) {
    revolution.insert(revolution.end(), samples.begin(), samples.end());
    revolutionLastUs = arrivedUs;
  }
}

void LidarReader::logConnection() { module.logConnection(*log, everConnected); }

void LidarReader::store(std::span<const LidarSample> decoded, int64_t arrivedUs) {
  const bool filtering = module.anyFilterOn();
  const std::lock_guard lock(dataMutex);
  for (const LidarSample& sample : decoded) {
    const std::size_t degree = degreeOf(sample.angle);
    float distance = sample.distance;
    if (filtering) {
      // Out-of-range samples (-1) enter the history like any other.
      DegreeHistory& history = histories.at(degree);
      history.push(sample.distance);
      distance = filtered(degree, history.values());
    }
    table.angle[degree] = sample.angle;
    table.distance[degree] = distance;
    sampleUs.at(degree) = arrivedUs;
  }
}

float LidarReader::filtered(std::size_t degree, std::span<const float> history) {
  // enableFilter keeps at most one filter on; were there more, the last of these would win.
  float value = history.back();
  if (module.filterOn(FilterType::Kalman)) {
    value = kalmanFilter(history, kalman.at(degree));
  }
  if (module.filterOn(FilterType::MovingAverage)) {
    value = movingAverageFilter(history, movingAverageWindow.load());
  }
  if (module.filterOn(FilterType::Median)) {
    value = medianFilter(history, medianWindow.load());
  }
  if (module.filterOn(FilterType::Jitter)) {
    value = jitterFilter(history, jitterThreshold.load());
  }
  if (module.filterOn(FilterType::Cluster)) {
    value = clusterFilter(history, module.clusterTolerance(), module.clusterMinPoints());
  }
  return value;
}

void LidarModule::logConnection(LidarLog& signals, bool& everConnected) const {
  const std::lock_guard lock(connectionLogMutex);
  const int64_t lastUs = monitor.lastTrafficMicros();
  if (connected()) {
    everConnected = true;
    signals.connected(true, lastUs);
  } else if (everConnected && lastUs != 0) {
    // Disconnected from the moment the silence passed its limit (a stop logs its own).
    constexpr int64_t kSilenceUs = int64_t{LIDAR_CONNECTION_SILENCE_MS} * 1000;
    signals.connected(false, lastUs + kSilenceUs);
  }
}

LidarModule::LidarModule() = default;

LidarModule::~LidarModule() { reader.reset(); }

bool LidarModule::openPort() {
  const std::lock_guard lock(portMutex);
  // A port still open from an earlier create is given back before one is opened again.
  if (const int32_t previous = handle.exchange(0); previous != 0) {
    platform::serialClose(previous);
  }
  int32_t status = 0;
  const platform::SerialHandle opened = platform::serialInitialize(port, status);
  if (status != 0) {
    std::cerr << "Error initializing serial port: " << status << std::endl;
    return false;
  }
  handle.store(opened);
  return true;
}

std::shared_ptr<LidarLog> LidarModule::currentLog() const {
  const std::lock_guard lock(logMutex);
  return log;
}

void LidarModule::create(int newPort) {
  port = newPort;
  {
    const std::lock_guard lock(logMutex);
    log = std::make_shared<LidarLog>(newPort);
  }
  scanning.store(true);
  for (auto& filter : filters) {
    filter.store(false);
  }
  tolerance.store(kDefaultClusterTolerance);
  minPoints.store(kDefaultClusterMinPoints);
  if (!openPort()) {
    return;
  }
  currentLog()->scanning(true, platform::robotTimeMicros());
  startReader();
}

void LidarModule::startReader() {
  ReaderSettings settings;
  {
    // Settings made before the first reader are kept for it; later ones start afresh.
    const std::lock_guard lock(configMutex);
    settings = pending;
    pending = ReaderSettings{};
  }
  reader.reset();  // the earlier reader stops before the new one starts
  reader = std::make_unique<LidarReader>(*this, settings, currentLog());
}

void LidarModule::start() {
  if (scanning.load()) {
    std::cerr << "Lidar sensor is already scanning" << std::endl;
    return;
  }
  scanning.store(true);
  std::this_thread::sleep_for(kRestartPause);
  if (!openPort()) {
    return;
  }
  if (const auto signals = currentLog()) {
    signals->scanning(true, platform::robotTimeMicros());
  }
  applyLineSettings(handle.load());
  if (!reader) {
    // The port would not open at create, so no reader was made: reading starts now.
    startReader();
  }
}

void LidarModule::stop() {
  const std::lock_guard lock(portMutex);
  scanning.store(false);
  platform::serialClose(handle.exchange(0));
  monitor.reset();  // a closed port brings no packets
  if (const auto signals = currentLog()) {
    const int64_t now = platform::robotTimeMicros();
    signals->scanning(false, now);
    const std::lock_guard logLock(connectionLogMutex);
    signals->connected(false, now);
  }
}

LidarScan LidarModule::getData() const { return reader ? reader->scan() : emptyScan(); }

void LidarModule::getTimedData(LidarTimedScan& out) const {
  out = LidarTimedScan{};
  if (reader) {
    reader->timedScan(out);
  } else {
    const LidarScan empty = emptyScan();
    std::copy(std::begin(empty.angle), std::end(empty.angle), std::begin(out.angle));
    std::copy(std::begin(empty.distance), std::end(empty.distance), std::begin(out.distance));
  }
  for (const int64_t at : out.sampleUs) {
    if (at != 0) {
      out.firstPacketUs = out.firstPacketUs == 0 ? at : std::min(out.firstPacketUs, at);
      out.lastPacketUs = std::max(out.lastPacketUs, at);
    }
  }
}

bool LidarModule::filterOn(FilterType type) const {
  return filters.at(static_cast<std::size_t>(type)).load();
}

bool LidarModule::anyFilterOn() const {
  return std::any_of(filters.begin(), filters.end(), [](const auto& on) { return on.load(); });
}

void LidarModule::enableFilter(int type, bool enable) {
  const std::lock_guard lock(configMutex);
  if (type < 0 || type >= kFilterTypeCount) {
    return;
  }
  for (int i = 0; i < kFilterTypeCount; ++i) {
    filters.at(static_cast<std::size_t>(i)).store(i == type && enable);
  }
  if (const auto signals = currentLog()) {
    signals->activeFilter(enable ? type : -1, platform::robotTimeMicros());
  }
}

void LidarModule::clusterConfig(float newTolerance, int newMinPoints) {
  const std::lock_guard lock(configMutex);
  tolerance.store(newTolerance);
  minPoints.store(newMinPoints);
  if (const auto signals = currentLog()) {
    signals->cluster(newTolerance, newMinPoints, platform::robotTimeMicros());
  }
}

template <typename SetOnReader, typename Value>
void LidarModule::applyFilterSetting(SetOnReader setOnReader, Value ReaderSettings::*kept,
                                     const Value& value) {
  const std::lock_guard lock(configMutex);
  if (reader) {
    (reader.get()->*setOnReader)(value);
  } else {
    pending.*kept = value;
  }
}

void LidarModule::kalmanConfig(float processNoise, float measurementNoise, float errorCovariance) {
  applyFilterSetting(&LidarReader::setKalman, &ReaderSettings::kalman,
                     KalmanState{.processNoise = processNoise,
                                 .measurementNoise = measurementNoise,
                                 .errorCovariance = errorCovariance,
                                 .estimate = 0.0F});
  if (const auto signals = currentLog()) {
    signals->kalman(processNoise, measurementNoise, errorCovariance, platform::robotTimeMicros());
  }
}

void LidarModule::movingAverageConfig(int window) {
  applyFilterSetting(&LidarReader::setMovingAverageWindow, &ReaderSettings::movingAverageWindow,
                     window);
  if (const auto signals = currentLog()) {
    signals->movingAverageWindow(window, platform::robotTimeMicros());
  }
}

void LidarModule::medianConfig(int window) {
  applyFilterSetting(&LidarReader::setMedianWindow, &ReaderSettings::medianWindow, window);
  if (const auto signals = currentLog()) {
    signals->medianWindow(window, platform::robotTimeMicros());
  }
}

void LidarModule::jitterConfig(float threshold) {
  applyFilterSetting(&LidarReader::setJitterThreshold, &ReaderSettings::jitterThreshold,
                     threshold);
  if (const auto signals = currentLog()) {
    signals->jitterThreshold(threshold, platform::robotTimeMicros());
  }
}

}  // namespace halvern::lidar

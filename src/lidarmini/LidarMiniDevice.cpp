#include "lidarmini/LidarMiniDevice.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <optional>
#include <system_error>

#include "core/DataLogSink.h"
#include "core/DevicePath.h"
#include "core/HalPlatform.h"
#include "lidarmini/LidarMiniLink.h"

namespace halvern::lidarmini {
namespace {

using std::chrono::milliseconds;

// After StopScan at creation the lidar falls quiet within this time; what it sent is dropped.
constexpr milliseconds kQuietTime{200};
// A scanning lidar has sent bytes this long after StartScan.
constexpr milliseconds kStartCheckDelay{300};
// The scan thread begins this long after its start, dropping the start reply and whatever
// arrived before, so framing starts clean.
constexpr milliseconds kScanSettleTime{150};
// How often the thread looks again at a port that hung up or failed; a stop ends it at once.
constexpr milliseconds kGonePortRecheck{20};
// Without a wait in the operating system (Windows), the thread polls this often when idle.
constexpr milliseconds kIdlePoll{1};
constexpr std::size_t kReceiveReserve = 4096;

// While the data log is on, the scan thread looks at the connection at least this often, so
// that a silent lidar is logged disconnected soon after the silence limit.
constexpr milliseconds kConnectionCheck{20};

constexpr float kSmallStepHz = 0.1F;
constexpr float kBigStepHz = 1.0F;

int64_t steadyNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

LidarMiniScanner::LidarMiniScanner(serial::SerialHandle lidarPort,
                                   const std::atomic<bool>& deviceScanning, LidarMiniLog& deviceLog)
    : port(lidarPort), scanning(deviceScanning), log(deviceLog), thread([this] { run(); }) {}

LidarMiniScanner::~LidarMiniScanner() {
  running.store(false);
  waiter.wake();
  if (thread.joinable()) {
    thread.join();
  }
}

void LidarMiniScanner::run() {
  read();
  // Stopped: no packets come any more.
  log.connected(false, platform::robotTimeMicros());
}

void LidarMiniScanner::logConnection() {
  const int64_t lastUs = monitor.lastTrafficMicros();
  if (lastUs == 0) {
    return;
  }
  const int64_t now = platform::robotTimeMicros();
  if (monitor.connectedAt(now)) {
    log.connected(true, lastUs);
  } else {
    // Disconnected from the moment the silence passed its limit.
    log.connected(false, lastUs + std::chrono::microseconds(kConnectionSilence).count());
  }
}

void LidarMiniScanner::read() {
  if (waiter.waitForWake(kScanSettleTime)) {
    return;
  }
  if (const int stale = serial::SerialBytesWaiting(port); stale > 0) {
    std::vector<uint8_t> scratch(static_cast<std::size_t>(stale));
    serial::ReadSerialBytes(port, scratch.data(), stale);
  }

  std::vector<uint8_t> received;
  received.reserve(kReceiveReserve);
  while (running.load() && scanning.load()) {
    // Every pass, however it ended, comes back here within the check interval while logging.
    const bool logging = datalog::dataLogActive();
    if (logging) {
      logConnection();
    }
    const serial::ReadReadiness readiness =
        logging ? waiter.waitForBytes(port, kConnectionCheck) : waiter.waitForBytes(port);
    if (readiness == serial::ReadReadiness::Woken) {
      return;
    }
    if (readiness == serial::ReadReadiness::TimedOut) {
      continue;
    }
    if (readiness == serial::ReadReadiness::PortGone) {
      waiter.waitForWake(kGonePortRecheck);
      continue;
    }
    const int waiting = serial::SerialBytesWaiting(port);
    if (waiting > 0) {
      const std::size_t before = received.size();
      received.resize(before + static_cast<std::size_t>(waiting));
      const int read = serial::ReadSerialBytes(port, received.data() + before, waiting);
      received.resize(before + static_cast<std::size_t>(std::max(read, 0)));
      takePackets(received, platform::robotTimeMicros());
      if (logging) {
        logConnection();  // the first packets after a silence are logged as they come
      }
    } else if (readiness == serial::ReadReadiness::BytesWaiting) {
      // Bytes were announced yet none are queued: the port is failing, treat it as gone.
      waiter.waitForWake(kGonePortRecheck);
    } else {
      waiter.waitForWake(kIdlePoll);
    }
  }
}

void LidarMiniScanner::takePackets(std::vector<uint8_t>& received, int64_t arrivedUs) {
  PacketCodec::takePackets(received, [this, arrivedUs](std::span<const uint8_t> packet) {
    const std::size_t count = decodeScanPoints(packet, packetPoints);
    publish(PacketCodec::header(packet).start, std::span(packetPoints).first(count), arrivedUs);
  });
}

void LidarMiniScanner::publish(bool start, std::span<const ScanPoint> points, int64_t arrivedUs) {
  const int64_t now = steadyNanoseconds();
  monitor.noteTraffic(arrivedUs);
  bool completed = false;
  PacketTimes completedTimes{};
  {
    const std::lock_guard lock(frameMutex);
    if (start) {
      // The revolution that ends here is whole; what came before the first start is not.
      if (!first && !current.points.empty()) {
        last.timestamp = current.timestamp;
        last.points.assign(current.points.begin(), current.points.end());
        lastTimes = currentTimes;
        completed = datalog::dataLogActive();
        if (completed) {
          // Copied here, logged after the lock: a reader of the latest revolution never waits
          // on the log.
          loggedPoints.assign(current.points.begin(), current.points.end());
          completedTimes = currentTimes;
        }
      }
      current.points.clear();
      current.timestamp = now;
      currentTimes.firstUs = arrivedUs;
      first = false;
    }
    currentTimes.lastUs = arrivedUs;
    current.points.insert(current.points.end(), points.begin(), points.end());
  }
  if (completed) {
    log.revolution(loggedPoints, completedTimes.firstUs, completedTimes.lastUs);
  }
}

ScanFrame LidarMiniScanner::latest() const {
  const std::lock_guard lock(frameMutex);
  return last;
}

int32_t LidarMiniScanner::copyLatest(float* angles, float* distances, float* intensities,
                                     int32_t capacity, int64_t* timestamp,
                                     PacketTimes* times) const {
  const std::lock_guard lock(frameMutex);
  if (timestamp != nullptr) {
    *timestamp = last.timestamp;
  }
  if (times != nullptr) {
    *times = last.timestamp != 0 ? lastTimes : PacketTimes{};
  }
  const std::size_t copied =
      std::min(last.points.size(), static_cast<std::size_t>(std::max(capacity, 0)));
  for (std::size_t i = 0; i < copied; ++i) {
    const ScanPoint& point = last.points[i];
    if (angles != nullptr) {
      angles[i] = point.angle;
    }
    if (distances != nullptr) {
      distances[i] = point.distance;
    }
    if (intensities != nullptr) {
      intensities[i] = point.intensity;
    }
  }
  return static_cast<int32_t>(last.points.size());
}

std::unique_ptr<LidarMiniDevice> LidarMiniDevice::create(int port) {
  const std::string path = serial::findDevicePath(port);
  std::unique_ptr<LidarMiniDevice> device(new LidarMiniDevice(path));
  std::cout << "[LidarMini] Opening " << path << " (port " << port << ")" << std::endl;
  {
    const std::lock_guard lock(device->portMutex);
    device->port.reset(serial::OpenSerialPort(path, kBaudRate, kTag));
  }
  if (!device->port.isOpen()) {
    return nullptr;
  }
  // A lidar left scanning by an earlier program falls quiet before anything is asked of it.
  SendCmd(device->port.handle(), Command::StopScan);
  std::this_thread::sleep_for(kQuietTime);
  serial::PurgeSerialInput(device->port.handle());
  std::cout << "[LidarMini] Initialised on port " << port << " (" << path << ")" << std::endl;
  return device;
}

LidarMiniDevice::~LidarMiniDevice() {
  if (!port.isOpen()) {
    return;  // creation failed: nothing was announced
  }
  scanner.reset();
  {
    const std::lock_guard lock(portMutex);
    port.reset();
  }
  std::cout << "[LidarMini] Destroyed" << std::endl;
}

void LidarMiniDevice::start() {
  if (scanning.load()) {
    std::cerr << "[LidarMini] Already scanning\n";
    return;
  }
  if (!SendCmd(port.handle(), Command::StartScan)) {
    return;
  }
  std::this_thread::sleep_for(kStartCheckDelay);
  if (const int waiting = serial::SerialBytesWaiting(port.handle()); waiting > 0) {
    std::cout << "[LidarMini] Confirmed: " << waiting << " bytes received after scan start."
              << std::endl;
  } else {
    std::cerr << "[LidarMini] WARNING: 0 bytes 300 ms after scan start. Check device path and "
                 "T-mini Plus power.\n";
  }
  scanning.store(true);
  try {
    scanner = std::make_unique<LidarMiniScanner>(port.handle(), scanning, log);
  } catch (const std::system_error&) {
    scanning.store(false);
    std::cerr << "[LidarMini] Cannot start the scan thread\n";
    return;
  }
  log.scanning(true, platform::robotTimeMicros());
  std::cout << "[LidarMini] Scanning started" << std::endl;
}

void LidarMiniDevice::stop() {
  if (SendCmd(port.handle(), Command::StopScan)) {
    log.scanning(false, platform::robotTimeMicros());
  }
  scanning.store(false);
  scanner.reset();
  std::cout << "[LidarMini] Scanning stopped" << std::endl;
}

void LidarMiniDevice::increaseFrequency(bool big) {
  const float candidate = frequencyHz + (big ? kBigStepHz : kSmallStepHz);
  if (candidate > kMaxFrequencyHz) {
    std::cerr << "[LidarMini] increaseFrequency blocked: max is " << 12.0F << " Hz\n";
    return;
  }
  if (SendCmd(port.handle(), big ? Command::FrequencyUpOne : Command::FrequencyUpTenth)) {
    frequencyHz = candidate;
    log.frequency(frequencyHz, platform::robotTimeMicros());
  }
}

void LidarMiniDevice::decreaseFrequency(bool big) {
  const float candidate = frequencyHz - (big ? kBigStepHz : kSmallStepHz);
  if (candidate < kMinFrequencyHz) {
    std::cerr << "[LidarMini] decreaseFrequency blocked: min is " << 6.0F << " Hz\n";
    return;
  }
  if (SendCmd(port.handle(), big ? Command::FrequencyDownOne : Command::FrequencyDownTenth)) {
    frequencyHz = candidate;
    log.frequency(frequencyHz, platform::robotTimeMicros());
  }
}

LidarInfo LidarMiniDevice::getInfo() {
  const std::optional<LidarInfo> info = QueryInfo(port.handle());
  if (!info) {
    return LidarInfo{};
  }
  log.info(*info, platform::robotTimeMicros());
  return *info;
}

LidarHealth LidarMiniDevice::getHealth() {
  const std::optional<LidarHealth> health = QueryHealth(port.handle());
  if (!health) {
    return LidarHealth{};
  }
  log.health(*health, platform::robotTimeMicros());
  return *health;
}

ScanFrame LidarMiniDevice::getData() const { return scanner ? scanner->latest() : ScanFrame{}; }

int32_t LidarMiniDevice::copyData(float* angles, float* distances, float* intensities,
                                  int32_t capacity, int64_t* timestamp, PacketTimes* times) const {
  if (!scanner) {
    if (timestamp != nullptr) {
      *timestamp = 0;
    }
    if (times != nullptr) {
      *times = PacketTimes{};
    }
    return 0;
  }
  return scanner->copyLatest(angles, distances, intensities, capacity, timestamp, times);
}

bool LidarMiniDevice::connected() const { return scanner && scanner->connected(); }

}  // namespace halvern::lidarmini

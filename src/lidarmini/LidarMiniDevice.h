// One LidarMini on a serial port, and the scan thread that turns its packet stream into whole
// revolutions while it scans.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>
#include <thread>
#include <vector>

#include "core/ConnectionMonitor.h"
#include "core/SerialReadWaiter.h"
#include "core/SerialTransport.h"
#include "halvern/LidarMini.h"
#include "lidarmini/LidarMiniLog.h"
#include "lidarmini/LidarMiniProtocol.h"

namespace halvern::lidarmini {

/** The frequency a lidar scans at after creation, and the range the steps keep to. */
inline constexpr float kInitialFrequencyHz = static_cast<float>(LIDARMINI_MIN_FREQUENCY_HZ);
// The public range (halvern/LidarMini.h), with room for the steps' rounding.
inline constexpr float kMaxFrequencyHz = static_cast<float>(LIDARMINI_MAX_FREQUENCY_HZ) + 0.001F;
inline constexpr float kMinFrequencyHz = static_cast<float>(LIDARMINI_MIN_FREQUENCY_HZ) - 0.001F;

/** A scanning lidar whose packets stop for this long reads disconnected. */
inline constexpr std::chrono::milliseconds kConnectionSilence{LIDARMINI_CONNECTION_SILENCE_MS};

/** The robot-clock times of a revolution's first and last packets (0 when there is none). */
struct PacketTimes {
  int64_t firstUs = 0;
  int64_t lastUs = 0;
};

/** One scan: a thread reading the port and publishing each revolution once it is whole. */
class LidarMiniScanner {
 public:
  /** Starts the thread; it reads the lidar's port while the device's flag stays true, logging
   *  into the device's `log`. */
  LidarMiniScanner(serial::SerialHandle lidarPort, const std::atomic<bool>& deviceScanning,
                   LidarMiniLog& deviceLog);
  LidarMiniScanner(const LidarMiniScanner&) = delete;
  LidarMiniScanner& operator=(const LidarMiniScanner&) = delete;
  /** Stops the thread, waking it, and waits for it. */
  ~LidarMiniScanner();

  /** The latest whole revolution. */
  [[nodiscard]] ScanFrame latest() const;
  /** Copies the latest whole revolution into arrays; see c_LidarMini_copyData. */
  int32_t copyLatest(float* angles, float* distances, float* intensities, int32_t capacity,
                     int64_t* timestamp, PacketTimes* times = nullptr) const;
  /** Packets keep arriving. */
  [[nodiscard]] bool connected() const { return monitor.connected(); }

 private:
  void run();
  void read();
  /** Logs the connection while the data log is on: true after traffic, false once silent. */
  void logConnection();
  /** Frames and decodes what `received` holds, dropping what it used; the bytes that completed
   *  them arrived at `arrivedUs` on the robot's clock. */
  void takePackets(std::vector<uint8_t>& received, int64_t arrivedUs);
  void publish(bool start, std::span<const ScanPoint> points, int64_t arrivedUs);

  const serial::SerialHandle port;
  const std::atomic<bool>& scanning;
  LidarMiniLog& log;
  std::atomic<bool> running{true};
  serial::SerialReadWaiter waiter;

  mutable std::mutex frameMutex;  // guards the frames and `first`
  ScanFrame current{};            // the revolution being filled
  ScanFrame last{};               // the latest whole revolution
  PacketTimes currentTimes{};     // of `current`
  PacketTimes lastTimes{};        // of `last`
  bool first = true;              // no start packet seen yet

  std::array<ScanPoint, kMaxPacketPoints> packetPoints{};  // the thread's: one packet's points
  std::vector<ScanPoint> loggedPoints;                     // the thread's: a revolution to log
  ConnectionMonitor monitor{kConnectionSilence};           // noted by every packet

  std::thread thread;  // last: it starts once everything above exists
};

class LidarMiniDevice {
 public:
  /** Opens the port that FindDevicePath gives for `port` and quiets the lidar; none if the port
   *  cannot be opened. */
  static std::unique_ptr<LidarMiniDevice> create(int port);

  /** Stops a running scan (sending nothing to the lidar) and closes the port. */
  ~LidarMiniDevice();
  LidarMiniDevice(const LidarMiniDevice&) = delete;
  LidarMiniDevice& operator=(const LidarMiniDevice&) = delete;

  void start();
  void stop();
  void increaseFrequency(bool big);
  void decreaseFrequency(bool big);
  LidarInfo getInfo();
  LidarHealth getHealth();
  [[nodiscard]] ScanFrame getData() const;
  int32_t copyData(float* angles, float* distances, float* intensities, int32_t capacity,
                   int64_t* timestamp, PacketTimes* times = nullptr) const;
  /** Scanning, and packets keep arriving. */
  [[nodiscard]] bool connected() const;

 private:
  explicit LidarMiniDevice(std::string_view path) : log(path) {}

  LidarMiniLog log;                           // outlives the scanner, which appends to it
  std::unique_ptr<LidarMiniScanner> scanner;  // while scanning
  serial::SerialPort port;
  std::atomic<bool> scanning{false};
  float frequencyHz = kInitialFrequencyHz;  // counted here, never read back from the lidar
  std::mutex portMutex;                     // held while the port opens and closes
};

}  // namespace halvern::lidarmini

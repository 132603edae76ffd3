// One Dystal distance sensor, on CAN or on USB serial.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "core/DualTransportDevice.h"
#include "dystal/CanGatherer.h"
#include "dystal/DystalProtocol.h"

namespace halvern::dystal {

class DystalDevice final : public DualTransportDevice {
 public:
  /** A configuration read on USB given no time-out waits this long for the reply line. */
  static constexpr int kDefaultUsbConfigTimeoutMs = 500;

  /** A sensor on CAN bus `bus`, where all its frames go; none (after printing why) for a CAN
   *  ID outside 0 to 63, a bus the platform does not have, or when the stream session cannot
   *  be opened. */
  static std::unique_ptr<DystalDevice> createCan(int canId, int32_t bus);
  /** A sensor on a serial port, switched to binary output; none when the path is null or the
   *  port cannot be opened. A rate above 0 is sent as the output data rate. */
  static std::unique_ptr<DystalDevice> createUsb(const char* path, int outputDataRate);

  ~DystalDevice() override;
  DystalDevice(const DystalDevice&) = delete;
  DystalDevice& operator=(const DystalDevice&) = delete;

  /** A sensor silent for longer than this reads disconnected: about four periods at the
   *  15 readings a second of its full 8x8 grid. */
  static constexpr auto kConnectionSilence = kLongestConnectionSilence;

  /** How long a gathering call on CAN takes, and how long getData waits for the background
   *  gathering's first reading. */
  static constexpr std::chrono::milliseconds kCanGatherTime{24};

  /**
   * Up to `count` distances (clamped to 64) of the latest reading; empty for a count below 1.
   * On CAN without background gathering it gathers for kCanGatherTime; with it, the newest
   * reading the gathering completed (waiting up to kCanGatherTime for the first one). While the
   * library logs, it starts the background gathering, which logs each reading it completes.
   */
  ScanData getData(int count);
  /** The same reading from what the device holds, with its timestamp; never waits. On CAN it
   *  starts the background gathering first if it does not run yet. */
  Reading getLatest(int count);
  /**
   * Starts gathering readings in the background on CAN (once; later calls do nothing). True
   * when readings are gathered in the background: on CAN with an open session, and on USB,
   * where the reader always does.
   */
  bool startGathering();
  /** Whether the sensor's traffic keeps arriving (silence limit: kConnectionSilence). On CAN it
   *  starts the background gathering first if it does not run yet. */
  bool isConnected();
  /** The sensor's configuration, waiting up to `timeoutMs` for it; invalid without a reply. */
  Config getConfig(int timeoutMs);

 private:
  friend class DualTransportDevice;  // creates it on either transport
  // Out of line: its signals' type is the source file's.
  DystalDevice(TransportKind kind, uint8_t deviceCanId, int32_t deviceCanBus = 0);

  ScanData collectCanScan(int count);
  ScanData publishedScan(int count);
  /** The reader's latest USB frame, up to `count` (1 to 64) distances; sampleMutex held. */
  [[nodiscard]] ScanData latestFrame(int count) const;
  void publish(const CompletedReading& reading);
  /** Logs a reading with the time its last piece arrived. */
  void logReading(uint8_t sequence, std::span<const int16_t> zones, int64_t stampUs);
  void logConfig(const Config& config);
  void logConnection(int64_t nowUs) override;
  Config requestConfig(int timeoutMs);
  Config readUsbConfig(int timeoutMs);
  /** Reads one text line, byte by byte, until a line feed, a pause or the time-out. */
  bool readLine(std::string& line, std::chrono::milliseconds timeout);
  /** Reads lines until a text line comes (true) or the time-out passes (false). */
  bool awaitReplyLine(std::chrono::milliseconds timeout);
  /** Reads and drops lines until one does not come within `pause` (or after 500 ms in all). */
  void drainLines(std::chrono::milliseconds pause);
  void onBytesReceived(const uint8_t* bytes, std::size_t count, int64_t arrivedUs) override;
  void storeFrame(const DistanceFrame& frame, int64_t arrivedUs);

  // The latest USB frame, written by the reader thread under sampleMutex.
  std::array<int16_t, kMaxDistances> distances{};
  uint8_t frameSequence = 0;
  uint8_t frameCount = 0;
  bool frameValid = false;
  int64_t frameTimestampUs = 0;  // when the bytes completing it arrived

  // Its signals in the robot's data log, made at creation; before the gatherer, whose thread
  // appends to them.
  struct Signals;
  std::unique_ptr<Signals> logs;

  // On CAN, the newest reading the background gathering completed, under sampleMutex.
  CompletedReading published;
  bool hasPublished = false;
  std::condition_variable readingPublished;
  // Held around every read of the CAN stream session: the gathering call and the background
  // gathering never read it at the same time.
  std::mutex streamMutex;
  std::mutex gatheringMutex;  // guards starting the gatherer
  std::atomic<bool> gatheringInBackground{false};
  std::unique_ptr<CanGatherer> gatherer;  // stopped first at destruction
  // Received bytes not yet decoded: the reader thread's, or the configuration read's while the
  // reader is stopped.
  std::vector<uint8_t> rxBuffer;
};

}  // namespace halvern::dystal

// One Dystal distance sensor, on CAN or on USB serial.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/DualTransportDevice.h"
#include "dystal/DystalProtocol.h"

namespace halvern::dystal {

class DystalDevice final : public DualTransportDevice {
 public:
  /** A configuration read on USB given no time-out waits this long for the reply line. */
  static constexpr int kDefaultUsbConfigTimeoutMs = 500;

  /** A sensor on the CAN bus; none (after printing why) for a CAN ID outside 0 to 63 or when
   *  the stream session cannot be opened. */
  static std::unique_ptr<DystalDevice> createCan(int canId);
  /** A sensor on a serial port, switched to binary output; none when the path is null or the
   *  port cannot be opened. A rate above 0 is sent as the output data rate. */
  static std::unique_ptr<DystalDevice> createUsb(const char* path, int outputDataRate);

  ~DystalDevice() override;
  DystalDevice(const DystalDevice&) = delete;
  DystalDevice& operator=(const DystalDevice&) = delete;
  DystalDevice(DystalDevice&&) = delete;
  DystalDevice& operator=(DystalDevice&&) = delete;

  /** Up to `count` distances (clamped to 64) of the latest reading; empty for a count below 1. */
  ScanData getData(int count);
  /** The sensor's configuration, waiting up to `timeoutMs` for it; invalid without a reply. */
  Config getConfig(int timeoutMs);
  /** The CAN ID given at creation, or -1 on USB. */
  [[nodiscard]] int getCanID() const;

 private:
  DystalDevice(TransportKind kind, uint8_t deviceCanId) : DualTransportDevice(kind, deviceCanId) {}

  ScanData collectCanScan(int count);
  Config requestConfig(int timeoutMs);
  Config readUsbConfig(int timeoutMs);
  /** Reads one text line, byte by byte, until a line feed, a pause or the time-out. */
  bool readLine(std::string& line, std::chrono::milliseconds timeout);
  /** Reads lines until a text line comes (true) or the time-out passes (false). */
  bool awaitReplyLine(std::chrono::milliseconds timeout);
  /** Reads and drops lines until one does not come within `pause` (or after 500 ms in all). */
  void drainLines(std::chrono::milliseconds pause);
  void onBytesReceived(const uint8_t* bytes, std::size_t count) override;
  void storeFrame(const DistanceFrame& frame);

  // The latest USB frame, written by the reader thread under sampleMutex.
  std::array<int16_t, kMaxDistances> distances{};
  uint8_t frameSequence = 0;
  uint8_t frameCount = 0;
  bool frameValid = false;
  // Received bytes not yet decoded: the reader thread's, or the configuration read's while the
  // reader is stopped.
  std::vector<uint8_t> rxBuffer;
};

}  // namespace halvern::dystal

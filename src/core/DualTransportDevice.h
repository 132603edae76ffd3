// The shape shared by the sensors that are reached either over CAN or over USB serial: which
// transport the object uses (fixed at creation), its CAN stream session or its serial port, and
// on USB the reader thread that turns received bytes into readings.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "core/ConnectionMonitor.h"
#include "core/DataLogSink.h"
#include "core/SerialReadWaiter.h"
#include "core/SerialTransport.h"

namespace halvern {

/** The transport code reported to callers. */
enum class TransportKind : int32_t { CAN = 0, USB = 1 };

/** A CAN stream session of the HAL, closed when destroyed. */
class CanStreamSession {
 public:
  CanStreamSession() = default;
  CanStreamSession(const CanStreamSession&) = delete;
  CanStreamSession& operator=(const CanStreamSession&) = delete;
  ~CanStreamSession() { close(); }

  /** Opens a session on CAN bus `bus` queueing up to `depth` frames matching `id` under
   *  `mask`; the status. */
  int32_t open(int32_t bus, uint32_t id, uint32_t mask, uint32_t depth);
  void close();
  [[nodiscard]] bool isOpen() const { return streamOpen; }
  [[nodiscard]] uint32_t handle() const { return streamHandle; }

 private:
  uint32_t streamHandle = 0;
  bool streamOpen = false;
};

class DualTransportDevice {
 public:
  /** The CAN IDs a sensor can have. */
  static constexpr int kMinCanId = 0;
  static constexpr int kMaxCanId = 63;
  /** The reader reads received bytes in blocks of this size. */
  static constexpr int kReadBlockSize = 256;

  DualTransportDevice(const DualTransportDevice&) = delete;
  DualTransportDevice& operator=(const DualTransportDevice&) = delete;

  /** Derived classes stop the reader in their own destructor, before their state goes. */
  virtual ~DualTransportDevice();

  [[nodiscard]] TransportKind transportKind() const { return transport; }
  [[nodiscard]] bool onUsb() const { return transport == TransportKind::USB; }
  /** The CAN ID given at creation, or -1 on USB. */
  [[nodiscard]] int getCanID() const { return onUsb() ? -1 : canId; }
  /** The CAN bus given at creation; -1 on USB. */
  [[nodiscard]] int32_t canBusNumber() const {
    return transport == TransportKind::CAN ? canBus : -1;
  }

 protected:
  // A device on USB, or on CAN bus 0, the default bus, may leave the bus out.
  DualTransportDevice(TransportKind kind, uint8_t deviceCanId, int32_t deviceCanBus = 0)
      : transport(kind), canId(deviceCanId), canBus(deviceCanBus) {}
  /** Whether a CAN ID given at creation is 0 to 63; if not, prints
   *  "[<family>] CAN ID <id> is out of range (0 - 63)" on standard output. */
  static bool acceptCanId(int canId, const char* family);
  /** Whether the platform has the CAN bus given at creation; if not, prints
   *  "[<family>] CAN bus <bus> is out of range (0 - <highest bus>)" on standard output. */
  static bool acceptCanBus(int32_t bus, const char* family);
  /** Opens the CAN stream session; on failure prints
   *  "[<family>] Failed to open CAN stream session (status <status>)" on standard output. */
  bool openCanStream(const char* family, uint32_t id, uint32_t mask, uint32_t depth);

  /** The frames a family's CAN stream session queues: those matching `id` under `mask`, up to
   *  `depth` of them. */
  struct StreamFilter {
    uint32_t id;
    uint32_t mask;
    uint32_t depth;
  };

  /** A `Device` (a friend of this class) on CAN bus `bus` with its stream session open; none,
   *  after printing why, for a CAN ID outside 0 to 63, a bus the platform does not have, or a
   *  session that cannot be opened. */
  template <typename Device>
  static std::unique_ptr<Device> createOnCan(int canId, int32_t bus, const char* family,
                                             const StreamFilter& filter) {
    if (!acceptCanId(canId, family) || !acceptCanBus(bus, family)) {
      return nullptr;
    }
    std::unique_ptr<Device> device(
        new Device(TransportKind::CAN, static_cast<uint8_t>(canId), bus));
    if (!device->openCanStream(family, filter.id, filter.mask, filter.depth)) {
      return nullptr;
    }
    return device;
  }

  /** A `Device` (a friend of this class) on the serial port at `path`, opened and not reading
   *  yet; none when the path is null or the port cannot be opened. */
  template <typename Device>
  static std::unique_ptr<Device> createOnUsb(const char* path, int baudRate, const char* family) {
    if (path == nullptr) {
      return nullptr;
    }
    std::unique_ptr<Device> device(new Device(TransportKind::USB, 0));
    device->port.reset(serial::OpenSerialPort(path, baudRate, family));
    if (!device->port.isOpen()) {
      return nullptr;
    }
    return device;
  }

  /** Starts the reader thread when a port is open and no reader runs yet. The reader sleeps
   *  until bytes arrive; a reader stopped can be started again. */
  void startReader();
  /** Stops the reader thread, waking it, and waits for it; harmless when none runs. */
  void stopReader();

  /** Called on the reader thread with every block of bytes received, and the robot-clock
   *  time (microseconds) at which the block was read. */
  virtual void onBytesReceived(const uint8_t* bytes, std::size_t count, int64_t arrivedUs) = 0;

  /** While the library logs, the reader wakes at least this often, silent sensor or not. */
  static constexpr std::chrono::milliseconds kLoggingWakeInterval{10};
  /** Called on the reader thread after each of its wakes while the library logs, with now on
   *  the robot's clock: the derived class logs its connection status. */
  virtual void logConnection(int64_t /*nowUs*/) {}
  /**
   * Appends to `signal` whether the sensor is connected at `nowUs` when that changed: true,
   * stamped with its latest traffic, or false, stamped when its silence passed `silenceUs`.
   * Nothing before its first traffic.
   */
  void appendConnection(datalog::LogSignal& signal, int64_t nowUs, int64_t silenceUs) const;

  const TransportKind transport;
  const uint8_t canId;   // the CAN ID given at creation; 0 on USB
  const int32_t canBus;  // the CAN bus given at creation, where all its frames go; 0 on USB
  CanStreamSession stream;
  serial::SerialPort port;
  std::mutex sampleMutex;  // guards the derived class's latest reading
  // The sensor's own traffic: bytes on USB (noted by the reader), frames on CAN (noted by
  // whoever reads them).
  ConnectionMonitor connection{kLongestConnectionSilence};

 private:
  void readerLoop(serial::SerialReadWaiter& waiter);

  std::thread reader;
  std::unique_ptr<serial::SerialReadWaiter> readerWaiter;  // the running reader's, fresh per start
  std::atomic<bool> running{false};
};

}  // namespace halvern

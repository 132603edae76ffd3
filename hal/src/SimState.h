// The state shared by every HAL call and control call of the simulated robot.
//
// Each bus has its own mutex, so a thread waiting on a serial port or talking to an I2C device
// never holds up CAN traffic. Nothing user-supplied (CAN listeners, I2C devices) is ever called
// or destroyed while one of these mutexes is held: such code may call back into the simulation.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "hal/Types.h"
#include "halsim/SimControl.h"

namespace halsim::detail {

// Status codes WPILib's HAL uses for the same failures.
inline constexpr int32_t kHandleError = -1098;
inline constexpr int32_t kParameterOutOfRange = -1028;
/** What an I2C transfer returns when it cannot reach a device. */
inline constexpr int32_t kI2CTransferFailed = -1;

inline constexpr uint32_t kExtendedIdMask = 0x1FFFFFFFU;
inline constexpr uint32_t kApiIdMask = 0x3FFU;
inline constexpr std::size_t kMaxCanDataBytes = 8;
inline constexpr std::size_t kSentLogCapacity = 100000;
inline constexpr std::size_t kSerialPortCount = 4;
inline constexpr std::size_t kI2CPortCount = 2;

/** What HAL_InitializeCAN remembers about a device. */
struct CanHandleRecord {
  uint32_t manufacturer = 0;
  uint32_t deviceType = 0;
  uint32_t deviceNumber = 0;
  /** Per API number: sequence of the newest frame already read through this handle. */
  std::map<uint32_t, uint64_t> lastReadSequence;

  [[nodiscard]] uint32_t fullId(uint32_t apiId) const {
    return canId(deviceType, manufacturer, apiId, deviceNumber);
  }
};

/** The newest frame a simulated device transmitted under one identifier. */
struct ReceivedFrame {
  CanFrame frame;
  uint64_t sequence = 0;  // increases with every frame, so "arrived since" is a comparison
  bool returnedByReceiveMessage = false;
};

struct StreamSession {
  uint32_t id = 0;
  uint32_t mask = 0;
  std::size_t capacity = 1;
  std::deque<CanFrame> queue;
  bool overrun = false;  // a frame was dropped since the last read

  [[nodiscard]] bool matches(uint32_t frameId) const { return (frameId & mask) == (id & mask); }
};

struct RobotFrameListener {
  uint32_t id = 0;
  uint32_t mask = 0;
  CanListener callback;

  [[nodiscard]] bool matches(uint32_t frameId) const { return (frameId & mask) == (id & mask); }
};

struct CanBus {
  std::mutex mutex;
  std::unordered_map<HAL_CANHandle, CanHandleRecord> handles;
  std::unordered_map<uint32_t, ReceivedFrame> received;  // by identifier
  uint64_t nextSequence = 1;
  std::unordered_map<uint32_t, StreamSession> sessions;
  uint32_t nextSessionHandle = 1;
  // Held as shared_ptr so a sender can call a listener after dropping the lock, even while
  // another thread unsubscribes it.
  std::map<uint64_t, std::shared_ptr<const RobotFrameListener>> listeners;
  uint64_t nextListenerToken = 1;
  std::deque<CanFrame> sent;
  int32_t initializeStatus = 0;
  int32_t sendStatus = 0;
  int32_t streamOpenStatus = 0;
};

struct SerialPortState {
  SerialSettings settings;
  std::deque<uint8_t> incoming;
  HAL_SerialPortHandle handle = HAL_kInvalidHandle;  // valid only while settings.open
};

struct SerialBus {
  std::mutex mutex;
  std::condition_variable changed;  // bytes arrived or a port closed
  std::array<SerialPortState, kSerialPortCount> ports;
  int32_t openStatus = 0;
  int32_t readStatus = 0;
};

struct I2CPortState {
  bool open = false;
  std::map<int32_t, std::shared_ptr<I2CDevice>> devices;  // by address
};

struct I2CBus {
  std::mutex mutex;
  std::array<I2CPortState, kI2CPortCount> ports;
  int32_t initializeStatus = 0;
};

struct SimState {
  const std::chrono::steady_clock::time_point epoch = std::chrono::steady_clock::now();
  std::atomic<bool> systemActive{false};
  // Shared by CAN and serial handles, so a handle of one kind is never valid as the other.
  std::atomic<HAL_Handle> nextHandle{1};
  CanBus can;
  SerialBus serial;
  I2CBus i2c;
};

/** The one simulation of the process; created when the library loads. */
SimState& simState();

/** A handle no other CAN or serial handle of the process has had. */
HAL_Handle newHandle();

/** Microseconds since the library loaded, on the steady clock. */
uint64_t nowMicros();

/** HAL callers may pass a null status; the stand-in tolerates it. */
inline void setStatus(int32_t* status, int32_t value) {
  if (status != nullptr) {
    *status = value;
  }
}

}  // namespace halsim::detail

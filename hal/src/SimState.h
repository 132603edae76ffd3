// The state shared by every HAL call and control call of the simulated robot.
//
// Each bus has its own mutex, so a thread waiting on a serial port never holds up CAN traffic.
// Simulation callbacks are never called while one of these mutexes is held: a device model may
// call back into the HAL.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <unordered_map>

#include "SimCallbacks.h"
#include "hal/CAN.h"
#include "hal/Types.h"
#include "hal/simulation/CanData.h"
#include "hal/simulation/I2CData.h"
#include "halsim/SimControl.h"

namespace halsim::detail {

// Status codes WPILib's HAL uses for the same failures.
inline constexpr int32_t kHandleError = -1098;
inline constexpr int32_t kParameterOutOfRange = -1028;
/** What an I2C transfer returns when it fails. */
inline constexpr int32_t kI2CTransferFailed = -1;

inline constexpr uint32_t kExtendedIdMask = 0x1FFFFFFFU;
inline constexpr uint32_t kApiIdMask = 0x3FFU;
inline constexpr std::size_t kMaxCanDataBytes = 8;
inline constexpr std::size_t kSerialPortCount = 4;
inline constexpr std::size_t kI2CPortCount = 2;

/** The newest frame a receive answered for one API number of a handle. */
struct CachedFrame {
  std::array<uint8_t, kMaxCanDataBytes> data{};
  uint8_t length = 0;
  uint32_t timestampMs = 0;
};

/** What HAL_InitializeCAN remembers about a device. */
struct CanHandleRecord {
  uint32_t manufacturer = 0;
  uint32_t deviceType = 0;
  uint32_t deviceNumber = 0;
  /** Per API number: the last frame a read of this handle was answered with. */
  std::map<uint32_t, CachedFrame> cache;

  [[nodiscard]] uint32_t fullId(uint32_t apiId) const {
    return (deviceType & 0x1FU) << 24U | (manufacturer & 0xFFU) << 16U | (apiId & 0x3FFU) << 6U |
           (deviceNumber & 0x3FU);
  }
};

struct CanBus {
  std::mutex mutex;  // the handles and the faults; never held while a callback runs
  std::unordered_map<HAL_CANHandle, CanHandleRecord> handles;
  int32_t initializeStatus = 0;
  int32_t sendStatus = 0;
  int32_t streamOpenStatus = 0;
  CallbackList<HAL_CAN_SendMessageCallback> sendCallbacks;
  CallbackList<HAL_CAN_ReceiveMessageCallback> receiveCallbacks;
  CallbackList<HAL_CAN_OpenStreamSessionCallback> openStreamCallbacks;
  CallbackList<HAL_CAN_CloseStreamSessionCallback> closeStreamCallbacks;
  CallbackList<HAL_CAN_ReadStreamSessionCallback> readStreamCallbacks;
  CallbackList<HAL_CAN_GetCANStatusCallback> statusCallbacks;
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
  bool initialized = false;
  std::function<bool(std::span<const uint8_t>)> writeFails;  // a fault: which writes fail
  bool readsFail = false;
  CallbackList<HAL_NotifyCallback> initializedCallbacks;
  CallbackList<HAL_ConstBufferCallback> writeCallbacks;
  CallbackList<HAL_BufferCallback> readCallbacks;
};

struct I2CBus {
  std::mutex mutex;  // the flags and faults; never held while a callback runs
  std::array<I2CPortState, kI2CPortCount> ports;
  int32_t initializeStatus = 0;
};

struct SimState {
  const std::chrono::steady_clock::time_point epoch = std::chrono::steady_clock::now();
  std::atomic<bool> enabled{false};
  CallbackList<HAL_NotifyCallback> enabledCallbacks;
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

// The library's one meeting point with WPILib: CAN, I2C, the robot controller's serial ports,
// the enabled state, the clock, the UDP client, the logger and the error stream, as plain C++.
//
// Which WPILib it sits on is the build's choice (HALVERN_WPILIB_YEAR): the year's own calls are
// in platform/wpilib<year>/HalPlatformYear.h and WpiUtilities.h, on the include path for that
// year alone; this header is the same on every year. Nothing on the wire differs between them:
// classic frames of at most 8 bytes with the same identifiers, payloads and timings. WPILib
// 2027's robot controller has several CAN buses, and each device is on the bus it was created
// on; WPILib 2026 has only bus 0.
//
// Both give received frames as CanFrame, with the timestamp on the HAL's monotonic clock in
// milliseconds and in microseconds. WPILib 2026 gives milliseconds (the microseconds are those
// milliseconds x 1000); WPILib 2027 gives microseconds ("wpi time", the base of its own packet
// ages). The robot's clock (robotTimeMicros) is the same time base: HAL_GetFPGATime on 2026,
// HAL_GetMonotonicTime on 2027.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "HalPlatformYear.h"
#include "platform/CanFrame.h"

// On Windows, WPILib's DLLs are MSVC-built: the library calls only their plain C functions, and
// brings its own UDP socket, logger and error output.
#if defined(_WIN32)
#define HALVERN_PLATFORM_HAS_UDP 1
#include <cstdio>

#include "core/WinsockUdpClient.h"
#else
#include "WpiUtilities.h"
#endif

namespace halvern::platform {

// ---------------------------------------------------------------------------------------------
// CAN

/** The highest bus number the platform has. */
inline constexpr CanBus kMaxCanBus = kCanBusCount - 1;

/** Whether the platform has the bus `bus`. */
constexpr bool canBusExists(CanBus bus) { return bus >= 0 && bus < kCanBusCount; }
/** Sends once (no repetition), as the period of canSend. */
inline constexpr int32_t kCanSendOnce = HAL_CAN_SEND_PERIOD_NO_REPEAT;

/** Nothing was received (for a handle: nothing new, or for "latest" nothing ever). */
inline constexpr int32_t kCanMessageNotFound = HAL_ERR_CANSessionMux_MessageNotFound;
/** A stream read's warning: the frames read are valid, older ones were dropped. */
inline constexpr int32_t kCanStreamOverrun = HAL_ERR_CANSessionMux_SessionOverrun;
/** A call the platform cannot make (a masked receive on WPILib 2027). */
inline constexpr int32_t kCanNotAllowed = HAL_ERR_CANSessionMux_NotAllowed;
/** A payload longer than a classic frame: nothing was sent. */
#ifdef HAL_ERR_CANSessionMux_InvalidBuffer
inline constexpr int32_t kCanInvalidBuffer = HAL_ERR_CANSessionMux_InvalidBuffer;
#else
inline constexpr int32_t kCanInvalidBuffer = -44086;  // the HAL's "invalid buffer"
#endif

/**
 * Sends one frame on `bus`, once (`periodMs` kCanSendOnce) or repeated every `periodMs`; the
 * status. A payload over 8 bytes is not sent (kCanInvalidBuffer).
 */
inline int32_t canSend(CanBus bus, uint32_t messageId, std::span<const uint8_t> payload,
                       int32_t periodMs = kCanSendOnce) {
  if (payload.size() > kCanFrameBytes) {
    return kCanInvalidBuffer;
  }
  return year::send(bus, messageId, payload, periodMs);
}

/** As above, on the default bus. */
inline int32_t canSend(uint32_t messageId, std::span<const uint8_t> payload,
                       int32_t periodMs = kCanSendOnce) {
  return canSend(kDefaultCanBus, messageId, payload, periodMs);
}

/**
 * Takes the newest frame received on `bus` under `messageId` (under `mask`), once: a second
 * receive with nothing newer reports kCanMessageNotFound. The status; `frame` holds the frame
 * when 0. WPILib 2027 receives by exact identifier only: a mask narrower than the 29 identifier
 * bits reports kCanNotAllowed there.
 */
inline int32_t canReceive(CanBus bus, uint32_t messageId, uint32_t mask, CanFrame& frame) {
  frame = CanFrame{};
  frame.messageId = messageId;
  return year::receive(bus, messageId, mask, frame);
}

/** As above, on the default bus. */
inline int32_t canReceive(uint32_t messageId, uint32_t mask, CanFrame& frame) {
  return canReceive(kDefaultCanBus, messageId, mask, frame);
}

/** Opens a stream session on `bus` queueing up to `maxMessages` frames whose identifier
 *  matches `messageId` under `mask`. The session; `status` 0 when it opened. */
inline CanStreamHandle canOpenStream(CanBus bus, uint32_t messageId, uint32_t mask,
                                     uint32_t maxMessages, int32_t& status) {
  return year::openStream(bus, messageId, mask, maxMessages, status);
}

/** As above, on the default bus. */
inline CanStreamHandle canOpenStream(uint32_t messageId, uint32_t mask, uint32_t maxMessages,
                                     int32_t& status) {
  return canOpenStream(kDefaultCanBus, messageId, mask, maxMessages, status);
}

inline void canCloseStream(CanStreamHandle session) { year::closeStream(session); }

/**
 * Reads up to `frames.size()` queued frames of a session, oldest first, in one read of the HAL.
 * The status: 0, or kCanStreamOverrun (a warning: the `count` frames read are valid, older ones
 * were dropped), or an error, with `count` 0.
 */
inline int32_t canReadStream(CanStreamHandle session, std::span<CanFrame> frames, uint32_t& count) {
  count = 0;
  if (frames.empty()) {
    return 0;
  }
  constexpr std::size_t kOnStack = 128;
  std::array<HAL_CANStreamMessage, kOnStack> onStack{};
  std::vector<HAL_CANStreamMessage> onHeap;
  std::span<HAL_CANStreamMessage> messages(onStack.data(), std::min(frames.size(), kOnStack));
  if (frames.size() > kOnStack) {
    onHeap.resize(frames.size());
    messages = onHeap;
  }
  const auto wanted = static_cast<uint32_t>(messages.size());
  uint32_t read = 0;
  int32_t status = 0;
  year::readStream(session, messages, read, status);
  if (status != 0 && status != kCanStreamOverrun) {
    return status;
  }
  count = std::min(read, wanted);
  for (uint32_t i = 0; i < count; ++i) {
    year::fill(frames[i], messages[i]);
  }
  return status;
}

/** A handle for the device `deviceId` (0 to 63) of that manufacturer and type, on `bus`;
 *  kInvalidCanHandle, with a nonzero `status`, when none is given. */
inline CanHandle canInitialize(CanBus bus, int32_t manufacturer, int32_t deviceId,
                               int32_t deviceType, int32_t& status) {
  return year::initialize(bus, manufacturer, deviceId, deviceType, status);
}

/** As above, on the default bus. */
inline CanHandle canInitialize(int32_t manufacturer, int32_t deviceId, int32_t deviceType,
                               int32_t& status) {
  return canInitialize(kDefaultCanBus, manufacturer, deviceId, deviceType, status);
}

inline void canClean(CanHandle handle) { HAL_CleanCAN(handle); }

/** The handle's newest frame under `apiId` received since the last read, once; otherwise
 *  kCanMessageNotFound. `frame` holds it when the status is 0. */
inline int32_t canReadNew(CanHandle handle, int32_t apiId, CanFrame& frame) {
  frame = CanFrame{};
  return year::readByHandle(false, handle, apiId, frame);
}

/** The handle's newest frame under `apiId`, or, with nothing new, the last one it read;
 *  kCanMessageNotFound when it never had one. `frame` holds it when the status is 0. */
inline int32_t canReadLatest(CanHandle handle, int32_t apiId, CanFrame& frame) {
  frame = CanFrame{};
  return year::readByHandle(true, handle, apiId, frame);
}

// ---------------------------------------------------------------------------------------------
// I2C (the expansion port's bus, kExpansionI2CPort, is the year's)

inline void i2cInitialize(int32_t port, int32_t& status) {
  HAL_InitializeI2C(static_cast<HAL_I2CPort>(port), &status);
}

inline void i2cClose(int32_t port) { HAL_CloseI2C(static_cast<HAL_I2CPort>(port)); }

/** Reads `buffer.size()` bytes from the device at the 7-bit `address`; negative on failure. */
inline int32_t i2cRead(int32_t port, int32_t address, std::span<uint8_t> buffer) {
  return HAL_ReadI2C(static_cast<HAL_I2CPort>(port), address, buffer.data(),
                     static_cast<int32_t>(buffer.size()));
}

/** Writes `bytes` to the device at the 7-bit `address`; negative on failure. */
inline int32_t i2cWrite(int32_t port, int32_t address, std::span<const uint8_t> bytes) {
  return HAL_WriteI2C(static_cast<HAL_I2CPort>(port), address, bytes.data(),
                      static_cast<int32_t>(bytes.size()));
}

// ---------------------------------------------------------------------------------------------
// The robot controller's serial ports

/** An open serial port (0: none). */
using SerialHandle = int32_t;

/** Opens port 0 to 3 (onboard, expansion port, USB 1, USB 2). */
inline SerialHandle serialInitialize(int32_t port, int32_t& status) {
  return HAL_InitializeSerialPort(static_cast<HAL_SerialPort>(port), &status);
}

inline void serialClose(SerialHandle handle) { HAL_CloseSerial(handle); }

inline void serialSetBaudRate(SerialHandle handle, int32_t baud, int32_t& status) {
  HAL_SetSerialBaudRate(handle, baud, &status);
}

inline void serialSetDataBits(SerialHandle handle, int32_t bits, int32_t& status) {
  HAL_SetSerialDataBits(handle, bits, &status);
}

/** 0 none, 1 odd, 2 even, 3 mark, 4 space. */
inline void serialSetParity(SerialHandle handle, int32_t parity, int32_t& status) {
  HAL_SetSerialParity(handle, parity, &status);
}

/** 10 one, 15 one and a half, 20 two stop bits. */
inline void serialSetStopBits(SerialHandle handle, int32_t stopBits, int32_t& status) {
  HAL_SetSerialStopBits(handle, stopBits, &status);
}

inline void serialSetTimeout(SerialHandle handle, double seconds, int32_t& status) {
  HAL_SetSerialTimeout(handle, seconds, &status);
}

/** 1 flushes on every access, 2 when the buffer fills. */
inline void serialSetWriteMode(SerialHandle handle, int32_t mode, int32_t& status) {
  HAL_SetSerialWriteMode(handle, mode, &status);
}

inline void serialDisableTermination(SerialHandle handle, int32_t& status) {
  HAL_DisableSerialTermination(handle, &status);
}

/** The bytes waiting to be read. */
inline int32_t serialBytesReceived(SerialHandle handle, int32_t& status) {
  return HAL_GetSerialBytesReceived(handle, &status);
}

/** Reads up to `buffer.size()` bytes; the number read. */
inline int32_t serialRead(SerialHandle handle, std::span<uint8_t> buffer, int32_t& status) {
  return HAL_ReadSerial(handle, reinterpret_cast<char*>(buffer.data()),
                        static_cast<int32_t>(buffer.size()), &status);
}

// ---------------------------------------------------------------------------------------------
// The robot's state, the clock, the network and the error stream

/** True while the robot is enabled (its outputs active). */
inline bool systemActive() {
  int32_t status = 0;
  return HAL_GetSystemActive(&status) != 0;
}

#if defined(_WIN32)
/** A UDP socket sending datagrams (start, send, shutdown), logging through a Logger. */
using UdpClient = WinsockUdpClient;
using Logger = LogFunctionLogger;
/** Writes `text` to standard error in one piece, so that lines never mix. */
inline void writeErrorText(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}
#endif
// Elsewhere UdpClient, Logger and writeErrorText are the year's (WpiUtilities.h); so are
// robotTimeMicros, the robot's clock in microseconds, and MonotonicClock, a std::chrono clock
// over it (HalPlatformYear.h).

}  // namespace halvern::platform

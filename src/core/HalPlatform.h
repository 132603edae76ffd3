// The library's one meeting point with WPILib: CAN, I2C, the robot controller's serial ports,
// the enabled state, the clock, the UDP client, the logger and the error stream, as plain C++.
//
// Which WPILib it sits on is decided here, at compile time: WPILib 2027's headers
// (<wpi/hal/HAL.h>) when present, otherwise the 2026-shaped ones (WPILib 2026 and the stand-in
// under hal/ and wpiutil/). Nothing on the wire differs between them: classic frames of at most
// 8 bytes with the same identifiers, payloads and timings. WPILib 2027's robot controller has
// several CAN buses, and each device is on the bus it was created on; WPILib 2026 has only bus 0.
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

#if __has_include(<wpi/hal/HAL.h>)
#define HALVERN_WPILIB_2027 1
#include <wpi/hal/CAN.h>
#include <wpi/hal/CANAPI.h>
#include <wpi/hal/HAL.h>
#include <wpi/hal/I2C.h>
#include <wpi/hal/I2CTypes.h>
#include <wpi/hal/SerialPort.h>

#include <wpi/hal/monotonic_clock.hpp>
#if !defined(_WIN32)
#include <wpi/util/Logger.hpp>
#include <wpi/util/raw_ostream.hpp>
#if __has_include(<wpi/net/UDPClient.hpp>)  // where the user links wpinet
#define HALVERN_PLATFORM_HAS_UDP 1
#include <wpi/net/UDPClient.hpp>
#endif
#endif
#else
#define HALVERN_WPILIB_2027 0
#include <hal/CAN.h>
#include <hal/CANAPI.h>
#include <hal/HALBase.h>
#include <hal/I2C.h>
#include <hal/I2CTypes.h>
#include <hal/SerialPort.h>
#include <hal/cpp/fpga_clock.h>
#if !defined(_WIN32)
#include <wpi/Logger.h>
#include <wpi/raw_ostream.h>
#if __has_include(<wpinet/UDPClient.h>)  // where the user links wpinet
#define HALVERN_PLATFORM_HAS_UDP 1
#include <wpinet/UDPClient.h>
#endif
#endif
#endif

// On Windows, WPILib's DLLs are MSVC-built: the library calls only their plain C functions, and
// brings its own UDP socket, logger and error output.
#if defined(_WIN32)
#define HALVERN_PLATFORM_HAS_UDP 1
#include <cstdio>

#include "core/WinsockUdpClient.h"
#endif

namespace halvern::platform {

// ---------------------------------------------------------------------------------------------
// CAN

/** A CAN bus of the robot controller, numbered from 0. */
using CanBus = int32_t;
/** The bus a device is on unless its creation names another (WPILib 2026's only bus). */
inline constexpr CanBus kDefaultCanBus = 0;
/** The buses the HAL accepts, 0 to kCanBusCount - 1: WPILib 2027 (alpha-6) takes 0 to 5. */
#if HALVERN_WPILIB_2027
inline constexpr CanBus kCanBusCount = 6;
#else
inline constexpr CanBus kCanBusCount = 1;
#endif
/** The highest bus number the platform has. */
inline constexpr CanBus kMaxCanBus = kCanBusCount - 1;

/** Whether the platform has the bus `bus`. */
constexpr bool canBusExists(CanBus bus) { return bus >= 0 && bus < kCanBusCount; }
/** The bytes of a classic CAN frame, the most the library sends or takes from one frame. */
inline constexpr std::size_t kCanFrameBytes = 8;
/** A mask covering the whole 29-bit identifier: an exact match. */
inline constexpr uint32_t kCanExactMask = 0x1FFFFFFF;
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

/** A device handle of the HAL's handle API (0: none). */
using CanHandle = int32_t;
inline constexpr CanHandle kInvalidCanHandle = 0;
/** A stream session of the HAL; 0 can be a valid session. */
using CanStreamHandle = uint32_t;

/** A received classic frame. Valid only when the call that filled it reported status 0 (or a
 *  stream overrun); otherwise it is all zeros (a receive keeps the identifier asked for). */
struct CanFrame {
  /** The frame's identifier; a handle read reports none (0). */
  uint32_t messageId = 0;
  std::array<uint8_t, kCanFrameBytes> data{};
  /** The bytes of `data` the frame carried, 0 to 8. */
  uint8_t length = 0;
  /** When it was received, in milliseconds of the HAL's monotonic clock. */
  uint64_t timestampMs = 0;
  /** The same moment in microseconds, as precise as the HAL gives it (2026: whole ms). */
  uint64_t timestampUs = 0;

  [[nodiscard]] std::span<const uint8_t> bytes() const { return {data.data(), length}; }
};

namespace detail {

inline uint8_t classicLength(uint32_t size) {
  return static_cast<uint8_t>(std::min<uint32_t>(size, kCanFrameBytes));
}

inline constexpr uint64_t kMicrosPerMilli = 1000;

inline void fill(CanFrame& frame, uint32_t messageId, const uint8_t* data, uint32_t size,
                 uint64_t timestampUs) {
  frame.messageId = messageId;
  frame.length = classicLength(size);
  frame.data.fill(0);
  std::copy_n(data, frame.length, frame.data.begin());
  frame.timestampUs = timestampUs;
  frame.timestampMs = timestampUs / kMicrosPerMilli;
}

#if HALVERN_WPILIB_2027
inline HAL_CANMessage classicMessage(std::span<const uint8_t> payload) {
  HAL_CANMessage message{};
  message.flags = HAL_CAN_NO_FLAGS;
  message.dataSize = static_cast<uint8_t>(payload.size());
  std::copy(payload.begin(), payload.end(), std::begin(message.data));
  return message;
}

inline void fill(CanFrame& frame, uint32_t messageId, const HAL_CANReceiveMessage& received) {
  fill(frame, messageId, std::data(received.message.data), received.message.dataSize,
       received.timeStamp);
}
#endif

inline int32_t readByHandle(bool latest, CanHandle handle, int32_t apiId, CanFrame& frame) {
  int32_t status = 0;
  frame = CanFrame{};
#if HALVERN_WPILIB_2027
  HAL_CANReceiveMessage received{};
  if (latest) {
    HAL_ReadCANPacketLatest(handle, apiId, &received, &status);
  } else {
    HAL_ReadCANPacketNew(handle, apiId, &received, &status);
  }
  if (status == 0) {
    fill(frame, 0, received);
  }
#else
  std::array<uint8_t, kCanFrameBytes> data{};
  int32_t length = 0;
  uint64_t timestampMs = 0;
  if (latest) {
    HAL_ReadCANPacketLatest(handle, apiId, data.data(), &length, &timestampMs, &status);
  } else {
    HAL_ReadCANPacketNew(handle, apiId, data.data(), &length, &timestampMs, &status);
  }
  if (status == 0) {
    fill(frame, 0, data.data(), static_cast<uint32_t>(std::max(length, 0)),
         timestampMs * kMicrosPerMilli);
  }
#endif
  return status;
}

}  // namespace detail

/**
 * Sends one frame on `bus`, once (`periodMs` kCanSendOnce) or repeated every `periodMs`; the
 * status. A payload over 8 bytes is not sent (kCanInvalidBuffer).
 */
inline int32_t canSend(CanBus bus, uint32_t messageId, std::span<const uint8_t> payload,
                       int32_t periodMs = kCanSendOnce) {
  if (payload.size() > kCanFrameBytes) {
    return kCanInvalidBuffer;
  }
  int32_t status = 0;
#if HALVERN_WPILIB_2027
  const HAL_CANMessage message = detail::classicMessage(payload);
  HAL_CAN_SendMessage(bus, messageId, &message, periodMs, &status);
#else
  static_cast<void>(bus);  // the only bus there is
  HAL_CAN_SendMessage(messageId, payload.data(), static_cast<uint8_t>(payload.size()), periodMs,
                      &status);
#endif
  return status;
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
  int32_t status = 0;
#if HALVERN_WPILIB_2027
  if ((mask & kCanExactMask) != kCanExactMask) {
    return kCanNotAllowed;
  }
  HAL_CANReceiveMessage received{};
  HAL_CAN_ReceiveMessage(bus, messageId, &received, &status);
  if (status == 0) {
    detail::fill(frame, messageId, received);
  }
#else
  static_cast<void>(bus);
  uint32_t id = messageId;
  std::array<uint8_t, kCanFrameBytes> data{};
  uint8_t length = 0;
  uint32_t timestampMs = 0;
  HAL_CAN_ReceiveMessage(&id, mask, data.data(), &length, &timestampMs, &status);
  if (status == 0) {
    detail::fill(frame, id, data.data(), length, uint64_t{timestampMs} * detail::kMicrosPerMilli);
  }
#endif
  return status;
}

/** As above, on the default bus. */
inline int32_t canReceive(uint32_t messageId, uint32_t mask, CanFrame& frame) {
  return canReceive(kDefaultCanBus, messageId, mask, frame);
}

/** Opens a stream session on `bus` queueing up to `maxMessages` frames whose identifier
 *  matches `messageId` under `mask`. The session; `status` 0 when it opened. */
inline CanStreamHandle canOpenStream(CanBus bus, uint32_t messageId, uint32_t mask,
                                     uint32_t maxMessages, int32_t& status) {
#if HALVERN_WPILIB_2027
  return static_cast<CanStreamHandle>(
      HAL_CAN_OpenStreamSession(bus, messageId, mask, maxMessages, &status));
#else
  static_cast<void>(bus);
  CanStreamHandle session = 0;
  HAL_CAN_OpenStreamSession(&session, messageId, mask, maxMessages, &status);
  return session;
#endif
}

/** As above, on the default bus. */
inline CanStreamHandle canOpenStream(uint32_t messageId, uint32_t mask, uint32_t maxMessages,
                                     int32_t& status) {
  return canOpenStream(kDefaultCanBus, messageId, mask, maxMessages, status);
}

inline void canCloseStream(CanStreamHandle session) {
#if HALVERN_WPILIB_2027
  HAL_CAN_CloseStreamSession(static_cast<HAL_CANStreamHandle>(session));
#else
  HAL_CAN_CloseStreamSession(session);
#endif
}

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
#if HALVERN_WPILIB_2027
  HAL_CAN_ReadStreamSession(static_cast<HAL_CANStreamHandle>(session), messages.data(), wanted,
                            &read, &status);
#else
  HAL_CAN_ReadStreamSession(session, messages.data(), wanted, &read, &status);
#endif
  if (status != 0 && status != kCanStreamOverrun) {
    return status;
  }
  count = std::min(read, wanted);
  for (uint32_t i = 0; i < count; ++i) {
    const HAL_CANStreamMessage& message = messages[i];
#if HALVERN_WPILIB_2027
    detail::fill(frames[i], message.messageId, message.message);
#else
    detail::fill(frames[i], message.messageID, std::data(message.data), message.dataSize,
                 uint64_t{message.timeStamp} * detail::kMicrosPerMilli);
#endif
  }
  return status;
}

/** A handle for the device `deviceId` (0 to 63) of that manufacturer and type, on `bus`;
 *  kInvalidCanHandle, with a nonzero `status`, when none is given. */
inline CanHandle canInitialize(CanBus bus, int32_t manufacturer, int32_t deviceId,
                               int32_t deviceType, int32_t& status) {
#if HALVERN_WPILIB_2027
  return HAL_InitializeCAN(bus, static_cast<HAL_CANManufacturer>(manufacturer), deviceId,
                           static_cast<HAL_CANDeviceType>(deviceType), &status);
#else
  static_cast<void>(bus);
  return HAL_InitializeCAN(static_cast<HAL_CANManufacturer>(manufacturer), deviceId,
                           static_cast<HAL_CANDeviceType>(deviceType), &status);
#endif
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
  return detail::readByHandle(false, handle, apiId, frame);
}

/** The handle's newest frame under `apiId`, or, with nothing new, the last one it read;
 *  kCanMessageNotFound when it never had one. `frame` holds it when the status is 0. */
inline int32_t canReadLatest(CanHandle handle, int32_t apiId, CanFrame& frame) {
  return detail::readByHandle(true, handle, apiId, frame);
}

// ---------------------------------------------------------------------------------------------
// I2C

/** The I2C bus of the robot controller's expansion port (number 1). */
#if HALVERN_WPILIB_2027
inline constexpr int32_t kExpansionI2CPort = HAL_I2C_PORT_1;
#else
inline constexpr int32_t kExpansionI2CPort = HAL_I2C_kMXP;
#endif

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

/**
 * Now on the robot's clock, in microseconds: the time base of HAL_GetFPGATime (2026) and of the
 * HAL's monotonic time (2027), in which CAN frames are stamped and readings are timestamped.
 */
inline int64_t robotTimeMicros() {
#if HALVERN_WPILIB_2027
  return static_cast<int64_t>(HAL_GetMonotonicTime());
#else
  int32_t status = 0;
  return static_cast<int64_t>(HAL_GetFPGATime(&status));
#endif
}

#if HALVERN_WPILIB_2027
/** A std::chrono clock over the HAL's microsecond monotonic time. */
using MonotonicClock = wpi::hal::monotonic_clock;
#else
using MonotonicClock = hal::fpga_clock;
#endif

#if defined(_WIN32)
/** A UDP socket sending datagrams (start, send, shutdown), logging through a Logger. */
using UdpClient = WinsockUdpClient;
using Logger = LogFunctionLogger;
/** Writes `text` to standard error in one piece, so that lines never mix. */
inline void writeErrorText(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}
#elif HALVERN_WPILIB_2027
#ifdef HALVERN_PLATFORM_HAS_UDP
using UdpClient = wpi::net::UDPClient;
#endif
using Logger = wpi::util::Logger;
/** Writes `text` to the utility library's standard error stream in one piece. */
inline void writeErrorText(std::string_view text) {
  wpi::util::errs() << text;
  wpi::util::errs().flush();
}
#else
#ifdef HALVERN_PLATFORM_HAS_UDP
using UdpClient = wpi::UDPClient;
#endif
using Logger = wpi::Logger;
inline void writeErrorText(std::string_view text) {
  wpi::errs() << text;
  wpi::errs().flush();
}
#endif

}  // namespace halvern::platform

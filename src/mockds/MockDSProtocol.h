// The mock driver station's wire format and rules: the control datagram, the warm-up, the
// schedule and the log lines. Pure functions, no I/O.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "halvern/MockDS.h"

namespace halvern::mockds {

/** Where a robot program in simulation listens for its driver station. */
inline constexpr std::string_view kRobotAddress = "127.0.0.1";
inline constexpr int kRobotPort = MOCKDS_ROBOT_PORT;

inline constexpr std::chrono::milliseconds kPeriod{MOCKDS_PERIOD_MS};
/** Datagrams sent while enabled that still say "disabled": one second's worth. */
inline constexpr int kWarmupDatagrams = MOCKDS_WARMUP_DATAGRAMS;

inline constexpr std::size_t kDatagramSize = 6;
inline constexpr uint8_t kProtocolVersion = 0x01;
// The control byte's bits.
inline constexpr uint8_t kTestBit = 0x01;
inline constexpr uint8_t kAutonomousBit = 0x02;
inline constexpr uint8_t kEnabledBit = 0x04;
inline constexpr uint8_t kFmsAttachedBit = 0x08;
inline constexpr uint8_t kEmergencyStopBit = 0x80;
inline constexpr uint8_t kControlDisabled = 0x00;
inline constexpr uint8_t kControlEnabledAutonomous = kEnabledBit | kAutonomousBit;
/** In the request byte, any of these bits: a driver station is attached. */
inline constexpr uint8_t kDriverStationAttachedMask = 0xF0;
inline constexpr uint8_t kRequestAttached = 0x10;
inline constexpr uint8_t kAllianceStationRed1 = 0x00;
inline constexpr std::size_t kControlByteIndex = 3;

using ControlDatagram = std::array<uint8_t, kDatagramSize>;

/** The datagram: sequence number high byte first, version, control, request, station. */
constexpr ControlDatagram buildControlDatagram(uint16_t sequence, uint8_t control) {
  return {static_cast<uint8_t>(sequence >> 8U), static_cast<uint8_t>(sequence & 0xFFU),
          kProtocolVersion, control, kRequestAttached, kAllianceStationRed1};
}

/** A control datagram's fields, as the robot program reads them. */
struct ReceivedControl {
  uint16_t sequence = 0;
  uint8_t protocolVersion = 0;
  uint8_t control = 0;
  uint8_t request = 0;
  uint8_t station = 0;  // 0-2 red 1-3, 3-5 blue 1-3
  /** Optional tags after the fixed bytes as [length][id][length-1 bytes]; false if they overrun. */
  bool tagsWellFormed = true;
};

/**
 * The robot program's side: a datagram shorter than kDatagramSize gives none; the protocol
 * version is not checked. It reads back what buildControlDatagram writes.
 */
std::optional<ReceivedControl> decodeControlDatagram(std::span<const uint8_t> datagram);

/**
 * The control byte of each datagram: disabled unless enabled is asked, and disabled for the
 * first kWarmupDatagrams datagrams sent while enabled over the sender's whole life.
 */
class WarmupRule {
 public:
  constexpr uint8_t controlByte(bool enabled) {
    if (!enabled) {
      return kControlDisabled;
    }
    if (warmupCount < kWarmupDatagrams) {
      ++warmupCount;
      return kControlDisabled;
    }
    return kControlEnabledAutonomous;
  }
  [[nodiscard]] constexpr int warmedUp() const { return warmupCount; }

 private:
  int warmupCount = 0;
};

/** The first slot after `now`: missed slots are skipped, never caught up in a burst. */
template <typename TimePoint, typename Duration>
constexpr TimePoint nextDeadline(TimePoint deadline, TimePoint now, Duration period) {
  while (deadline <= now) {
    deadline += period;
  }
  return deadline;
}

/**
 * The line the UDP client's log function prints for a message: "DS: " and the message at level
 * 20; with "CRITICAL: " (50 and up), "ERROR: " (40 to 49) or "WARNING: " (30 to 39), the
 * message and "(file:line)"; nothing (empty) at any other level. Null texts count as empty.
 */
std::string formatLogLine(unsigned int level, const char* file, unsigned int line,
                          const char* message);

}  // namespace halvern::mockds

// The robot program's side of the driver-station link in simulation: it listens on UDP port
// 1110 and reads control datagrams as a WPILib robot program's simulation does, so tests and
// the demo see exactly what a robot program would see from a (mock) driver station.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "SimHal.h"

namespace halvern::sim {

class UdpListener;

/** What one control datagram tells the robot program. */
struct DriverStationControl {
  uint16_t sequence = 0;  // bytes 0-1, high byte first
  uint8_t protocolVersion = 0;
  uint8_t control = 0;         // byte 3
  uint8_t request = 0;         // byte 4
  uint8_t station = 0;         // byte 5: 0-2 red 1-3, 3-5 blue 1-3
  bool test = false;           // control 0x01
  bool autonomous = false;     // control 0x02
  bool enabled = false;        // control 0x04
  bool fmsAttached = false;    // control 0x08
  bool emergencyStop = false;  // control 0x80
  bool dsAttached = false;     // (request & 0xF0) != 0
  /** Optional tags after byte 5 as [length][id][length-1 bytes]; false if they overrun. */
  bool tagsWellFormed = true;
};

/**
 * Reads a control datagram as a robot program's simulation does: shorter than 6 bytes is
 * ignored (nothing), the protocol version is not checked.
 */
std::optional<DriverStationControl> readControlDatagram(std::span<const uint8_t> datagram);

/**
 * Listens on 127.0.0.1 at a UDP port (1110, the driver station's) from construction to
 * destruction, keeping every datagram read and its arrival time.
 */
class SimRobotDriverStation {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr int kDriverStationPort = 1110;
  /** With no datagram for this long, the robot program counts itself disabled. */
  static constexpr std::chrono::milliseconds kLinkTimeout{100};

  struct Received {
    DriverStationControl control;
    Clock::time_point at;
  };

  /** Binds the port; throws std::runtime_error when it cannot. */
  explicit SimRobotDriverStation(int port = kDriverStationPort);
  SimRobotDriverStation(const SimRobotDriverStation&) = delete;
  SimRobotDriverStation& operator=(const SimRobotDriverStation&) = delete;
  ~SimRobotDriverStation();

  /** Every control datagram read so far (datagrams under 6 bytes are not kept), oldest first. */
  [[nodiscard]] std::vector<Received> received() const;
  [[nodiscard]] std::size_t receivedCount() const;
  /** Datagrams that arrived but were ignored as too short. */
  [[nodiscard]] std::size_t ignoredCount() const;
  void clear();

  /**
   * Whether the robot program counts itself enabled now: the latest datagram says enabled,
   * the driver station is attached, there is no emergency stop, and it arrived within the
   * last 100 ms.
   */
  [[nodiscard]] bool robotEnabled() const;

  /**
   * Waits until at least `count` datagrams are kept (as receivedCount counts them: since
   * construction or the last clear), or `limit` passes. False on time-out.
   */
  bool waitForCount(std::size_t count, std::chrono::milliseconds limit) const;

 private:
  /** Keeps a datagram received at `at`, or counts it ignored. */
  void take(std::span<const uint8_t> datagram, Clock::time_point at);

  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;  // notified on every datagram read
  std::vector<Received> received_;
  std::size_t ignored_ = 0;
  std::unique_ptr<UdpListener> listener_;  // last: stops before the rest goes
};

}  // namespace halvern::sim

// The robot program's driver-station socket, for a simulation whose HAL has none listening: it
// reads the driver station's control datagrams on UDP port 1110 as WPILib's driver-station
// socket extension (halsim_ds_socket) does, and sets the simulated driver station's enabled
// state from them, which HAL_GetSystemActive reports. WPILib 2026's extension listens itself;
// WPILib 2027 alpha-6's loads but opens no socket, so there a (mock) driver station can enable
// the simulated robot only through this one.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>

#include "SimHal.h"

namespace halvern::sim {

class UdpListener;

class SimDriverStationSocket {
 public:
  static constexpr int kDriverStationPort = 1110;
  /** With no datagram for this long the robot is disabled, as with a lost driver station. */
  static constexpr std::chrono::milliseconds kLinkTimeout{100};
  /** How long WPILib's own socket may take to bind after the HAL loads it. */
  static constexpr std::chrono::milliseconds kDefaultGrace{300};

  /** Whether something listens on the UDP port now (it cannot be bound). */
  static bool portTaken(int port = kDriverStationPort);

  /**
   * Listens on the driver station's port unless something does within `grace` (WPILib's own
   * socket, loaded with the HAL's extensions, binds a moment after it loads): this socket then,
   * or null when another listens.
   */
  static std::unique_ptr<SimDriverStationSocket> startUnlessOneListens(
      std::chrono::milliseconds grace = kDefaultGrace);

  /** Binds 127.0.0.1 at the port; throws std::runtime_error when it cannot. */
  explicit SimDriverStationSocket(int port = kDriverStationPort);
  SimDriverStationSocket(const SimDriverStationSocket&) = delete;
  SimDriverStationSocket& operator=(const SimDriverStationSocket&) = delete;
  /** Stops listening and leaves the robot disabled. */
  ~SimDriverStationSocket();

  /** Control datagrams read so far (shorter ones are ignored). */
  [[nodiscard]] std::size_t datagramCount() const { return datagrams_.load(); }

 private:
  /** Follows a datagram (none: nothing came) received at `now`. */
  void take(std::optional<std::span<const uint8_t>> datagram,
            std::chrono::steady_clock::time_point now);

  std::atomic<std::size_t> datagrams_{0};
  // The listener's thread's alone.
  std::optional<std::chrono::steady_clock::time_point> lastDatagram_;
  std::optional<bool> shown_;  // the enabled state this socket last set
  std::unique_ptr<UdpListener> listener_;  // last: stops before the rest goes
};

}  // namespace halvern::sim

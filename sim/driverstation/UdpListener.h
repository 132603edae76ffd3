// The robot program's end of the driver-station link: a UDP socket on 127.0.0.1 and the thread
// that receives on it. Both simulated readers of the driver station's datagrams listen so.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <thread>

#include "SimHal.h"

namespace halvern::sim {

class UdpListener {
 public:
  using Clock = std::chrono::steady_clock;
  /** After each receive: the datagram (none after a time-out, an empty one or an error), and
   *  when it was received. */
  using OnReceive =
      std::function<void(std::optional<std::span<const uint8_t>> datagram, Clock::time_point at)>;

  /** Whether something listens on the UDP port of 127.0.0.1 now (it cannot be bound). */
  static bool portTaken(int port);

  /** Binds 127.0.0.1 at `port`, each receive waiting at most `receiveWaitSeconds`; throws
   *  std::runtime_error when it cannot. */
  UdpListener(int port, double receiveWaitSeconds);

  /** Starts receiving, once the owner is ready for `onReceive`. */
  void start(OnReceive onReceive);

 private:
  void listen(const std::stop_token& stop);

  std::string lastSocketError_;  // what the UDP client last logged, for the constructor's error
  simhal::Logger logger_;
  simhal::UDPClient client_;
  OnReceive onReceive_;
  std::jthread thread_;  // last: stops before the socket closes
};

}  // namespace halvern::sim

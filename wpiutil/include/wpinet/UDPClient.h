// Stand-in for WPILib's UDP client: one datagram socket, problems reported through a logger.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace wpi {

class Logger;

class UDPClient {
 public:
  /** A client that binds to any local address. */
  explicit UDPClient(Logger& logger);
  /** A client that binds to `address` (numeric IPv4). */
  UDPClient(std::string_view address, Logger& logger);
  UDPClient(const UDPClient&) = delete;
  UDPClient& operator=(const UDPClient&) = delete;
  UDPClient(UDPClient&& other) noexcept;
  UDPClient& operator=(UDPClient&& other) noexcept;
  ~UDPClient();

  /** Opens the socket on any local port. Returns 0, or 1 when it cannot be opened. */
  int start();
  /** Opens the socket on local `port` (0: any). Returns 0, or 1 when it cannot be opened. */
  int start(int port);
  /** Closes the socket; start may open it again. */
  void shutdown();

  /** Sends one datagram to a numeric IPv4 address; returns what sendto returned, or -1. */
  int send(std::span<const uint8_t> data, std::string_view server, int port);
  int send(std::string_view data, std::string_view server, int port);

  /** Waits for one datagram (see set_timeout); returns its length, 0 on time-out, or -1. */
  int receive(uint8_t* data_received, int receive_len);
  /** Time-out of receive in seconds; 0 waits forever. Returns 0, or -1 on failure. */
  int set_timeout(double timeout);

 private:
  std::intptr_t m_lsd = -1;  // the socket, or -1 when closed
  int m_port = 0;
  std::string m_address;
  Logger* m_logger;
};

}  // namespace wpi

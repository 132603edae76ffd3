// On Windows the library sends its UDP datagrams over a Winsock socket of its own, and logs
// through a logger of its own. WPILib's Windows DLLs are built with MSVC, whose C++ names and
// types a DLL built with another compiler can neither import nor share, so on Windows the
// library takes nothing from WPILib but plain C functions (on Linux, WPILib's libraries share
// GCC's C++ names, and the library uses WPILib's UDP client and logger there).
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <utility>

namespace halvern::platform {

/** Hands each message at or above its minimum level to a log function. */
class LogFunctionLogger {
 public:
  using LogFunction =
      std::function<void(unsigned int level, const char* file, unsigned int line, const char* message)>;

  /** The utility library's logger's default minimum level, which the library keeps. */
  static constexpr unsigned int kDefaultMinLevel = 20;
  /** The level of an error message ("ERROR: "). */
  static constexpr unsigned int kErrorLevel = 40;

  explicit LogFunctionLogger(LogFunction logFunction) : function(std::move(logFunction)) {}

  void log(unsigned int level, const char* file, unsigned int line, const char* message) const {
    if (level >= minLevel && function) {
      function(level, file, line, message);
    }
  }

  unsigned int minLevel = kDefaultMinLevel;

 private:
  LogFunction function;
};

/**
 * A UDP socket that sends datagrams to a numeric IPv4 address. Each problem (no socket, a
 * datagram not sent) is logged as one error message; the caller goes on regardless.
 */
class WinsockUdpClient {
 public:
  explicit WinsockUdpClient(LogFunctionLogger& messageLogger) : logger(messageLogger) {}
  WinsockUdpClient(const WinsockUdpClient&) = delete;
  WinsockUdpClient& operator=(const WinsockUdpClient&) = delete;
  ~WinsockUdpClient() { shutdown(); }

  /** Opens the socket on any local port: 0, or -1 (logged) when it cannot. */
  int start();
  /** Closes the socket; start may open it again. */
  void shutdown();
  /** Sends one datagram: the bytes sent, or -1 (logged), as when the socket is not open. */
  int send(std::span<const uint8_t> data, std::string_view address, int port);

 private:
  void logError(unsigned int line, const char* what, int error) const;

  LogFunctionLogger& logger;
  std::uintptr_t socket = kNoSocket;  // a Winsock SOCKET
  bool winsockStarted = false;        // balanced by one WSACleanup

  static constexpr std::uintptr_t kNoSocket = ~std::uintptr_t{0};  // INVALID_SOCKET
};

}  // namespace halvern::platform

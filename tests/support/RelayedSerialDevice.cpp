#include "RelayedSerialDevice.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>

namespace halvern::testing {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kHandshake = "PTY READY\n";
constexpr auto kHandshakeTimeout = std::chrono::seconds(10);
// After the first byte, a receive takes what follows until the line is quiet this long.
constexpr auto kQuietGap = std::chrono::milliseconds(50);

// Winsock is started once, for the whole test program.
class Winsock {
 public:
  Winsock() { started = WSAStartup(MAKEWORD(2, 2), &data) == 0; }
  Winsock(const Winsock&) = delete;
  Winsock& operator=(const Winsock&) = delete;
  ~Winsock() {
    if (started) {
      WSACleanup();
    }
  }
  bool started = false;

 private:
  WSADATA data{};
};

bool startWinsock() {
  static const Winsock winsock;
  return winsock.started;
}

SOCKET socketOf(std::uintptr_t connection) { return static_cast<SOCKET>(connection); }

// Whether the connection has something to read (or was closed) within `timeout`.
bool readable(SOCKET connection, std::chrono::milliseconds timeout) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(connection, &set);
  const auto micros = std::max<long long>(
      0, std::chrono::duration_cast<std::chrono::microseconds>(timeout).count());
  timeval limit{static_cast<long>(micros / 1000000), static_cast<long>(micros % 1000000)};
  return select(0, &set, nullptr, nullptr, &limit) > 0;
}

std::string environmentValue(const char* name) {
  const char* value = std::getenv(name);  // NOLINT(concurrency-mt-unsafe): tests read it once
  return value != nullptr ? value : "";
}

}  // namespace

std::optional<SerialRelaySetup> serialRelayFromEnvironment() {
  const std::string port = environmentValue("HALVERN_TEST_SERIAL_PORT");
  const std::string relay = environmentValue("HALVERN_TEST_SERIAL_RELAY_PORT");
  if (port.empty() || relay.empty()) {
    return std::nullopt;
  }
  const long relayPort = std::strtol(relay.c_str(), nullptr, 10);
  if (relayPort <= 0 || relayPort > std::numeric_limits<uint16_t>::max()) {
    return std::nullopt;
  }
  return SerialRelaySetup{R"(\\.\)" + port, static_cast<uint16_t>(relayPort)};
}

RelayedSerialDevice::RelayedSerialDevice(uint16_t relayPort) {
  if (!startWinsock()) {
    error_ = "WSAStartup failed";
    return;
  }
  const SOCKET connection = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (connection == INVALID_SOCKET) {
    error_ = "socket failed: " + std::to_string(WSAGetLastError());
    return;
  }
  connection_ = static_cast<std::uintptr_t>(connection);
  const BOOL noDelay = TRUE;
  setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
             sizeof(noDelay));
  sockaddr_in relay{};
  relay.sin_family = AF_INET;
  relay.sin_port = htons(relayPort);
  relay.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(connection, reinterpret_cast<const sockaddr*>(&relay), sizeof(relay)) != 0) {
    error_ = "cannot reach the relay on port " + std::to_string(relayPort) + ": " +
             std::to_string(WSAGetLastError());
    unplug();
    return;
  }
  // The relay announces the pseudo-terminal once the COM port leads to it.
  std::string handshake;
  const auto deadline = Clock::now() + kHandshakeTimeout;
  while (handshake.size() < kHandshake.size()) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    char byte = 0;
    if (!readable(connection, left) || ::recv(connection, &byte, 1, 0) != 1) {
      break;
    }
    handshake += byte;
  }
  if (handshake != kHandshake) {
    error_ = "the relay did not announce a pseudo-terminal (got \"" + handshake + "\")";
    unplug();
  }
}

RelayedSerialDevice::~RelayedSerialDevice() { unplug(); }

bool RelayedSerialDevice::send(std::string_view bytes) {
  while (pluggedIn() && !bytes.empty()) {
    const int chunk =
        static_cast<int>(std::min<std::size_t>(bytes.size(), std::numeric_limits<int>::max()));
    const int sent = ::send(socketOf(connection_), bytes.data(), chunk, 0);
    if (sent <= 0) {
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return pluggedIn();
}

std::vector<uint8_t> RelayedSerialDevice::receive(std::chrono::milliseconds timeout,
                                                  std::size_t maxBytes) {
  std::vector<uint8_t> received;
  std::array<char, 4096> chunk{};
  auto wait = timeout;
  while (pluggedIn() && received.size() < maxBytes && readable(socketOf(connection_), wait)) {
    const auto wanted = static_cast<int>(std::min(chunk.size(), maxBytes - received.size()));
    const int count = ::recv(socketOf(connection_), chunk.data(), wanted, 0);
    if (count <= 0) {
      break;
    }
    received.insert(received.end(), chunk.begin(), chunk.begin() + count);
    wait = std::chrono::duration_cast<std::chrono::milliseconds>(kQuietGap);
  }
  return received;
}

std::string RelayedSerialDevice::receiveText(std::chrono::milliseconds timeout) {
  const std::vector<uint8_t> bytes = receive(timeout);
  return {bytes.begin(), bytes.end()};
}

void RelayedSerialDevice::unplug() {
  if (!pluggedIn()) {
    return;
  }
  const SOCKET connection = socketOf(connection_);
  // The relay closes the pseudo-terminal, then its end of the connection: wait for that, so
  // the port is gone when this returns.
  if (::shutdown(connection, SD_SEND) == 0) {
    std::array<char, 4096> discarded{};
    const auto deadline = Clock::now() + kHandshakeTimeout;
    while (Clock::now() < deadline) {
      if (readable(connection, std::chrono::milliseconds(100)) &&
          ::recv(connection, discarded.data(), static_cast<int>(discarded.size()), 0) <= 0) {
        break;
      }
    }
  }
  ::closesocket(connection);
  connection_ = kNotConnected;
}

}  // namespace halvern::testing

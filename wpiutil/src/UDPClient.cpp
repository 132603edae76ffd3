// The UDP client over POSIX sockets or Winsock.
#include "wpinet/UDPClient.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "wpi/Logger.h"
#include "wpinetsim/UdpFaults.h"

namespace wpinetsim {
namespace {
std::atomic<bool> startFails{false};  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)
}  // namespace

void setUdpStartFailure(bool fail) { startFails.store(fail); }

}  // namespace wpinetsim

namespace wpi {
namespace {

constexpr std::intptr_t kClosed = -1;

#if defined(_WIN32)
using NativeSocket = SOCKET;
using SocketLength = int;
using IoLength = int;  // byte counts of send and receive calls

/** Winsock is started once for the life of the process, on first use. */
bool winsockReady() {
  static const bool ready = [] {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return ready;
}

int lastSocketError() { return WSAGetLastError(); }

std::string socketErrorText(int error) {
  char text[256] = {};
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
  std::string result(text, length);
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r')) {
    result.pop_back();
  }
  return result.empty() ? "error " + std::to_string(error) : result;
}

void closeNative(NativeSocket socket) { closesocket(socket); }
#else
using NativeSocket = int;
using SocketLength = socklen_t;
using IoLength = std::size_t;

bool winsockReady() { return true; }
int lastSocketError() { return errno; }
std::string socketErrorText(int error) { return std::strerror(error); }
void closeNative(NativeSocket socket) { ::close(socket); }
#endif

NativeSocket toNative(std::intptr_t socket) { return static_cast<NativeSocket>(socket); }

void logError(Logger& logger, unsigned int line, const std::string& message) {
  logger.DoLog(WPI_LOG_ERROR, __FILE__, line, message.c_str());
}

/** A numeric IPv4 address and port, or false when the text is no such address. */
bool toAddress(std::string_view text, int port, sockaddr_in& address) {
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (text.empty()) {
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    return true;
  }
  const std::string terminated(text);
  return inet_pton(AF_INET, terminated.c_str(), &address.sin_addr) == 1;
}

}  // namespace

UDPClient::UDPClient(Logger& logger) : UDPClient("", logger) {}

UDPClient::UDPClient(std::string_view address, Logger& logger)
    : m_address(address), m_logger(&logger) {}

UDPClient::UDPClient(UDPClient&& other) noexcept
    : m_lsd(std::exchange(other.m_lsd, kClosed)),
      m_port(other.m_port),
      m_address(std::move(other.m_address)),
      m_logger(other.m_logger) {}

UDPClient& UDPClient::operator=(UDPClient&& other) noexcept {
  if (this != &other) {
    shutdown();
    m_lsd = std::exchange(other.m_lsd, kClosed);
    m_port = other.m_port;
    m_address = std::move(other.m_address);
    m_logger = other.m_logger;
  }
  return *this;
}

UDPClient::~UDPClient() { shutdown(); }

int UDPClient::start() { return start(0); }

int UDPClient::start(int port) {
  if (m_lsd != kClosed) {
    return 0;
  }
  if (wpinetsim::startFails.load() || !winsockReady()) {
    logError(*m_logger, __LINE__, "could not create socket: no socket available");
    return 1;
  }
  const NativeSocket socket = ::socket(AF_INET, SOCK_DGRAM, 0);
#if defined(_WIN32)
  if (socket == INVALID_SOCKET) {
#else
  if (socket < 0) {
#endif
    logError(*m_logger, __LINE__, "could not create socket: " + socketErrorText(lastSocketError()));
    return 1;
  }
  sockaddr_in local{};
  if (!toAddress(m_address, port, local)) {
    logError(*m_logger, __LINE__, "could not resolve " + m_address + " address");
    closeNative(socket);
    return 1;
  }
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the sockets API's own cast
  if (::bind(socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    logError(*m_logger, __LINE__, "bind() failed: " + socketErrorText(lastSocketError()));
    closeNative(socket);
    return 1;
  }
  m_lsd = static_cast<std::intptr_t>(socket);
  m_port = port;
  return 0;
}

void UDPClient::shutdown() {
  if (m_lsd != kClosed) {
    closeNative(toNative(m_lsd));
    m_lsd = kClosed;
  }
}

int UDPClient::send(std::span<const uint8_t> data, std::string_view server, int port) {
  if (m_lsd == kClosed) {
    logError(*m_logger, __LINE__, "send() on a client that is not started");
    return -1;
  }
  sockaddr_in remote{};
  if (!toAddress(server, port, remote) || server.empty()) {
    logError(*m_logger, __LINE__, "could not resolve " + std::string(server) + " address");
    return -1;
  }
  // NOLINTBEGIN(cppcoreguidelines-pro-type-reinterpret-cast): the sockets API's own casts
  const auto sent = ::sendto(toNative(m_lsd), reinterpret_cast<const char*>(data.data()),
                             static_cast<IoLength>(data.size()), 0,
                             reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
  // NOLINTEND(cppcoreguidelines-pro-type-reinterpret-cast)
  if (sent < 0) {
    logError(*m_logger, __LINE__, "sendto() failed: " + socketErrorText(lastSocketError()));
    return -1;
  }
  return static_cast<int>(sent);
}

int UDPClient::send(std::string_view data, std::string_view server, int port) {
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): bytes of the same text
  return send(std::span(reinterpret_cast<const uint8_t*>(data.data()), data.size()), server,
              port);
}

int UDPClient::receive(uint8_t* data_received, int receive_len) {
  if (m_lsd == kClosed || receive_len < 0) {
    return -1;
  }
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the sockets API's own cast
  const auto received = ::recv(toNative(m_lsd), reinterpret_cast<char*>(data_received),
                               static_cast<IoLength>(receive_len), 0);
  if (received < 0) {
#if defined(_WIN32)
    return lastSocketError() == WSAETIMEDOUT ? 0 : -1;
#else
    return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
#endif
  }
  return static_cast<int>(received);
}

int UDPClient::set_timeout(double timeout) {
  if (m_lsd == kClosed || timeout < 0) {
    return -1;
  }
  // A time-out shorter than the socket's resolution is taken as the resolution: rounded to 0 it
  // would wait forever.
#if defined(_WIN32)
  constexpr double kLongestMilliseconds = 4294967294.0;  // below INFINITE
  const double rounded = timeout == 0 ? 0.0 : std::max(1.0, std::round(timeout * 1000.0));
  const auto milliseconds = static_cast<DWORD>(std::min(rounded, kLongestMilliseconds));
  const char* option = reinterpret_cast<const char*>(&milliseconds);  // NOLINT
  const int length = sizeof milliseconds;
#else
  constexpr double kMicrosPerSecond = 1e6;
  const double micros = timeout == 0 ? 0.0 : std::max(1.0, std::round(timeout * kMicrosPerSecond));
  timeval limit{};
  limit.tv_sec = static_cast<time_t>(micros / kMicrosPerSecond);
  limit.tv_usec =
      static_cast<suseconds_t>(micros - static_cast<double>(limit.tv_sec) * kMicrosPerSecond);
  const void* option = &limit;
  const auto length = static_cast<SocketLength>(sizeof limit);
#endif
  return ::setsockopt(toNative(m_lsd), SOL_SOCKET, SO_RCVTIMEO, option, length) == 0 ? 0 : -1;
}

}  // namespace wpi

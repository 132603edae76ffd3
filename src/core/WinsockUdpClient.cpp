#include "core/WinsockUdpClient.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>

namespace halvern::platform {
namespace {

/** The source file the log lines name. */
constexpr const char* kSourceFile = "WinsockUdpClient.cpp";

SOCKET native(std::uintptr_t socket) { return static_cast<SOCKET>(socket); }

}  // namespace

void WinsockUdpClient::logError(unsigned int line, const char* what, int error) const {
  const std::string message = std::string(what) + " (Winsock error " + std::to_string(error) + ")";
  logger.log(LogFunctionLogger::kErrorLevel, kSourceFile, line, message.c_str());
}

int WinsockUdpClient::start() {
  shutdown();
  WSADATA data{};
  const int startError = WSAStartup(MAKEWORD(2, 2), &data);
  if (startError != 0) {
    logError(__LINE__, "could not start Winsock", startError);
    return -1;
  }
  winsockStarted = true;

  const SOCKET opened = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (opened == INVALID_SOCKET) {
    logError(__LINE__, "could not create socket", WSAGetLastError());
    return -1;
  }
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = 0;  // any free port
  if (::bind(opened, reinterpret_cast<const sockaddr*>(&local), sizeof local) == SOCKET_ERROR) {
    logError(__LINE__, "could not bind socket", WSAGetLastError());
    closesocket(opened);
    return -1;
  }
  socket = static_cast<std::uintptr_t>(opened);
  return 0;
}

void WinsockUdpClient::shutdown() {
  if (socket != kNoSocket) {
    closesocket(native(socket));
    socket = kNoSocket;
  }
  if (winsockStarted) {
    WSACleanup();
    winsockStarted = false;
  }
}

int WinsockUdpClient::send(std::span<const uint8_t> data, std::string_view address, int port) {
  if (socket == kNoSocket) {
    logError(__LINE__, "send() with no socket", WSAENOTSOCK);
    return -1;
  }
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_port = htons(static_cast<u_short>(port));
  const std::string host(address);  // inet_pton wants a terminated text
  if (inet_pton(AF_INET, host.c_str(), &remote.sin_addr) != 1) {
    logError(__LINE__, "send() to an address that is not numeric IPv4", WSAEINVAL);
    return -1;
  }
  const int sent = ::sendto(native(socket), reinterpret_cast<const char*>(data.data()),
                            static_cast<int>(data.size()), 0,
                            reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
  if (sent == SOCKET_ERROR) {
    logError(__LINE__, "send() failed", WSAGetLastError());
    return -1;
  }
  return sent;
}

}  // namespace halvern::platform

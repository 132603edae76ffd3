// The library's own UDP socket on Windows, against a Winsock receiver in the test.
#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/WinsockUdpClient.h"

namespace {

using halvern::platform::LogFunctionLogger;
using halvern::platform::WinsockUdpClient;

struct Logged {
  unsigned int level;
  std::string file;
  std::string message;
};

/** A receiving socket on 127.0.0.1 and a port of its own, with a short read timeout. */
class Receiver {
 public:
  Receiver() {
    WSADATA data{};
    EXPECT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    socket = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(socket, reinterpret_cast<const sockaddr*>(&local), sizeof local), 0);
    int length = sizeof local;
    EXPECT_EQ(::getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length), 0);
    port = ntohs(local.sin_port);
    const DWORD timeoutMs = 2000;
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
                 sizeof timeoutMs);
  }
  Receiver(const Receiver&) = delete;
  Receiver& operator=(const Receiver&) = delete;
  ~Receiver() {
    closesocket(socket);
    WSACleanup();
  }

  /** The next datagram, or nothing after the timeout. */
  std::vector<uint8_t> receive() const {
    std::array<char, 64> buffer{};
    const int length = ::recv(socket, buffer.data(), static_cast<int>(buffer.size()), 0);
    return length > 0 ? std::vector<uint8_t>(buffer.begin(), buffer.begin() + length)
                      : std::vector<uint8_t>{};
  }

  int port = 0;

 private:
  SOCKET socket = INVALID_SOCKET;
};

class WinsockUdpClientTest : public ::testing::Test {
 protected:
  LogFunctionLogger logger{[this](unsigned int level, const char* file, unsigned int /*line*/,
                                  const char* message) {
    logged.push_back({level, file, message});
  }};
  std::vector<Logged> logged;
};

TEST_F(WinsockUdpClientTest, SendsEachDatagramWholeAndAgainAfterARestart) {
  Receiver robot;
  WinsockUdpClient client(logger);
  ASSERT_EQ(client.start(), 0);
  const std::array<uint8_t, 6> datagram{0x12, 0x34, 0x01, 0x06, 0x10, 0x00};
  EXPECT_EQ(client.send(datagram, "127.0.0.1", robot.port), 6);
  EXPECT_EQ(robot.receive(), std::vector<uint8_t>(datagram.begin(), datagram.end()));

  client.shutdown();
  ASSERT_EQ(client.start(), 0);
  const std::array<uint8_t, 1> zero{0x00};  // every byte value goes through, 0 included
  EXPECT_EQ(client.send(zero, "127.0.0.1", robot.port), 1);
  EXPECT_EQ(robot.receive(), std::vector<uint8_t>{0x00});
  EXPECT_TRUE(logged.empty());
}

TEST_F(WinsockUdpClientTest, EachSendWithNoSocketOrNoNumericAddressLogsOneErrorAndSendsNothing) {
  Receiver robot;
  WinsockUdpClient client(logger);
  const std::array<uint8_t, 6> datagram{};
  EXPECT_EQ(client.send(datagram, "127.0.0.1", robot.port), -1);  // never started
  client.start();
  client.shutdown();
  EXPECT_EQ(client.send(datagram, "127.0.0.1", robot.port), -1);  // shut down
  ASSERT_EQ(client.start(), 0);
  EXPECT_EQ(client.send(datagram, "localhost", robot.port), -1);  // numeric IPv4 only

  ASSERT_EQ(logged.size(), 3U);
  for (const Logged& entry : logged) {
    EXPECT_EQ(entry.level, LogFunctionLogger::kErrorLevel);
    EXPECT_EQ(entry.file, "WinsockUdpClient.cpp");
    EXPECT_NE(entry.message.find("send()"), std::string::npos) << entry.message;
  }
}

TEST_F(WinsockUdpClientTest, TheLoggerPassesOnlyMessagesAtOrAboveItsMinimumLevel) {
  logger.log(19, "f.cpp", 1, "below");
  logger.log(20, "f.cpp", 2, "at");
  logger.minLevel = 50;
  logger.log(40, "f.cpp", 3, "below again");
  ASSERT_EQ(logged.size(), 1U);
  EXPECT_EQ(logged.front().message, "at");
}

}  // namespace

// The serial transport against real pseudo-terminals.
#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>
#include <numeric>
#include <thread>
#include <vector>

#include "PseudoTerminal.h"
#include "core/SerialTransport.h"

namespace {

using namespace std::chrono_literals;
using namespace halvern::serial;  // NOLINT(google-build-using-namespace)
using halvern::sim::PseudoTerminal;
using Clock = std::chrono::steady_clock;

std::string bytesAsText(const std::vector<uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

// Opens the port while capturing what the transport prints on standard error.
std::pair<SerialPort, std::string> openCapturing(const std::string& path) {
  testing::internal::CaptureStderr();
  SerialPort port(OpenSerialPort(path, kSensorBaudRate, "Iridel"));
  return {std::move(port), testing::internal::GetCapturedStderr()};
}

TEST(SerialTransport, LineTermination) {
  EXPECT_EQ(terminatedLine(""), "\r\n");
  EXPECT_EQ(terminatedLine("GETCONFIG"), "GETCONFIG\r\n");
  EXPECT_EQ(terminatedLine("SAMPLETIME,50\n"), "SAMPLETIME,50\n");
  EXPECT_EQ(terminatedLine("X\r"), "X\r\r\n");
}

TEST(SerialTransport, InvalidHandleAndEmptyBuffersTouchNothing) {
  std::array<uint8_t, 4> buffer{};
  EXPECT_FALSE(WriteSerialBytes(kInvalidSerialHandle, buffer.data(), 4));
  EXPECT_FALSE(WriteSerialLine(kInvalidSerialHandle, "GETCONFIG"));
  EXPECT_EQ(ReadSerialBytes(kInvalidSerialHandle, buffer.data(), 4), 0);
  EXPECT_EQ(SerialBytesWaiting(kInvalidSerialHandle), 0);
  PurgeSerialInput(kInvalidSerialHandle);
  CloseSerialPort(kInvalidSerialHandle);

  PseudoTerminal device;
  SerialPort port(OpenSerialPort(device.devicePath(), kSensorBaudRate, "Iridel"));
  ASSERT_TRUE(port.isOpen());
  EXPECT_FALSE(WriteSerialBytes(port.handle(), buffer.data(), 0));
  EXPECT_FALSE(WriteSerialBytes(port.handle(), nullptr, 4));
  EXPECT_EQ(ReadSerialBytes(port.handle(), nullptr, 4), 0);
  EXPECT_EQ(ReadSerialBytes(port.handle(), buffer.data(), 0), 0);
  EXPECT_TRUE(device.receive(50ms).empty());
}

TEST(SerialTransport, WritesReachTheDevice) {
  PseudoTerminal device;
  SerialPort port(OpenSerialPort(device.devicePath(), kSensorBaudRate, "Iridel"));
  ASSERT_TRUE(port.isOpen());
  EXPECT_TRUE(WriteSerialLine(port.handle(), "GETCONFIG"));
  EXPECT_EQ(device.receiveText(1s), "GETCONFIG\r\n");
  EXPECT_TRUE(WriteSerialLine(port.handle(), ""));
  EXPECT_EQ(device.receiveText(1s), "\r\n");

  // Far more than the pseudo-terminal buffers at once: written whole, every byte value intact.
  std::vector<uint8_t> large(64 * 1024);
  for (std::size_t i = 0; i < large.size(); ++i) {
    large[i] = static_cast<uint8_t>(i * 7);
  }
  std::vector<uint8_t> received;
  std::thread reader([&] {
    while (received.size() < large.size()) {
      auto chunk = device.receive(3s);
      if (chunk.empty()) {
        break;
      }
      received.insert(received.end(), chunk.begin(), chunk.end());
    }
  });
  EXPECT_TRUE(WriteSerialBytes(port.handle(), large.data(), static_cast<int>(large.size())));
  reader.join();
  EXPECT_EQ(received, large);
}

TEST(SerialTransport, ReadsWhatIsWaitingAndIdlesBriefly) {
  PseudoTerminal device;
  SerialPort port(OpenSerialPort(device.devicePath(), kSensorBaudRate, "Iridel"));
  ASSERT_TRUE(port.isOpen());
  std::array<uint8_t, 256> buffer{};

  const auto start = Clock::now();
  EXPECT_EQ(ReadSerialBytes(port.handle(), buffer.data(), 256), 0);
  EXPECT_LT(Clock::now() - start, 100ms);  // about 1 ms; generous for shared machines

  ASSERT_TRUE(device.send("XYZ:1,2,3\n"));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(SerialBytesWaiting(port.handle()), 10);
  EXPECT_EQ(ReadSerialBytes(port.handle(), buffer.data(), 4), 4);
  EXPECT_EQ(bytesAsText({buffer.begin(), buffer.begin() + 4}), "XYZ:");
  EXPECT_EQ(SerialBytesWaiting(port.handle()), 6);
  EXPECT_EQ(ReadSerialBytes(port.handle(), buffer.data(), 256), 6);
  EXPECT_EQ(bytesAsText({buffer.begin(), buffer.begin() + 6}), "1,2,3\n");
}

TEST(SerialTransport, PurgeDropsWhatWasReceived) {
  PseudoTerminal device;
  ASSERT_TRUE(device.send("stale bytes before the port was opened"));
  SerialPort port(OpenSerialPort(device.devicePath(), kSensorBaudRate, "Iridel"));
  ASSERT_TRUE(port.isOpen());
  std::array<uint8_t, 256> buffer{};
  EXPECT_EQ(SerialBytesWaiting(port.handle()), 0);  // opening purges

  ASSERT_TRUE(device.send("reply to a start-up command"));
  std::this_thread::sleep_for(20ms);
  PurgeSerialInput(port.handle());
  EXPECT_EQ(ReadSerialBytes(port.handle(), buffer.data(), 256), 0);

  ASSERT_TRUE(device.send("fresh"));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(ReadSerialBytes(port.handle(), buffer.data(), 256), 5);
}

TEST(SerialTransport, PortsOpenExclusivelyAndFailuresSayWhy) {
  PseudoTerminal device;
  auto [first, firstMessage] = openCapturing(device.devicePath());
  ASSERT_TRUE(first.isOpen());
  EXPECT_EQ(firstMessage, "");

  auto [second, secondMessage] = openCapturing(device.devicePath());
  EXPECT_FALSE(second.isOpen());
  EXPECT_EQ(secondMessage, "[Iridel] Cannot open " + device.devicePath() + " (errno 11)\n");

  first.reset();  // closing releases the port
  auto [third, thirdMessage] = openCapturing(device.devicePath());
  EXPECT_TRUE(third.isOpen());

  auto [missing, missingMessage] = openCapturing("/dev/halvern-no-such-port");
  EXPECT_FALSE(missing.isOpen());
  EXPECT_EQ(missingMessage, "[Iridel] Cannot open /dev/halvern-no-such-port (errno 2)\n");

  auto [notSerial, notSerialMessage] = openCapturing("/dev/null");
  EXPECT_FALSE(notSerial.isOpen());
  EXPECT_EQ(notSerialMessage, "[Iridel] Cannot open /dev/null (errno 25)\n");
}

TEST(SerialTransport, OpeningCorrectsEveryLineSetting) {
  PseudoTerminal device;
  termios arrived{};
  ASSERT_EQ(tcgetattr(device.libraryEndFd(), &arrived), 0);
  cfsetispeed(&arrived, B9600);
  cfsetospeed(&arrived, B9600);
  arrived.c_cflag |= CSTOPB | CRTSCTS | PARENB;
  arrived.c_cflag = (arrived.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | CS7;
  arrived.c_iflag |= IXON | IXOFF | ICRNL;
  arrived.c_lflag |= ECHO | ICANON | ISIG;
  arrived.c_oflag |= OPOST | ONLCR;
  ASSERT_EQ(tcsetattr(device.libraryEndFd(), TCSANOW, &arrived), 0);

  SerialPort port(OpenSerialPort(device.devicePath(), kSensorBaudRate, "Dystal"));
  ASSERT_TRUE(port.isOpen());
  termios applied{};
  ASSERT_EQ(tcgetattr(static_cast<int>(port.handle()), &applied), 0);
  EXPECT_EQ(cfgetispeed(&applied), static_cast<speed_t>(B115200));
  EXPECT_EQ(cfgetospeed(&applied), static_cast<speed_t>(B115200));
  EXPECT_EQ(applied.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(applied.c_cflag & (CSTOPB | CRTSCTS | PARENB), 0U);
  EXPECT_EQ(applied.c_iflag & (IXON | IXOFF | ICRNL), 0U);
  EXPECT_EQ(applied.c_lflag & (ECHO | ICANON | ISIG), 0U);
  EXPECT_EQ(applied.c_oflag & OPOST, 0U);

  // Raw: a line feed and a carriage return pass through untranslated and unechoed.
  ASSERT_TRUE(device.send("a\rb\n"));
  std::this_thread::sleep_for(20ms);
  std::array<uint8_t, 16> buffer{};
  EXPECT_EQ(ReadSerialBytes(port.handle(), buffer.data(), 16), 4);
  EXPECT_EQ(bytesAsText({buffer.begin(), buffer.begin() + 4}), "a\rb\n");
  EXPECT_TRUE(device.receive(30ms).empty());
}

TEST(SerialTransport, AnUnpluggedPortDoesNotSpin) {
  PseudoTerminal device;
  SerialPort port(OpenSerialPort(device.devicePath(), kSensorBaudRate, "Iridel"));
  ASSERT_TRUE(port.isOpen());
  device.unplug();

  std::array<uint8_t, 256> buffer{};
  constexpr int kReads = 100;
  const auto start = Clock::now();
  for (int i = 0; i < kReads; ++i) {
    EXPECT_EQ(ReadSerialBytes(port.handle(), buffer.data(), 256), 0);
  }
  // Each read waits out about 1 ms as an idle read does, instead of returning at once.
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(kReads * 8 / 10));
  EXPECT_FALSE(WriteSerialLine(port.handle(), "GETCONFIG"));
}

}  // namespace

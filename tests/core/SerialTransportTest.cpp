// The serial transport against real pseudo-terminals.
#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>
#include <numeric>
#include <thread>
#include <vector>

#include "PseudoTerminal.h"
#include "SerialFarEnd.h"
#include "WaitFor.h"
#include "core/SerialTransport.h"

namespace {

using namespace std::chrono_literals;
using namespace halvern::serial;  // NOLINT(google-build-using-namespace)
using halvern::sim::PseudoTerminal;
using Clock = std::chrono::steady_clock;
using halvern::test::waitFor;
using halvern::test::waitForValue;

// Bounds a wait for something that takes milliseconds, on however busy a machine.
constexpr auto kLimit = 5s;

std::string bytesAsText(const std::vector<uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

int waitForBytesWaiting(SerialHandle h, int count) {
  return halvern::test::waitForBytesWaiting(h, count, kLimit);
}

std::string receivedUpTo(PseudoTerminal& device, const std::string& marker) {
  return halvern::test::receivedUpTo(device, marker, kLimit);
}

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
  halvern::test::expectTheInvalidHandleDoesNothing();

  std::array<uint8_t, 4> buffer{};
  PseudoTerminal device;
  SerialPort port(OpenSerialPort(device.devicePath(), kSensorBaudRate, "Iridel"));
  ASSERT_TRUE(port.isOpen());
  EXPECT_FALSE(WriteSerialBytes(port.handle(), buffer.data(), 0));
  EXPECT_FALSE(WriteSerialBytes(port.handle(), nullptr, 4));
  EXPECT_EQ(ReadSerialBytes(port.handle(), nullptr, 4), 0);
  EXPECT_EQ(ReadSerialBytes(port.handle(), buffer.data(), 0), 0);
  // Nothing went out: the first bytes the device gets are a marker written afterwards.
  EXPECT_EQ(halvern::test::receivedUpToMarker(device, port.handle(), kLimit), "M");
}

TEST(SerialTransport, WritesReachTheDevice) {
  PseudoTerminal device;
  SerialPort port(OpenSerialPort(device.devicePath(), kSensorBaudRate, "Iridel"));
  ASSERT_TRUE(port.isOpen());
  EXPECT_TRUE(WriteSerialLine(port.handle(), "GETCONFIG"));
  EXPECT_EQ(receivedUpTo(device, "\n"), "GETCONFIG\r\n");
  EXPECT_TRUE(WriteSerialLine(port.handle(), ""));
  EXPECT_EQ(receivedUpTo(device, "\n"), "\r\n");

  // Far more than the pseudo-terminal buffers at once: written whole, every byte value intact.
  const std::vector<uint8_t> large = halvern::test::everyByteValue(64 * 1024);
  std::vector<uint8_t> received;
  std::thread reader(
      [&] { received = halvern::test::receiveAtLeast(device, large.size(), kLimit); });
  EXPECT_TRUE(WriteSerialBytes(port.handle(), large.data(), static_cast<int>(large.size())));
  reader.join();
  EXPECT_EQ(received, large);
}

TEST(SerialTransport, ReadsWhatIsWaitingAndIdlesBriefly) {
  PseudoTerminal device;
  SerialPort port(OpenSerialPort(device.devicePath(), kSensorBaudRate, "Iridel"));
  ASSERT_TRUE(port.isOpen());
  std::array<uint8_t, 256> buffer{};

  // With nothing coming, a read returns (after about 1 ms) instead of waiting for a byte; the
  // limit only tells a return from a hang.
  const auto start = Clock::now();
  EXPECT_EQ(ReadSerialBytes(port.handle(), buffer.data(), 256), 0);
  EXPECT_LT(Clock::now() - start, kLimit);

  ASSERT_TRUE(device.send("XYZ:1,2,3\n"));
  EXPECT_EQ(waitForBytesWaiting(port.handle(), 10), 10);
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
  ASSERT_EQ(waitForBytesWaiting(port.handle(), 27), 27);
  PurgeSerialInput(port.handle());
  EXPECT_EQ(ReadSerialBytes(port.handle(), buffer.data(), 256), 0);

  ASSERT_TRUE(device.send("fresh"));
  ASSERT_EQ(waitForBytesWaiting(port.handle(), 5), 5);
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
  ASSERT_EQ(waitForBytesWaiting(port.handle(), 4), 4);
  std::array<uint8_t, 16> buffer{};
  EXPECT_EQ(ReadSerialBytes(port.handle(), buffer.data(), 16), 4);
  EXPECT_EQ(bytesAsText({buffer.begin(), buffer.begin() + 4}), "a\rb\n");
  // An echo would have gone out as the bytes arrived, ahead of a marker written now.
  EXPECT_EQ(halvern::test::receivedUpToMarker(device, port.handle(), kLimit), "M");
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

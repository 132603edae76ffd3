// The serial transport over the Windows serial API, against a COM port whose far end the test
// plays: under Wine, a pseudo-terminal that tests/support/pty_relay.py relays to the test.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "RelayedSerialDevice.h"
#include "SerialFarEnd.h"
#include "core/DevicePath.h"
#include "core/SerialTransport.h"
#include "halvern/Serial.h"

namespace {

using namespace std::chrono_literals;
using namespace halvern::serial;  // NOLINT(google-build-using-namespace)
using halvern::testing::RelayedSerialDevice;
using halvern::testing::SerialRelaySetup;
using Clock = std::chrono::steady_clock;

// Bounds a wait for something that takes milliseconds, on however busy a machine.
constexpr auto kLimit = 5s;

std::string bytesAsText(const uint8_t* bytes, int count) {
  return {bytes, bytes + std::max(count, 0)};
}

bool runningUnderWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The relay passes bytes on within milliseconds.
int waitForBytesWaiting(SerialHandle h, int count) {
  return halvern::test::waitForBytesWaiting(h, count, kLimit);
}

std::string receivedUpTo(RelayedSerialDevice& device, const std::string& marker) {
  return halvern::test::receivedUpTo(device, marker, kLimit);
}

bool writeMarker(SerialHandle h) {
  return WriteSerialBytes(h, reinterpret_cast<const uint8_t*>("M"), 1);
}

// A port opened with the plain Windows API, for setting up and inspecting what the library
// opens.
class RawPort {
 public:
  explicit RawPort(const std::string& path)
      : handle(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr)) {}
  RawPort(const RawPort&) = delete;
  RawPort& operator=(const RawPort&) = delete;
  ~RawPort() {
    if (isOpen()) {
      CloseHandle(handle);
    }
  }
  [[nodiscard]] bool isOpen() const { return handle != INVALID_HANDLE_VALUE; }
  [[nodiscard]] HANDLE get() const { return handle; }

 private:
  HANDLE handle;
};

DCB commStateOf(HANDLE port) {
  DCB state{};
  state.DCBlength = sizeof(DCB);
  EXPECT_NE(GetCommState(port, &state), FALSE) << GetLastError();
  return state;
}

// Each test plugs a fresh simulated device in behind the COM port the run script mapped.
class SerialTransportWindows : public testing::Test {
 protected:
  void SetUp() override {
    const auto found = halvern::testing::serialRelayFromEnvironment();
    if (!found) {
      GTEST_SKIP() << "No COM port mapped to a pseudo-terminal: run scripts/run-windows-tests.sh";
    }
    setup = *found;
    device = std::make_unique<RelayedSerialDevice>(setup.relayPort);
    ASSERT_TRUE(device->pluggedIn()) << device->error();
  }

  SerialPort openPort(const char* tag = "Iridel") const {
    return SerialPort(OpenSerialPort(setup.devicePath, kSensorBaudRate, tag));
  }

  SerialRelaySetup setup;
  std::unique_ptr<RelayedSerialDevice> device;
};

TEST_F(SerialTransportWindows, InvalidHandleAndEmptyBuffersTouchNothing) {
  halvern::test::expectTheInvalidHandleDoesNothing();

  std::array<uint8_t, 4> buffer{};
  const SerialPort port = openPort();
  ASSERT_TRUE(port.isOpen());
  EXPECT_FALSE(WriteSerialBytes(port.handle(), buffer.data(), 0));
  EXPECT_FALSE(WriteSerialBytes(port.handle(), buffer.data(), -1));
  EXPECT_FALSE(WriteSerialBytes(port.handle(), nullptr, 4));
  EXPECT_EQ(ReadSerialBytes(port.handle(), nullptr, 4), 0);
  EXPECT_EQ(ReadSerialBytes(port.handle(), buffer.data(), 0), 0);
  // Nothing went out: the first bytes the device gets are a marker written afterwards.
  ASSERT_TRUE(writeMarker(port.handle()));
  EXPECT_EQ(receivedUpTo(*device, "M"), "M");
}

TEST_F(SerialTransportWindows, OpeningCorrectsEveryLineSetting) {
  {
    // Leave the port as another program might: slow, 7E2, every kind of flow control.
    const RawPort other(setup.devicePath);
    ASSERT_TRUE(other.isOpen()) << GetLastError();
    DCB skewed = commStateOf(other.get());
    skewed.BaudRate = CBR_9600;
    skewed.ByteSize = 7;
    skewed.Parity = EVENPARITY;
    skewed.fParity = TRUE;
    skewed.StopBits = TWOSTOPBITS;
    skewed.fOutxCtsFlow = TRUE;
    skewed.fRtsControl = RTS_CONTROL_HANDSHAKE;
    skewed.fOutX = TRUE;
    skewed.fInX = TRUE;
    skewed.fDtrControl = DTR_CONTROL_DISABLE;
    ASSERT_NE(SetCommState(other.get(), &skewed), FALSE) << GetLastError();
  }

  // Under Wine the port is a pseudo-terminal, which keeps 8 data bits without parity whatever
  // is set, and DTR and RTS read back as enabled: there those checks hold whatever the library
  // does, and the rate, stop bits and flow control carry the test.
  const SerialPort port = openPort("Dystal");
  ASSERT_TRUE(port.isOpen());
  const HANDLE handle =
      reinterpret_cast<HANDLE>(port.handle());  // NOLINT(performance-no-int-to-ptr)
  const DCB applied = commStateOf(handle);
  EXPECT_EQ(applied.BaudRate, 115200U);
  EXPECT_EQ(applied.ByteSize, 8);
  EXPECT_EQ(applied.Parity, NOPARITY);
  EXPECT_EQ(applied.StopBits, ONESTOPBIT);
  EXPECT_EQ(applied.fBinary, 1U);
  EXPECT_EQ(applied.fParity, 0U);
  EXPECT_EQ(applied.fOutxCtsFlow, 0U);
  EXPECT_EQ(applied.fOutxDsrFlow, 0U);
  EXPECT_EQ(applied.fOutX, 0U);
  EXPECT_EQ(applied.fInX, 0U);
  EXPECT_EQ(applied.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
  EXPECT_EQ(applied.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));

  COMMTIMEOUTS timeouts{};
  ASSERT_NE(GetCommTimeouts(handle, &timeouts), FALSE);
  EXPECT_EQ(timeouts.ReadIntervalTimeout, MAXDWORD);
  EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, MAXDWORD);
  EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 1U);
  EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, 0U);
  EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 2000U);

  // Raw: a line feed and a carriage return pass through untranslated, and nothing is echoed.
  ASSERT_TRUE(device->send("a\rb\n"));
  ASSERT_EQ(waitForBytesWaiting(port.handle(), 4), 4);
  std::array<uint8_t, 16> buffer{};
  const int count = ReadSerialBytes(port.handle(), buffer.data(), 16);
  EXPECT_EQ(bytesAsText(buffer.data(), count), "a\rb\n");
  // An echo would have gone out as the bytes arrived, ahead of a marker written now.
  ASSERT_TRUE(writeMarker(port.handle()));
  EXPECT_EQ(receivedUpTo(*device, "M"), "M");
}

TEST_F(SerialTransportWindows, WritesReachTheDevice) {
  const SerialPort port = openPort();
  ASSERT_TRUE(port.isOpen());
  EXPECT_TRUE(WriteSerialLine(port.handle(), "GETCONFIG"));
  EXPECT_EQ(receivedUpTo(*device, "\n"), "GETCONFIG\r\n");
  EXPECT_TRUE(WriteSerialLine(port.handle(), "SAMPLETIME,50\n"));
  EXPECT_EQ(receivedUpTo(*device, "\n"), "SAMPLETIME,50\n");

  // Far more than a pseudo-terminal buffers at once, written in one call, every byte value
  // intact.
  const std::vector<uint8_t> large = halvern::test::everyByteValue(64 * 1024);
  std::vector<uint8_t> received;
  std::thread reader(
      [&] { received = halvern::test::receiveAtLeast(*device, large.size(), kLimit); });
  EXPECT_TRUE(WriteSerialBytes(port.handle(), large.data(), static_cast<int>(large.size())));
  reader.join();
  EXPECT_EQ(received, large);
}

TEST_F(SerialTransportWindows, ReadsWhatIsWaitingAndIdlesBriefly) {
  const SerialPort port = openPort();
  ASSERT_TRUE(port.isOpen());
  std::array<uint8_t, 256> buffer{};

  // An idle read returns (after about 1 ms) instead of waiting for a byte; the limit only tells
  // a return from a hang.
  for (int i = 0; i < 5; ++i) {
    const auto start = Clock::now();
    EXPECT_EQ(ReadSerialBytes(port.handle(), buffer.data(), 256), 0);
    EXPECT_LT(Clock::now() - start, kLimit);
  }

  // Exactly what was sent, no more: a marker sent after the line comes right behind it.
  ASSERT_TRUE(device->send("XYZ:1,2,3\n"));
  ASSERT_TRUE(device->send("#"));
  ASSERT_EQ(waitForBytesWaiting(port.handle(), 11), 11);
  EXPECT_EQ(ReadSerialBytes(port.handle(), buffer.data(), 4), 4);
  EXPECT_EQ(bytesAsText(buffer.data(), 4), "XYZ:");
  EXPECT_EQ(SerialBytesWaiting(port.handle()), 7);
  const int rest = ReadSerialBytes(port.handle(), buffer.data(), 256);
  EXPECT_EQ(bytesAsText(buffer.data(), rest), "1,2,3\n#");
  EXPECT_EQ(SerialBytesWaiting(port.handle()), 0);
}

TEST_F(SerialTransportWindows, OpeningAndPurgingDropWhatWasReceived) {
  {
    // Bytes that arrive while no one holds the port wait in its input buffer.
    const RawPort other(setup.devicePath);
    ASSERT_TRUE(other.isOpen()) << GetLastError();
    ASSERT_TRUE(device->send("stale bytes before the port was opened"));
    ASSERT_EQ(waitForBytesWaiting(reinterpret_cast<SerialHandle>(other.get()), 38), 38);
  }
  const SerialPort port = openPort();
  ASSERT_TRUE(port.isOpen());
  std::array<uint8_t, 256> buffer{};
  EXPECT_EQ(SerialBytesWaiting(port.handle()), 0);
  EXPECT_EQ(ReadSerialBytes(port.handle(), buffer.data(), 256), 0);

  ASSERT_TRUE(device->send("reply to a start-up command"));
  ASSERT_EQ(waitForBytesWaiting(port.handle(), 27), 27);
  PurgeSerialInput(port.handle());
  EXPECT_EQ(SerialBytesWaiting(port.handle()), 0);
  EXPECT_EQ(ReadSerialBytes(port.handle(), buffer.data(), 256), 0);

  ASSERT_TRUE(device->send("fresh"));
  ASSERT_EQ(waitForBytesWaiting(port.handle(), 5), 5);
  const int count = ReadSerialBytes(port.handle(), buffer.data(), 256);
  EXPECT_EQ(bytesAsText(buffer.data(), count), "fresh");
}

// Opens the port while capturing what the transport prints on standard error.
std::pair<SerialPort, std::string> openCapturing(const std::string& path) {
  testing::internal::CaptureStderr();
  SerialPort port(OpenSerialPort(path, kSensorBaudRate, "Iridel"));
  return {std::move(port), testing::internal::GetCapturedStderr()};
}

TEST_F(SerialTransportWindows, FailuresToOpenSayWhy) {
  auto [missing, missingMessage] = openCapturing(R"(\\.\COM99)");
  EXPECT_FALSE(missing.isOpen());
  EXPECT_EQ(missingMessage, "[Iridel] Cannot open \\\\.\\COM99 (Win32 error 2)\n");

  // A port whose device was pulled out. Windows drops the port with its device; Wine keeps the
  // port, which then opens but rejects the line settings, and that failure prints nothing.
  device->unplug();
  auto [unplugged, unpluggedMessage] = openCapturing(setup.devicePath);
  EXPECT_FALSE(unplugged.isOpen());
  if (runningUnderWine()) {
    EXPECT_EQ(unpluggedMessage, "");
  } else {
    EXPECT_EQ(unpluggedMessage, "[Iridel] Cannot open " + setup.devicePath + " (Win32 error 2)\n");
  }
}

TEST_F(SerialTransportWindows, PortsOpenExclusively) {
  if (runningUnderWine()) {
    GTEST_SKIP() << "Wine opens a COM port any number of times";
  }
  auto [first, firstMessage] = openCapturing(setup.devicePath);
  ASSERT_TRUE(first.isOpen());
  EXPECT_EQ(firstMessage, "");
  auto [second, secondMessage] = openCapturing(setup.devicePath);
  EXPECT_FALSE(second.isOpen());
  EXPECT_EQ(secondMessage, "[Iridel] Cannot open " + setup.devicePath + " (Win32 error 5)\n");
  first.reset();  // closing releases the port
  auto [third, thirdMessage] = openCapturing(setup.devicePath);
  EXPECT_TRUE(third.isOpen());
}

// Each of `reads` reads returns nothing; how long they took together.
Clock::duration timeEmptyReads(SerialHandle h, int reads) {
  std::array<uint8_t, 256> buffer{};
  const auto start = Clock::now();
  for (int i = 0; i < reads; ++i) {
    EXPECT_EQ(ReadSerialBytes(h, buffer.data(), 256), 0);
  }
  return Clock::now() - start;
}

// Windows fails the reads of a port whose device is gone at once; a read that fails waits out
// the read time-out instead, so a receive loop does not spin. A handle that cannot be read
// fails the same way on every host.
TEST(SerialTransportFailingReads, WaitOutTheReadTimeOut) {
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  ASSERT_NE(CreatePipe(&readEnd, &writeEnd, nullptr, 0), FALSE);
  const SerialPort writeOnly(reinterpret_cast<SerialHandle>(writeEnd));
  const SerialPort readEndHolder(reinterpret_cast<SerialHandle>(readEnd));
  constexpr int kReads = 100;
  EXPECT_GE(timeEmptyReads(writeOnly.handle(), kReads), std::chrono::milliseconds(kReads * 8 / 10));
}

TEST_F(SerialTransportWindows, AnUnpluggedPortDoesNotSpin) {
  const SerialPort port = openPort();
  ASSERT_TRUE(port.isOpen());
  device->unplug();

  // Each read waits out about 1 ms as an idle read does, instead of returning at once.
  constexpr int kReads = 100;
  EXPECT_GE(timeEmptyReads(port.handle(), kReads), std::chrono::milliseconds(kReads * 8 / 10));
  EXPECT_FALSE(WriteSerialLine(port.handle(), "GETCONFIG"));
  EXPECT_EQ(SerialBytesWaiting(port.handle()), 0);
}

// Values added to the registry's serial device map for the length of a test.
class DeviceMapValues {
 public:
  DeviceMapValues() {
    opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0,
                           KEY_QUERY_VALUE | KEY_SET_VALUE, &key) == ERROR_SUCCESS;
  }
  DeviceMapValues(const DeviceMapValues&) = delete;
  DeviceMapValues& operator=(const DeviceMapValues&) = delete;
  ~DeviceMapValues() {
    if (opened) {
      for (const auto& name : added) {
        RegDeleteValueA(key, name.c_str());
      }
      RegCloseKey(key);
    }
  }

  [[nodiscard]] bool writable() const { return opened; }

  bool add(const std::string& name, DWORD type, std::string_view data) {
    const bool stored =
        RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                       static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
    if (stored) {
      added.push_back(name);
    }
    return stored;
  }

 private:
  HKEY key = nullptr;
  bool opened = false;
  std::vector<std::string> added;
};

std::vector<std::string> sorted(std::vector<std::string> paths) {
  std::sort(paths.begin(), paths.end());
  return paths;
}

TEST(SerialDeviceMap, ListsTheMappedPortAndEveryTextValue) {
  const auto setup = halvern::testing::serialRelayFromEnvironment();
  if (!setup) {
    GTEST_SKIP() << "No COM port mapped to a pseudo-terminal: run scripts/run-windows-tests.sh";
  }
  const std::vector<std::string> before = listHostSerialPorts();
  EXPECT_NE(std::find(before.begin(), before.end(), setup->devicePath), before.end());
  for (const auto& path : before) {
    EXPECT_TRUE(path.starts_with(R"(\\.\COM)")) << path;
  }

  DeviceMapValues values;
  if (!values.writable()) {
    GTEST_SKIP() << "The serial device map is not writable here";
  }
  // Names and data of very different lengths, in both orders, and values that are not text.
  // The map's data is NUL-terminated text.
  ASSERT_TRUE(values.add(R"(\Device\HalvernTest0)", REG_SZ, std::string("COM10\0", 6)));
  ASSERT_TRUE(values.add("H", REG_DWORD, std::string("\x05\0\0\0", 4)));
  ASSERT_TRUE(values.add(R"(\Device\HalvernTest)" + std::string(100, 'x'), REG_SZ,
                         std::string("COM2345678901234567890\0", 23)));
  ASSERT_TRUE(values.add("I", REG_SZ, std::string("COM8\0", 5)));
  ASSERT_TRUE(values.add(R"(\Device\HalvernTest1)", REG_BINARY, "COM12"));

  std::vector<std::string> expected = before;
  expected.insert(expected.end(), {R"(\\.\COM10)", R"(\\.\COM2345678901234567890)", R"(\\.\COM8)"});
  EXPECT_EQ(sorted(listHostSerialPorts()), sorted(expected));
  // With two ports and more listed, neither pick is a fall-back.
  EXPECT_NE(std::find(expected.begin(), expected.end(), FindDevicePath(0)), expected.end());
  EXPECT_NE(std::find(expected.begin(), expected.end(), FindDevicePath(3)), expected.end());
}

}  // namespace

// The serial transport over the Windows serial API.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <array>
#include <atomic>
#include <iostream>
#include <thread>

#include "core/DevicePath.h"
#include "core/SerialReadWaiter.h"
#include "core/SerialTransport.h"

namespace halvern::serial {
namespace {

// A read returns after this long when nothing is waiting.
constexpr DWORD kReadFirstByteTimeoutMs = 1;
// A write gives up after this long in all.
constexpr DWORD kWriteTimeoutMs = 2000;
// The buffers of one registry value's name and data.
constexpr DWORD kRegistryBufferSize = 256;

HANDLE handleOf(SerialHandle h) {
  return reinterpret_cast<HANDLE>(h);  // NOLINT(performance-no-int-to-ptr)
}

SerialHandle serialHandleOf(HANDLE h) { return reinterpret_cast<SerialHandle>(h); }

// An open registry key, closed when it goes out of scope.
class RegistryKey {
 public:
  RegistryKey(HKEY parent, const char* subKey) {
    if (RegOpenKeyExA(parent, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
      key = nullptr;
    }
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  ~RegistryKey() {
    if (key != nullptr) {
      RegCloseKey(key);
    }
  }

  [[nodiscard]] bool isOpen() const { return key != nullptr; }
  [[nodiscard]] HKEY get() const { return key; }

 private:
  HKEY key = nullptr;
};

// Every value of the key in listing order, up to the first the registry cannot report.
std::vector<DeviceMapValue> readDeviceMap(const RegistryKey& deviceMap) {
  std::vector<DeviceMapValue> values;
  std::array<char, kRegistryBufferSize> name{};
  std::array<BYTE, kRegistryBufferSize> data{};
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = kRegistryBufferSize;
    DWORD dataLength = kRegistryBufferSize;
    DWORD type = 0;
    if (RegEnumValueA(deviceMap.get(), index, name.data(), &nameLength, nullptr, &type, data.data(),
                      &dataLength) != ERROR_SUCCESS) {
      break;
    }
    values.push_back({type, std::string(data.begin(), data.begin() + dataLength)});
  }
  return values;
}

}  // namespace

SerialHandle OpenSerialPort(const std::string& path, int baudRate, const char* tag) {
  // No sharing: a port another program (or another device object) holds fails to open.
  HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            0, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    std::cerr << "[" << (tag != nullptr ? tag : "") << "] Cannot open " << path << " (Win32 error "
              << static_cast<unsigned long>(error) << ")\n";
    return kInvalidSerialHandle;
  }

  // Raw 8N1 without flow control; the fields set here are the ones a sensor depends on, the
  // rest stay as the driver reports them.
  DCB settings{};
  settings.DCBlength = sizeof(DCB);
  if (GetCommState(port, &settings) == FALSE) {
    CloseHandle(port);
    return kInvalidSerialHandle;
  }
  settings.BaudRate = static_cast<DWORD>(baudRate);
  settings.ByteSize = 8;
  settings.Parity = NOPARITY;
  settings.StopBits = ONESTOPBIT;
  settings.fBinary = TRUE;
  settings.fParity = FALSE;
  settings.fOutxCtsFlow = FALSE;
  settings.fOutxDsrFlow = FALSE;
  settings.fDtrControl = DTR_CONTROL_ENABLE;
  settings.fRtsControl = RTS_CONTROL_ENABLE;
  settings.fOutX = FALSE;
  settings.fInX = FALSE;
  if (SetCommState(port, &settings) == FALSE) {
    CloseHandle(port);
    return kInvalidSerialHandle;
  }

  // A read returns at once with what is waiting, or after about 1 ms when nothing is.
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
  timeouts.ReadTotalTimeoutConstant = kReadFirstByteTimeoutMs;
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
  SetCommTimeouts(port, &timeouts);
  PurgeComm(port, PURGE_TXCLEAR | PURGE_RXCLEAR);
  return serialHandleOf(port);
}

void CloseSerialPort(SerialHandle h) {
  if (h != kInvalidSerialHandle) {
    CloseHandle(handleOf(h));
  }
}

bool WriteSerialBytes(SerialHandle h, const uint8_t* data, int length) {
  if (h == kInvalidSerialHandle || data == nullptr || length <= 0) {
    return false;
  }
  DWORD written = 0;
  if (WriteFile(handleOf(h), data, static_cast<DWORD>(length), &written, nullptr) == FALSE ||
      written != static_cast<DWORD>(length)) {
    return false;
  }
  FlushFileBuffers(handleOf(h));
  return true;
}

int ReadSerialBytes(SerialHandle h, uint8_t* buffer, int capacity) {
  if (h == kInvalidSerialHandle || buffer == nullptr || capacity <= 0) {
    return 0;
  }
  DWORD count = 0;
  if (ReadFile(handleOf(h), buffer, static_cast<DWORD>(capacity), &count, nullptr) == FALSE) {
    // The device went away: a failing read returns at once, so wait out the read time-out to
    // keep a caller's receive loop from spinning.
    Sleep(kReadFirstByteTimeoutMs);
    return 0;
  }
  return static_cast<int>(count);
}

void PurgeSerialInput(SerialHandle h) {
  if (h != kInvalidSerialHandle) {
    PurgeComm(handleOf(h), PURGE_RXCLEAR);
  }
}

int SerialBytesWaiting(SerialHandle h) {
  if (h == kInvalidSerialHandle) {
    return 0;
  }
  DWORD errors = 0;
  COMSTAT status{};  // stays zero when the call fails
  ClearCommError(handleOf(h), &errors, &status);
  return static_cast<int>(status.cbInQue);
}

// The event that wakes a reader pausing in waitForWake (manual-reset, so it stays set once
// woken), and the same news as a flag, which the reader's every look checks without a call.
struct SerialReadWaiter::WakeUp {
  explicit WakeUp(HANDLE createdEvent) : event(createdEvent) {}
  WakeUp(const WakeUp&) = delete;
  WakeUp& operator=(const WakeUp&) = delete;
  ~WakeUp() { CloseHandle(event); }

  const HANDLE event;
  std::atomic<bool> woken{false};
};

SerialReadWaiter::SerialReadWaiter() {
  const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (event != nullptr) {
    wakeUp = std::make_unique<WakeUp>(event);
  }
}

SerialReadWaiter::~SerialReadWaiter() = default;

// The port is opened for blocking I/O, which cannot be waited on beside an event: on Windows a
// blocking WaitCommEvent would hold up every write on the port until a byte arrives, and under
// Wine it returns within a few milliseconds reporting no event. The reader's timed read does
// the waiting instead; it returns as soon as a first byte arrives.
ReadReadiness SerialReadWaiter::waitForBytes(SerialHandle h, std::chrono::milliseconds /*limit*/) {
  // Never waits here (see below), so no limit can pass.
  return waitForBytes(h);
}

ReadReadiness SerialReadWaiter::waitForBytes(SerialHandle h) {
  if (h == kInvalidSerialHandle) {
    return ReadReadiness::PortGone;
  }
  if (wakeUp && wakeUp->woken.load()) {
    return ReadReadiness::Woken;
  }
  return ReadReadiness::ReadToFind;
}

bool SerialReadWaiter::waitForWake(std::chrono::milliseconds timeout) {
  if (!wakeUp) {
    std::this_thread::sleep_for(timeout);
    return false;
  }
  return WaitForSingleObject(wakeUp->event, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
}

void SerialReadWaiter::wake() {
  if (wakeUp) {
    wakeUp->woken.store(true);
    SetEvent(wakeUp->event);
  }
}

unsigned long LastSerialError() { return static_cast<unsigned long>(GetLastError()); }

std::vector<std::string> listHostSerialPorts() {
  const RegistryKey deviceMap(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM");
  if (!deviceMap.isOpen()) {
    return {};
  }
  return pathsFromDeviceMap(readDeviceMap(deviceMap), kWindowsPathRules.prefix);
}

}  // namespace halvern::serial

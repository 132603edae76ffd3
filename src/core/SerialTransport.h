// The USB serial transport shared by the USB devices: finding, opening, configuring, writing,
// reading and purging a serial port. Stateless free functions over a handle that the device
// object owns; none of them throws, and every one accepts the invalid handle and then does
// nothing.
//
// Two backends implement it: the Windows serial API, and termios on POSIX hosts.
#pragma once

#include <cstdint>
#include <string>

namespace halvern::serial {

/** The platform's handle of an open port: a HANDLE on Windows, a file descriptor elsewhere. */
using SerialHandle = std::intptr_t;
/** "Not open": INVALID_HANDLE_VALUE on Windows (all bits set), -1 elsewhere. */
inline constexpr SerialHandle kInvalidSerialHandle = -1;

/** The baud rate of the colour and distance sensors. */
inline constexpr int kSensorBaudRate = 115200;

/**
 * Opens the port exclusively, sets raw 8N1 without flow control at `baudRate`, raises DTR and
 * RTS, sets the read and write time-outs and purges both buffers. On failure to open it prints
 * "[<tag>] Cannot open <path> (<reason>)" on standard error; on settings the driver rejects it
 * prints nothing. Returns kInvalidSerialHandle on any failure.
 */
SerialHandle OpenSerialPort(const std::string& path, int baudRate, const char* tag);

void CloseSerialPort(SerialHandle h);

/** Writes all `length` bytes (giving up after 2 s in all) and flushes. False on a short write. */
bool WriteSerialBytes(SerialHandle h, const uint8_t* data, int length);

/** Writes a text command, appending "\r\n" unless the line already ends in a line feed. */
bool WriteSerialLine(SerialHandle h, const std::string& line);

/**
 * Returns at once with the bytes waiting (up to `capacity`); when none are waiting, waits at
 * most about 1 ms for the first. Returns 0 on failure, including a port that went away.
 */
int ReadSerialBytes(SerialHandle h, uint8_t* buffer, int capacity);

/** Discards everything received and not yet read. */
void PurgeSerialInput(SerialHandle h);

/** The number of bytes received and not yet read; 0 for the invalid handle or on failure. */
int SerialBytesWaiting(SerialHandle h);

/** The platform's code for why the calling thread's last port operation failed. */
unsigned long LastSerialError();

/** The line a write sends for a text command (the termination rule of WriteSerialLine). */
std::string terminatedLine(const std::string& line);

/** Owns an open port and closes it when destroyed. */
class SerialPort {
 public:
  SerialPort() = default;
  explicit SerialPort(SerialHandle handle) : handle_(handle) {}
  SerialPort(SerialPort&& other) noexcept : handle_(other.release()) {}
  SerialPort& operator=(SerialPort&& other) noexcept {
    if (this != &other) {
      reset(other.release());
    }
    return *this;
  }
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;
  ~SerialPort() { reset(); }

  [[nodiscard]] SerialHandle handle() const { return handle_; }
  [[nodiscard]] bool isOpen() const { return handle_ != kInvalidSerialHandle; }

  void reset(SerialHandle handle = kInvalidSerialHandle) {
    if (handle_ != kInvalidSerialHandle) {
      CloseSerialPort(handle_);
    }
    handle_ = handle;
  }
  SerialHandle release() {
    const SerialHandle handle = handle_;
    handle_ = kInvalidSerialHandle;
    return handle;
  }

 private:
  SerialHandle handle_ = kInvalidSerialHandle;
};

}  // namespace halvern::serial

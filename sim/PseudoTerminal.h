// A pseudo-terminal pair standing in for a USB serial device: the library opens the device
// path, and the simulated device talks on the other side.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace halvern::sim {

class PseudoTerminal {
 public:
  /**
   * Like a USB device whose host stops polling it, a simulated device holds its output back
   * while this much sits unread on the library's side. The terminal itself holds more (about
   * 20 KB on Linux) before a write blocks, and never drops a byte; holding back keeps a device
   * thread from blocking for good when the library stops reading.
   */
  static constexpr std::size_t kLibraryQueueLimit = 2048;

  /** Opens a new pair whose device side starts raw, so no early byte is echoed or dropped. */
  PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;
  ~PseudoTerminal();

  /** The path the library opens, e.g. /dev/pts/7. */
  [[nodiscard]] const std::string& devicePath() const { return devicePath_; }

  /** Sends bytes to the library. False once unplugged or on a failed write. */
  bool send(std::span<const uint8_t> bytes);
  bool send(std::string_view text);

  /**
   * Bytes the library wrote: waits up to `timeout` for the first, then takes what follows
   * within a short quiet gap, up to `maxBytes`.
   */
  std::vector<uint8_t> receive(std::chrono::milliseconds timeout, std::size_t maxBytes = 65536);
  std::string receiveText(std::chrono::milliseconds timeout);
  /** What the library wrote and is waiting now, after waiting up to `wait` for a first byte. */
  std::vector<uint8_t> receiveAvailable(std::chrono::milliseconds wait);

  /** Closes the device side, as pulling the USB cable would. */
  void unplug();
  [[nodiscard]] bool pluggedIn() const { return deviceFd_ >= 0; }

  /**
   * The bytes sent that the library has not read yet. Bytes still on their way through the
   * terminal count too (a bare FIONREAD misses those until the kernel has passed them on).
   */
  [[nodiscard]] std::size_t unreadByLibrary() const;

  /** A descriptor of the library's side, for inspecting the line settings it applied. */
  [[nodiscard]] int libraryEndFd() const { return holdFd_; }

 private:
  int deviceFd_ = -1;  // the pseudo-terminal's master: the simulated device's end
  int holdFd_ = -1;    // keeps the library's end configured while the library is not holding it
  std::string devicePath_;
};

}  // namespace halvern::sim

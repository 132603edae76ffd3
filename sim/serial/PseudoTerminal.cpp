#include "PseudoTerminal.h"  // public: sim/ top level

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace halvern::sim {

using Clock = std::chrono::steady_clock;

PseudoTerminal::PseudoTerminal() : deviceFd_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
  if (deviceFd_ < 0 || ::grantpt(deviceFd_) != 0 || ::unlockpt(deviceFd_) != 0) {
    throw std::runtime_error("cannot create a pseudo-terminal");
  }
  std::array<char, 128> name{};
  if (::ptsname_r(deviceFd_, name.data(), name.size()) != 0) {
    throw std::runtime_error("cannot name the pseudo-terminal");
  }
  devicePath_ = name.data();
  holdFd_ = ::open(devicePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (holdFd_ < 0) {
    throw std::runtime_error("cannot open " + devicePath_);
  }
  termios raw{};
  ::tcgetattr(holdFd_, &raw);
  ::cfmakeraw(&raw);
  ::tcsetattr(holdFd_, TCSANOW, &raw);
}

PseudoTerminal::~PseudoTerminal() {
  unplug();
  if (holdFd_ >= 0) {
    ::close(holdFd_);
  }
}

// Not const: sending changes the terminal, even if only through its descriptor.
bool PseudoTerminal::send(  // NOLINT(readability-make-member-function-const)
    std::span<const uint8_t> bytes) {
  std::size_t sent = 0;
  while (deviceFd_ >= 0 && sent < bytes.size()) {
    const ssize_t count = ::write(deviceFd_, bytes.data() + sent, bytes.size() - sent);
    if (count < 0 && errno != EINTR && errno != EAGAIN) {
      return false;
    }
    sent += count > 0 ? static_cast<std::size_t>(count) : 0;
  }
  return deviceFd_ >= 0;
}

bool PseudoTerminal::send(std::string_view text) {
  return send(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

std::vector<uint8_t> PseudoTerminal::receive(std::chrono::milliseconds timeout,
                                             std::size_t maxBytes) {
  constexpr int kQuietGapMs = 20;
  std::vector<uint8_t> bytes;
  const auto deadline = Clock::now() + timeout;
  while (deviceFd_ >= 0 && bytes.size() < maxBytes) {
    int waitMs = kQuietGapMs;
    if (bytes.empty()) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) {
        break;
      }
      waitMs = static_cast<int>(left.count());
    }
    pollfd ready{deviceFd_, POLLIN, 0};
    if (::poll(&ready, 1, waitMs) <= 0 || (ready.revents & POLLIN) == 0) {
      break;
    }
    std::array<uint8_t, 4096> chunk{};
    const ssize_t count =
        ::read(deviceFd_, chunk.data(), std::min(chunk.size(), maxBytes - bytes.size()));
    if (count <= 0) {
      break;
    }
    bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + count);
  }
  return bytes;
}

std::string PseudoTerminal::receiveText(std::chrono::milliseconds timeout) {
  const auto bytes = receive(timeout);
  return {bytes.begin(), bytes.end()};
}

std::vector<uint8_t> PseudoTerminal::receiveAvailable(std::chrono::milliseconds wait) {
  std::vector<uint8_t> bytes;
  pollfd ready{deviceFd_, POLLIN, 0};
  if (deviceFd_ < 0 || ::poll(&ready, 1, static_cast<int>(wait.count())) <= 0 ||
      (ready.revents & POLLIN) == 0) {
    return bytes;
  }
  std::array<uint8_t, 4096> chunk{};
  const ssize_t count = ::read(deviceFd_, chunk.data(), chunk.size());
  if (count > 0) {
    bytes.assign(chunk.begin(), chunk.begin() + count);
  }
  return bytes;
}

std::size_t PseudoTerminal::unreadByLibrary() const {
  // A poll of the library's side first hands on what is still on its way, which FIONREAD
  // alone would not count yet.
  pollfd ready{holdFd_, POLLIN, 0};
  if (holdFd_ < 0 || ::poll(&ready, 1, 0) <= 0 || (ready.revents & POLLIN) == 0) {
    return 0;
  }
  int waiting = 0;
  if (::ioctl(holdFd_, FIONREAD, &waiting) != 0 || waiting <= 0) {
    return 1;  // readable, yet not counted: at least a byte waits
  }
  return static_cast<std::size_t>(waiting);
}

void PseudoTerminal::unplug() {
  if (deviceFd_ >= 0) {
    ::close(deviceFd_);
    deviceFd_ = -1;
  }
}

}  // namespace halvern::sim

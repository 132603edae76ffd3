// The serial transport over termios, for Linux and other POSIX hosts.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <thread>

#include "core/DevicePath.h"
#include "core/SerialReadWaiter.h"
#include "core/SerialTransport.h"

namespace halvern::serial {
namespace {

using Clock = std::chrono::steady_clock;

// A read waits this long for a first byte when none is waiting.
constexpr int kReadFirstByteTimeoutMs = 1;
// A write gives up after this long in all.
constexpr auto kWriteTimeout = std::chrono::milliseconds(2000);

int fdOf(SerialHandle h) { return static_cast<int>(h); }

bool speedFor(int baudRate, speed_t& speed) {
  switch (baudRate) {
    case 9600:
      speed = B9600;
      return true;
    case 19200:
      speed = B19200;
      return true;
    case 38400:
      speed = B38400;
      return true;
    case 57600:
      speed = B57600;
      return true;
    case 115200:
      speed = B115200;
      return true;
    case 230400:
      speed = B230400;
      return true;
    case 460800:
      speed = B460800;
      return true;
    case 921600:
      speed = B921600;
      return true;
    default:
      return false;
  }
}

// Raw 8N1 with no flow control of either kind; reads never block (the transport polls).
bool applyLineSettings(int fd, int baudRate) {
  termios settings{};
  speed_t speed = B0;
  if (!speedFor(baudRate, speed) || tcgetattr(fd, &settings) != 0) {
    return false;
  }
  cfmakeraw(&settings);
  settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  settings.c_cflag |= CS8 | CLOCAL | CREAD;
  settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  if (cfsetispeed(&settings, speed) != 0 || cfsetospeed(&settings, speed) != 0) {
    return false;
  }
  return tcsetattr(fd, TCSANOW, &settings) == 0;
}

void reportOpenFailure(const char* tag, const std::string& path, int error) {
  std::cerr << "[" << (tag != nullptr ? tag : "") << "] Cannot open " << path << " (errno " << error
            << ")\n";
}

}  // namespace

SerialHandle OpenSerialPort(const std::string& path, int baudRate, const char* tag) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    reportOpenFailure(tag, path, errno);
    return kInvalidSerialHandle;
  }
  // Exclusive access: the advisory lock holds even against root, which the tty's own
  // exclusive flag does not stop; the flag keeps out other programs that ignore the lock.
  if (!isatty(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = isatty(fd) ? errno : ENOTTY;
    ::close(fd);
    reportOpenFailure(tag, path, error);
    return kInvalidSerialHandle;
  }
  ::ioctl(fd, TIOCEXCL);

  if (!applyLineSettings(fd, baudRate)) {
    ::close(fd);
    return kInvalidSerialHandle;
  }
  // A pseudo-terminal has no modem lines: failing to raise them is not an error.
  int modemLines = TIOCM_DTR | TIOCM_RTS;
  ::ioctl(fd, TIOCMBIS, &modemLines);
  ::tcflush(fd, TCIOFLUSH);
  return fd;
}

void CloseSerialPort(SerialHandle h) {
  if (h != kInvalidSerialHandle) {
    ::close(fdOf(h));
  }
}

bool WriteSerialBytes(SerialHandle h, const uint8_t* data, int length) {
  if (h == kInvalidSerialHandle || data == nullptr || length <= 0) {
    return false;
  }
  const auto deadline = Clock::now() + kWriteTimeout;
  auto remaining = static_cast<std::size_t>(length);
  while (remaining > 0) {
    const ssize_t written = ::write(fdOf(h), data, remaining);
    if (written > 0) {
      data += written;
      remaining -= static_cast<std::size_t>(written);
      continue;
    }
    if (written < 0 && errno != EAGAIN && errno != EINTR) {
      return false;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      return false;
    }
    pollfd waitForRoom{fdOf(h), POLLOUT, 0};
    ::poll(&waitForRoom, 1, static_cast<int>(left.count()));
  }
  return true;
}

int ReadSerialBytes(SerialHandle h, uint8_t* buffer, int capacity) {
  if (h == kInvalidSerialHandle || buffer == nullptr || capacity <= 0) {
    return 0;
  }
  pollfd ready{fdOf(h), POLLIN, 0};
  const int polled = ::poll(&ready, 1, kReadFirstByteTimeoutMs);
  if (polled > 0 && (ready.revents & POLLIN) != 0) {
    const ssize_t count = ::read(fdOf(h), buffer, static_cast<std::size_t>(capacity));
    if (count > 0) {
      return static_cast<int>(count);
    }
  }
  if (polled != 0) {
    // The port went away (hang-up or error) or the wait failed: poll returns at once then, so
    // wait out the read time-out to keep a caller's receive loop from spinning.
    std::this_thread::sleep_for(std::chrono::milliseconds(kReadFirstByteTimeoutMs));
  }
  return 0;
}

void PurgeSerialInput(SerialHandle h) {
  if (h != kInvalidSerialHandle) {
    ::tcflush(fdOf(h), TCIFLUSH);
  }
}

int SerialBytesWaiting(SerialHandle h) {
  if (h == kInvalidSerialHandle) {
    return 0;
  }
  // The terminal hands received bytes on to its read queue from a kernel worker, which a busy
  // machine can hold up for a long time; FIONREAD counts only the read queue, a poll first has
  // the terminal hand on what it holds.
  pollfd ready{fdOf(h), POLLIN, 0};
  ::poll(&ready, 1, 0);
  int waiting = 0;
  if (::ioctl(fdOf(h), FIONREAD, &waiting) != 0) {
    return 0;
  }
  return waiting;
}

// The pipe that wakes a waiting reader: wake() writes to it, and the waits watch its read end,
// which stays readable from then on.
struct SerialReadWaiter::WakeUp {
  WakeUp(int readFd, int writeFd) : readEnd(readFd), writeEnd(writeFd) {}
  WakeUp(const WakeUp&) = delete;
  WakeUp& operator=(const WakeUp&) = delete;
  ~WakeUp() {
    ::close(readEnd);
    ::close(writeEnd);
  }

  const int readEnd;
  const int writeEnd;
};

SerialReadWaiter::SerialReadWaiter() {
  std::array<int, 2> ends{};
  if (::pipe2(ends.data(), O_CLOEXEC | O_NONBLOCK) == 0) {
    wakeUp = std::make_unique<WakeUp>(ends[0], ends[1]);
  }
}

SerialReadWaiter::~SerialReadWaiter() = default;

ReadReadiness SerialReadWaiter::waitForBytes(SerialHandle h) {
  return waitForBytes(h, std::chrono::milliseconds(-1));
}

ReadReadiness SerialReadWaiter::waitForBytes(SerialHandle h, std::chrono::milliseconds limit) {
  if (h == kInvalidSerialHandle) {
    return ReadReadiness::PortGone;
  }
  if (!wakeUp) {
    return ReadReadiness::ReadToFind;
  }
  std::array<pollfd, 2> watched{{{fdOf(h), POLLIN, 0}, {wakeUp->readEnd, POLLIN, 0}}};
  int polled = 0;
  do {
    // A negative limit waits for ever; an interrupted wait starts its limit again.
    polled = ::poll(watched.data(), watched.size(), static_cast<int>(limit.count()));
  } while (polled < 0 && errno == EINTR);
  if (polled < 0) {
    return ReadReadiness::PortGone;  // so the caller pauses instead of retrying a failing wait
  }
  if (polled == 0) {
    return ReadReadiness::TimedOut;
  }
  if (watched[1].revents != 0) {
    return ReadReadiness::Woken;
  }
  // A hung-up terminal also reports itself readable, but a read gives nothing: what it had
  // buffered went with the hang-up.
  if ((watched[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
    return ReadReadiness::PortGone;
  }
  return ReadReadiness::BytesWaiting;
}

bool SerialReadWaiter::waitForWake(std::chrono::milliseconds timeout) {
  if (!wakeUp) {
    std::this_thread::sleep_for(timeout);
    return false;
  }
  pollfd watched{wakeUp->readEnd, POLLIN, 0};
  return ::poll(&watched, 1, static_cast<int>(timeout.count())) > 0;
}

void SerialReadWaiter::wake() {
  if (wakeUp) {
    // A full pipe (EAGAIN) is already readable, which is all a wake needs.
    const uint8_t signal = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeUp->writeEnd, &signal, 1);
  }
}

unsigned long LastSerialError() { return static_cast<unsigned long>(errno); }

std::vector<std::string> listHostSerialPorts() {
  std::vector<std::string> paths;
  std::error_code error;
  for (std::filesystem::directory_iterator entry("/dev", error), end; !error && entry != end;
       entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    if (name.starts_with("ttyUSB") || name.starts_with("ttyACM")) {
      paths.push_back(entry->path().string());
    }
  }
  return paths;
}

}  // namespace halvern::serial

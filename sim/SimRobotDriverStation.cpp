#include "SimRobotDriverStation.h"

#include <array>
#include <stdexcept>
#include <utility>

namespace halvern::sim {

namespace {

// The wire, written out here rather than taken from the library: the simulated robot program
// reads what a WPILib robot program reads, whatever the mock driver station sends.
constexpr std::size_t kMinimumLength = 6;
constexpr std::size_t kSequenceHighAt = 0;
constexpr std::size_t kSequenceLowAt = 1;
constexpr std::size_t kVersionAt = 2;
constexpr std::size_t kControlAt = 3;
constexpr std::size_t kRequestAt = 4;
constexpr std::size_t kStationAt = 5;
constexpr uint8_t kTestBit = 0x01;
constexpr uint8_t kAutonomousBit = 0x02;
constexpr uint8_t kEnabledBit = 0x04;
constexpr uint8_t kFmsAttachedBit = 0x08;
constexpr uint8_t kEmergencyStopBit = 0x80;
constexpr uint8_t kDriverStationAttachedMask = 0xF0;

// How long one receive waits before the listener looks at its stop flag again.
constexpr double kReceiveWaitSeconds = 0.05;
// Larger than any UDP datagram, so nothing is ever cut short (Winsock fails a receive into a
// buffer too small for the datagram rather than truncating it).
constexpr std::size_t kReceiveBuffer = 65536;
// After a failed receive (not a time-out), the listener pauses this long before the next one.
constexpr auto kErrorPause = std::chrono::milliseconds(5);
constexpr const char* kListenAddress = "127.0.0.1";

/** Tags after the fixed bytes: each [length][id][length - 1 bytes], so 1 + length bytes. */
bool tagsFit(std::span<const uint8_t> tags) {
  std::size_t at = 0;
  while (at < tags.size()) {
    const std::size_t length = tags[at];
    if (length == 0 || at + 1 + length > tags.size()) {
      return false;  // no room for the id, or the tag runs past the datagram's end
    }
    at += 1 + length;
  }
  return true;
}

}  // namespace

std::optional<DriverStationControl> readControlDatagram(std::span<const uint8_t> datagram) {
  if (datagram.size() < kMinimumLength) {
    return std::nullopt;
  }
  DriverStationControl control;
  control.sequence =
      static_cast<uint16_t>((datagram[kSequenceHighAt] << 8U) | datagram[kSequenceLowAt]);
  control.protocolVersion = datagram[kVersionAt];
  control.control = datagram[kControlAt];
  control.request = datagram[kRequestAt];
  control.station = datagram[kStationAt];
  control.test = (control.control & kTestBit) != 0;
  control.autonomous = (control.control & kAutonomousBit) != 0;
  control.enabled = (control.control & kEnabledBit) != 0;
  control.fmsAttached = (control.control & kFmsAttachedBit) != 0;
  control.emergencyStop = (control.control & kEmergencyStopBit) != 0;
  control.dsAttached = (control.request & kDriverStationAttachedMask) != 0;
  control.tagsWellFormed = tagsFit(datagram.subspan(kMinimumLength));
  return control;
}

SimRobotDriverStation::SimRobotDriverStation(int port)
    : logger_(
          [this](unsigned int /*level*/, const char* /*file*/, unsigned int /*line*/,
                 const char* message) { lastSocketError_ = message == nullptr ? "" : message; }),
      client_(kListenAddress, logger_) {
  if (client_.start(port) != 0) {
    throw std::runtime_error("cannot listen on " + std::string(kListenAddress) + ":" +
                             std::to_string(port) + ": " + lastSocketError_);
  }
  if (client_.set_timeout(kReceiveWaitSeconds) != 0) {
    client_.shutdown();
    throw std::runtime_error("cannot set a receive time-out on UDP port " + std::to_string(port));
  }
  listener_ = std::thread([this] { listen(); });
}

SimRobotDriverStation::~SimRobotDriverStation() {
  stop_.store(true);
  listener_.join();
  client_.shutdown();
}

void SimRobotDriverStation::listen() {
  std::vector<uint8_t> buffer(kReceiveBuffer);
  while (!stop_.load()) {
    const int length = client_.receive(buffer.data(), static_cast<int>(buffer.size()));
    // A time-out and an empty datagram both read as 0: either way there is nothing to keep.
    if (length == 0) {
      continue;
    }
    if (length < 0) {
      std::this_thread::sleep_for(kErrorPause);
      continue;
    }
    const auto at = Clock::now();
    const auto control = readControlDatagram(
        std::span<const uint8_t>(buffer.data(), static_cast<std::size_t>(length)));
    {
      const std::scoped_lock lock(mutex_);
      if (control) {
        received_.push_back(Received{*control, at});
      } else {
        ++ignored_;
      }
    }
    arrived_.notify_all();
  }
}

std::vector<SimRobotDriverStation::Received> SimRobotDriverStation::received() const {
  const std::scoped_lock lock(mutex_);
  return received_;
}

std::size_t SimRobotDriverStation::receivedCount() const {
  const std::scoped_lock lock(mutex_);
  return received_.size();
}

std::size_t SimRobotDriverStation::ignoredCount() const {
  const std::scoped_lock lock(mutex_);
  return ignored_;
}

void SimRobotDriverStation::clear() {
  const std::scoped_lock lock(mutex_);
  received_.clear();
  ignored_ = 0;
}

bool SimRobotDriverStation::robotEnabled() const {
  const auto now = Clock::now();
  const std::scoped_lock lock(mutex_);
  if (received_.empty()) {
    return false;
  }
  const Received& latest = received_.back();
  return latest.control.enabled && latest.control.dsAttached && !latest.control.emergencyStop &&
         now - latest.at <= kLinkTimeout;
}

bool SimRobotDriverStation::waitForCount(std::size_t count, std::chrono::milliseconds limit) const {
  std::unique_lock lock(mutex_);
  return arrived_.wait_for(lock, limit, [&] { return received_.size() >= count; });
}

}  // namespace halvern::sim

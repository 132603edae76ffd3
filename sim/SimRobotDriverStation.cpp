#include "SimRobotDriverStation.h"

#include <utility>

#include "driverstation/UdpListener.h"

#include "mockds/MockDSProtocol.h"

namespace halvern::sim {

namespace wire = halvern::mockds;

namespace {

// How long one receive waits before the listener looks at its stop flag again.
constexpr double kReceiveWaitSeconds = 0.05;

}  // namespace

std::optional<DriverStationControl> readControlDatagram(std::span<const uint8_t> datagram) {
  const auto read = wire::decodeControlDatagram(datagram);
  if (!read) {
    return std::nullopt;
  }
  const auto has = [&read](uint8_t bit) { return (read->control & bit) != 0; };
  return DriverStationControl{.sequence = read->sequence,
                              .protocolVersion = read->protocolVersion,
                              .control = read->control,
                              .request = read->request,
                              .station = read->station,
                              .test = has(wire::kTestBit),
                              .autonomous = has(wire::kAutonomousBit),
                              .enabled = has(wire::kEnabledBit),
                              .fmsAttached = has(wire::kFmsAttachedBit),
                              .emergencyStop = has(wire::kEmergencyStopBit),
                              .dsAttached = (read->request & wire::kDriverStationAttachedMask) != 0,
                              .tagsWellFormed = read->tagsWellFormed};
}

SimRobotDriverStation::SimRobotDriverStation(int port)
    : listener_(std::make_unique<UdpListener>(port, kReceiveWaitSeconds)) {
  listener_->start([this](std::optional<std::span<const uint8_t>> datagram, Clock::time_point at) {
    if (datagram) {
      take(*datagram, at);
    }
  });
}

SimRobotDriverStation::~SimRobotDriverStation() = default;

void SimRobotDriverStation::take(std::span<const uint8_t> datagram, Clock::time_point at) {
  const auto control = readControlDatagram(datagram);
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

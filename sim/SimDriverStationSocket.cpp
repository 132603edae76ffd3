#include "SimDriverStationSocket.h"

#include <optional>
#include <span>

#include "SimClock.h"
#include "SimRobotDriverStation.h"
#include "driverstation/UdpListener.h"

namespace halvern::sim {
namespace {

// How long one receive waits before the listener looks at its stop flag and the link again.
constexpr double kReceiveWaitSeconds = 0.02;

void setEnabled(bool enabled) { HALSIM_SetDriverStationEnabled(enabled ? 1 : 0); }

}  // namespace

bool SimDriverStationSocket::portTaken(int port) { return UdpListener::portTaken(port); }

std::unique_ptr<SimDriverStationSocket> SimDriverStationSocket::startUnlessOneListens(
    std::chrono::milliseconds grace) {
  const auto deadline = std::chrono::steady_clock::now() + grace;
  do {
    if (portTaken()) {
      return nullptr;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  } while (std::chrono::steady_clock::now() < deadline);
  return std::make_unique<SimDriverStationSocket>();
}

SimDriverStationSocket::SimDriverStationSocket(int port) {
  startSimulation();
  listener_ = std::make_unique<UdpListener>(port, kReceiveWaitSeconds);
  listener_->start([this](std::optional<std::span<const uint8_t>> datagram,
                          std::chrono::steady_clock::time_point at) { take(datagram, at); });
}

SimDriverStationSocket::~SimDriverStationSocket() {
  listener_.reset();
  setEnabled(false);
}

void SimDriverStationSocket::take(std::optional<std::span<const uint8_t>> datagram,
                                  std::chrono::steady_clock::time_point now) {
  const auto control = datagram ? readControlDatagram(*datagram) : std::nullopt;
  if (control) {
    datagrams_.fetch_add(1);
    lastDatagram_ = now;
    // Enabled as the robot program counts itself: told so by an attached driver station that
    // has not stopped it.
    const bool enabled = control->enabled && control->dsAttached && !control->emergencyStop;
    if (shown_ != enabled) {
      setEnabled(enabled);
      shown_ = enabled;
    }
  }
  // The driver station went silent: the robot is disabled until it speaks again.
  if (shown_ == true && lastDatagram_ && now - *lastDatagram_ > kLinkTimeout) {
    setEnabled(false);
    shown_ = false;
  }
}

}  // namespace halvern::sim

#include "SimDriverStationSocket.h"

#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

#include "SimClock.h"
#include "SimRobotDriverStation.h"

namespace halvern::sim {
namespace {

constexpr const char* kListenAddress = "127.0.0.1";
// How long one receive waits before the listener looks at its stop flag and the link again.
constexpr double kReceiveWaitSeconds = 0.02;
// Larger than any UDP datagram, so that nothing is cut short.
constexpr std::size_t kReceiveBuffer = 65536;
constexpr auto kErrorPause = std::chrono::milliseconds(5);

void setEnabled(bool enabled) { HALSIM_SetDriverStationEnabled(enabled ? 1 : 0); }

}  // namespace

bool SimDriverStationSocket::portTaken(int port) {
  simhal::Logger quiet;
  simhal::UDPClient probe(kListenAddress, quiet);
  const bool taken = probe.start(port) != 0;
  probe.shutdown();
  return taken;
}

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

SimDriverStationSocket::SimDriverStationSocket(int port)
    : logger_(
          [this](unsigned int /*level*/, const char* /*file*/, unsigned int /*line*/,
                 const char* message) { lastSocketError_ = message == nullptr ? "" : message; }),
      client_(kListenAddress, logger_) {
  startSimulation();
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

SimDriverStationSocket::~SimDriverStationSocket() {
  stop_.store(true);
  listener_.join();
  client_.shutdown();
  setEnabled(false);
}

void SimDriverStationSocket::listen() {
  using Clock = std::chrono::steady_clock;
  std::vector<uint8_t> buffer(kReceiveBuffer);
  std::optional<Clock::time_point> lastDatagram;
  std::optional<bool> shown;  // the enabled state this socket last set
  while (!stop_.load()) {
    const int length = client_.receive(buffer.data(), static_cast<int>(buffer.size()));
    const auto now = Clock::now();
    if (length < 0) {
      std::this_thread::sleep_for(kErrorPause);
    } else if (length > 0) {
      const auto control = readControlDatagram(
          std::span<const uint8_t>(buffer.data(), static_cast<std::size_t>(length)));
      if (control) {
        datagrams_.fetch_add(1);
        lastDatagram = now;
        // Enabled as the robot program counts itself: told so by an attached driver station
        // that has not stopped it.
        const bool enabled = control->enabled && control->dsAttached && !control->emergencyStop;
        if (shown != enabled) {
          setEnabled(enabled);
          shown = enabled;
        }
      }
    }
    // The driver station went silent: the robot is disabled until it speaks again.
    if (shown == true && lastDatagram && now - *lastDatagram > kLinkTimeout) {
      setEnabled(false);
      shown = false;
    }
  }
}

}  // namespace halvern::sim

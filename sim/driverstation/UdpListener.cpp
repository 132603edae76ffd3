#include "driverstation/UdpListener.h"

#include <stdexcept>
#include <vector>

namespace halvern::sim {

namespace {

constexpr const char* kListenAddress = "127.0.0.1";
// Larger than any UDP datagram, so nothing is ever cut short (Winsock fails a receive into a
// buffer too small for the datagram rather than truncating it).
constexpr std::size_t kReceiveBuffer = 65536;
// After a failed receive (not a time-out), the listener pauses this long before the next one.
constexpr auto kErrorPause = std::chrono::milliseconds(5);

}  // namespace

bool UdpListener::portTaken(int port) {
  simhal::Logger quiet;
  simhal::UDPClient probe(kListenAddress, quiet);
  const bool taken = probe.start(port) != 0;
  probe.shutdown();
  return taken;
}

UdpListener::UdpListener(int port, double receiveWaitSeconds)
    : logger_(
          [this](unsigned int /*level*/, const char* /*file*/, unsigned int /*line*/,
                 const char* message) { lastSocketError_ = message == nullptr ? "" : message; }),
      client_(kListenAddress, logger_) {
  if (client_.start(port) != 0) {
    throw std::runtime_error("cannot listen on " + std::string(kListenAddress) + ":" +
                             std::to_string(port) + ": " + lastSocketError_);
  }
  if (client_.set_timeout(receiveWaitSeconds) != 0) {
    client_.shutdown();
    throw std::runtime_error("cannot set a receive time-out on UDP port " + std::to_string(port));
  }
}

void UdpListener::start(OnReceive onReceive) {
  onReceive_ = std::move(onReceive);
  thread_ = std::jthread([this](const std::stop_token& stop) { listen(stop); });
}

void UdpListener::listen(const std::stop_token& stop) {
  std::vector<uint8_t> buffer(kReceiveBuffer);
  while (!stop.stop_requested()) {
    const int length = client_.receive(buffer.data(), static_cast<int>(buffer.size()));
    const auto at = Clock::now();
    if (length < 0) {
      std::this_thread::sleep_for(kErrorPause);
    }
    // A time-out and an empty datagram both read as 0: either way there is nothing to read.
    onReceive_(length > 0 ? std::optional(std::span<const uint8_t>(
                                buffer.data(), static_cast<std::size_t>(length)))
                          : std::nullopt,
               at);
  }
}

}  // namespace halvern::sim

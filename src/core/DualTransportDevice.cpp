#include "core/DualTransportDevice.h"

#include <array>
#include <chrono>
#include <iostream>
#include <type_traits>

#include "core/HalPlatform.h"

namespace halvern {
namespace {

// How often a reader looks again at a port that hung up or failed. Long enough to cost next to
// nothing, short enough to resume soon after a passing failure; a stop ends the pause at once.
constexpr auto kGonePortRecheck = std::chrono::milliseconds(20);

static_assert(std::is_same_v<platform::CanStreamHandle, uint32_t>,
              "CanStreamSession keeps the platform's session as it is");

}  // namespace

int32_t CanStreamSession::open(int32_t bus, uint32_t id, uint32_t mask, uint32_t depth) {
  close();
  int32_t status = 0;
  const platform::CanStreamHandle session = platform::canOpenStream(bus, id, mask, depth, status);
  if (status == 0) {
    streamHandle = session;
    streamOpen = true;
  }
  return status;
}

void CanStreamSession::close() {
  if (streamOpen) {
    platform::canCloseStream(streamHandle);
    streamOpen = false;
    streamHandle = 0;
  }
}

DualTransportDevice::~DualTransportDevice() { stopReader(); }

bool DualTransportDevice::acceptCanId(int canId, const char* family) {
  if (canId < kMinCanId || canId > kMaxCanId) {
    std::cout << "[" << family << "] CAN ID " << canId << " is out of range (0 - 63)" << std::endl;
    return false;
  }
  return true;
}

bool DualTransportDevice::acceptCanBus(int32_t bus, const char* family) {
  if (!platform::canBusExists(bus)) {
    std::cout << "[" << family << "] CAN bus " << bus << " is out of range (0 - "
              << platform::kMaxCanBus << ")" << std::endl;
    return false;
  }
  return true;
}

bool DualTransportDevice::openCanStream(const char* family, uint32_t id, uint32_t mask,
                                        uint32_t depth) {
  const int32_t status = stream.open(canBus, id, mask, depth);
  if (status != 0) {
    std::cout << "[" << family << "] Failed to open CAN stream session (status " << status << ")"
              << std::endl;
    return false;
  }
  return true;
}

void DualTransportDevice::startReader() {
  if (!port.isOpen() || running.load()) {
    return;
  }
  readerWaiter = std::make_unique<serial::SerialReadWaiter>();
  running.store(true);
  reader = std::thread([this, &waiter = *readerWaiter] { readerLoop(waiter); });
}

void DualTransportDevice::stopReader() {
  running.store(false);
  if (readerWaiter) {
    readerWaiter->wake();
  }
  if (reader.joinable()) {
    reader.join();
  }
  readerWaiter.reset();
}

void DualTransportDevice::appendConnection(datalog::LogSignal& signal, int64_t nowUs,
                                           int64_t silenceUs) const {
  const int64_t lastUs = connection.lastTrafficMicros();
  if (lastUs == 0) {
    return;
  }
  if (nowUs - lastUs <= silenceUs) {
    signal.appendChange(true, lastUs);
  } else {
    signal.appendChange(false, lastUs + silenceUs);
  }
}

void DualTransportDevice::readerLoop(serial::SerialReadWaiter& waiter) {
  using serial::ReadReadiness;
  std::array<uint8_t, kReadBlockSize> buffer{};
  while (running.load()) {
    // While logging, a silent sensor still wakes the reader: its going quiet is logged in time.
    const bool logging = datalog::dataLogActive();
    const ReadReadiness readiness = logging
                                        ? waiter.waitForBytes(port.handle(), kLoggingWakeInterval)
                                        : waiter.waitForBytes(port.handle());
    if (readiness == ReadReadiness::Woken) {
      return;  // only a stop wakes the reader
    }
    if (logging) {
      logConnection(platform::robotTimeMicros());
    }
    if (readiness == ReadReadiness::PortGone) {
      waiter.waitForWake(kGonePortRecheck);
      continue;
    }
    if (readiness == ReadReadiness::TimedOut) {
      continue;
    }
    const int count = serial::ReadSerialBytes(port.handle(), buffer.data(), kReadBlockSize);
    if (count > 0) {
      const int64_t arrivedUs = platform::robotTimeMicros();
      connection.noteTraffic(arrivedUs);
      onBytesReceived(buffer.data(), static_cast<std::size_t>(count), arrivedUs);
      if (datalog::dataLogActive()) {
        logConnection(arrivedUs);
      }
    } else if (readiness == ReadReadiness::BytesWaiting) {
      // Bytes were announced yet none could be read: the port is failing, treat it as gone.
      waiter.waitForWake(kGonePortRecheck);
    }
  }
}

}  // namespace halvern

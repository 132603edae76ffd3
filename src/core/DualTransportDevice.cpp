#include "core/DualTransportDevice.h"

#include <array>

#include "hal/CAN.h"

namespace halvern {

int32_t CanStreamSession::open(uint32_t id, uint32_t mask, uint32_t depth) {
  close();
  int32_t status = 0;
  uint32_t session = 0;
  HAL_CAN_OpenStreamSession(&session, id, mask, depth, &status);
  if (status == 0) {
    streamHandle = session;
    streamOpen = true;
  }
  return status;
}

void CanStreamSession::close() {
  if (streamOpen) {
    HAL_CAN_CloseStreamSession(streamHandle);
    streamOpen = false;
    streamHandle = 0;
  }
}

DualTransportDevice::~DualTransportDevice() { stopReader(); }

void DualTransportDevice::startReader() {
  if (!port.isOpen() || running.load()) {
    return;
  }
  running.store(true);
  reader = std::thread([this] { readerLoop(); });
}

void DualTransportDevice::stopReader() {
  running.store(false);
  if (reader.joinable()) {
    reader.join();
  }
}

void DualTransportDevice::readerLoop() {
  std::array<uint8_t, kReadBlockSize> buffer{};
  while (running.load()) {
    // Paced by the read itself: it waits about 1 ms when nothing has arrived.
    const int count = serial::ReadSerialBytes(port.handle(), buffer.data(), kReadBlockSize);
    if (count > 0) {
      onBytesReceived(buffer.data(), static_cast<std::size_t>(count));
    }
  }
}

}  // namespace halvern

// The control side of the simulation: what tests, device simulators and the demo call.
#include "halsim/SimControl.h"

#include <algorithm>
#include <iterator>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>

#include "SimState.h"

namespace halsim {

namespace {

using namespace detail;

void unsubscribe(uint64_t token) {
  std::shared_ptr<const RobotFrameListener> removed;
  {
    auto& can = simState().can;
    std::scoped_lock lock(can.mutex);
    const auto found = can.listeners.find(token);
    if (found == can.listeners.end()) {
      return;
    }
    removed = std::move(found->second);
    can.listeners.erase(found);
  }
  // `removed` is released here, outside the lock: the listener's captures may unsubscribe
  // others as they are destroyed.
}

std::size_t serialPortIndex(int32_t port) {
  if (port < 0 || static_cast<std::size_t>(port) >= kSerialPortCount) {
    throw std::out_of_range("no serial port " + std::to_string(port));
  }
  return static_cast<std::size_t>(port);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Virtual CAN bus

CanSubscription& CanSubscription::operator=(CanSubscription&& other) noexcept {
  if (this != &other) {
    unsubscribe(token_);
    token_ = std::exchange(other.token_, 0);
  }
  return *this;
}

CanSubscription::~CanSubscription() {
  if (token_ != 0) {
    unsubscribe(token_);
  }
}

CanSubscription subscribeToRobotFrames(uint32_t id, uint32_t mask, CanListener listener) {
  if (!listener) {
    throw std::invalid_argument("subscribeToRobotFrames needs a listener");
  }
  auto entry = std::make_shared<const RobotFrameListener>(
      RobotFrameListener{.id = id, .mask = mask, .callback = std::move(listener)});
  auto& can = simState().can;
  std::scoped_lock lock(can.mutex);
  const uint64_t token = can.nextListenerToken++;
  can.listeners.emplace(token, std::move(entry));
  return CanSubscription(token);
}

void transmitToRobot(uint32_t id, std::span<const uint8_t> data) {
  if (data.size() > kMaxCanDataBytes) {
    throw std::invalid_argument("a CAN frame carries at most 8 bytes");
  }
  CanFrame frame;
  frame.id = id & kExtendedIdMask;
  std::copy(data.begin(), data.end(), frame.data.begin());
  frame.length = static_cast<uint8_t>(data.size());
  auto& can = simState().can;
  std::scoped_lock lock(can.mutex);
  // Stamped under the lock so timestamps rise with sequence numbers.
  frame.timestampUs = nowMicros();
  can.received.insert_or_assign(frame.id, ReceivedFrame{.frame = frame,
                                                        .sequence = can.nextSequence++,
                                                        .returnedByReceiveMessage = false});
  for (auto& entry : can.sessions) {
    StreamSession& session = entry.second;
    if (!session.matches(frame.id)) {
      continue;
    }
    if (session.queue.size() >= session.capacity) {
      session.queue.pop_front();
      session.overrun = true;
    }
    session.queue.push_back(frame);
  }
}

std::vector<CanFrame> sentFrames() {
  auto& can = simState().can;
  std::scoped_lock lock(can.mutex);
  return {can.sent.begin(), can.sent.end()};
}

std::vector<CanFrame> sentFrames(uint32_t id, uint32_t mask) {
  auto& can = simState().can;
  std::scoped_lock lock(can.mutex);
  std::vector<CanFrame> matching;
  std::copy_if(can.sent.begin(), can.sent.end(), std::back_inserter(matching),
               [id, mask](const CanFrame& frame) { return (frame.id & mask) == (id & mask); });
  return matching;
}

void clearSentFrames() {
  auto& can = simState().can;
  std::scoped_lock lock(can.mutex);
  can.sent.clear();
}

int openCanHandleCount() {
  auto& can = simState().can;
  std::scoped_lock lock(can.mutex);
  return static_cast<int>(can.handles.size());
}

int openStreamSessionCount() {
  auto& can = simState().can;
  std::scoped_lock lock(can.mutex);
  return static_cast<int>(can.sessions.size());
}

// ---------------------------------------------------------------------------------------------
// Robot state

void setSystemActive(bool enabled) { simState().systemActive.store(enabled); }

bool systemActive() { return simState().systemActive.load(); }

// ---------------------------------------------------------------------------------------------
// I2C

void attachI2CDevice(int32_t port, int32_t address, std::shared_ptr<I2CDevice> device) {
  if (port < 0 || static_cast<std::size_t>(port) >= kI2CPortCount) {
    throw std::out_of_range("no I2C port " + std::to_string(port));
  }
  auto& i2c = simState().i2c;
  std::scoped_lock lock(i2c.mutex);
  auto& devices = i2c.ports.at(static_cast<std::size_t>(port)).devices;
  if (device) {
    // The replaced device, if any, ends up in `device` and is released after the lock.
    std::swap(devices[address], device);
  } else if (const auto found = devices.find(address); found != devices.end()) {
    device = std::move(found->second);
    devices.erase(found);
  }
}

bool i2cPortOpen(int32_t port) {
  if (port < 0 || static_cast<std::size_t>(port) >= kI2CPortCount) {
    return false;
  }
  auto& i2c = simState().i2c;
  std::scoped_lock lock(i2c.mutex);
  return i2c.ports.at(static_cast<std::size_t>(port)).open;
}

// ---------------------------------------------------------------------------------------------
// Serial ports

void pushSerialBytes(int32_t port, std::span<const uint8_t> bytes) {
  const std::size_t index = serialPortIndex(port);
  auto& serial = simState().serial;
  {
    std::scoped_lock lock(serial.mutex);
    auto& incoming = serial.ports.at(index).incoming;
    incoming.insert(incoming.end(), bytes.begin(), bytes.end());
  }
  serial.changed.notify_all();
}

SerialSettings serialSettings(int32_t port) {
  const std::size_t index = serialPortIndex(port);
  auto& serial = simState().serial;
  std::scoped_lock lock(serial.mutex);
  return serial.ports.at(index).settings;
}

// ---------------------------------------------------------------------------------------------
// Faults

void setInitializeCanStatus(int32_t status) {
  auto& can = simState().can;
  std::scoped_lock lock(can.mutex);
  can.initializeStatus = status;
}

void setSendStatus(int32_t status) {
  auto& can = simState().can;
  std::scoped_lock lock(can.mutex);
  can.sendStatus = status;
}

void setStreamOpenStatus(int32_t status) {
  auto& can = simState().can;
  std::scoped_lock lock(can.mutex);
  can.streamOpenStatus = status;
}

void setSerialOpenStatus(int32_t status) {
  auto& serial = simState().serial;
  std::scoped_lock lock(serial.mutex);
  serial.openStatus = status;
}

void setSerialReadStatus(int32_t status) {
  auto& serial = simState().serial;
  std::scoped_lock lock(serial.mutex);
  serial.readStatus = status;
}

void setI2CInitializeStatus(int32_t status) {
  auto& i2c = simState().i2c;
  std::scoped_lock lock(i2c.mutex);
  i2c.initializeStatus = status;
}

void reset() {
  SimState& state = simState();
  state.systemActive.store(false);
  {
    std::scoped_lock lock(state.can.mutex);
    state.can.received.clear();
    state.can.sent.clear();
    for (auto& entry : state.can.handles) {
      entry.second.lastReadSequence.clear();
    }
    for (auto& entry : state.can.sessions) {
      entry.second.queue.clear();
      entry.second.overrun = false;
    }
    state.can.initializeStatus = 0;
    state.can.sendStatus = 0;
    state.can.streamOpenStatus = 0;
  }
  {
    std::scoped_lock lock(state.serial.mutex);
    for (auto& port : state.serial.ports) {
      port.incoming.clear();
    }
    state.serial.openStatus = 0;
    state.serial.readStatus = 0;
  }
  // Devices are destroyed after the lock is released: their destructors are not ours.
  std::array<std::map<int32_t, std::shared_ptr<I2CDevice>>, kI2CPortCount> detached;
  {
    std::scoped_lock lock(state.i2c.mutex);
    for (std::size_t port = 0; port < kI2CPortCount; ++port) {
      detached.at(port).swap(state.i2c.ports.at(port).devices);
    }
    state.i2c.initializeStatus = 0;
  }
}

}  // namespace halsim

// The control side of the simulation: what tests, device simulators and the demo call.
#include "halsim/SimControl.h"

#include <algorithm>
#include <iterator>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>

#include "SimState.h"
#include "hal/simulation/DriverStationData.h"

namespace halsim {

namespace {

using namespace detail;

std::size_t serialPortIndex(int32_t port) {
  if (port < 0 || static_cast<std::size_t>(port) >= kSerialPortCount) {
    throw std::out_of_range("no serial port " + std::to_string(port));
  }
  return static_cast<std::size_t>(port);
}

// Sets the status a bus's next call of one kind fails with (0: it succeeds), under its lock.
template <typename Bus>
void injectStatus(Bus& bus, int32_t Bus::*status, int32_t value) {
  std::scoped_lock lock(bus.mutex);
  bus.*status = value;
}

}  // namespace

int openCanHandleCount() {
  auto& can = simState().can;
  std::scoped_lock lock(can.mutex);
  return static_cast<int>(can.handles.size());
}

// ---------------------------------------------------------------------------------------------
// I2C

std::size_t i2cPortIndex(int32_t port) {
  if (port < 0 || static_cast<std::size_t>(port) >= kI2CPortCount) {
    throw std::out_of_range("no I2C port " + std::to_string(port));
  }
  return static_cast<std::size_t>(port);
}

void setI2CWriteFault(int32_t port, std::function<bool(std::span<const uint8_t>)> fails) {
  const std::size_t index = i2cPortIndex(port);
  auto& i2c = simState().i2c;
  std::scoped_lock lock(i2c.mutex);
  // The replaced function is released after the lock, with `fails`.
  std::swap(i2c.ports.at(index).writeFails, fails);
}

void setI2CReadFault(int32_t port, bool fails) {
  const std::size_t index = i2cPortIndex(port);
  auto& i2c = simState().i2c;
  std::scoped_lock lock(i2c.mutex);
  i2c.ports.at(index).readsFail = fails;
}

void setI2CAbsent(int32_t port, bool absent) {
  if (absent) {
    setI2CWriteFault(port, [](std::span<const uint8_t>) { return true; });
  } else {
    setI2CWriteFault(port, nullptr);
  }
  setI2CReadFault(port, absent);
}

bool i2cPortOpen(int32_t port) {
  if (port < 0 || static_cast<std::size_t>(port) >= kI2CPortCount) {
    return false;
  }
  auto& i2c = simState().i2c;
  std::scoped_lock lock(i2c.mutex);
  return i2c.ports.at(static_cast<std::size_t>(port)).initialized;
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
  injectStatus(simState().can, &CanBus::initializeStatus, status);
}

void setSendStatus(int32_t status) { injectStatus(simState().can, &CanBus::sendStatus, status); }

void setStreamOpenStatus(int32_t status) {
  injectStatus(simState().can, &CanBus::streamOpenStatus, status);
}

void setSerialOpenStatus(int32_t status) {
  injectStatus(simState().serial, &SerialBus::openStatus, status);
}

void setSerialReadStatus(int32_t status) {
  injectStatus(simState().serial, &SerialBus::readStatus, status);
}

void setI2CInitializeStatus(int32_t status) {
  injectStatus(simState().i2c, &I2CBus::initializeStatus, status);
}

void reset() {
  SimState& state = simState();
  HALSIM_SetDriverStationEnabled(0);
  {
    std::scoped_lock lock(state.can.mutex);
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
  // Fault functions are released after the lock: their captures are not ours.
  std::array<std::function<bool(std::span<const uint8_t>)>, kI2CPortCount> released;
  {
    std::scoped_lock lock(state.i2c.mutex);
    for (std::size_t port = 0; port < kI2CPortCount; ++port) {
      released.at(port).swap(state.i2c.ports.at(port).writeFails);
      state.i2c.ports.at(port).readsFail = false;
    }
    state.i2c.initializeStatus = 0;
  }
}

}  // namespace halsim

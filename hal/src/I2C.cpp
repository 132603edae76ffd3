// I2C: transfers go to the simulated device attached at the port and address.
#include "hal/I2C.h"

#include <memory>
#include <mutex>
#include <optional>
#include <span>

#include "SimState.h"

namespace {

using namespace halsim::detail;

std::optional<std::size_t> portIndex(HAL_I2CPort port) {
  if (port < 0 || static_cast<std::size_t>(port) >= kI2CPortCount) {
    return std::nullopt;
  }
  return static_cast<std::size_t>(port);
}

/** The device a transfer reaches, or null when the port is closed or nothing answers there. */
std::shared_ptr<halsim::I2CDevice> reachableDevice(HAL_I2CPort port, int32_t address) {
  const auto index = portIndex(port);
  if (!index) {
    return nullptr;
  }
  auto& i2c = simState().i2c;
  std::scoped_lock lock(i2c.mutex);
  const I2CPortState& state = i2c.ports.at(*index);
  if (!state.open) {
    return nullptr;
  }
  const auto found = state.devices.find(address);
  return found == state.devices.end() ? nullptr : found->second;
}

}  // namespace

extern "C" {

void HAL_InitializeI2C(HAL_I2CPort port, int32_t* status) {
  const auto index = portIndex(port);
  if (!index) {
    setStatus(status, kParameterOutOfRange);
    return;
  }
  auto& i2c = simState().i2c;
  std::scoped_lock lock(i2c.mutex);
  if (i2c.initializeStatus != 0) {
    setStatus(status, i2c.initializeStatus);
    return;
  }
  i2c.ports.at(*index).open = true;
  setStatus(status, 0);
}

int32_t HAL_WriteI2C(HAL_I2CPort port, int32_t deviceAddress, const uint8_t* dataToSend,
                     int32_t sendSize) {
  if (sendSize < 0 || (dataToSend == nullptr && sendSize > 0)) {
    return kI2CTransferFailed;
  }
  const auto device = reachableDevice(port, deviceAddress);
  if (!device) {
    return kI2CTransferFailed;
  }
  // The device runs without any lock held; it may take its time or call back into the HAL.
  return device->write(std::span(dataToSend, static_cast<std::size_t>(sendSize)));
}

int32_t HAL_ReadI2C(HAL_I2CPort port, int32_t deviceAddress, uint8_t* buffer, int32_t count) {
  if (count < 0 || (buffer == nullptr && count > 0)) {
    return kI2CTransferFailed;
  }
  const auto device = reachableDevice(port, deviceAddress);
  if (!device) {
    return kI2CTransferFailed;
  }
  return device->read(std::span(buffer, static_cast<std::size_t>(count)));
}

void HAL_CloseI2C(HAL_I2CPort port) {
  const auto index = portIndex(port);
  if (!index) {
    return;
  }
  auto& i2c = simState().i2c;
  std::scoped_lock lock(i2c.mutex);
  i2c.ports.at(*index).open = false;
}

}  // extern "C"

// I2C: transfers go to the simulation's read and write callbacks of the port
// (hal/simulation/I2CData.h), as in WPILib's simulation, where a transfer succeeds. Unlike
// WPILib's simulation, and like a robot controller, the stand-in fails the transfers of a port
// that is not initialised; its faults (halsim/SimControl.h) can fail others before any callback
// sees them.
#include "hal/I2C.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <span>

#include "SimState.h"
#include "hal/simulation/I2CData.h"

namespace {

using namespace halsim::detail;

// What a failed read leaves in the buffer: the bus's idle level.
constexpr uint8_t kIdleBusByte = 0xFF;

std::optional<std::size_t> portIndex(int32_t port) {
  if (port < 0 || static_cast<std::size_t>(port) >= kI2CPortCount) {
    return std::nullopt;
  }
  return static_cast<std::size_t>(port);
}

I2CPortState& portState(std::size_t index) { return simState().i2c.ports.at(index); }

// Marks the port initialised or not, under the bus's lock; callbacks are the caller's to call.
void markInitialized(std::size_t index, bool initialized) {
  auto& i2c = simState().i2c;
  std::scoped_lock lock(i2c.mutex);
  i2c.ports.at(index).initialized = initialized;
}

void notifyInitialized(std::size_t index, bool initialized) {
  const HAL_Value value = HAL_MakeBoolean(initialized ? 1 : 0);
  portState(index).initializedCallbacks.call("Initialized", &value);
}

}  // namespace

extern "C" {

void HAL_InitializeI2C(HAL_I2CPort port, int32_t* status) {
  const auto index = portIndex(port);
  if (!index) {
    setStatus(status, kParameterOutOfRange);
    return;
  }
  {
    auto& i2c = simState().i2c;
    std::scoped_lock lock(i2c.mutex);
    if (i2c.initializeStatus != 0) {
      setStatus(status, i2c.initializeStatus);
      return;
    }
    i2c.ports.at(*index).initialized = true;
  }
  setStatus(status, 0);
  notifyInitialized(*index, true);
}

int32_t HAL_WriteI2C(HAL_I2CPort port, int32_t /*deviceAddress*/, const uint8_t* dataToSend,
                     int32_t sendSize) {
  const auto index = portIndex(port);
  if (!index || sendSize < 0 || (dataToSend == nullptr && sendSize > 0)) {
    return kI2CTransferFailed;
  }
  const std::span bytes(dataToSend, static_cast<std::size_t>(sendSize));
  {
    auto& i2c = simState().i2c;
    std::scoped_lock lock(i2c.mutex);
    const I2CPortState& state = i2c.ports.at(*index);
    if (!state.initialized || (state.writeFails && state.writeFails(bytes))) {
      return kI2CTransferFailed;
    }
  }
  portState(*index).writeCallbacks.call("Write", dataToSend, static_cast<unsigned int>(sendSize));
  return 0;
}

int32_t HAL_ReadI2C(HAL_I2CPort port, int32_t /*deviceAddress*/, uint8_t* buffer, int32_t count) {
  const auto index = portIndex(port);
  if (!index || count < 0 || (buffer == nullptr && count > 0)) {
    return kI2CTransferFailed;
  }
  bool fails = false;
  {
    auto& i2c = simState().i2c;
    std::scoped_lock lock(i2c.mutex);
    if (!i2c.ports.at(*index).initialized) {
      return kI2CTransferFailed;  // nothing driven: the buffer is left as it was
    }
    fails = i2c.ports.at(*index).readsFail;
  }
  if (fails) {
    std::fill_n(buffer, count, kIdleBusByte);
    return kI2CTransferFailed;
  }
  portState(*index).readCallbacks.call("Read", buffer, static_cast<unsigned int>(count));
  return 0;
}

void HAL_CloseI2C(HAL_I2CPort port) {
  const auto index = portIndex(port);
  if (!index) {
    return;
  }
  markInitialized(*index, false);
  notifyInitialized(*index, false);
}

void HALSIM_ResetI2CData(int32_t index) {
  const auto port = portIndex(index);
  if (!port) {
    return;
  }
  markInitialized(*port, false);
  portState(*port).initializedCallbacks.clear();
  portState(*port).readCallbacks.clear();
  portState(*port).writeCallbacks.clear();
}

int32_t HALSIM_RegisterI2CInitializedCallback(int32_t index, HAL_NotifyCallback callback,
                                              void* param, HAL_Bool initialNotify) {
  const auto port = portIndex(index);
  if (!port) {
    return 0;
  }
  const int32_t uid = portState(*port).initializedCallbacks.add(callback, param);
  if (uid != 0 && initialNotify) {
    const HAL_Value value = HAL_MakeBoolean(HALSIM_GetI2CInitialized(index));
    callback("Initialized", param, &value);
  }
  return uid;
}

void HALSIM_CancelI2CInitializedCallback(int32_t index, int32_t uid) {
  if (const auto port = portIndex(index)) {
    portState(*port).initializedCallbacks.cancel(uid);
  }
}

HAL_Bool HALSIM_GetI2CInitialized(int32_t index) {
  const auto port = portIndex(index);
  if (!port) {
    return 0;
  }
  auto& i2c = simState().i2c;
  std::scoped_lock lock(i2c.mutex);
  return i2c.ports.at(*port).initialized ? 1 : 0;
}

void HALSIM_SetI2CInitialized(int32_t index, HAL_Bool initialized) {
  const auto port = portIndex(index);
  if (!port) {
    return;
  }
  markInitialized(*port, initialized != 0);
  notifyInitialized(*port, initialized != 0);
}

int32_t HALSIM_RegisterI2CReadCallback(int32_t index, HAL_BufferCallback callback, void* param) {
  const auto port = portIndex(index);
  return port ? portState(*port).readCallbacks.add(callback, param) : 0;
}

void HALSIM_CancelI2CReadCallback(int32_t index, int32_t uid) {
  if (const auto port = portIndex(index)) {
    portState(*port).readCallbacks.cancel(uid);
  }
}

int32_t HALSIM_RegisterI2CWriteCallback(int32_t index, HAL_ConstBufferCallback callback,
                                        void* param) {
  const auto port = portIndex(index);
  return port ? portState(*port).writeCallbacks.add(callback, param) : 0;
}

void HALSIM_CancelI2CWriteCallback(int32_t index, int32_t uid) {
  if (const auto port = portIndex(index)) {
    portState(*port).writeCallbacks.cancel(uid);
  }
}

}  // extern "C"

// The robot controller's serial ports: settings are recorded, bytes come from pushSerialBytes.
#include "hal/SerialPort.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <mutex>

#include "SimState.h"

namespace {

using namespace halsim::detail;

/** The open port a handle refers to; the caller holds the serial mutex. */
SerialPortState* openPort(SerialBus& serial, HAL_SerialPortHandle handle) {
  if (handle == HAL_kInvalidHandle) {
    return nullptr;
  }
  auto* const found =
      std::find_if(serial.ports.begin(), serial.ports.end(), [handle](const SerialPortState& port) {
        return port.settings.open && port.handle == handle;
      });
  return found == serial.ports.end() ? nullptr : &*found;
}

template <typename Change>
void changeSettings(HAL_SerialPortHandle handle, int32_t* status, Change change) {
  auto& serial = simState().serial;
  std::scoped_lock lock(serial.mutex);
  SerialPortState* port = openPort(serial, handle);
  if (port == nullptr) {
    setStatus(status, kHandleError);
    return;
  }
  change(port->settings);
  setStatus(status, 0);
}

std::chrono::steady_clock::duration readTimeout(double seconds) {
  // Negative or NaN timeouts mean "do not wait"; a day bounds absurd ones so the deadline
  // arithmetic cannot overflow.
  constexpr double kLongestWaitSeconds = 86400.0;
  if (!(seconds > 0.0)) {
    return std::chrono::steady_clock::duration::zero();
  }
  return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::duration<double>(std::min(seconds, kLongestWaitSeconds)));
}

}  // namespace

extern "C" {

HAL_SerialPortHandle HAL_InitializeSerialPort(HAL_SerialPort port, int32_t* status) {
  if (port < 0 || static_cast<std::size_t>(port) >= kSerialPortCount) {
    setStatus(status, kParameterOutOfRange);
    return HAL_kInvalidHandle;
  }
  auto& serial = simState().serial;
  std::scoped_lock lock(serial.mutex);
  if (serial.openStatus != 0) {
    setStatus(status, serial.openStatus);
    return HAL_kInvalidHandle;
  }
  SerialPortState& state = serial.ports.at(static_cast<std::size_t>(port));
  // Opening an open port again hands out the same handle and keeps its settings; bytes that
  // arrived before the port was opened stay queued for the program.
  if (!state.settings.open) {
    state.settings = halsim::SerialSettings{};
    state.settings.open = true;
    state.handle = newHandle();
  }
  setStatus(status, 0);
  return state.handle;
}

void HAL_SetSerialBaudRate(HAL_SerialPortHandle handle, int32_t baud, int32_t* status) {
  changeSettings(handle, status, [baud](halsim::SerialSettings& s) { s.baudRate = baud; });
}

void HAL_SetSerialDataBits(HAL_SerialPortHandle handle, int32_t bits, int32_t* status) {
  changeSettings(handle, status, [bits](halsim::SerialSettings& s) { s.dataBits = bits; });
}

void HAL_SetSerialParity(HAL_SerialPortHandle handle, int32_t parity, int32_t* status) {
  changeSettings(handle, status, [parity](halsim::SerialSettings& s) { s.parity = parity; });
}

void HAL_SetSerialStopBits(HAL_SerialPortHandle handle, int32_t stopBits, int32_t* status) {
  changeSettings(handle, status, [stopBits](halsim::SerialSettings& s) { s.stopBits = stopBits; });
}

void HAL_SetSerialWriteMode(HAL_SerialPortHandle handle, int32_t mode, int32_t* status) {
  changeSettings(handle, status, [mode](halsim::SerialSettings& s) { s.writeMode = mode; });
}

void HAL_SetSerialTimeout(HAL_SerialPortHandle handle, double timeout, int32_t* status) {
  changeSettings(handle, status,
                 [timeout](halsim::SerialSettings& s) { s.timeoutSeconds = timeout; });
}

void HAL_DisableSerialTermination(HAL_SerialPortHandle handle, int32_t* status) {
  changeSettings(handle, status, [](halsim::SerialSettings& s) { s.terminationEnabled = false; });
}

int32_t HAL_GetSerialBytesReceived(HAL_SerialPortHandle handle, int32_t* status) {
  auto& serial = simState().serial;
  std::scoped_lock lock(serial.mutex);
  if (serial.readStatus != 0) {
    setStatus(status, serial.readStatus);
    return 0;
  }
  const SerialPortState* port = openPort(serial, handle);
  if (port == nullptr) {
    setStatus(status, kHandleError);
    return 0;
  }
  setStatus(status, 0);
  return static_cast<int32_t>(
      std::min<std::size_t>(port->incoming.size(), std::numeric_limits<int32_t>::max()));
}

int32_t HAL_ReadSerial(HAL_SerialPortHandle handle, char* buffer, int32_t count, int32_t* status) {
  auto& serial = simState().serial;
  std::unique_lock lock(serial.mutex);
  if (serial.readStatus != 0) {
    setStatus(status, serial.readStatus);
    return 0;
  }
  SerialPortState* port = openPort(serial, handle);
  if (port == nullptr) {
    setStatus(status, kHandleError);
    return 0;
  }
  if (count <= 0 || buffer == nullptr) {
    setStatus(status, 0);
    return 0;
  }
  const auto wanted = static_cast<std::size_t>(count);
  const auto deadline =
      std::chrono::steady_clock::now() + readTimeout(port->settings.timeoutSeconds);
  serial.changed.wait_until(lock, deadline, [&] {
    return port->incoming.size() >= wanted || !port->settings.open || port->handle != handle;
  });
  if (!port->settings.open || port->handle != handle) {  // closed while we waited
    setStatus(status, kHandleError);
    return 0;
  }
  const std::size_t taken = std::min(wanted, port->incoming.size());
  std::transform(port->incoming.begin(),
                 port->incoming.begin() + static_cast<std::ptrdiff_t>(taken), buffer,
                 [](uint8_t byte) { return static_cast<char>(byte); });
  port->incoming.erase(port->incoming.begin(),
                       port->incoming.begin() + static_cast<std::ptrdiff_t>(taken));
  setStatus(status, 0);
  return static_cast<int32_t>(taken);
}

void HAL_CloseSerial(HAL_SerialPortHandle handle) {
  auto& serial = simState().serial;
  {
    std::scoped_lock lock(serial.mutex);
    SerialPortState* port = openPort(serial, handle);
    if (port == nullptr) {
      return;
    }
    port->settings.open = false;
    port->handle = HAL_kInvalidHandle;
  }
  serial.changed.notify_all();
}

}  // extern "C"

// A simulated USB serial device behind a COM port, for the serial transport's tests on Windows
// under Wine. tests/support/pty_relay.py maps the COM port to a fresh pseudo-terminal for each
// TCP connection and relays the bytes: the connection is the device's end of the wire.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvern::testing {

/** The COM port and the relay behind it, as the test run script announces them. */
struct SerialRelaySetup {
  std::string devicePath;  // what the library opens, e.g. \\.\COM7
  uint16_t relayPort = 0;  // the relay's TCP port on 127.0.0.1
};

/**
 * From HALVERN_TEST_SERIAL_PORT (e.g. COM7) and HALVERN_TEST_SERIAL_RELAY_PORT; nothing when
 * either is unset.
 */
std::optional<SerialRelaySetup> serialRelayFromEnvironment();

class RelayedSerialDevice {
 public:
  /** Plugs a device in behind the port: a fresh pseudo-terminal, raw from the start. */
  explicit RelayedSerialDevice(uint16_t relayPort);
  RelayedSerialDevice(const RelayedSerialDevice&) = delete;
  RelayedSerialDevice& operator=(const RelayedSerialDevice&) = delete;
  ~RelayedSerialDevice();

  /** False when plugging in failed; error() says why. */
  [[nodiscard]] bool pluggedIn() const { return connection_ != kNotConnected; }
  [[nodiscard]] const std::string& error() const { return error_; }

  /** Sends bytes to the library. False once unplugged or on a failed send. */
  bool send(std::string_view bytes);

  /**
   * Bytes the library wrote: waits up to `timeout` for the first, then takes what follows
   * within a short quiet gap, up to `maxBytes`.
   */
  std::vector<uint8_t> receive(std::chrono::milliseconds timeout, std::size_t maxBytes = 65536);
  std::string receiveText(std::chrono::milliseconds timeout);

  /** Pulls the cable: returns once the pseudo-terminal is closed. */
  void unplug();

 private:
  static constexpr std::uintptr_t kNotConnected = ~std::uintptr_t{0};  // INVALID_SOCKET

  std::uintptr_t connection_ = kNotConnected;  // a SOCKET
  std::string error_;
};

}  // namespace halvern::testing

// The test's side of a serial line: what the far end of a port the library opened (a simulated
// device's pseudo-terminal, or on Windows a relayed COM port) received, the port's own count of
// bytes waiting, and the transport's calls on no port. `Device` is any far end with
// `receive(timeout)`.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "WaitFor.h"
#include "core/SerialTransport.h"

namespace halvern::test {

/** A block of `size` bytes in which every byte value occurs, none next to its like. */
inline std::vector<uint8_t> everyByteValue(std::size_t size) {
  std::vector<uint8_t> bytes(size);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<uint8_t>(i * 7);
  }
  return bytes;
}

/** What the far end received up to and including `marker`, which the library writes after
 *  whatever the test wants to show it did not write; less when `limit` passes first. */
template <typename Device>
std::string receivedUpTo(Device& device, const std::string& marker,
                         std::chrono::steady_clock::duration limit) {
  using Clock = std::chrono::steady_clock;
  std::string received;
  const auto deadline = Clock::now() + limit;
  while (!received.ends_with(marker) && Clock::now() < deadline) {
    const auto chunk = device.receive(std::chrono::duration_cast<std::chrono::milliseconds>(
        std::max(deadline - Clock::now(), Clock::duration::zero())));
    received.append(chunk.begin(), chunk.end());
  }
  return received;
}

/** Writes the marker "M" on the port, then what the far end received up to it: just "M" when the
 *  library wrote nothing before it. Empty, and a failure, when the marker cannot be written. */
template <typename Device>
std::string receivedUpToMarker(Device& device, serial::SerialHandle h,
                               std::chrono::steady_clock::duration limit) {
  if (!serial::WriteSerialBytes(h, reinterpret_cast<const uint8_t*>("M"), 1)) {
    ADD_FAILURE() << "the marker could not be written";
    return {};
  }
  return receivedUpTo(device, "M", limit);
}

/** What the far end received, until `count` bytes have come or none come within `limit`. */
template <typename Device>
std::vector<uint8_t> receiveAtLeast(Device& device, std::size_t count,
                                    std::chrono::milliseconds limit) {
  std::vector<uint8_t> received;
  while (received.size() < count) {
    const auto chunk = device.receive(limit);
    if (chunk.empty()) {
      break;
    }
    received.insert(received.end(), chunk.begin(), chunk.end());
  }
  return received;
}

/** The bytes waiting on the port once there are `count` (a byte the far end sent is on its way
 *  for a while before the port counts it), or the last count seen when `limit` passes. */
inline int waitForBytesWaiting(serial::SerialHandle h, int count,
                               std::chrono::steady_clock::duration limit) {
  return waitForValue([&] { return serial::SerialBytesWaiting(h); },
                      [&](int waiting) { return waiting >= count; }, limit);
}

/** Every transport call on the invalid handle fails or does nothing. */
inline void expectTheInvalidHandleDoesNothing() {
  using namespace serial;  // NOLINT(google-build-using-namespace)
  std::array<uint8_t, 4> buffer{};
  EXPECT_FALSE(WriteSerialBytes(kInvalidSerialHandle, buffer.data(), 4));
  EXPECT_FALSE(WriteSerialLine(kInvalidSerialHandle, "GETCONFIG"));
  EXPECT_EQ(ReadSerialBytes(kInvalidSerialHandle, buffer.data(), 4), 0);
  EXPECT_EQ(SerialBytesWaiting(kInvalidSerialHandle), 0);
  PurgeSerialInput(kInvalidSerialHandle);
  CloseSerialPort(kInvalidSerialHandle);
}

}  // namespace halvern::test

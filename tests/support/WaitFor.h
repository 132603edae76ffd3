// Waiting on an event in a test: the limit only bounds a failure, it never decides an outcome.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <thread>
#include <vector>

namespace halvern::test {

/** Bounds a wait for what normally takes milliseconds, on a machine that may be very busy. */
inline constexpr std::chrono::seconds kWaitLimit{10};

/** Polls `condition` every millisecond until it holds (true) or `limit` has passed (false). */
template <typename Condition>
bool waitFor(Condition condition,
             std::chrono::steady_clock::duration limit = std::chrono::seconds(2)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return condition();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

/**
 * Reads `read()` every millisecond until `done` holds of its value or `limit` has passed; the
 * last value read.
 */
template <typename Read, typename Done>
auto waitForValue(Read read, Done done,
                  std::chrono::steady_clock::duration limit = std::chrono::seconds(2)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  auto value = read();
  while (!done(value) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    value = read();
  }
  return value;
}

/**
 * The command lines a simulated serial device has received (its `receivedLines()`), once there
 * are at least `count` or `limit` has passed.
 */
template <typename Device>
std::vector<std::string> waitForLines(const Device& device, std::size_t count,
                                      std::chrono::steady_clock::duration limit) {
  return waitForValue([&] { return device.receivedLines(); },
                      [&](const std::vector<std::string>& lines) { return lines.size() >= count; },
                      limit);
}

}  // namespace halvern::test

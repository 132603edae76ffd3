// How the timing tests bracket the moment the library read a packet, to check the time it gave
// the packet against.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "WaitFor.h"
#include "core/HalPlatform.h"

namespace halvern::test {

/** On the robot's clock: from just before a packet was sent to after a read that followed it. */
struct ReadWindow {
  int64_t sentUs = 0;
  int64_t readUs = 0;
};

/**
 * Sends `packet`, then bytes that hold no packet mark, waiting after each until `taken()` says the
 * library has read what was sent: once the bytes after it are read too, it has dealt with the
 * packet.
 */
template <typename Simulator, typename Taken>
ReadWindow sendWithinWindow(Simulator& sim, const std::vector<uint8_t>& packet, Taken taken,
                            std::chrono::steady_clock::duration limit) {
  ReadWindow window{.sentUs = platform::robotTimeMicros()};
  for (const auto& bytes : {packet, std::vector<uint8_t>{0x00, 0x11, 0x22}}) {
    sim.sendRaw(bytes);
    EXPECT_TRUE(waitFor(taken, limit));
  }
  window.readUs = platform::robotTimeMicros();
  return window;
}

}  // namespace halvern::test

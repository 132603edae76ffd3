// Whether a device is connected, judged from its own traffic: it is while what it sends keeps
// arriving, and stops being once it has been silent for longer than its family's limit. The
// header knows no platform (the wire-format code and its fuzz targets include it); reading the
// robot's clock is in ConnectionMonitor.cpp.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "core/ConnectionSilence.h"

namespace halvern {

/**
 * The robot-clock time of a device's latest traffic. Written by whichever thread sees the
 * traffic (a reader, a gatherer, a caller's poll) and read by any, without a lock.
 */
class ConnectionMonitor {
 public:
  /** A device silent for longer than `silence` reads disconnected. */
  explicit ConnectionMonitor(std::chrono::microseconds silence) : silenceUs(silence.count()) {}

  /** Notes traffic that arrived at `robotMicros` (a frame's own stamp, or now). */
  void noteTraffic(int64_t robotMicros) {
    // The newest stamp wins: a stale frame read late must not push the time back.
    int64_t seen = lastTrafficUs.load(std::memory_order_relaxed);
    while (robotMicros > seen &&
           !lastTrafficUs.compare_exchange_weak(seen, robotMicros, std::memory_order_relaxed)) {
    }
  }
  /** Notes traffic arriving now, on the robot's clock. */
  void noteTrafficNow();

  /** True when traffic was seen no longer than the silence limit before `nowMicros`. */
  [[nodiscard]] bool connectedAt(int64_t nowMicros) const {
    const int64_t last = lastTrafficUs.load(std::memory_order_relaxed);
    return last != 0 && nowMicros - last <= silenceUs;
  }
  /** connectedAt(now on the robot's clock). */
  [[nodiscard]] bool connected() const;

  /** The robot-clock time of the latest traffic; 0 when none was seen. */
  [[nodiscard]] int64_t lastTrafficMicros() const {
    return lastTrafficUs.load(std::memory_order_relaxed);
  }

  /** Forgets all traffic, as when the device's port is closed. */
  void reset() { lastTrafficUs.store(0, std::memory_order_relaxed); }

 private:
  const int64_t silenceUs;
  std::atomic<int64_t> lastTrafficUs{0};
};

}  // namespace halvern

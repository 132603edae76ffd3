// Gathers a CAN distance sensor's readings in the background: one thread per sensor reads the
// sensor's stream session as frames arrive, assembles each reading (ReadingAssembler) and hands
// it on the moment it is complete, so that reading the sensor never waits.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>

#include "core/ConnectionMonitor.h"
#include "core/DualTransportDevice.h"
#include "dystal/ReadingAssembler.h"

namespace halvern::dystal {

class CanGatherer {
 public:
  /** Called on the gathering thread with every reading completed. */
  using Publish = std::function<void(const CompletedReading&)>;
  /** Called on the gathering thread with a robot-clock time the sensor's traffic is known up
   *  to: after each of its reads (now), and before and after noting each frame (its stamp). */
  using Tick = std::function<void(int64_t atUs)>;

  /** Between reads that found the session empty, the thread waits this long. The HAL's stream
   *  read does not block, so this is how promptly a frame is seen. */
  static constexpr std::chrono::milliseconds kPollInterval{1};

  /**
   * Starts gathering from `stream`, which outlives this object; `streamMutex` is held around
   * every read of it, so that no other reader takes frames meanwhile. Every frame of the sensor
   * `canId` counts as its traffic in `connection`. `tick`, if given, follows the traffic.
   */
  CanGatherer(const CanStreamSession& stream, std::mutex& streamMutex, uint8_t canId,
              ConnectionMonitor& connection, Publish publish, Tick tick = {});
  CanGatherer(const CanGatherer&) = delete;
  CanGatherer& operator=(const CanGatherer&) = delete;

 private:
  void run(const std::stop_token& stop);
  /** Reads one batch from the session and takes its frames; the number of frames read. */
  uint32_t readBatch(ReadingAssembler& assembler);

  const CanStreamSession& stream;
  std::mutex& streamMutex;
  const uint32_t chunkId;
  ConnectionMonitor& connection;
  const Publish publish;
  const Tick tick;
  std::chrono::steady_clock::time_point lastChunkAt;  // the thread's alone

  std::mutex wakeMutex;
  std::condition_variable_any wake;  // wakes the pause between reads when stopping
  // Last: it starts once everything above is ready, and goes first: destroying the gatherer
  // stops the thread, waking it, and waits for it.
  std::jthread thread;
};

}  // namespace halvern::dystal

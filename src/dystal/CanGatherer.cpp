#include "dystal/CanGatherer.h"

#include <array>
#include <utility>

#include "core/HalPlatform.h"

namespace halvern::dystal {

CanGatherer::CanGatherer(const CanStreamSession& session, std::mutex& sessionMutex, uint8_t canId,
                         ConnectionMonitor& monitor, Publish onReading, Tick onTick)
    : stream(session),
      streamMutex(sessionMutex),
      chunkId(canMessageId(canId, Api::DistanceChunk)),
      connection(monitor),
      publish(std::move(onReading)),
      tick(std::move(onTick)),
      thread([this](const std::stop_token& stop) { run(stop); }) {}

void CanGatherer::run(const std::stop_token& stop) {
  ReadingAssembler assembler;
  while (!stop.stop_requested()) {
    const uint32_t read = readBatch(assembler);
    const bool emptied = read < kStreamDepth;  // a full batch may mean more are waiting
    if (emptied && assembler.pending() &&
        std::chrono::steady_clock::now() - lastChunkAt >= ReadingAssembler::kChunkPause) {
      assembler.pause(publish);
    }
    if (tick) {
      tick(platform::robotTimeMicros());
    }
    if (emptied) {
      std::unique_lock lock(wakeMutex);
      wake.wait_for(lock, stop, kPollInterval, [] { return false; });
    }
  }
}

uint32_t CanGatherer::readBatch(ReadingAssembler& assembler) {
  std::array<platform::CanFrame, kStreamDepth> frames{};
  uint32_t received = 0;
  {
    const std::lock_guard lock(streamMutex);
    if (!stream.isOpen()) {
      return 0;
    }
    const int32_t status = platform::canReadStream(stream.handle(), frames, received);
    // An overrun is a warning: the frames read are valid, the oldest ones were dropped.
    if (status != 0 && status != platform::kCanStreamOverrun) {
      return 0;
    }
  }
  for (uint32_t i = 0; i < received && i < kStreamDepth; ++i) {
    const platform::CanFrame& frame = frames.at(i);
    const uint32_t id = frame.messageId & kExactMask;
    if ((id & kSensorMask) != (chunkId & kSensorMask)) {
      continue;  // another sensor's
    }
    const auto stampUs = static_cast<int64_t>(frame.timestampUs);
    // Told at the frame's own time: a silence before it and its end, however late it is read.
    if (tick) {
      tick(stampUs);
    }
    connection.noteTraffic(stampUs);
    if (tick) {
      tick(stampUs);
    }
    if (id == chunkId) {
      lastChunkAt = std::chrono::steady_clock::now();
      assembler.add(frame.data.data(), frame.length, stampUs, publish);
    }
  }
  return received;
}

}  // namespace halvern::dystal

#include <algorithm>
#include <array>

#include "SimDystal.h"
#include "dystal/DystalProtocol.h"

namespace halvern::sim {

namespace wire = halvern::dystal;

namespace {

constexpr uint16_t kNoDistance = 0xFFFF;

void putUint16(std::array<uint8_t, wire::kCanFrameLength>& frame, std::size_t at, uint16_t value) {
  frame.at(at) = static_cast<uint8_t>(value & 0xFFU);
  frame.at(at + 1) = static_cast<uint8_t>(value >> 8U);
}

}  // namespace

std::vector<int16_t> defaultDystalDistances() {
  std::vector<int16_t> distances(wire::kMaxDistances);
  for (std::size_t zone = 0; zone < distances.size(); ++zone) {
    distances[zone] = static_cast<int16_t>(500 + 10 * zone);
  }
  return distances;
}

struct SimDystalCan::State {
  explicit State(uint8_t id) : canId(id) {}
  void onConfigRequest();

  const uint8_t canId;
  mutable std::mutex mutex;
  std::vector<int16_t> distances = defaultDystalDistances();
  std::set<int> missingChunks;
  SimDystalConfig config;
  bool configSilent = false;
  int configRequests = 0;
  uint8_t sequence = 0;
};

void SimDystalCan::State::onConfigRequest() {
  std::array<uint8_t, wire::kCanFrameLength> reply{};
  {
    const std::lock_guard lock(mutex);
    ++configRequests;
    if (configSilent) {
      return;
    }
    reply[0] = config.version;
    reply[1] = config.distanceEnabled ? 1 : 0;
    reply[2] = config.canFdEnabled ? 1 : 0;
    reply[3] = config.canBrsEnabled ? 1 : 0;
    reply[4] = canId;
  }
  // Outside the lock: the bus may hand the frame to whoever listens at once.
  halsim::transmitToRobot(wire::canMessageId(canId, wire::Api::ConfigReply), reply);
}

SimDystalCan::SimDystalCan(uint8_t canId)
    : state_(std::make_shared<State>(static_cast<uint8_t>(canId & 0x3FU))),
      subscription_(halsim::subscribeToRobotFrames(
          wire::canMessageId(canId, wire::Api::ConfigRequest), wire::kExactMask,
          [state = state_](const halsim::CanFrame&) { state->onConfigRequest(); })) {}

SimDystalCan::~SimDystalCan() { stopReadings(); }

void SimDystalCan::setDistances(std::vector<int16_t> distances) {
  distances.resize(std::min<std::size_t>(distances.size(), wire::kMaxDistances));
  const std::lock_guard lock(state_->mutex);
  state_->distances = std::move(distances);
}

void SimDystalCan::setMissingChunks(std::set<int> chunks) {
  const std::lock_guard lock(state_->mutex);
  state_->missingChunks = std::move(chunks);
}

void SimDystalCan::sendReading() {
  std::vector<int16_t> distances;
  std::set<int> missing;
  uint8_t sequence = 0;
  {
    const std::lock_guard lock(state_->mutex);
    sequence = ++state_->sequence;
    distances = state_->distances;
    missing = state_->missingChunks;
  }
  const auto zones = static_cast<int>(distances.size());
  // Zones past the last in the final chunk go out as "no distance".
  const auto raw = [&](int zone) {
    return zone < zones ? static_cast<uint16_t>(distances[static_cast<std::size_t>(zone)])
                        : kNoDistance;
  };
  for (int chunk = 0; chunk * wire::kDistancesPerChunk < zones; ++chunk) {
    if (missing.contains(chunk)) {
      continue;
    }
    const int first = chunk * wire::kDistancesPerChunk;
    sendChunk(sequence, static_cast<uint8_t>(chunk), raw(first), raw(first + 1), raw(first + 2));
  }
}

void SimDystalCan::sendChunk(uint8_t sequence, uint8_t chunk, uint16_t d0, uint16_t d1,
                             uint16_t d2) {
  std::array<uint8_t, wire::kCanFrameLength> frame{};
  frame[0] = sequence;
  frame[1] = chunk;
  putUint16(frame, 2, d0);
  putUint16(frame, 4, d1);
  putUint16(frame, 6, d2);
  halsim::transmitToRobot(wire::canMessageId(state_->canId, wire::Api::DistanceChunk), frame);
}

void SimDystalCan::startReadings(std::chrono::milliseconds period) {
  stopReadings();
  readingThread_ = std::jthread([this, period](const std::stop_token& stop) {
    auto next = std::chrono::steady_clock::now();
    while (!stop.stop_requested()) {
      sendReading();
      next += period;
      // After a stall (a loaded machine), carry on from now rather than sending a burst.
      next = std::max(next, std::chrono::steady_clock::now());
      std::unique_lock lock(wakeMutex_);
      wakeReadings_.wait_until(lock, stop, next, [] { return false; });
    }
  });
}

void SimDystalCan::stopReadings() {
  if (readingThread_.joinable()) {
    readingThread_.request_stop();  // wakes the wait
    readingThread_.join();
  }
}

void SimDystalCan::setConfig(const SimDystalConfig& config) {
  const std::lock_guard lock(state_->mutex);
  state_->config = config;
}

void SimDystalCan::setConfigSilent(bool silent) {
  const std::lock_guard lock(state_->mutex);
  state_->configSilent = silent;
}

int SimDystalCan::configRequests() const {
  const std::lock_guard lock(state_->mutex);
  return state_->configRequests;
}

uint8_t SimDystalCan::lastSequence() const {
  const std::lock_guard lock(state_->mutex);
  return state_->sequence;
}

}  // namespace halvern::sim

#include <algorithm>
#include <array>
#include <string>

#include "SimClock.h"
#include "SimDystal.h"
#include "SimHal.h"
#include "can/CanBus.h"
#include "common/FedValue.h"
#include "dystal/DystalProtocol.h"

namespace halvern::sim {

namespace wire = halvern::dystal;

namespace {

constexpr uint16_t kNoDistance = 0xFFFF;

// The sensors' own sessions are the bus's even before a simulated sensor exists (a robot
// program creates its sensors first, its simulation later).
[[maybe_unused]] const bool sessionsClaimed =
    (claimStreamSessions({wire::kStreamId, wire::kStreamMask}), true);

}  // namespace

std::vector<int16_t> defaultDystalDistances() {
  std::vector<int16_t> distances(wire::kMaxDistances);
  for (std::size_t zone = 0; zone < distances.size(); ++zone) {
    distances[zone] = static_cast<int16_t>(500 + 10 * zone);
  }
  return distances;
}

struct SimDystalCan::State {
  State(uint8_t id, int32_t canBus);
  void onConfigRequest();
  /** Takes the distances the simulation set since the model last wrote them; mutex held. */
  void takeFedDistances();
  /** Shows the distances on the SimDevice; mutex held. */
  void showDistances();

  const uint8_t canId;
  const int32_t bus;
  mutable std::mutex mutex;
  std::vector<int16_t> distances = defaultDystalDistances();
  std::set<int> missingChunks;
  SimDystalConfig config;
  bool configSilent = false;
  int configRequests = 0;
  uint8_t sequence = 0;

  simhal::SimDevice simDevice;
  std::array<FedValue<simhal::SimInt, int32_t>, wire::kMaxDistances> distanceValues;
};

SimDystalCan::State::State(uint8_t id, int32_t canBus) : canId(id), bus(canBus) {
  startSimulation();
  simDevice = simhal::SimDevice(canDeviceName("Dystal", id, canBus).c_str());
  if (!simDevice) {
    return;  // a device of that name exists already: this one shows no values
  }
  for (std::size_t zone = 0; zone < distanceValues.size(); ++zone) {
    distanceValues.at(zone) = {
        simDevice.CreateInt(("Distance " + std::to_string(zone)).c_str(), simhal::kInput, 0), 0};
  }
  showDistances();
}

void SimDystalCan::State::takeFedDistances() {
  for (std::size_t zone = 0; zone < distanceValues.size(); ++zone) {
    const auto fed = distanceValues.at(zone).takeFed();
    if (!fed) {
      continue;
    }
    if (distances.size() <= zone) {
      distances.resize(zone + 1, -1);  // the zones between measure nothing
    }
    distances.at(zone) = static_cast<int16_t>(std::clamp<int32_t>(*fed, -1, 0x7FFF));
  }
}

void SimDystalCan::State::showDistances() {
  for (std::size_t zone = 0; zone < distanceValues.size(); ++zone) {
    distanceValues.at(zone).show(zone < distances.size() ? distances.at(zone) : -1);
  }
}

void SimDystalCan::State::onConfigRequest() {
  std::array<uint8_t, wire::kCanFrameLength> reply{};
  {
    const std::lock_guard lock(mutex);
    ++configRequests;
    if (configSilent) {
      return;
    }
    reply =
        wire::configReplyPayload({.version = config.version,
                                  .distanceEnabled = static_cast<uint8_t>(config.distanceEnabled),
                                  .canFdEnabled = static_cast<uint8_t>(config.canFdEnabled),
                                  .canBrsEnabled = static_cast<uint8_t>(config.canBrsEnabled),
                                  .canID = canId,
                                  .valid = 1});
  }
  // Outside the lock: the bus may hand the frame to whoever listens at once.
  transmitToRobot(wire::canMessageId(canId, wire::Api::ConfigReply), reply, bus);
}

SimDystalCan::SimDystalCan(uint8_t canId, int32_t bus)
    : state_(std::make_shared<State>(static_cast<uint8_t>(canId & 0x3FU), bus)),
      subscription_(subscribeToRobotFrames(
          {wire::canMessageId(canId, wire::Api::ConfigRequest), wire::kExactMask},
          {wire::canMessageId(canId, wire::Api::ConfigRequest), wire::kSensorMask},
          [state = state_](const CanFrame&) { state->onConfigRequest(); }, bus)) {}

SimDystalCan::~SimDystalCan() { stopReadings(); }

std::string SimDystalCan::simDeviceName() const {
  return canDeviceName("Dystal", state_->canId, state_->bus);
}

void SimDystalCan::setDistances(std::vector<int16_t> distances) {
  distances.resize(std::min<std::size_t>(distances.size(), wire::kMaxDistances));
  const std::lock_guard lock(state_->mutex);
  state_->distances = std::move(distances);
  state_->showDistances();
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
    state_->takeFedDistances();
    state_->showDistances();
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
  transmitToRobot(wire::canMessageId(state_->canId, wire::Api::DistanceChunk),
                  wire::distanceChunkPayload(sequence, chunk, {d0, d1, d2}), state_->bus);
}

void SimDystalCan::startReadings(std::chrono::milliseconds period) {
  stopReadings();
  sendReading();  // the first at once, then one a period
  readingTask_ = schedulePeriodic(period, [this] { sendReading(); });
}

void SimDystalCan::stopReadings() { readingTask_ = PeriodicTask(); }

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

// The simulated LidarMini ties its pieces together: the request reader and the commands' effects
// here, the motor's timeline (lidarmini/ScanTimeline), what it writes (lidarmini/ScanEncoding),
// its faults (lidarmini/ScanFaults), and the serial line it writes on (serial/SerialLine).
#include "SimLidarMini.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <mutex>
#include <optional>

#include "SimHal.h"
#include "lidar/RectangularRoom.h"
#include "lidarmini/LidarMiniProtocol.h"
#include "lidarmini/RequestReader.h"
#include "lidarmini/ScanEncoding.h"
#include "lidarmini/ScanFaults.h"
#include "lidarmini/ScanTimeline.h"
#include "serial/SerialLine.h"

namespace halvern::sim {

namespace wire = halvern::lidarmini;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kSmallStepTenths = 1;
constexpr int kBigStepTenths = 10;
constexpr auto kSplitPause = 3ms;
// Output waiting for the line beyond this (the host stopped reading) is dropped, packet by packet.
constexpr std::size_t kOutputBacklogLimit = 65536;
constexpr std::size_t kSentPacketsKept = 4096;

}  // namespace

struct SimLidarMini::State {
  mutable std::mutex mutex;
  Room room = defaultRoom();
  Identity identity;
  Health health;
  lidarmini::ScanFaults faults;
  bool splitPackets = false;
  bool silent = false;
  bool scanning = false;
  std::optional<std::vector<uint8_t>> replyOverride;
  std::vector<uint8_t> commands;
  std::deque<SentPacket> sentPackets;
  int revolutionsSent = 0;
  int packetsSent = 0;
  lidarmini::ScanTimeline timeline;
  lidarmini::RequestReader requests;  // the line's thread's alone
};

SimLidarMini::SimLidarMini()
    : state_(std::make_unique<State>()), line_(std::make_unique<SerialLine>(kBytesPerSecond)) {
  line_->start({.received = [this](std::span<const uint8_t> bytes) { takeRequests(bytes); },
                .turn = [this](Clock::time_point now, bool /*room*/) { queueDuePackets(now); }});
}

SimLidarMini::~SimLidarMini() { line_->stop(); }

const std::string& SimLidarMini::devicePath() const { return line_->devicePath(); }

SimLidarMini::Room SimLidarMini::defaultRoom() {
  constexpr RectangularRoom kRoom{
      .widthMetres = 4.0, .depthMetres = 3.0, .fromWestMetres = 1.5, .fromSouthMetres = 1.2};
  return [room = kRoom](double angleDegrees) {
    return static_cast<uint16_t>(std::lround(room.distanceMm(angleDegrees)));
  };
}

std::vector<SimLidarMini::SentPacket> SimLidarMini::sentPackets() const {
  const std::lock_guard lock(state_->mutex);
  return {state_->sentPackets.begin(), state_->sentPackets.end()};
}

void SimLidarMini::setRoom(Room room) {
  const std::lock_guard lock(state_->mutex);
  state_->room = std::move(room);
}

void SimLidarMini::setIdentity(const Identity& identity) {
  const std::lock_guard lock(state_->mutex);
  state_->identity = identity;
}

void SimLidarMini::setHealth(const Health& health) {
  const std::lock_guard lock(state_->mutex);
  state_->health = health;
}

void SimLidarMini::setCorruptedShare(double share) {
  const std::lock_guard lock(state_->mutex);
  state_->faults.corruptedShare = std::clamp(share, 0.0, 1.0);
}

void SimLidarMini::setGarbageBetweenPackets(bool on) {
  const std::lock_guard lock(state_->mutex);
  state_->faults.garbage = on;
}

void SimLidarMini::setSplitPackets(bool on) {
  const std::lock_guard lock(state_->mutex);
  state_->splitPackets = on;
}

void SimLidarMini::setSilent(bool silent) {
  const std::lock_guard lock(state_->mutex);
  state_->silent = silent;
}

void SimLidarMini::overrideNextReply(std::vector<uint8_t> reply) {
  const std::lock_guard lock(state_->mutex);
  state_->replyOverride = std::move(reply);
}

void SimLidarMini::sendRaw(const std::vector<uint8_t>& bytes) { line_->queue(bytes); }

void SimLidarMini::unplug() { line_->unplug(); }

bool SimLidarMini::unplugged() const { return line_->unplugged(); }

bool SimLidarMini::scanning() const {
  const std::lock_guard lock(state_->mutex);
  return state_->scanning;
}

double SimLidarMini::frequencyHz() const {
  constexpr double kTenthsPerHertz = 10.0;
  const std::lock_guard lock(state_->mutex);
  return state_->timeline.frequencyTenths() / kTenthsPerHertz;
}

std::vector<uint8_t> SimLidarMini::commands() const {
  const std::lock_guard lock(state_->mutex);
  return state_->commands;
}

int SimLidarMini::revolutionsSent() const {
  const std::lock_guard lock(state_->mutex);
  return state_->revolutionsSent;
}

int SimLidarMini::packetsSent() const {
  const std::lock_guard lock(state_->mutex);
  return state_->packetsSent;
}

bool SimLidarMini::libraryCaughtUp() const { return line_->allSentWasRead(); }

std::size_t SimLidarMini::unreadByLibrary() const { return line_->unreadByLibrary(); }

std::vector<uint8_t> SimLidarMini::scanPacket(bool start, uint16_t firstAngleRaw,
                                              uint16_t lastAngleRaw,
                                              const std::vector<Sample>& samples) {
  std::vector<wire::ScanSample> wireSamples;
  wireSamples.reserve(samples.size());
  for (const Sample& sample : samples) {
    wireSamples.push_back(wire::ScanSample{
        .intensity = sample.intensity, .distanceMm = sample.distanceMm, .flag = sample.flag});
  }
  std::vector<uint8_t> packet;
  wire::encodeScanPacket(packet, start, firstAngleRaw, lastAngleRaw, wireSamples);
  return packet;
}

void SimLidarMini::takeRequests(std::span<const uint8_t> bytes) {
  const std::lock_guard lock(state_->mutex);
  state_->requests.feed(bytes, [this](uint8_t command) { handleCommand(command); });
}

void SimLidarMini::handleCommand(uint8_t command) {
  State& state = *state_;
  state.commands.push_back(command);
  const auto reply = [&](std::vector<uint8_t> ownReply) {
    if (state.silent) {
      return;
    }
    line_->queue(state.replyOverride ? *state.replyOverride : ownReply);
    state.replyOverride.reset();
  };
  switch (static_cast<wire::Command>(command)) {
    case wire::Command::StartScan:
      if (!state.scanning) {
        state.scanning = true;
        state.timeline.stop();  // the motor's timeline starts afresh
      }
      if (!state.silent) {
        line_->queue(wire::kScanDescriptor);
      }
      break;
    case wire::Command::StopScan:
      state.scanning = false;
      // Packets not yet on the line are never sent; one the line has begun is finished.
      line_->dropQueued();
      break;
    case wire::Command::GetDeviceInfo:
      reply(lidarmini::infoReply(state.identity));
      break;
    case wire::Command::GetDeviceHealth:
      reply(lidarmini::healthReply(state.health));
      break;
    case wire::Command::FrequencyUpTenth:
      state.timeline.stepFrequency(kSmallStepTenths);
      break;
    case wire::Command::FrequencyDownTenth:
      state.timeline.stepFrequency(-kSmallStepTenths);
      break;
    case wire::Command::FrequencyUpOne:
      state.timeline.stepFrequency(kBigStepTenths);
      break;
    case wire::Command::FrequencyDownOne:
      state.timeline.stepFrequency(-kBigStepTenths);
      break;
  }
}

void SimLidarMini::queuePacket(std::vector<uint8_t> packet, bool revolutionStart,
                               Clock::time_point readyAt) {
  if (line_->queuedBytes() > kOutputBacklogLimit) {
    return;  // the host stopped reading: the lidar's buffer overflows
  }
  State& state = *state_;
  state.faults.damage(packet);
  std::vector<uint8_t> garbage = state.faults.garbageBefore(packet);
  if (!garbage.empty()) {
    line_->queue({.bytes = std::move(garbage), .readyAt = readyAt, .droppable = true});
  }
  // Counted once the packet's last byte goes onto the line.
  auto sent = [this, revolutionStart] {
    const std::lock_guard lock(state_->mutex);
    state_->packetsSent += 1;
    state_->revolutionsSent += revolutionStart ? 1 : 0;
    state_->sentPackets.push_back(
        SentPacket{.start = revolutionStart, .halMicros = simhal::halMicros()});
    if (state_->sentPackets.size() > kSentPacketsKept) {
      state_->sentPackets.pop_front();
    }
  };
  if (state.splitPackets) {
    const auto half = static_cast<std::ptrdiff_t>(packet.size() / 2);
    line_->queue(
        {.bytes = {packet.begin(), packet.begin() + half}, .readyAt = readyAt, .droppable = true});
    line_->queue({.bytes = {packet.begin() + half, packet.end()},
                  .readyAt = readyAt,
                  .pauseBefore = kSplitPause,
                  .droppable = true,
                  .whenSent = std::move(sent)});
  } else {
    line_->queue({.bytes = std::move(packet),
                  .readyAt = readyAt,
                  .droppable = true,
                  .whenSent = std::move(sent)});
  }
}

void SimLidarMini::queueDuePackets(Clock::time_point now) {
  const std::lock_guard lock(state_->mutex);
  if (!state_->scanning || state_->silent) {
    state_->timeline.stop();
    return;
  }
  for (const auto& packet : state_->timeline.due(now)) {
    queuePacket(lidarmini::roomPacket(state_->room, packet), packet.start(), packet.due);
  }
}

}  // namespace halvern::sim

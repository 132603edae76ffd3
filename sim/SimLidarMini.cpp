// The simulated LidarMini ties its pieces together: the request reader and the commands' effects
// here, the motor's timeline (lidarmini/ScanTimeline), what it writes (lidarmini/ScanEncoding),
// its faults (lidarmini/ScanFaults), and the serial line it writes on (serial/SerialLine).
#include "SimLidarMini.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <optional>
#include <ratio>

#include "SimHal.h"
#include "lidar/RectangularRoom.h"
#include "lidarmini/LidarMiniProtocol.h"
#include "lidarmini/RequestReader.h"
#include "lidarmini/ScanEncoding.h"
#include "lidarmini/ScanFaults.h"
#include "lidarmini/ScanTimeline.h"
#include "serial/Guarded.h"
#include "serial/SerialLine.h"

namespace halvern::sim {

namespace wire = halvern::lidarmini;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The frequency steps' commands, in tenths of a hertz.
constexpr int frequencyStepTenths(wire::Command command) {
  constexpr int kSmallStep = 1;
  constexpr int kBigStep = 10;
  switch (command) {
    case wire::Command::FrequencyUpTenth:
      return kSmallStep;
    case wire::Command::FrequencyDownTenth:
      return -kSmallStep;
    case wire::Command::FrequencyUpOne:
      return kBigStep;
    case wire::Command::FrequencyDownOne:
      return -kBigStep;
    default:
      return 0;
  }
}
constexpr auto kSplitPause = 3ms;
// Output waiting for the line beyond this (the host stopped reading) is dropped, packet by packet.
constexpr std::size_t kOutputBacklogLimit = 65536;

}  // namespace

namespace lidarmini {

/** The simulated lidar's state. */
struct DeviceState {
  SimLidarMini::Room room = SimLidarMini::defaultRoom();
  SimLidarMini::Identity identity;
  SimLidarMini::Health health;
  ScanFaults faults;
  bool splitPackets = false;
  bool silent = false;
  bool scanning = false;
  bool streamingRoom = true;
  std::optional<std::vector<uint8_t>> replyOverride;
  std::vector<uint8_t> commands;
  SentPacketLog sent;
  int revolutionsSent = 0;
  ScanTimeline timeline;
  RequestReader requests;  // the line's thread's alone
};

}  // namespace lidarmini

struct SimLidarMini::State : Guarded<lidarmini::DeviceState> {};

namespace {

using lidarmini::DeviceState;

// Follows a request's command byte.
void followCommand(SerialLine& line, DeviceState& state, uint8_t command) {
  state.commands.push_back(command);
  const auto reply = [&](const std::vector<uint8_t>& ownReply) {
    if (state.silent) {
      return;
    }
    line.queue(state.replyOverride ? *state.replyOverride : ownReply);
    state.replyOverride.reset();
  };
  switch (static_cast<wire::Command>(command)) {
    case wire::Command::StartScan:
      if (!state.scanning) {
        state.scanning = true;
        state.timeline.stop();  // the motor's timeline starts afresh
      }
      if (!state.silent) {
        line.queue(wire::kScanDescriptor);
      }
      break;
    case wire::Command::StopScan:
      state.scanning = false;
      // Packets not yet on the line are never sent; one the line has begun is finished.
      line.dropQueued();
      break;
    case wire::Command::GetDeviceInfo:
      reply(lidarmini::infoReply(state.identity));
      break;
    case wire::Command::GetDeviceHealth:
      reply(lidarmini::healthReply(state.health));
      break;
    case wire::Command::FrequencyUpTenth:
    case wire::Command::FrequencyDownTenth:
    case wire::Command::FrequencyUpOne:
    case wire::Command::FrequencyDownOne:
      state.timeline.stepFrequency(frequencyStepTenths(static_cast<wire::Command>(command)));
      break;
  }
}

// Queues one packet, with the garbage, damage and split the faults ask for; `sent` counts it
// once its last byte goes onto the line.
void queuePacket(SerialLine& line, DeviceState& state, std::vector<uint8_t> packet,
                 Clock::time_point readyAt, std::function<void()> sent) {
  if (line.queuedBytes() > kOutputBacklogLimit) {
    return;  // the host stopped reading: the lidar's buffer overflows
  }
  state.faults.damage(packet);
  std::vector<uint8_t> garbage = state.faults.garbageBefore(packet);
  if (!garbage.empty()) {
    line.queue({.bytes = std::move(garbage), .readyAt = readyAt, .droppable = true});
  }
  if (state.splitPackets) {
    const auto half = static_cast<std::ptrdiff_t>(packet.size() / 2);
    line.queue(
        {.bytes = {packet.begin(), packet.begin() + half}, .readyAt = readyAt, .droppable = true});
    line.queue({.bytes = {packet.begin() + half, packet.end()},
                .readyAt = readyAt,
                .pauseBefore = kSplitPause,
                .droppable = true,
                .whenSent = std::move(sent)});
  } else {
    line.queue({.bytes = std::move(packet),
                .readyAt = readyAt,
                .droppable = true,
                .whenSent = std::move(sent)});
  }
}

}  // namespace

SimLidarMini::SimLidarMini()
    : state_(std::make_unique<State>()),
      line_(std::make_unique<SerialLine>(
          SerialLine::Device{
              .received = [this](SerialLine& line,
                                 std::span<const uint8_t> bytes) { takeRequests(line, bytes); },
              .turn = [this](SerialLine& line, Clock::time_point now,
                             bool /*room*/) { queueDuePackets(line, now); }},
          kBytesPerSecond)) {}

SimLidarMini::~SimLidarMini() = default;

const std::string& SimLidarMini::devicePath() const { return line_->devicePath(); }

SimLidarMini::Room SimLidarMini::defaultRoom() {
  constexpr RectangularRoom kRoom{
      .widthMetres = 4.0, .depthMetres = 3.0, .fromWestMetres = 1.5, .fromSouthMetres = 1.2};
  return [room = kRoom](double angleDegrees) {
    return static_cast<uint16_t>(std::lround(room.distanceMm(angleDegrees)));
  };
}

std::vector<SimLidarMini::SentPacket> SimLidarMini::sentPackets() const {
  return state_->with([](const DeviceState& state) { return state.sent.latest(); });
}

void SimLidarMini::setRoom(Room room) { state_->set(&DeviceState::room, std::move(room)); }
void SimLidarMini::setStreamingRoom(bool on) { state_->set(&DeviceState::streamingRoom, on); }
void SimLidarMini::setIdentity(const Identity& identity) {
  state_->set(&DeviceState::identity, identity);
}
void SimLidarMini::setHealth(const Health& health) { state_->set(&DeviceState::health, health); }
void SimLidarMini::setCorruptedShare(double share) {
  state_->with([share](DeviceState& state) {
    state.faults.corruptedShare = std::clamp(share, 0.0, 1.0);
  });
}
void SimLidarMini::setGarbageBetweenPackets(bool on) {
  state_->with([on](DeviceState& state) { state.faults.garbage = on; });
}
void SimLidarMini::setSplitPackets(bool on) { state_->set(&DeviceState::splitPackets, on); }
void SimLidarMini::setSilent(bool silent) { state_->set(&DeviceState::silent, silent); }
void SimLidarMini::overrideNextReply(std::vector<uint8_t> reply) {
  state_->set(&DeviceState::replyOverride, std::move(reply));
}
void SimLidarMini::sendRaw(const std::vector<uint8_t>& bytes) { line_->queue(bytes); }
void SimLidarMini::unplug() { line_->unplug(); }
bool SimLidarMini::unplugged() const { return line_->unplugged(); }

bool SimLidarMini::scanning() const { return state_->get(&DeviceState::scanning); }
double SimLidarMini::frequencyHz() const {
  constexpr double kTenthsPerHertz = 10.0;
  return state_->with([](const DeviceState& state) {
    return state.timeline.frequencyTenths() / kTenthsPerHertz;
  });
}
std::vector<uint8_t> SimLidarMini::commands() const { return state_->get(&DeviceState::commands); }
int SimLidarMini::revolutionsSent() const { return state_->get(&DeviceState::revolutionsSent); }
int SimLidarMini::packetsSent() const {
  return state_->with([](const DeviceState& state) { return state.sent.count(); });
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

void SimLidarMini::takeRequests(SerialLine& line, std::span<const uint8_t> bytes) {
  state_->with([&](DeviceState& state) {
    state.requests.feed(bytes, [&](uint8_t command) { followCommand(line, state, command); });
  });
}

void SimLidarMini::queueDuePackets(SerialLine& line, Clock::time_point now) {
  state_->with([&](DeviceState& state) {
    if (!state.scanning || state.silent || !state.streamingRoom) {
      state.timeline.stop();
      return;
    }
    for (const auto& packet : state.timeline.due(now)) {
      queuePacket(line, state, lidarmini::roomPacket(state.room, packet), packet.due,
                  countWhenSent(packet.start()));
    }
  });
}

std::function<void()> SimLidarMini::countWhenSent(bool start) {
  return [this, start] {
    state_->with([start](DeviceState& sentState) {
      sentState.revolutionsSent += start ? 1 : 0;
      sentState.sent.record(start, simhal::halMicros());
    });
  };
}

void SimLidarMini::sendRevolution(const std::vector<Point>& points,
                                  std::chrono::microseconds duration, bool thenNextStart) {
  const Clock::time_point now = Clock::now();
  std::vector<std::vector<uint8_t>> packets = lidarmini::revolutionPackets(points);
  const std::size_t spread = packets.size();
  if (thenNextStart) {
    const std::array<Point, 1> empty{};
    packets.push_back(lidarmini::revolutionPackets(empty).front());
  }
  // Packet i arrives (its last byte read) at its share of the duration. It goes onto the line
  // as long before as its bytes take, and earlier still where the packets after it would not
  // fit on the line in time: a burst that the lidar sent while the library was not reading
  // comes at once, as it did then.
  std::vector<Clock::time_point> onLineAt(packets.size());
  Clock::time_point lineDone = Clock::time_point::max();
  for (std::size_t i = packets.size(); i-- > 0;) {
    const auto share = spread > 1 ? duration * static_cast<int64_t>(std::min(i, spread - 1)) /
                                        static_cast<int64_t>(spread - 1)
                                  : std::chrono::microseconds{0};
    const auto lineTime = std::chrono::microseconds(static_cast<int64_t>(packets[i].size()) *
                                                    std::micro::den / kBytesPerSecond);
    onLineAt[i] = std::min(now + share, lineDone) - lineTime;
    lineDone = onLineAt[i];
  }
  state_->with([&](DeviceState& state) {
    if (!state.scanning || state.silent) {
      return;
    }
    for (std::size_t i = 0; i < packets.size(); ++i) {
      const bool start = i == 0 || i == spread;
      queuePacket(*line_, state, std::move(packets[i]), onLineAt[i], countWhenSent(start));
    }
  });
}

}  // namespace halvern::sim

// The simulated Dystal USB sensor ties its pieces together: its commands (dystal/UsbCommands),
// its frames through the library's wire format, and the serial line it writes on.
#include <algorithm>

#include "SimClock.h"
#include "SimDystal.h"
#include "SimHal.h"
#include "dystal/DystalProtocol.h"
#include "dystal/UsbCommands.h"
#include "serial/CommandLineReader.h"
#include "serial/Guarded.h"
#include "serial/SerialLine.h"

namespace halvern::sim {

namespace wire = halvern::dystal;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The sensor's command buffer; a longer line is thrown away unanswered.
constexpr std::size_t kMaxCommandLength = 256;
constexpr auto kChatterPeriod = 1ms;
constexpr auto kSplitPause = 5ms;

}  // namespace

namespace dystal {

/** The simulated sensor's state. */
struct UsbState {
  std::vector<int16_t> distances = defaultDystalDistances();
  SimDystalConfig config;
  dystal::UsbSettings settings;
  bool silent = false;
  bool configSilent = false;
  bool chatty = false;
  bool splitFrames = false;
  std::vector<std::string> received;
  int framesSent = 0;
  uint64_t lastFrameSentUs = 0;
  uint8_t sequence = 0;
  // The line's thread's alone.
  CommandLineReader commands{CommandLineReader::LineEnd::CrLf, kMaxCommandLength};
  Clock::time_point nextFrame;
  Clock::time_point nextChatter;
};

}  // namespace dystal

namespace {

// Queues the frame or chatter line due by `now`.
void queueDueOutput(SerialLine& line, dystal::UsbState& state, Clock::time_point now) {
  const auto period =
      std::chrono::duration_cast<Clock::duration>(1s) / state.settings.outputDataRate;
  if (state.settings.binaryOutput && !state.silent && now >= state.nextFrame) {
    std::vector<uint8_t> frame = wire::encodeDistanceFrame(++state.sequence, state.distances);
    ++state.framesSent;
    state.lastFrameSentUs = simhal::halMicros();
    state.nextFrame += period;
    if (state.nextFrame <= now) {  // after a stall or a pause: the steady rate starts again now
      state.nextFrame = now + period;
    }
    if (state.splitFrames && frame.size() > 1) {
      const auto half = static_cast<std::ptrdiff_t>(frame.size() / 2);
      line.queue(SerialLine::Segment{.bytes = {frame.begin(), frame.begin() + half}});
      line.queue(SerialLine::Segment{.bytes = {frame.begin() + half, frame.end()},
                                       .pauseBefore = kSplitPause});
    } else {
      line.queue(frame);
    }
  }
  if (state.chatty && now >= state.nextChatter) {
    line.queue(dystal::chatterLine(state.settings.outputDataRate));
    state.nextChatter = now + kChatterPeriod;
  }
}

}  // namespace

struct SimDystalUsb::State : Guarded<dystal::UsbState> {};

// The HAL's clock stamps the frames sent: the simulation runs before the first.
SimDystalUsb::SimDystalUsb()
    : state_((startSimulation(), std::make_unique<State>())),
      line_(std::make_unique<SerialLine>(SerialLine::Device{
          .received = [this](SerialLine& line, std::span<const uint8_t> bytes) {
            takeCommandBytes(line, bytes);
          },
          .turn = [this](SerialLine& line, Clock::time_point now, bool room) {
            queueDue(line, now, room);
          }})) {}

SimDystalUsb::~SimDystalUsb() = default;

// What the serial line does.
const std::string& SimDystalUsb::devicePath() const { return line_->devicePath(); }
void SimDystalUsb::sendRaw(const std::vector<uint8_t>& bytes) { line_->queue(bytes); }
void SimDystalUsb::unplug() { line_->unplug(); }
bool SimDystalUsb::allSentWasRead() const { return line_->allSentWasRead(); }

void SimDystalUsb::setDistances(std::vector<int16_t> distances) {
  distances.resize(std::min<std::size_t>(distances.size(), wire::kMaxDistances));
  state_->set(&dystal::UsbState::distances, std::move(distances));
}

void SimDystalUsb::setConfig(const SimDystalConfig& config) {
  state_->set(&dystal::UsbState::config, config);
}
void SimDystalUsb::setSilent(bool silent) { state_->set(&dystal::UsbState::silent, silent); }
void SimDystalUsb::setConfigSilent(bool silent) {
  state_->set(&dystal::UsbState::configSilent, silent);
}
void SimDystalUsb::setChatty(bool chatty) { state_->set(&dystal::UsbState::chatty, chatty); }
void SimDystalUsb::setSplitFrames(bool split) { state_->set(&dystal::UsbState::splitFrames, split); }

std::vector<std::string> SimDystalUsb::receivedLines() const {
  return state_->get(&dystal::UsbState::received);
}
uint64_t SimDystalUsb::lastFrameSentMicros() const {
  return state_->get(&dystal::UsbState::lastFrameSentUs);
}
int SimDystalUsb::framesSent() const { return state_->get(&dystal::UsbState::framesSent); }
int SimDystalUsb::outputDataRate() const {
  return state_->with([](const dystal::UsbState& state) { return state.settings.outputDataRate; });
}
uint8_t SimDystalUsb::lastSequence() const { return state_->get(&dystal::UsbState::sequence); }

std::vector<uint8_t> SimDystalUsb::distanceFrame(uint8_t sequence,
                                                 const std::vector<int16_t>& distances) {
  return wire::encodeDistanceFrame(sequence, distances);
}

void SimDystalUsb::takeCommandBytes(SerialLine& line, std::span<const uint8_t> bytes) {
  state_->with([&](dystal::UsbState& state) {
    state.commands.feed(bytes, [&](const std::string& command) {
      state.received.push_back(command);
      line.queue(dystal::followCommand(command, state.settings, state.config, state.configSilent));
    });
  });
}

void SimDystalUsb::queueDue(SerialLine& line, Clock::time_point now, bool room) {
  // Queued bytes (replies, raw bytes) stay together: no frame or chatter goes out in between.
  // Held back, a frame is left out rather than sent late.
  if (!room || line.queuedBytes() > 0) {
    return;
  }
  state_->with([&](dystal::UsbState& state) { queueDueOutput(line, state, now); });
}

}  // namespace halvern::sim

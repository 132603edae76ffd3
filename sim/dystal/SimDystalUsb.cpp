// The simulated Dystal USB sensor ties its pieces together: its commands (dystal/UsbCommands),
// its frames through the library's wire format, and the serial line it writes on.
#include <algorithm>
#include <mutex>

#include "SimClock.h"
#include "SimDystal.h"
#include "SimHal.h"
#include "dystal/DystalProtocol.h"
#include "dystal/UsbCommands.h"
#include "serial/CommandLineReader.h"
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

struct SimDystalUsb::State {
  mutable std::mutex mutex;
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

SimDystalUsb::SimDystalUsb()
    // The HAL's clock stamps the frames sent: the simulation runs before the first.
    : state_((startSimulation(), std::make_unique<State>())),
      line_(std::make_unique<SerialLine>()) {
  line_->start({.received = [this](std::span<const uint8_t> bytes) { takeCommandBytes(bytes); },
                .turn = [this](Clock::time_point now, bool room) { queueDue(now, room); }});
}

SimDystalUsb::~SimDystalUsb() { line_->stop(); }

const std::string& SimDystalUsb::devicePath() const { return line_->devicePath(); }

void SimDystalUsb::setDistances(std::vector<int16_t> distances) {
  distances.resize(std::min<std::size_t>(distances.size(), wire::kMaxDistances));
  const std::lock_guard lock(state_->mutex);
  state_->distances = std::move(distances);
}

void SimDystalUsb::setConfig(const SimDystalConfig& config) {
  const std::lock_guard lock(state_->mutex);
  state_->config = config;
}

void SimDystalUsb::setSilent(bool silent) {
  const std::lock_guard lock(state_->mutex);
  state_->silent = silent;
}

void SimDystalUsb::setConfigSilent(bool silent) {
  const std::lock_guard lock(state_->mutex);
  state_->configSilent = silent;
}

void SimDystalUsb::setChatty(bool chatty) {
  const std::lock_guard lock(state_->mutex);
  state_->chatty = chatty;
}

void SimDystalUsb::setSplitFrames(bool split) {
  const std::lock_guard lock(state_->mutex);
  state_->splitFrames = split;
}

void SimDystalUsb::sendRaw(const std::vector<uint8_t>& bytes) { line_->queue(bytes); }

void SimDystalUsb::unplug() { line_->unplug(); }

std::vector<std::string> SimDystalUsb::receivedLines() const {
  const std::lock_guard lock(state_->mutex);
  return state_->received;
}

uint64_t SimDystalUsb::lastFrameSentMicros() const {
  const std::lock_guard lock(state_->mutex);
  return state_->lastFrameSentUs;
}

int SimDystalUsb::framesSent() const {
  const std::lock_guard lock(state_->mutex);
  return state_->framesSent;
}

int SimDystalUsb::outputDataRate() const {
  const std::lock_guard lock(state_->mutex);
  return state_->settings.outputDataRate;
}

uint8_t SimDystalUsb::lastSequence() const {
  const std::lock_guard lock(state_->mutex);
  return state_->sequence;
}

bool SimDystalUsb::allSentWasRead() const { return line_->allSentWasRead(); }

std::vector<uint8_t> SimDystalUsb::distanceFrame(uint8_t sequence,
                                                 const std::vector<int16_t>& distances) {
  return wire::encodeDistanceFrame(sequence, distances);
}

void SimDystalUsb::takeCommandBytes(std::span<const uint8_t> bytes) {
  const std::lock_guard lock(state_->mutex);
  State& state = *state_;
  state.commands.feed(bytes, [&](const std::string& line) {
    state.received.push_back(line);
    line_->queue(dystal::followCommand(line, state.settings, state.config, state.configSilent));
  });
}

void SimDystalUsb::queueDue(Clock::time_point now, bool room) {
  // Queued bytes (replies, raw bytes) stay together: no frame or chatter goes out in between.
  // Held back, a frame is left out rather than sent late.
  if (!room || line_->queuedBytes() > 0) {
    return;
  }
  const std::lock_guard lock(state_->mutex);
  State& state = *state_;
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
      line_->queue(SerialLine::Segment{.bytes = {frame.begin(), frame.begin() + half}});
      line_->queue(SerialLine::Segment{.bytes = {frame.begin() + half, frame.end()},
                                       .pauseBefore = kSplitPause});
    } else {
      line_->queue(frame);
    }
  }
  if (state.chatty && now >= state.nextChatter) {
    line_->queue(dystal::chatterLine(state.settings.outputDataRate));
    state.nextChatter = now + kChatterPeriod;
  }
}

}  // namespace halvern::sim

#include <algorithm>
#include <bit>
#include <cmath>

#include "SimIridel.h"

namespace halvern::sim {
namespace {

constexpr uint32_t kCommandIdBase = 0x04090500;
constexpr uint32_t kCommandMask = 0x1FFFFFC0;  // codes 0 to 63 above the base
constexpr uint32_t kReplyId = 0x04090585;
constexpr uint32_t kColorFrameId = 0x04090540;
constexpr uint8_t kFirstCommand = 18;
constexpr uint8_t kLastCommand = 26;

int16_t scaled(float component) {
  return static_cast<int16_t>(std::lround(std::clamp(component, -3.2767F, 3.2767F) * 10000.0F));
}

}  // namespace

struct SimIridelCan::State {
  void onCommand(const halsim::CanFrame& frame);

  mutable std::mutex mutex;
  Replies replies = Replies::Answer;
  uint8_t replyStatus = 0;
  uint32_t configValue = 0;
  std::vector<Command> commands;
};

void SimIridelCan::State::onCommand(const halsim::CanFrame& frame) {
  const auto code = static_cast<uint8_t>(frame.id - kCommandIdBase);
  if (code < kFirstCommand || code > kLastCommand) {
    return;
  }
  std::vector<uint8_t> reply(8, 0);
  {
    const std::lock_guard lock(mutex);
    commands.push_back(
        {code, std::vector<uint8_t>(frame.data.begin(), frame.data.begin() + frame.length)});
    if (replies == Replies::Silent) {
      return;
    }
    reply[0] = replies == Replies::OtherCode ? static_cast<uint8_t>(code == 18 ? 19 : 18) : code;
    reply[1] = replyStatus;
    const uint32_t value = code == kLastCommand ? configValue : 0;
    for (std::size_t i = 0; i < 4; ++i) {
      reply[2 + i] = static_cast<uint8_t>((value >> (8U * i)) & 0xFFU);
    }
  }
  halsim::transmitToRobot(kReplyId, reply);
}

SimIridelCan::SimIridelCan()
    : state_(std::make_shared<State>()),
      subscription_(halsim::subscribeToRobotFrames(
          kCommandIdBase, kCommandMask,
          [state = state_](const halsim::CanFrame& frame) { state->onCommand(frame); })) {}

SimIridelCan::~SimIridelCan() { stopColorFrames(); }

void SimIridelCan::setReplies(Replies replies) {
  const std::lock_guard lock(state_->mutex);
  state_->replies = replies;
}

void SimIridelCan::setReplyStatus(uint8_t status) {
  const std::lock_guard lock(state_->mutex);
  state_->replyStatus = status;
}

void SimIridelCan::setConfigValue(uint32_t value) {
  const std::lock_guard lock(state_->mutex);
  state_->configValue = value;
}

// A member, though it needs no state: it is this sensor sending.
void SimIridelCan::sendColor(  // NOLINT(readability-convert-member-functions-to-static)
    uint16_t sequence, float x, float y, float z) {
  std::vector<uint8_t> frame(8);
  const std::array<uint16_t, 4> words{sequence, static_cast<uint16_t>(scaled(x)),
                                      static_cast<uint16_t>(scaled(y)),
                                      static_cast<uint16_t>(scaled(z))};
  for (std::size_t i = 0; i < words.size(); ++i) {
    frame[2 * i] = static_cast<uint8_t>(words.at(i) & 0xFFU);
    frame[2 * i + 1] = static_cast<uint8_t>(words.at(i) >> 8U);
  }
  halsim::transmitToRobot(kColorFrameId, frame);
}

void SimIridelCan::startColorFrames(std::chrono::milliseconds period, float x, float y, float z) {
  stopColorFrames();
  colorRunning_ = true;
  colorThread_ = std::thread([this, period, x, y, z] {
    uint16_t sequence = 0;
    while (colorRunning_) {
      sendColor(++sequence, x, y, z);
      std::this_thread::sleep_for(period);
    }
  });
}

void SimIridelCan::stopColorFrames() {
  colorRunning_ = false;
  if (colorThread_.joinable()) {
    colorThread_.join();
  }
}

std::vector<SimIridelCan::Command> SimIridelCan::commands() const {
  const std::lock_guard lock(state_->mutex);
  return state_->commands;
}

}  // namespace halvern::sim

#include <algorithm>
#include <bit>
#include <cmath>
#include <string>

#include "SimClock.h"
#include "SimIridel.h"
#include "SimHal.h"

namespace halvern::sim {
namespace {

constexpr uint32_t kCommandIdBase = 0x04090500;
constexpr uint32_t kCommandMask = 0x1FFFFFC0;  // codes 0 to 63 above the base
constexpr uint32_t kReplyId = 0x04090585;
constexpr uint32_t kColorFrameId = 0x04090540;
constexpr uint32_t kSensorMask = 0x1FFFFF00;  // every identifier the sensor sends or hears
constexpr uint8_t kFirstCommand = 18;
constexpr uint8_t kLastCommand = 26;

int16_t scaled(float component) {
  return static_cast<int16_t>(std::lround(std::clamp(component, -3.2767F, 3.2767F) * 10000.0F));
}

}  // namespace

struct SimIridelCan::State {
  State(uint8_t id, int32_t canBus);
  void onCommand(const CanFrame& frame);
  /** Takes a colour the simulation set since the model last wrote it; mutex held. */
  void takeFedColor();
  void showColor();  // mutex held

  const uint8_t canId;
  const int32_t bus;
  mutable std::mutex mutex;
  Replies replies = Replies::Answer;
  uint8_t replyStatus = 0;
  uint32_t configValue = 0;
  std::vector<Command> commands;
  std::array<float, 3> color{};  // what the colour frames of startColorFrames carry
  uint16_t colorSequence = 0;

  simhal::SimDevice simDevice;
  std::array<simhal::SimDouble, 3> colorValues;
  std::array<double, 3> colorWritten{};
  simhal::SimInt lastCommandValue;
};

SimIridelCan::State::State(uint8_t id, int32_t canBus)
    : canId(id), bus(canBus) {
  startSimulation();
  simDevice = simhal::SimDevice(canDeviceName("Iridel", id, canBus).c_str());
  if (!simDevice) {
    return;  // a device of that name exists already: this one shows no values
  }
  constexpr std::array<const char*, 3> kNames{"X", "Y", "Z"};
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    colorValues.at(i) = simDevice.CreateDouble(kNames.at(i), simhal::kInput, 0.0);
  }
  lastCommandValue = simDevice.CreateInt("Last Command", simhal::kOutput, 0);
}

void SimIridelCan::State::takeFedColor() {
  if (!simDevice) {
    return;
  }
  for (std::size_t i = 0; i < color.size(); ++i) {
    if (const double fed = colorValues.at(i).Get(); fed != colorWritten.at(i)) {
      color.at(i) = static_cast<float>(fed);
    }
  }
}

void SimIridelCan::State::showColor() {
  if (!simDevice) {
    return;
  }
  for (std::size_t i = 0; i < color.size(); ++i) {
    colorWritten.at(i) = color.at(i);
    colorValues.at(i).Set(colorWritten.at(i));
  }
}

void SimIridelCan::State::onCommand(const CanFrame& frame) {
  const auto code = static_cast<uint8_t>(frame.id - kCommandIdBase);
  if (code < kFirstCommand || code > kLastCommand) {
    return;
  }
  std::vector<uint8_t> reply(8, 0);
  {
    const std::lock_guard lock(mutex);
    commands.push_back(
        {code, std::vector<uint8_t>(frame.data.begin(), frame.data.begin() + frame.length)});
    lastCommandValue.Set(code);
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
  transmitToRobot(kReplyId, reply, bus);
}

SimIridelCan::SimIridelCan(uint8_t canId, int32_t bus)
    : state_(std::make_shared<State>(static_cast<uint8_t>(canId & 0x3FU), bus)),
      subscription_(subscribeToRobotFrames(
          {kCommandIdBase, kCommandMask}, {kCommandIdBase, kSensorMask},
          [state = state_](const CanFrame& frame) { state->onCommand(frame); }, bus)) {}

SimIridelCan::~SimIridelCan() { stopColorFrames(); }

std::string SimIridelCan::simDeviceName() const {
  return canDeviceName("Iridel", state_->canId, state_->bus);
}

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
  transmitToRobot(kColorFrameId, frame, state_->bus);
}

void SimIridelCan::startColorFrames(std::chrono::milliseconds period, float x, float y, float z) {
  stopColorFrames();
  {
    const std::lock_guard lock(state_->mutex);
    state_->color = {x, y, z};
    state_->colorSequence = 0;
    state_->showColor();
  }
  const auto sendNext = [this] {
    uint16_t sequence = 0;
    std::array<float, 3> color{};
    {
      const std::lock_guard lock(state_->mutex);
      state_->takeFedColor();
      state_->showColor();
      sequence = ++state_->colorSequence;
      color = state_->color;
    }
    sendColor(sequence, color[0], color[1], color[2]);
  };
  sendNext();  // the first at once, then one a period
  colorTask_ = schedulePeriodic(period, sendNext);
}

void SimIridelCan::stopColorFrames() { colorTask_ = PeriodicTask(); }

std::vector<SimIridelCan::Command> SimIridelCan::commands() const {
  const std::lock_guard lock(state_->mutex);
  return state_->commands;
}

}  // namespace halvern::sim

#include <algorithm>
#include <string>

#include "SimClock.h"
#include "SimHal.h"
#include "SimIridel.h"
#include "can/CanBus.h"
#include "common/FedValue.h"
#include "iridel/IridelProtocol.h"

namespace halvern::sim {

namespace wire = halvern::iridel;

namespace {

// The sensors' own sessions are the bus's even before a simulated sensor exists (a robot
// program creates its sensors first, its simulation later).
[[maybe_unused]] const bool sessionsClaimed =
    (claimStreamSessions({wire::kStreamId, wire::kStreamMask}), true);

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
  std::array<FedValue<simhal::SimDouble, double>, 3> colorValues;
  simhal::SimInt lastCommandValue;
};

SimIridelCan::State::State(uint8_t id, int32_t canBus) : canId(id), bus(canBus) {
  startSimulation();
  simDevice = simhal::SimDevice(canDeviceName("Iridel", id, canBus).c_str());
  if (!simDevice) {
    return;  // a device of that name exists already: this one shows no values
  }
  constexpr std::array<const char*, 3> kNames{"X", "Y", "Z"};
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    colorValues.at(i) = {simDevice.CreateDouble(kNames.at(i), simhal::kInput, 0.0), 0.0};
  }
  lastCommandValue = simDevice.CreateInt("Last Command", simhal::kOutput, 0);
}

void SimIridelCan::State::takeFedColor() {
  for (std::size_t i = 0; i < color.size(); ++i) {
    if (const auto fed = colorValues.at(i).takeFed()) {
      color.at(i) = static_cast<float>(*fed);
    }
  }
}

void SimIridelCan::State::showColor() {
  for (std::size_t i = 0; i < color.size(); ++i) {
    colorValues.at(i).show(color.at(i));
  }
}

void SimIridelCan::State::onCommand(const CanFrame& frame) {
  const uint8_t code = wire::commandCode(frame.id);
  if (!wire::isCommand(code)) {
    return;
  }
  std::array<uint8_t, 8> reply{};
  {
    const std::lock_guard lock(mutex);
    commands.push_back(
        {code, std::vector<uint8_t>(frame.data.begin(), frame.data.begin() + frame.length)});
    lastCommandValue.Set(code);
    if (replies == Replies::Silent) {
      return;
    }
    constexpr auto kMeasureMode = static_cast<uint8_t>(wire::Command::MeasureMode);
    constexpr auto kColorFormat = static_cast<uint8_t>(wire::Command::ColorFormat);
    const uint8_t named = replies != Replies::OtherCode ? code
                          : code == kMeasureMode        ? kColorFormat
                                                        : kMeasureMode;
    const bool getConfig = code == static_cast<uint8_t>(wire::Command::GetConfig);
    reply =
        wire::replyPayload(named, {.status = replyStatus, .value = getConfig ? configValue : 0});
  }
  transmitToRobot(wire::kReplyId, reply, bus);
}

SimIridelCan::SimIridelCan(uint8_t canId, int32_t bus)
    : state_(std::make_shared<State>(static_cast<uint8_t>(canId & 0x3FU), bus)),
      subscription_(subscribeToRobotFrames(
          {wire::kCommandIdBase, wire::kCommandMask}, {wire::kCommandIdBase, wire::kSensorMask},
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
  transmitToRobot(wire::kColorFrameId, wire::colorFramePayload(sequence, x, y, z), state_->bus);
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

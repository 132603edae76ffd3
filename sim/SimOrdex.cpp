#include "SimOrdex.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>

#include "SimClock.h"
#include "can/CanBus.h"
#include "ordex/OrdexClock.h"
#include "ordex/OrdexFrames.h"
#include "ordex/OrdexMessages.h"
#include "ordex/OrdexModel.h"
#include "ordex/OrdexSimValues.h"

namespace halvern::sim {

namespace msg = halvern::ordex;

namespace {

// The controllers' frames are the bus's to stream even before a simulated controller exists (a
// robot program creates its controllers first, its simulation later).
[[maybe_unused]] const bool sessionsClaimed =
    (claimStreamSessions({msg::kMessageIdBase, msg::kFamilyMask}), true);

// The log keeps the newest frames only, like the bus's own log, so long runs stay bounded.
constexpr std::size_t kReceivedLogCapacity = 100000;

std::size_t checkedMotor(int motor) {
  if (motor < 0 || static_cast<std::size_t>(motor) >= OrdexModel::kMotorCount) {
    throw std::out_of_range("an Ordex has motors 0 to 3, not " + std::to_string(motor));
  }
  return static_cast<std::size_t>(motor);
}

void transmit(const std::vector<OrdexOutgoingFrame>& frames, int32_t bus) {
  for (const auto& frame : frames) {
    transmitToRobot(frame.id, frame.data, bus);
  }
}

}  // namespace

// The controller: its model, what it reports, its SimDevice and what it received, under one
// mutex that the bus's listener and the test's calls share.
struct SimOrdex::State {
  State(int32_t device, int32_t canBus, OrdexTiming timing)
      : deviceNumber(device), bus(canBus), clock(timing), values(device, canBus) {}

  void onFrame(const CanFrame& frame);
  void reply(msg::Api api, const msg::Frame& payload) const {
    transmitToRobot(msg::ordexMessageId(api, deviceNumber), payload, bus);
  }
  [[nodiscard]] bool enabledNow() const { return model.enabledAt(clock.now(model.time)); }
  /** Takes what the simulation fed, moves the model to `until` and shows it; mutex held. */
  void moveTo(OrdexModel::Duration until) {
    values.takeFed(model, report);
    model.advanceTo(until);
    values.show(model, report, enabledNow());
  }
  /** One status period in real time: the model moves to now, its frames are sent. */
  void tick();

  const int32_t deviceNumber;
  const int32_t bus;
  const OrdexClock clock;

  mutable std::mutex mutex;

  OrdexIdentity identity;
  IdentityBehaviour identityBehaviour = IdentityBehaviour::Answer;
  std::array<uint32_t, 3> serialWords{0x0012ABCD, 0x00000000, 0xFFFFFFFF};
  int identityRequests = 0;
  int serialRequests = 0;
  std::vector<Heartbeat> heartbeats;
  std::deque<CanFrame> received;

  OrdexModel model;
  OrdexReport report;
  OrdexSimValues values;
};

void SimOrdex::State::onFrame(const CanFrame& frame) {
  const msg::Api api = msg::messageApi(frame.id);
  std::unique_lock lock(mutex);
  received.push_back(frame);
  if (received.size() > kReceivedLogCapacity) {
    received.pop_front();
  }
  switch (api) {
    case msg::Api::DisabledHeartbeat:
    case msg::Api::EnabledHeartbeat: {
      const bool enabled = api == msg::Api::EnabledHeartbeat;
      heartbeats.push_back({enabled, simNow()});
      model.heartbeat(enabled, clock.now(model.time));
      break;
    }
    case msg::Api::IdentityRequest: {
      ++identityRequests;
      const auto payload = ordexIdentityReply(identity, identityBehaviour, deviceNumber);
      lock.unlock();
      if (payload) {
        reply(msg::Api::IdentityReply, *payload);
      }
      break;
    }
    case msg::Api::SerialRequest: {
      ++serialRequests;
      const auto words = serialWords;
      lock.unlock();
      reply(msg::Api::SerialWord1, msg::uint32Payload(words[0]));
      reply(msg::Api::SerialWord2, msg::uint32Payload(words[1]));
      reply(msg::Api::SerialWord3, msg::uint32Payload(words[2]));
      break;
    }
    default:
      applyOrdexCommand(api, frame.data, model, report);
      values.show(model, report, enabledNow());  // the commanded duty, mode and target show at once
      break;
  }
}

void SimOrdex::State::tick() {
  std::vector<OrdexOutgoingFrame> frames;
  {
    const std::lock_guard lock(mutex);
    moveTo(clock.now(model.time));
    frames = ordexStatusFrames(model, report, deviceNumber);
  }
  transmit(frames, bus);  // outside the lock: the bus may call back into listeners
}

SimOrdex::SimOrdex(int32_t deviceNumber, SimOrdexOptions options)
    : deviceNumber_(deviceNumber),
      bus_(options.bus),
      state_(std::make_shared<State>(deviceNumber, options.bus, options.timing)),
      subscription_(subscribeToRobotFrames(
          msg::ordexMessageId(msg::Api::DisabledHeartbeat, deviceNumber), msg::kDeviceMask,
          [state = state_](const CanFrame& frame) { state->onFrame(frame); }, options.bus)) {
  if (options.timing == OrdexTiming::RealTime) {
    if (options.statusPeriod <= std::chrono::milliseconds::zero()) {
      throw std::invalid_argument("the status period must be positive");
    }
    statusTask_ = schedulePeriodic(options.statusPeriod, [state = state_] { state->tick(); });
  }
}

// The status task goes first (it is declared last), then the subscription.
SimOrdex::~SimOrdex() = default;

std::string SimOrdex::simDeviceName() const { return canDeviceName("Ordex", deviceNumber_, bus_); }

void SimOrdex::setIdentity(const OrdexIdentity& identity) {
  const std::lock_guard lock(state_->mutex);
  state_->identity = identity;
}

void SimOrdex::setIdentityBehaviour(IdentityBehaviour behaviour) {
  const std::lock_guard lock(state_->mutex);
  state_->identityBehaviour = behaviour;
}

void SimOrdex::setSerialWords(const std::array<uint32_t, 3>& words) {
  const std::lock_guard lock(state_->mutex);
  state_->serialWords = words;
}

int SimOrdex::identityRequestCount() const {
  const std::lock_guard lock(state_->mutex);
  return state_->identityRequests;
}

int SimOrdex::serialRequestCount() const {
  const std::lock_guard lock(state_->mutex);
  return state_->serialRequests;
}

std::vector<SimOrdex::Heartbeat> SimOrdex::heartbeats() const {
  const std::lock_guard lock(state_->mutex);
  return state_->heartbeats;
}

std::vector<CanFrame> SimOrdex::receivedFrames() const {
  const std::lock_guard lock(state_->mutex);
  return {state_->received.begin(), state_->received.end()};
}

void SimOrdex::clearReceived() {
  const std::lock_guard lock(state_->mutex);
  state_->received.clear();
  state_->heartbeats.clear();
}

OrdexMotorState SimOrdex::motor(int motor) const {
  const std::size_t index = checkedMotor(motor);
  const std::lock_guard lock(state_->mutex);
  return state_->model.motors.at(index).snapshot();
}

bool SimOrdex::motorsEnabled() const {
  const std::lock_guard lock(state_->mutex);
  return state_->enabledNow();
}

double SimOrdex::temperature() const {
  const std::lock_guard lock(state_->mutex);
  return state_->report.temperature(state_->model);
}

void SimOrdex::advance(std::chrono::milliseconds duration) {
  if (!state_->clock.manual()) {
    throw std::logic_error("advance() needs a SimOrdex with manual timing");
  }
  const std::lock_guard lock(state_->mutex);
  state_->moveTo(state_->model.time + duration);
}

void SimOrdex::setRpmOverride(int motor, std::optional<double> rpm) {
  const std::size_t index = checkedMotor(motor);
  const std::lock_guard lock(state_->mutex);
  state_->report.rpmOverride.at(index) = rpm;
}

void SimOrdex::setTargetRpmOverride(int motor, std::optional<double> rpm) {
  const std::size_t index = checkedMotor(motor);
  const std::lock_guard lock(state_->mutex);
  state_->report.targetRpmOverride.at(index) = rpm;
}

void SimOrdex::setTemperatureOverride(std::optional<double> celsius) {
  const std::lock_guard lock(state_->mutex);
  state_->report.temperatureOverride = celsius;
}

void SimOrdex::setEncoderCount(int encoder, int32_t count) {
  const std::size_t index = checkedMotor(encoder);
  const std::lock_guard lock(state_->mutex);
  state_->model.motors.at(index).encoderPosition = count;
}

void SimOrdex::setLimitSwitch(int motor, bool direction, bool pressed) {
  const std::size_t index = checkedMotor(motor);
  const std::lock_guard lock(state_->mutex);
  state_->report.limitSwitches.at(2 * index + (direction ? 1 : 0)) = pressed;
}

void SimOrdex::setQuorinPosition(int motor, double position) {
  const std::size_t index = checkedMotor(motor);
  const double clamped = std::isnan(position) ? 0.0 : std::clamp(position, 0.0, 655.35);
  const auto value = static_cast<uint16_t>(std::lround(clamped * 100.0));
  const std::lock_guard lock(state_->mutex);
  state_->report.quorinHundredths.at(index) = value;
}

void SimOrdex::setFrequencyOverride(std::optional<uint16_t> hertz) {
  const std::lock_guard lock(state_->mutex);
  state_->report.frequencyOverride = hertz;
}

void SimOrdex::publishNow() {
  std::vector<OrdexOutgoingFrame> frames;
  {
    const std::lock_guard lock(state_->mutex);
    state_->moveTo(state_->model.time);  // takes and shows what was fed; the model stays
    frames = ordexStatusFrames(state_->model, state_->report, deviceNumber_);
  }
  transmit(frames, bus_);
}

void SimOrdex::setMotorSilent(int motor, bool silent) {
  const std::size_t index = checkedMotor(motor);
  const std::lock_guard lock(state_->mutex);
  state_->report.motorSilent.at(index) = silent;
}

void SimOrdex::setStatusSilent(bool silent) {
  const std::lock_guard lock(state_->mutex);
  state_->report.statusSilent = silent;
}

}  // namespace halvern::sim

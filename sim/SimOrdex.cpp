#include "SimOrdex.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>

#include "SimClock.h"
#include "SimHal.h"
#include "ordex/OrdexMessages.h"

namespace halvern::sim {

namespace msg = halvern::ordex;

namespace {

using Duration = SimTime::duration;
using Seconds = std::chrono::duration<double>;

constexpr uint32_t kDeviceMask = 0x1FFF003F;  // type, manufacturer and device number bits
constexpr std::size_t kMotorCount = msg::kChannelCount;
// The log keeps the newest frames only, like the bus's own log, so long runs stay bounded.
constexpr std::size_t kReceivedLogCapacity = 100000;

// The model's time constants: how fast a speed follows its command, and slows when coasting
// or braking. A thermal constant of seconds (not minutes) keeps tests short.
constexpr Seconds kDriveTimeConstant{0.100};
constexpr Seconds kCoastTimeConstant{0.500};
constexpr Seconds kBrakeTimeConstant{0.025};
constexpr Seconds kThermalTimeConstant{20.0};
constexpr double kCelsiusPerLoadedMotor = 10.0;  // steady-state rise of one motor at full speed
// Small steps keep the exponential lag and the heartbeat timeout accurate over long advances.
constexpr Duration kMaxModelStep = std::chrono::milliseconds(5);

msg::Api apiOf(uint32_t id) { return static_cast<msg::Api>((id >> 6U) & 0x3FFU); }

/** The identifier of a per-motor status message (MotorRPM, EncoderCount, TargetRPM). */
uint32_t perMotorId(msg::Api first, std::size_t motor, int32_t deviceNumber) {
  return msg::ordexMessageId(first, deviceNumber) + static_cast<uint32_t>(motor) * 64U;
}

uint16_t readUint16(const msg::Frame& frame, std::size_t offset) {
  return static_cast<uint16_t>(frame.at(offset) | (frame.at(offset + 1) << 8U));
}

int32_t readInt32(const msg::Frame& frame, std::size_t offset) {
  const uint32_t bits = static_cast<uint32_t>(readUint16(frame, offset)) |
                        static_cast<uint32_t>(readUint16(frame, offset + 2)) << 16U;
  return static_cast<int32_t>(bits);
}

int32_t readInt24(const msg::Frame& frame, std::size_t offset) {
  uint32_t bits = static_cast<uint32_t>(frame.at(offset)) |
                  static_cast<uint32_t>(frame.at(offset + 1)) << 8U |
                  static_cast<uint32_t>(frame.at(offset + 2)) << 16U;
  if ((bits & 0x800000U) != 0) {
    bits |= 0xFF000000U;  // sign-extend
  }
  return static_cast<int32_t>(bits);
}

void putUint16(msg::Frame& frame, std::size_t offset, uint16_t value) {
  frame.at(offset) = static_cast<uint8_t>(value & 0xFFU);
  frame.at(offset + 1) = static_cast<uint8_t>(value >> 8U);
}

void putInt32(msg::Frame& frame, std::size_t offset, int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  putUint16(frame, offset, static_cast<uint16_t>(bits & 0xFFFFU));
  putUint16(frame, offset + 2, static_cast<uint16_t>(bits >> 16U));
}

msg::Frame wordFrame(uint32_t word) {
  msg::Frame frame{};
  putInt32(frame, 0, static_cast<int32_t>(word));
  return frame;
}

/** Hundredths as the controller sends them: rounded, saturated to int32. */
int32_t hundredths(double value) {
  constexpr double kLow = std::numeric_limits<int32_t>::min();
  constexpr double kHigh = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(std::clamp(std::round(value * 100.0), kLow, kHigh));
}

/** Moves `value` towards `target` as a first-order lag with time constant `tau` would. */
double lag(double value, double target, Seconds step, Seconds tau) {
  return target + (value - target) * std::exp(-step / tau);
}

std::size_t checkedMotor(int motor) {
  if (motor < 0 || static_cast<std::size_t>(motor) >= kMotorCount) {
    throw std::out_of_range("an Ordex has motors 0 to 3, not " + std::to_string(motor));
  }
  return static_cast<std::size_t>(motor);
}

struct MotorModel {
  OrdexMotorState state;         // encoderCount is derived from encoderPosition
  double encoderPosition = 0.0;  // counts, fractional, kept within the int32 range
  double velocityTargetRpm = 0.0;
  std::optional<double> rpmOverride;
  std::optional<double> targetRpmOverride;
  std::optional<double> fedRpm;  // the speed the simulation measures, once it feeds one
  bool silent = false;

  void commandDuty(const msg::Frame& frame) {
    const double duty = std::min<uint8_t>(frame[1], 100) / 100.0;
    const bool forward = frame[2] != 0;
    const bool reverse = frame[3] != 0;
    if (forward && reverse) {
      state.mode = OrdexDriveMode::Brake;
      state.duty = 0.0;
    } else if (forward || reverse) {
      state.mode = OrdexDriveMode::Duty;
      state.duty = reverse ? -duty : duty;
    } else {
      state.mode = OrdexDriveMode::Coast;  // no direction: nothing drives the motor
      state.duty = 0.0;
    }
  }

  [[nodiscard]] double commandedRpm() const {
    switch (state.mode) {
      case OrdexDriveMode::Duty:
        return state.duty * SimOrdex::kFreeSpeedRpm;
      case OrdexDriveMode::Velocity:
        return std::clamp(velocityTargetRpm, -SimOrdex::kFreeSpeedRpm, SimOrdex::kFreeSpeedRpm);
      case OrdexDriveMode::Coast:
      case OrdexDriveMode::Brake:
        break;
    }
    return 0.0;
  }

  void step(Seconds duration, bool enabled) {
    const double before = state.rpm;
    if (fedRpm) {
      state.rpm = *fedRpm;
    } else if (!enabled || state.mode == OrdexDriveMode::Coast) {
      state.rpm = lag(state.rpm, 0.0, duration, kCoastTimeConstant);
    } else if (state.mode == OrdexDriveMode::Brake) {
      state.rpm = lag(state.rpm, 0.0, duration, kBrakeTimeConstant);
    } else {
      state.rpm = lag(state.rpm, commandedRpm(), duration, kDriveTimeConstant);
    }
    const double meanRevolutionsPerSecond = (before + state.rpm) / 2.0 / 60.0;
    encoderPosition += meanRevolutionsPerSecond * state.countsPerRevolution * duration.count();
    // Wraps like the controller's 32-bit counter.
    constexpr double kSpan = 4294967296.0;
    if (encoderPosition >= kSpan / 2.0) {
      encoderPosition -= kSpan;
    } else if (encoderPosition < -kSpan / 2.0) {
      encoderPosition += kSpan;
    }
  }

  [[nodiscard]] int32_t encoderCount() const {
    // Through uint32: a count rounded up past the int32 range wraps instead of overflowing.
    return static_cast<int32_t>(static_cast<uint32_t>(std::llround(encoderPosition)));
  }

  [[nodiscard]] OrdexMotorState snapshot() const {
    OrdexMotorState copy = state;
    copy.targetRpm = commandedRpm();
    copy.encoderCount = encoderCount();
    return copy;
  }
};

struct OutgoingFrame {
  uint32_t id;
  msg::Frame data;
};

void transmit(const std::vector<OutgoingFrame>& frames, int32_t bus) {
  for (const auto& frame : frames) {
    transmitToRobot(frame.id, frame.data, bus);
  }
}

/** One motor's values of the controller's SimDevice, and what the model last wrote to its inputs. */
struct MotorValues {
  simhal::SimDouble duty;
  simhal::SimEnum mode;
  simhal::SimDouble targetRpm;
  simhal::SimDouble rpm;
  simhal::SimInt encoder;
  double rpmWritten = 0.0;
  int32_t encoderWritten = 0;
};

constexpr std::array<const char*, 4> kModeNames{"Coast", "Duty", "Brake", "Velocity"};

std::string motorKey(std::size_t motor, const char* what) {
  return "Motor " + std::to_string(motor) + " " + what;
}

}  // namespace

struct SimOrdex::State {
  State(int32_t device, int32_t canBus, OrdexTiming timingMode);

  void onFrame(const CanFrame& frame);
  void applyCommand(msg::Api api, const msg::Frame& data);
  void reply(msg::Api api, const msg::Frame& payload) const {
    transmitToRobot(msg::ordexMessageId(api, deviceNumber), payload, bus);
  }

  // Model time: since creation on the clock in real time, as far as advanced when manual.
  [[nodiscard]] Duration clockNow() const {
    return timing == OrdexTiming::Manual ? modelTime : simNow() - createdAt;
  }
  [[nodiscard]] bool enabledAt(Duration at) const {
    // A heartbeat stamped after `at` (it arrived during a real-time step) counts as fresh.
    return lastEnabledHeartbeat.has_value() && at - *lastEnabledHeartbeat <= kHeartbeatTimeout;
  }
  void advanceTo(Duration until);
  [[nodiscard]] double reportedTemperature() const {
    return temperatureOverride.value_or(modelTemperature);
  }
  [[nodiscard]] std::vector<OutgoingFrame> statusFrames() const;
  /** One status period in real time: the model moves to now, its frames are sent. */
  void tick();
  /** Takes what the simulation set on the SimDevice's inputs since the model last wrote them. */
  void takeFedInputs();
  /** Writes the model's state to the SimDevice's values. */
  void showValues();

  const int32_t deviceNumber;
  const int32_t bus;
  const OrdexTiming timing;
  const SimTime createdAt = simNow();

  mutable std::mutex mutex;

  OrdexIdentity identity;
  IdentityBehaviour identityBehaviour = IdentityBehaviour::Answer;
  std::array<uint32_t, 3> serialWords{0x0012ABCD, 0x00000000, 0xFFFFFFFF};
  int identityRequests = 0;
  int serialRequests = 0;
  std::vector<Heartbeat> heartbeats;
  std::deque<CanFrame> received;

  Duration modelTime{0};
  std::optional<Duration> lastEnabledHeartbeat;  // model time of the newest enabled heartbeat
  std::array<MotorModel, kMotorCount> motors;
  double modelTemperature = kAmbientCelsius;
  std::optional<double> temperatureOverride;
  std::optional<uint16_t> frequencyOverride;
  uint16_t lastConfiguredFrequency = 0;
  std::array<bool, 2 * kMotorCount> limitSwitches{};  // motor m, direction d at 2m + d
  std::array<uint16_t, kMotorCount> quorinHundredths{};
  bool statusSilent = false;

  simhal::SimDevice simDevice;
  simhal::SimBoolean enabledValue;
  simhal::SimDouble temperatureValue;
  double temperatureWritten = kAmbientCelsius;
  std::array<MotorValues, kMotorCount> motorValues;
};

SimOrdex::State::State(int32_t device, int32_t canBus, OrdexTiming timingMode)
    : deviceNumber(device), bus(canBus), timing(timingMode) {
  startSimulation();
  simDevice = simhal::SimDevice(canDeviceName("Ordex", device, canBus).c_str());
  if (!simDevice) {
    return;  // a device of that name exists already: this one shows no values
  }
  enabledValue = simDevice.CreateBoolean("Heartbeat Enabled", simhal::kOutput, false);
  for (std::size_t m = 0; m < kMotorCount; ++m) {
    MotorValues& values = motorValues.at(m);
    values.duty = simDevice.CreateDouble(motorKey(m, "Duty").c_str(), simhal::kOutput, 0.0);
    values.mode = simDevice.CreateEnum(motorKey(m, "Mode").c_str(), simhal::kOutput,
                                       kModeNames, 0);
    values.targetRpm =
        simDevice.CreateDouble(motorKey(m, "Target RPM").c_str(), simhal::kOutput, 0.0);
    values.rpm = simDevice.CreateDouble(motorKey(m, "RPM").c_str(), simhal::kInput, 0.0);
    values.encoder = simDevice.CreateInt(motorKey(m, "Encoder").c_str(), simhal::kInput, 0);
  }
  temperatureValue =
      simDevice.CreateDouble("Temperature", simhal::kInput, kAmbientCelsius);
}

void SimOrdex::State::takeFedInputs() {
  if (!simDevice) {
    return;
  }
  for (std::size_t m = 0; m < kMotorCount; ++m) {
    MotorValues& values = motorValues.at(m);
    MotorModel& motor = motors.at(m);
    if (const double rpm = values.rpm.Get(); rpm != values.rpmWritten) {
      motor.fedRpm = rpm;
    }
    if (const int32_t count = values.encoder.Get(); count != values.encoderWritten) {
      motor.encoderPosition = count;
    }
  }
  if (const double celsius = temperatureValue.Get(); celsius != temperatureWritten) {
    temperatureOverride = celsius;
  }
}

void SimOrdex::State::showValues() {
  if (!simDevice) {
    return;
  }
  enabledValue.Set(enabledAt(clockNow()));
  for (std::size_t m = 0; m < kMotorCount; ++m) {
    MotorValues& values = motorValues.at(m);
    const OrdexMotorState state = motors.at(m).snapshot();
    values.duty.Set(state.mode == OrdexDriveMode::Duty ? state.duty : 0.0);
    values.mode.Set(static_cast<int32_t>(state.mode));
    values.targetRpm.Set(state.targetRpm);
    values.rpmWritten = motors.at(m).rpmOverride.value_or(state.rpm);
    values.rpm.Set(values.rpmWritten);
    values.encoderWritten = state.encoderCount;
    values.encoder.Set(values.encoderWritten);
  }
  temperatureWritten = reportedTemperature();
  temperatureValue.Set(temperatureWritten);
}

void SimOrdex::State::onFrame(const CanFrame& frame) {
  const msg::Api api = apiOf(frame.id);
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
      // "Disabled" stops the motors at once; "enabled" keeps them running for a while.
      lastEnabledHeartbeat = enabled ? std::optional(clockNow()) : std::nullopt;
      break;
    }
    case msg::Api::IdentityRequest: {
      ++identityRequests;
      if (identityBehaviour == IdentityBehaviour::Silent) {
        break;
      }
      msg::Frame reply{};
      reply[0] = identityBehaviour == IdentityBehaviour::ZeroDeviceId ? 0
                 : identity.reportedDeviceNumber != 0 ? identity.reportedDeviceNumber
                                                      : static_cast<uint8_t>(deviceNumber);
      reply[1] = identity.firmware[0];
      reply[2] = identity.firmware[1];
      reply[3] = identity.firmware[2];
      reply[4] = identity.hardwareKind;
      reply[5] = identity.hardwareVersion;
      lock.unlock();
      this->reply(msg::Api::IdentityReply, reply);
      break;
    }
    case msg::Api::SerialRequest: {
      ++serialRequests;
      const auto words = serialWords;
      lock.unlock();
      reply(msg::Api::SerialWord1, wordFrame(words[0]));
      reply(msg::Api::SerialWord2, wordFrame(words[1]));
      reply(msg::Api::SerialWord3, wordFrame(words[2]));
      break;
    }
    default:
      applyCommand(api, frame.data);
      showValues();  // the commanded duty, mode and target show at once
      break;
  }
}

void SimOrdex::State::applyCommand(msg::Api api, const msg::Frame& data) {
  const std::size_t channel = data[0];
  if (channel >= kMotorCount) {
    return;  // every command the model follows names a motor or encoder first
  }
  MotorModel& motor = motors.at(channel);
  switch (api) {
    case msg::Api::MotorSpeed:
      motor.commandDuty(data);
      break;
    case msg::Api::DisableMotor:
      motor.state.mode = OrdexDriveMode::Coast;
      motor.state.duty = 0.0;
      break;
    case msg::Api::TargetVelocity:
      motor.state.mode = OrdexDriveMode::Velocity;
      motor.velocityTargetRpm = readInt32(data, 1) / 100.0;
      break;
    case msg::Api::ConfigureMotor:
      motor.state.frequency = readUint16(data, 1);
      lastConfiguredFrequency = motor.state.frequency;
      break;
    case msg::Api::ResetEncoder:
      motor.encoderPosition = 0.0;
      break;
    case msg::Api::EncoderResolution:
      if (const uint16_t resolution = readUint16(data, 1); resolution != 0) {
        motor.state.countsPerRevolution = resolution;
      }
      break;
    case msg::Api::CurrentLimit:
      motor.state.currentLimitAmps = readUint16(data, 1) / 100.0;
      break;
    case msg::Api::CurrentLimitMode:
      motor.state.currentLimitEnabled = data[1] != 0;
      break;
    case msg::Api::TargetDistance:
      motor.state.targetDistance = readInt24(data, 1);
      break;
    case msg::Api::TargetAngle:
      motor.state.targetAngleDegrees = readUint16(data, 1) / 100.0;
      break;
    case msg::Api::PositionHold:
      motor.state.positionHold = data[1] != 0;
      break;
    default:
      break;  // recorded in the log only
  }
}

void SimOrdex::State::advanceTo(Duration until) {
  while (modelTime < until) {
    const Duration step = std::min(kMaxModelStep, until - modelTime);
    modelTime += step;
    const bool enabled = enabledAt(modelTime);
    double load = 0.0;
    for (auto& motor : motors) {
      motor.step(step, enabled);
      load += std::fabs(motor.state.rpm) / kFreeSpeedRpm;
    }
    modelTemperature = lag(modelTemperature, kAmbientCelsius + kCelsiusPerLoadedMotor * load, step,
                           kThermalTimeConstant);
  }
}

std::vector<OutgoingFrame> SimOrdex::State::statusFrames() const {
  std::vector<OutgoingFrame> frames;
  if (statusSilent) {
    return frames;
  }
  for (std::size_t m = 0; m < kMotorCount; ++m) {
    const MotorModel& motor = motors.at(m);
    if (motor.silent) {
      continue;
    }
    msg::Frame rpm{};
    putInt32(rpm, 0, hundredths(motor.rpmOverride.value_or(motor.state.rpm)));
    frames.push_back({perMotorId(msg::Api::MotorRPM, m, deviceNumber), rpm});
    msg::Frame count{};
    putInt32(count, 0, motor.encoderCount());
    frames.push_back({perMotorId(msg::Api::EncoderCount, m, deviceNumber), count});
    msg::Frame target{};
    putInt32(target, 0, hundredths(motor.targetRpmOverride.value_or(motor.commandedRpm())));
    frames.push_back({perMotorId(msg::Api::TargetRPM, m, deviceNumber), target});
  }

  msg::Frame frequency{};
  putUint16(frequency, 0, frequencyOverride.value_or(lastConfiguredFrequency));
  frames.push_back({msg::ordexMessageId(msg::Api::FrequencyStatus, deviceNumber), frequency});

  // Whole degrees and hundredths, each a byte: 0 to 255.99 can be said.
  const double celsius = std::clamp(reportedTemperature(), 0.0, 255.99);
  const auto totalHundredths = static_cast<int>(std::lround(celsius * 100.0));
  msg::Frame temperature{};
  temperature[0] = static_cast<uint8_t>(totalHundredths / 100);
  temperature[1] = static_cast<uint8_t>(totalHundredths % 100);
  frames.push_back({msg::ordexMessageId(msg::Api::ControllerTemp, deviceNumber), temperature});

  msg::Frame switches{};
  std::transform(limitSwitches.begin(), limitSwitches.end(), switches.begin(),
                 [](bool pressed) { return static_cast<uint8_t>(pressed ? 1 : 0); });
  frames.push_back({msg::ordexMessageId(msg::Api::LimitSwitches, deviceNumber), switches});

  msg::Frame quorin{};
  for (std::size_t m = 0; m < kMotorCount; ++m) {
    putUint16(quorin, 2 * m, quorinHundredths.at(m));
  }
  frames.push_back({msg::ordexMessageId(msg::Api::QuorinPositions, deviceNumber), quorin});
  return frames;
}

void SimOrdex::State::tick() {
  std::vector<OutgoingFrame> frames;
  {
    const std::lock_guard lock(mutex);
    takeFedInputs();
    advanceTo(clockNow());
    showValues();
    frames = statusFrames();
  }
  transmit(frames, bus);  // outside the lock: the bus may call back into listeners
}

SimOrdex::SimOrdex(int32_t deviceNumber, SimOrdexOptions options)
    : deviceNumber_(deviceNumber),
      bus_(options.bus),
      state_(std::make_shared<State>(deviceNumber, options.bus, options.timing)),
      subscription_(subscribeToRobotFrames(
          msg::ordexMessageId(msg::Api::DisabledHeartbeat, deviceNumber), kDeviceMask,
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

std::string SimOrdex::simDeviceName() const {
  return canDeviceName("Ordex", deviceNumber_, bus_);
}

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
  return state_->motors.at(index).snapshot();
}

bool SimOrdex::motorsEnabled() const {
  const std::lock_guard lock(state_->mutex);
  return state_->enabledAt(state_->clockNow());
}

double SimOrdex::temperature() const {
  const std::lock_guard lock(state_->mutex);
  return state_->reportedTemperature();
}

void SimOrdex::advance(std::chrono::milliseconds duration) {
  if (state_->timing != OrdexTiming::Manual) {
    throw std::logic_error("advance() needs a SimOrdex with manual timing");
  }
  const std::lock_guard lock(state_->mutex);
  state_->takeFedInputs();
  state_->advanceTo(state_->modelTime + duration);
  state_->showValues();
}

void SimOrdex::setRpmOverride(int motor, std::optional<double> rpm) {
  const std::size_t index = checkedMotor(motor);
  const std::lock_guard lock(state_->mutex);
  state_->motors.at(index).rpmOverride = rpm;
}

void SimOrdex::setTargetRpmOverride(int motor, std::optional<double> rpm) {
  const std::size_t index = checkedMotor(motor);
  const std::lock_guard lock(state_->mutex);
  state_->motors.at(index).targetRpmOverride = rpm;
}

void SimOrdex::setTemperatureOverride(std::optional<double> celsius) {
  const std::lock_guard lock(state_->mutex);
  state_->temperatureOverride = celsius;
}

void SimOrdex::setEncoderCount(int encoder, int32_t count) {
  const std::size_t index = checkedMotor(encoder);
  const std::lock_guard lock(state_->mutex);
  state_->motors.at(index).encoderPosition = count;
}

void SimOrdex::setLimitSwitch(int motor, bool direction, bool pressed) {
  const std::size_t index = checkedMotor(motor);
  const std::lock_guard lock(state_->mutex);
  state_->limitSwitches.at(2 * index + (direction ? 1 : 0)) = pressed;
}

void SimOrdex::setQuorinPosition(int motor, double position) {
  const std::size_t index = checkedMotor(motor);
  const double clamped = std::isnan(position) ? 0.0 : std::clamp(position, 0.0, 655.35);
  const auto value = static_cast<uint16_t>(std::lround(clamped * 100.0));
  const std::lock_guard lock(state_->mutex);
  state_->quorinHundredths.at(index) = value;
}

void SimOrdex::setFrequencyOverride(std::optional<uint16_t> hertz) {
  const std::lock_guard lock(state_->mutex);
  state_->frequencyOverride = hertz;
}

void SimOrdex::publishNow() {
  std::vector<OutgoingFrame> frames;
  {
    const std::lock_guard lock(state_->mutex);
    state_->takeFedInputs();
    state_->showValues();
    frames = state_->statusFrames();
  }
  transmit(frames, bus_);
}

void SimOrdex::setMotorSilent(int motor, bool silent) {
  const std::size_t index = checkedMotor(motor);
  const std::lock_guard lock(state_->mutex);
  state_->motors.at(index).silent = silent;
}

void SimOrdex::setStatusSilent(bool silent) {
  const std::lock_guard lock(state_->mutex);
  state_->statusSilent = silent;
}

}  // namespace halvern::sim

#include "SimOrdex.h"

#include <mutex>

#include "ordex/OrdexMessages.h"

namespace halvern::sim {

namespace msg = halvern::ordex;

struct SimOrdex::State {
  explicit State(int32_t device) : deviceNumber(device) {}

  void onFrame(const halsim::CanFrame& frame);
  void reply(msg::Api api, const msg::Frame& payload) const {
    halsim::transmitToRobot(msg::ordexMessageId(api, deviceNumber), payload);
  }

  const int32_t deviceNumber;
  mutable std::mutex mutex;
  OrdexIdentity identity;
  IdentityBehaviour identityBehaviour = IdentityBehaviour::Answer;
  std::array<uint32_t, 3> serialWords{0x0012ABCD, 0x00000000, 0xFFFFFFFF};
  int identityRequests = 0;
  int serialRequests = 0;
  std::vector<Heartbeat> heartbeats;
  std::vector<halsim::CanFrame> received;
};

namespace {

constexpr uint32_t kDeviceMask = 0x1FFF003F;  // type, manufacturer and device number bits

msg::Api apiOf(uint32_t id) { return static_cast<msg::Api>((id >> 6U) & 0x3FFU); }

msg::Frame wordFrame(uint32_t word) {
  msg::Frame frame{};
  for (std::size_t i = 0; i < 4; ++i) {
    frame.at(i) = static_cast<uint8_t>((word >> (8U * i)) & 0xFFU);
  }
  return frame;
}

}  // namespace

void SimOrdex::State::onFrame(const halsim::CanFrame& frame) {
  const msg::Api api = apiOf(frame.id);
  std::unique_lock lock(mutex);
  received.push_back(frame);
  switch (api) {
    case msg::Api::DisabledHeartbeat:
    case msg::Api::EnabledHeartbeat:
      heartbeats.push_back({api == msg::Api::EnabledHeartbeat, std::chrono::steady_clock::now()});
      break;
    case msg::Api::IdentityRequest: {
      ++identityRequests;
      if (identityBehaviour == IdentityBehaviour::Silent) {
        break;
      }
      msg::Frame reply{};
      reply[0] = identityBehaviour == IdentityBehaviour::ZeroDeviceId ? 0
                 : identity.reportedDeviceNumber != 0
                     ? identity.reportedDeviceNumber
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
      break;
  }
}

SimOrdex::SimOrdex(int32_t deviceNumber)
    : deviceNumber_(deviceNumber),
      state_(std::make_shared<State>(deviceNumber)),
      subscription_(halsim::subscribeToRobotFrames(
          msg::ordexMessageId(msg::Api::DisabledHeartbeat, deviceNumber), kDeviceMask,
          [state = state_](const halsim::CanFrame& frame) { state->onFrame(frame); })) {}

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

std::vector<halsim::CanFrame> SimOrdex::receivedFrames() const {
  const std::lock_guard lock(state_->mutex);
  return state_->received;
}

void SimOrdex::clearReceived() {
  const std::lock_guard lock(state_->mutex);
  state_->received.clear();
  state_->heartbeats.clear();
}

}  // namespace halvern::sim

// The HAL calls that read the same on every WPILib year; the rest are the year's
// (platform/wpilib<year>/).
#include "RawHal.h"

#include "SimClock.h"
#include "SimHal.h"

namespace halvern::test::rawhal {

uint32_t remoteFrameFlag() { return HAL_CAN_IS_FRAME_REMOTE; }
uint32_t standardFrameFlag() { return HAL_CAN_IS_FRAME_11BIT; }

uint64_t halMicros() { return sim::simhal::halMicros(); }

ForeignCanModel::ForeignCanModel(uint32_t id, uint8_t answer) : id_(id), answer_(answer) {
  sim::startSimulation();
  const detail::CallbackIds ids = detail::registerForeignModel(*this);
  receiveUid_ = ids.receive;
  sendUid_ = ids.send;
  registered_ = true;
}

ForeignCanModel::~ForeignCanModel() { leave(); }

void ForeignCanModel::leave() {
  if (registered_) {
    HALSIM_CancelCanReceiveMessageCallback(receiveUid_);
    HALSIM_CancelCanSendMessageCallback(sendUid_);
    registered_ = false;
  }
}

int ForeignCanModel::answered() const {
  const std::scoped_lock lock(mutex_);
  return answered_;
}

std::vector<uint32_t> ForeignCanModel::heard() const {
  const std::scoped_lock lock(mutex_);
  return heard_;
}

void ForeignCanModel::onSend(uint32_t id) {
  const std::scoped_lock lock(mutex_);
  heard_.push_back(id);
}

bool ForeignCanModel::onReceive(uint32_t id) {
  if (id != id_) {
    return false;
  }
  const std::scoped_lock lock(mutex_);
  ++answered_;
  return true;
}

}  // namespace halvern::test::rawhal

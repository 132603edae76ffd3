// The tests' platform on the stand-in HAL: its own controls are at hand.
#include <utility>

#include "RawHal.h"
#include "SimCanBus.h"
#include "SimClock.h"
#include "SimHal.h"
#include "TestPlatform.h"
#include "halsim/SimControl.h"
#include "wpinetsim/UdpFaults.h"

namespace halvern::test {

bool hasStandinControls() { return true; }

void resetSimulation() {
  sim::startSimulation();
  halsim::reset();
  sim::resetCanBus();
}

void setRobotEnabled(bool enabled) {
  sim::startSimulation();
  HALSIM_SetDriverStationEnabled(enabled ? 1 : 0);
}

int loadHalExtension(const char* /*library*/) {
  ADD_FAILURE() << "the stand-in loads no simulation extensions";
  return -1;
}

int openCanHandleCount() { return halsim::openCanHandleCount(); }
bool i2cPortOpen(int32_t port) { return halsim::i2cPortOpen(port); }
void setInitializeCanStatus(int32_t status) { halsim::setInitializeCanStatus(status); }
void setSendStatus(int32_t status) { halsim::setSendStatus(status); }
void setStreamOpenStatus(int32_t status) { halsim::setStreamOpenStatus(status); }
void setI2CInitializeStatus(int32_t status) { halsim::setI2CInitializeStatus(status); }
void setI2CWriteFault(int32_t port, std::function<bool(std::span<const uint8_t>)> fails) {
  halsim::setI2CWriteFault(port, std::move(fails));
}
void setI2CReadFault(int32_t port, bool fails) { halsim::setI2CReadFault(port, fails); }
void setI2CAbsent(int32_t port, bool absent) { halsim::setI2CAbsent(port, absent); }
void setUdpStartFailure(bool fail) { wpinetsim::setUdpStartFailure(fail); }

namespace rawhal {

// The stand-in's handle reads have no time-out, and its clock cannot be paused.
std::optional<int32_t> readTimeout(platform::CanHandle /*handle*/, int32_t /*apiId*/,
                                   int32_t /*timeoutMs*/, platform::CanFrame& frame) {
  frame = platform::CanFrame{};
  return std::nullopt;
}

PausedHalClock::PausedHalClock() = default;
PausedHalClock::~PausedHalClock() = default;

}  // namespace rawhal
}  // namespace halvern::test

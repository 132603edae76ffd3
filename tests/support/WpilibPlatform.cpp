// The tests' platform on WPILib's HAL: its simulation API only, no stand-in controls.
#include "HalSimHooks.h"
#include "RawHal.h"
#include "SimCanBus.h"
#include "SimClock.h"
#include "SimHal.h"
#include "TestPlatform.h"

namespace halvern::test {
namespace {

void noStandin() { FAIL() << "the stand-in's controls are not there: HALVERN_NEEDS_STANDIN() first"; }

}  // namespace

bool hasStandinControls() { return false; }

void resetSimulation() {
  sim::startSimulation();
  HALSIM_SetDriverStationEnabled(0);
  sim::resetCanBus();
}

void setRobotEnabled(bool enabled) {
  sim::startSimulation();
  HALSIM_SetDriverStationEnabled(enabled ? 1 : 0);
}

int loadHalExtension(const char* library) {
  sim::startSimulation();
  return HAL_LoadOneExtension(library);
}

int openCanHandleCount() {
  noStandin();
  return 0;
}
bool i2cPortOpen(int32_t /*port*/) {
  noStandin();
  return false;
}
void setInitializeCanStatus(int32_t /*status*/) { noStandin(); }
void setSendStatus(int32_t /*status*/) { noStandin(); }
void setStreamOpenStatus(int32_t /*status*/) { noStandin(); }
void setI2CInitializeStatus(int32_t /*status*/) { noStandin(); }
void setI2CWriteFault(int32_t /*port*/, std::function<bool(std::span<const uint8_t>)> /*fails*/) {
  noStandin();
}
void setI2CReadFault(int32_t /*port*/, bool /*fails*/) { noStandin(); }
void setI2CAbsent(int32_t /*port*/, bool /*absent*/) { noStandin(); }
void setUdpStartFailure(bool /*fail*/) { noStandin(); }

namespace rawhal {

PausedHalClock::PausedHalClock() {
  HALSIM_PauseTiming();
  active_ = true;
}

PausedHalClock::~PausedHalClock() { HALSIM_ResumeTiming(); }

}  // namespace rawhal
}  // namespace halvern::test

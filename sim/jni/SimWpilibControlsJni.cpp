// What halvern_simjni does for the stand-in HAL's own controls on WPILib's HAL, which has none:
// faults cannot be set there, so there are none to clear (SimStandinControlsJni.cpp is the
// stand-in's).
#include "SimControlsJni.h"

void halvern::sim::jni::clearPlatformFaults() {}

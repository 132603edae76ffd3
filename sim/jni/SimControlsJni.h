// The HAL's own controls as SimBus.reset needs them: the stand-in's (SimStandinControlsJni.cpp),
// or nothing on WPILib's HAL, which has none (SimWpilibControlsJni.cpp).
#pragma once

namespace halvern::sim::jni {

/** Clears the HAL's own faults and serial bytes waiting. */
void clearPlatformFaults();

}  // namespace halvern::sim::jni

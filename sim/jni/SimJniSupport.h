// What the simulators' JNI bindings share: a simulator's handle is its address in a Java long,
// and a simulator that cannot be made is reported to Java as an IllegalStateException.
#pragma once

#include <jni.h>

#include <cstdint>

namespace halvern::sim::jni {

template <typename Simulator>
Simulator* simulatorAt(jlong handle) {
  // The handle is an address this library handed to Java, so the cast is the point.
  return reinterpret_cast<Simulator*>(  // NOLINT(performance-no-int-to-ptr)
      static_cast<std::intptr_t>(handle));
}

template <typename Simulator>
jlong toHandle(Simulator* object) {
  return static_cast<jlong>(reinterpret_cast<std::intptr_t>(object));
}

inline void throwIllegalState(JNIEnv* env, const char* message) {
  jclass type = env->FindClass("java/lang/IllegalStateException");
  if (type != nullptr) {
    env->ThrowNew(type, message);
  }
}

/** Takes every simulated analog board made from Java off the bus (SimFerixJni.cpp). */
void unplugEveryFerix();
/** The I2C port of the simulated analog board behind a SimFerix handle (SimFerixJni.cpp). */
int32_t ferixPort(jlong handle);

/**
 * Clears the HAL's own faults and serial bytes waiting: the stand-in's controls
 * (SimStandinControlsJni.cpp); nothing on WPILib's HAL, which has none
 * (SimWpilibControlsJni.cpp).
 */
void clearPlatformFaults();

}  // namespace halvern::sim::jni

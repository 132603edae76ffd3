// What the simulators' JNI bindings share: a simulator's handle is its address in a Java long,
// owned by the Java object until it closes it, and a simulator that cannot be made is reported to
// Java as an IllegalStateException.
#pragma once

#include <jni.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <utility>

namespace halvern::sim::jni {

template <typename Simulator>
Simulator* simulatorAt(jlong handle) {
  // The handle is an address this library handed to Java, so the cast is the point.
  return reinterpret_cast<Simulator*>(  // NOLINT(performance-no-int-to-ptr)
      static_cast<std::intptr_t>(handle));
}

/** Hands the simulator over to Java, which gives it back to destroyAt when it closes. */
template <typename Simulator>
jlong toHandle(std::unique_ptr<Simulator> owned) {
  return static_cast<jlong>(reinterpret_cast<std::intptr_t>(owned.release()));
}

/** Takes back and destroys a simulator handed over with toHandle. */
template <typename Simulator>
void destroyAt(jlong handle) {
  const std::unique_ptr<Simulator> owned(simulatorAt<Simulator>(handle));
}

inline void throwIllegalState(JNIEnv* env, const char* message) {
  jclass type = env->FindClass("java/lang/IllegalStateException");
  if (type != nullptr) {
    env->ThrowNew(type, message);
  }
}

/**
 * Makes a simulator for Java and returns its handle; when it cannot be made (no pseudo-terminal,
 * no such port), throws IllegalStateException in Java and returns 0.
 */
template <typename Simulator, typename... Arguments>
jlong create(JNIEnv* env, Arguments&&... arguments) {
  try {
    return toHandle(std::make_unique<Simulator>(std::forward<Arguments>(arguments)...));
  } catch (const std::exception& error) {
    throwIllegalState(env, error.what());
    return 0;
  }
}

}  // namespace halvern::sim::jni

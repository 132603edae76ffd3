// What the simulators' JNI bindings share: a simulator made for Java is owned by the Java object
// through a handle, the address of its OwnedByJava in a Java long, until NativeSimulator.close
// lets it go (NativeSimulatorJni.cpp); a simulator that cannot be made is reported to Java as an
// IllegalStateException.
#pragma once

#include <jni.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <utility>

namespace halvern::sim::jni {

/**
 * What a handle points to: Java's share of a simulator of any type, which destroys it as its type
 * wants when the share goes.
 */
using OwnedByJava = std::shared_ptr<void>;

inline OwnedByJava* ownedAt(jlong handle) {
  // The handle is an address this library handed to Java, so the cast is the point.
  return reinterpret_cast<OwnedByJava*>(  // NOLINT(performance-no-int-to-ptr)
      static_cast<std::intptr_t>(handle));
}

/** The simulator behind a handle that create or handOver gave for this type. */
template <typename Simulator>
Simulator* simulatorAt(jlong handle) {
  return static_cast<Simulator*>(ownedAt(handle)->get());
}

/** Hands a share of a simulator over to Java; returns its handle. */
inline jlong handOver(OwnedByJava simulator) {
  auto owned = std::make_unique<OwnedByJava>(std::move(simulator));
  return static_cast<jlong>(reinterpret_cast<std::intptr_t>(owned.release()));
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
    return handOver(std::make_shared<Simulator>(std::forward<Arguments>(arguments)...));
  } catch (const std::exception& error) {
    throwIllegalState(env, error.what());
    return 0;
  }
}

}  // namespace halvern::sim::jni

// What the simulators' JNI bindings share: a simulator made for Java is owned by the Java object
// through a handle, the address of its OwnedByJava in a Java long, until NativeSimulator.close
// destroys it (NativeSimulatorJni.cpp); a simulator that cannot be made is reported to Java as an
// IllegalStateException.
#pragma once

#include <jni.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <utility>

namespace halvern::sim::jni {

/** What a handle points to: any simulator, so that one function destroys them all. */
class OwnedByJava {
 public:
  OwnedByJava() = default;
  OwnedByJava(const OwnedByJava&) = delete;
  OwnedByJava& operator=(const OwnedByJava&) = delete;
  virtual ~OwnedByJava() = default;
};

/** A simulator of one type as Java owns it. */
template <typename Simulator>
class Owned final : public OwnedByJava {
 public:
  template <typename... Arguments>
  explicit Owned(Arguments&&... arguments) : simulator(std::forward<Arguments>(arguments)...) {}

  Simulator simulator;
};

inline OwnedByJava* ownedAt(jlong handle) {
  // The handle is an address this library handed to Java, so the cast is the point.
  return reinterpret_cast<OwnedByJava*>(  // NOLINT(performance-no-int-to-ptr)
      static_cast<std::intptr_t>(handle));
}

/** The simulator behind a handle that create or handOver gave for this type. */
template <typename Simulator>
Simulator* simulatorAt(jlong handle) {
  return &static_cast<Owned<Simulator>*>(ownedAt(handle))->simulator;
}

/** Makes a simulator and hands it over to Java; returns its handle. */
template <typename Simulator, typename... Arguments>
jlong handOver(Arguments&&... arguments) {
  std::unique_ptr<OwnedByJava> owned =
      std::make_unique<Owned<Simulator>>(std::forward<Arguments>(arguments)...);
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
    return handOver<Simulator>(std::forward<Arguments>(arguments)...);
  } catch (const std::exception& error) {
    throwIllegalState(env, error.what());
    return 0;
  }
}

}  // namespace halvern::sim::jni

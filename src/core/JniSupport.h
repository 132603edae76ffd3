// Conversions shared by the JNI bindings of every family.
#pragma once

#include <jni.h>

#include <cstdint>
#include <string>

namespace halvern::jni {

/** A Java boolean counts as true only when it is exactly JNI_TRUE (1). */
inline bool toBool(jboolean value) { return value == JNI_TRUE; }

inline jboolean toJavaBoolean(bool value) { return value ? JNI_TRUE : JNI_FALSE; }

inline jstring toJavaString(JNIEnv* env, const std::string& text) {
  return env->NewStringUTF(text.c_str());
}

/** A pointer family's handle: the object's address carried in a Java long; 0 means none. */
template <typename Object>
Object* toObject(jlong handle) {
  // The handle is an address the library handed out, so the cast is the point.
  return reinterpret_cast<Object*>(  // NOLINT(performance-no-int-to-ptr)
      static_cast<std::intptr_t>(handle));
}

inline jlong toJavaHandle(void* object) {
  return static_cast<jlong>(reinterpret_cast<std::intptr_t>(object));
}

/** A Java object made with its class's no-argument constructor, beside its class. */
struct ConstructedObject {
  jclass type = nullptr;
  jobject object = nullptr;  // null when the class, its constructor or the allocation failed
};

/**
 * Finds the class (a JNI name such as "com/halvern/frc/Iridel$ColorData") and makes an object
 * with its no-argument constructor. On failure the object is null and the lookup's exception is
 * left pending for the Java caller.
 */
inline ConstructedObject constructDefault(JNIEnv* env, const char* className) {
  ConstructedObject made;
  made.type = env->FindClass(className);
  if (made.type == nullptr) {
    return made;
  }
  jmethodID constructor = env->GetMethodID(made.type, "<init>", "()V");
  if (constructor != nullptr) {
    made.object = env->NewObject(made.type, constructor);
  }
  return made;
}

/** The modified-UTF-8 characters of a Java string, released when this goes. */
class JavaStringChars {
 public:
  JavaStringChars(JNIEnv* env, jstring text)
      : env_(env),
        text_(text),
        chars_(text != nullptr ? env->GetStringUTFChars(text, nullptr) : nullptr) {}
  JavaStringChars(const JavaStringChars&) = delete;
  JavaStringChars& operator=(const JavaStringChars&) = delete;
  JavaStringChars(JavaStringChars&&) = delete;
  JavaStringChars& operator=(JavaStringChars&&) = delete;
  ~JavaStringChars() {
    if (chars_ != nullptr) {
      env_->ReleaseStringUTFChars(text_, chars_);
    }
  }
  /** Null when the string was null or its characters could not be obtained. */
  [[nodiscard]] const char* get() const { return chars_; }

 private:
  JNIEnv* env_;
  jstring text_;
  const char* chars_;
};

}  // namespace halvern::jni

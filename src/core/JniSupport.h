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

/**
 * What a pointer family's C function answers for the object behind `handle`, called with the
 * other arguments; `none`, without calling it, for the handle 0, which never reaches the library.
 */
template <typename Result, typename... Parameters, typename... Arguments>
Result onObject(jlong handle, Result none, Result (*function)(void*, Parameters...),
                Arguments... arguments) {
  return handle == 0 ? none : function(toObject<void>(handle), arguments...);
}

/** Calls a pointer family's C function on the object behind `handle`; nothing for the handle 0. */
template <typename... Parameters, typename... Arguments>
void onObject(jlong handle, void (*function)(void*, Parameters...), Arguments... arguments) {
  if (handle != 0) {
    function(toObject<void>(handle), arguments...);
  }
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

/**
 * A new Java object, made with its class's no-argument constructor, whose fields are set by name
 * and JNI signature. After the first lookup or allocation that fails nothing more is called (its
 * exception is left pending for the Java caller) and get() returns null.
 */
class NewObject {
 public:
  /** `className` is a JNI name such as "com/halvern/frc/Iridel$ColorData". */
  NewObject(JNIEnv* env, const char* className)
      : env_(env), made_(constructDefault(env, className)) {}

  NewObject& setInt(const char* name, jint value) {
    return set(name, "I", [&](jfieldID field) { env_->SetIntField(made_.object, field, value); });
  }
  NewObject& setLong(const char* name, jlong value) {
    return set(name, "J", [&](jfieldID field) { env_->SetLongField(made_.object, field, value); });
  }
  NewObject& setFloat(const char* name, jfloat value) {
    return set(name, "F", [&](jfieldID field) { env_->SetFloatField(made_.object, field, value); });
  }
  NewObject& setDouble(const char* name, jdouble value) {
    return set(name, "D",
               [&](jfieldID field) { env_->SetDoubleField(made_.object, field, value); });
  }
  NewObject& setBoolean(const char* name, bool value) {
    return set(name, "Z", [&](jfieldID field) {
      env_->SetBooleanField(made_.object, field, toJavaBoolean(value));
    });
  }
  /** Sets a field of an object or array type to what `make(env)` returns, called only while
   *  nothing has failed; a null result (a failed allocation) fails the whole. */
  template <typename Make>
  NewObject& setObject(const char* name, const char* signature, Make make) {
    return set(name, signature, [&](jfieldID field) {
      jobject value = make(env_);
      if (value == nullptr) {
        made_.object = nullptr;
        return;
      }
      env_->SetObjectField(made_.object, field, value);
    });
  }

  /** The object; null once something failed. */
  [[nodiscard]] jobject get() const { return made_.object; }

 private:
  template <typename Set>
  NewObject& set(const char* name, const char* signature, Set assign) {
    if (made_.object == nullptr) {
      return *this;
    }
    jfieldID field = env_->GetFieldID(made_.type, name, signature);
    if (field == nullptr) {
      made_.object = nullptr;
      return *this;
    }
    assign(field);
    return *this;
  }

  JNIEnv* env_;
  ConstructedObject made_;
};

/** A new Java array holding `count` elements of `data`, made and filled by the given JNIEnv
 *  functions; null if it cannot be allocated (its exception is left pending). */
template <typename Array, typename Element>
Array filledArray(JNIEnv* env, Array (JNIEnv::*make)(jsize),
                  void (JNIEnv::*fill)(Array, jsize, jsize, const Element*), const Element* data,
                  jsize count) {
  Array array = (env->*make)(count);
  if (array != nullptr && count > 0) {
    (env->*fill)(array, 0, count, data);
  }
  return array;
}
inline jintArray newArray(JNIEnv* env, const jint* data, jsize count) {
  return filledArray(env, &JNIEnv::NewIntArray, &JNIEnv::SetIntArrayRegion, data, count);
}
inline jfloatArray newArray(JNIEnv* env, const jfloat* data, jsize count) {
  return filledArray(env, &JNIEnv::NewFloatArray, &JNIEnv::SetFloatArrayRegion, data, count);
}
inline jdoubleArray newArray(JNIEnv* env, const jdouble* data, jsize count) {
  return filledArray(env, &JNIEnv::NewDoubleArray, &JNIEnv::SetDoubleArrayRegion, data, count);
}
inline jlongArray newArray(JNIEnv* env, const jlong* data, jsize count) {
  return filledArray(env, &JNIEnv::NewLongArray, &JNIEnv::SetLongArrayRegion, data, count);
}
inline jbyteArray newArray(JNIEnv* env, const jbyte* data, jsize count) {
  return filledArray(env, &JNIEnv::NewByteArray, &JNIEnv::SetByteArrayRegion, data, count);
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

/**
 * The handle of what `open(path, arguments...)` opens at a Java path, as a Java long; 0 without
 * calling it when the path is null or its characters cannot be had (an exception is then
 * pending).
 */
template <typename... Parameters, typename... Arguments>
jlong openPath(JNIEnv* env, jstring path, void* (*open)(const char*, Parameters...),
               Arguments... arguments) {
  const JavaStringChars chars(env, path);
  return chars.get() == nullptr ? 0 : toJavaHandle(open(chars.get(), arguments...));
}

}  // namespace halvern::jni

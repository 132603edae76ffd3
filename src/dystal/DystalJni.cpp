// The distance sensor's JNI face: the native methods of com.halvern.frc.jni.DystalJNI (its
// findDevicePath lives with the serial transport's).
//
// A handle of 0 never reaches the device: such calls answer null or -1.
#include <jni.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <type_traits>

#include "core/JniSupport.h"
#include "halvern/Dystal.h"

namespace {

bool isNull(jlong handle) { return handle == 0; }
void* toHandle(jlong handle) { return halvern::jni::toObject<void>(handle); }

// A new com.halvern.frc.Dystal$ScanData holding the reading's `count` distances; null if a
// lookup or an allocation fails (its exception is left pending for the Java caller). Its
// timestamp is set only for a reading that has one.
template <typename Scan>
jobject newScanData(JNIEnv* env, const Scan& scan) {
  auto [type, object] = halvern::jni::constructDefault(env, "com/halvern/frc/Dystal$ScanData");
  if (object == nullptr) {
    return nullptr;
  }
  jfieldID sequence = env->GetFieldID(type, "sequence", "I");
  jfieldID distance = env->GetFieldID(type, "distance", "[I");
  if (sequence == nullptr || distance == nullptr) {
    return nullptr;
  }
  if constexpr (std::is_same_v<Scan, DystalReading>) {
    jfieldID timestamp = env->GetFieldID(type, "timestampUs", "J");
    if (timestamp == nullptr) {
      return nullptr;
    }
    env->SetLongField(object, timestamp, static_cast<jlong>(scan.timestampUs));
  }
  env->SetIntField(object, sequence, static_cast<jint>(scan.sequence));
  const jsize count = std::clamp<jsize>(scan.count, 0, DYSTAL_MAX_DISTANCES);
  jintArray distances = env->NewIntArray(count);
  if (distances == nullptr) {
    return nullptr;
  }
  if (count > 0) {
    std::array<jint, DYSTAL_MAX_DISTANCES> widened{};
    // Sign-extended: a missing zone (-1) stays -1.
    std::copy_n(std::begin(scan.distance), count, widened.begin());
    env->SetIntArrayRegion(distances, 0, count, widened.data());
  }
  env->SetObjectField(object, distance, distances);
  return object;
}

// A new com.halvern.frc.Dystal$Config from a valid record; null if a lookup fails.
jobject newConfig(JNIEnv* env, const DystalConfig& config) {
  auto [type, object] = halvern::jni::constructDefault(env, "com/halvern/frc/Dystal$Config");
  if (object == nullptr) {
    return nullptr;
  }
  jfieldID version = env->GetFieldID(type, "version", "I");
  jfieldID distanceEnabled = env->GetFieldID(type, "distanceEnabled", "Z");
  jfieldID canFdEnabled = env->GetFieldID(type, "canFdEnabled", "Z");
  jfieldID canBrsEnabled = env->GetFieldID(type, "canBrsEnabled", "Z");
  jfieldID canId = env->GetFieldID(type, "canID", "I");
  if (version == nullptr || distanceEnabled == nullptr || canFdEnabled == nullptr ||
      canBrsEnabled == nullptr || canId == nullptr) {
    return nullptr;
  }
  using halvern::jni::toJavaBoolean;
  env->SetIntField(object, version, static_cast<jint>(config.version));
  env->SetBooleanField(object, distanceEnabled, toJavaBoolean(config.distanceEnabled != 0));
  env->SetBooleanField(object, canFdEnabled, toJavaBoolean(config.canFdEnabled != 0));
  env->SetBooleanField(object, canBrsEnabled, toJavaBoolean(config.canBrsEnabled != 0));
  env->SetIntField(object, canId, static_cast<jint>(config.canID));
  return object;
}

}  // namespace

extern "C" {

JNIEXPORT jlong JNICALL Java_com_halvern_frc_jni_DystalJNI_c_1Dystal_1create(JNIEnv* /*env*/,
                                                                             jclass /*cls*/,
                                                                             jint canId) {
  return halvern::jni::toJavaHandle(c_Dystal_create(canId));
}

JNIEXPORT jlong JNICALL Java_com_halvern_frc_jni_DystalJNI_c_1Dystal_1createOnBus(JNIEnv* /*env*/,
                                                                                  jclass /*cls*/,
                                                                                  jint bus,
                                                                                  jint canId) {
  return halvern::jni::toJavaHandle(c_Dystal_createOnBus(bus, canId));
}

JNIEXPORT jlong JNICALL Java_com_halvern_frc_jni_DystalJNI_c_1Dystal_1createUsb(JNIEnv* env,
                                                                                jclass /*cls*/,
                                                                                jstring path,
                                                                                jint rate) {
  const halvern::jni::JavaStringChars chars(env, path);
  if (chars.get() == nullptr) {
    return 0;
  }
  return halvern::jni::toJavaHandle(c_Dystal_createUsb(chars.get(), rate));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_DystalJNI_c_1Dystal_1destroy(JNIEnv* /*env*/,
                                                                             jclass /*cls*/,
                                                                             jlong handle) {
  c_Dystal_destroy(toHandle(handle));
}

JNIEXPORT jobject JNICALL Java_com_halvern_frc_jni_DystalJNI_c_1Dystal_1getData(JNIEnv* env,
                                                                                jclass /*cls*/,
                                                                                jlong handle,
                                                                                jint count) {
  if (isNull(handle)) {
    return nullptr;
  }
  DystalScanData scan{};
  c_Dystal_getData(toHandle(handle), &scan, count);
  return newScanData(env, scan);
}

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_jni_DystalJNI_c_1Dystal_1startGathering(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle) {
  return halvern::jni::toJavaBoolean(!isNull(handle) && c_Dystal_startGathering(toHandle(handle)));
}

JNIEXPORT jobject JNICALL Java_com_halvern_frc_jni_DystalJNI_c_1Dystal_1getLatest(JNIEnv* env,
                                                                                  jclass /*cls*/,
                                                                                  jlong handle,
                                                                                  jint count) {
  if (isNull(handle)) {
    return nullptr;
  }
  DystalReading reading{};
  c_Dystal_getLatest(toHandle(handle), &reading, count);
  return newScanData(env, reading);
}

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_jni_DystalJNI_c_1Dystal_1isConnected(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle) {
  return halvern::jni::toJavaBoolean(!isNull(handle) && c_Dystal_isConnected(toHandle(handle)));
}

JNIEXPORT jobject JNICALL Java_com_halvern_frc_jni_DystalJNI_c_1Dystal_1getConfig(JNIEnv* env,
                                                                                  jclass /*cls*/,
                                                                                  jlong handle,
                                                                                  jint timeoutMs) {
  if (isNull(handle)) {
    return nullptr;
  }
  DystalConfig config{};
  c_Dystal_getConfig(toHandle(handle), &config, timeoutMs);
  return config.valid != 0 ? newConfig(env, config) : nullptr;
}

JNIEXPORT jint JNICALL Java_com_halvern_frc_jni_DystalJNI_c_1Dystal_1getCanID(JNIEnv* /*env*/,
                                                                              jclass /*cls*/,
                                                                              jlong handle) {
  return isNull(handle) ? -1 : c_Dystal_getCanID(toHandle(handle));
}

JNIEXPORT jint JNICALL Java_com_halvern_frc_jni_DystalJNI_c_1Dystal_1getCanBus(JNIEnv* /*env*/,
                                                                               jclass /*cls*/,
                                                                               jlong handle) {
  return isNull(handle) ? -1 : c_Dystal_getCanBus(toHandle(handle));
}

JNIEXPORT jint JNICALL Java_com_halvern_frc_jni_DystalJNI_c_1Dystal_1getTransport(JNIEnv* /*env*/,
                                                                                  jclass /*cls*/,
                                                                                  jlong handle) {
  return isNull(handle) ? -1 : c_Dystal_getTransport(toHandle(handle));
}

}  // extern "C"

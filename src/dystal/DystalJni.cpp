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

using halvern::jni::onObject;
using halvern::jni::toJavaBoolean;

bool isNull(jlong handle) { return handle == 0; }
void* toHandle(jlong handle) { return halvern::jni::toObject<void>(handle); }

// A new com.halvern.frc.Dystal$ScanData holding the reading's `count` distances; null if a
// lookup or an allocation fails (its exception is left pending for the Java caller). Its
// timestamp is set only for a reading that has one.
template <typename Scan>
jobject newScanData(JNIEnv* env, const Scan& scan) {
  halvern::jni::NewObject data(env, "com/halvern/frc/Dystal$ScanData");
  if constexpr (std::is_same_v<Scan, DystalReading>) {
    data.setLong("timestampUs", static_cast<jlong>(scan.timestampUs));
  }
  const jsize count = std::clamp<jsize>(scan.count, 0, DYSTAL_MAX_DISTANCES);
  return data.setInt("sequence", static_cast<jint>(scan.sequence))
      .setObject("distance", "[I",
                 [&](JNIEnv* java) {
                   std::array<jint, DYSTAL_MAX_DISTANCES> widened{};
                   // Sign-extended: a missing zone (-1) stays -1.
                   std::copy_n(std::begin(scan.distance), count, widened.begin());
                   return halvern::jni::newArray(java, widened.data(), count);
                 })
      .get();
}

// What `read` stores, `count` distances at most, as a ScanData; null for the handle 0.
template <typename Scan>
jobject readScan(JNIEnv* env, jlong handle, jint count, Scan* (*read)(void*, Scan*, int)) {
  if (isNull(handle)) {
    return nullptr;
  }
  Scan scan{};
  return newScanData(env, *read(toHandle(handle), &scan, count));
}

// A new com.halvern.frc.Dystal$Config from a valid record; null if a lookup fails.
jobject newConfig(JNIEnv* env, const DystalConfig& config) {
  return halvern::jni::NewObject(env, "com/halvern/frc/Dystal$Config")
      .setInt("version", static_cast<jint>(config.version))
      .setBoolean("distanceEnabled", config.distanceEnabled != 0)
      .setBoolean("canFdEnabled", config.canFdEnabled != 0)
      .setBoolean("canBrsEnabled", config.canBrsEnabled != 0)
      .setInt("canID", static_cast<jint>(config.canID))
      .get();
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
  return halvern::jni::openPath(env, path, c_Dystal_createUsb, rate);
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
  return readScan(env, handle, count, c_Dystal_getData);
}

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_jni_DystalJNI_c_1Dystal_1startGathering(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle) {
  return toJavaBoolean(onObject(handle, false, c_Dystal_startGathering));
}

JNIEXPORT jobject JNICALL Java_com_halvern_frc_jni_DystalJNI_c_1Dystal_1getLatest(JNIEnv* env,
                                                                                  jclass /*cls*/,
                                                                                  jlong handle,
                                                                                  jint count) {
  return readScan(env, handle, count, c_Dystal_getLatest);
}

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_jni_DystalJNI_c_1Dystal_1isConnected(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle) {
  return toJavaBoolean(onObject(handle, false, c_Dystal_isConnected));
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
  return onObject(handle, -1, c_Dystal_getCanID);
}

JNIEXPORT jint JNICALL Java_com_halvern_frc_jni_DystalJNI_c_1Dystal_1getCanBus(JNIEnv* /*env*/,
                                                                               jclass /*cls*/,
                                                                               jlong handle) {
  return onObject(handle, -1, c_Dystal_getCanBus);
}

JNIEXPORT jint JNICALL Java_com_halvern_frc_jni_DystalJNI_c_1Dystal_1getTransport(JNIEnv* /*env*/,
                                                                                  jclass /*cls*/,
                                                                                  jlong handle) {
  return onObject(handle, -1, c_Dystal_getTransport);
}

}  // extern "C"

// The serial lidar's JNI face: the native methods of com.halvern.frc.jni.LidarJNI. There is
// no handle: the library drives one serial lidar.
#include <jni.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <memory>

#include "core/JniSupport.h"
#include "halvern/Lidar.h"

namespace {

// A new com.halvern.frc.Lidar$ScanData with the 360 angles and distances; null if a lookup or
// an allocation fails (its exception is left pending for the Java caller).
// The tables with each degree's time and the first and last of them, from one copy.
jobject newTimedScanData(JNIEnv* env) {
  auto [type, object] = halvern::jni::constructDefault(env, "com/halvern/frc/Lidar$ScanData");
  if (object == nullptr) {
    return nullptr;
  }
  jfieldID angle = env->GetFieldID(type, "angle", "[F");
  jfieldID distance = env->GetFieldID(type, "distance", "[F");
  jfieldID sampleUs = env->GetFieldID(type, "sampleUs", "[J");
  jfieldID firstPacketUs = env->GetFieldID(type, "firstPacketUs", "J");
  jfieldID lastPacketUs = env->GetFieldID(type, "lastPacketUs", "J");
  if (angle == nullptr || distance == nullptr || sampleUs == nullptr || firstPacketUs == nullptr ||
      lastPacketUs == nullptr) {
    return nullptr;
  }
  const auto scan = std::make_unique<LidarTimedScan>();
  c_Lidar_getTimedData(scan.get());
  jfloatArray angles = env->NewFloatArray(LIDAR_DEGREES);
  jfloatArray distances = env->NewFloatArray(LIDAR_DEGREES);
  jlongArray times = env->NewLongArray(LIDAR_DEGREES);
  if (angles == nullptr || distances == nullptr || times == nullptr) {
    return nullptr;
  }
  std::array<jlong, LIDAR_DEGREES> stamps{};
  std::copy(std::begin(scan->sampleUs), std::end(scan->sampleUs), stamps.begin());
  env->SetFloatArrayRegion(angles, 0, LIDAR_DEGREES, static_cast<const jfloat*>(scan->angle));
  env->SetFloatArrayRegion(distances, 0, LIDAR_DEGREES, static_cast<const jfloat*>(scan->distance));
  env->SetLongArrayRegion(times, 0, LIDAR_DEGREES, stamps.data());
  env->SetObjectField(object, angle, angles);
  env->SetObjectField(object, distance, distances);
  env->SetObjectField(object, sampleUs, times);
  env->SetLongField(object, firstPacketUs, static_cast<jlong>(scan->firstPacketUs));
  env->SetLongField(object, lastPacketUs, static_cast<jlong>(scan->lastPacketUs));
  return object;
}

jobject newScanData(JNIEnv* env) {
  auto [type, object] = halvern::jni::constructDefault(env, "com/halvern/frc/Lidar$ScanData");
  if (object == nullptr) {
    return nullptr;
  }
  jfieldID angle = env->GetFieldID(type, "angle", "[F");
  jfieldID distance = env->GetFieldID(type, "distance", "[F");
  if (angle == nullptr || distance == nullptr) {
    return nullptr;
  }
  const LidarScan scan = c_Lidar_getData();
  jfloatArray angles = env->NewFloatArray(LIDAR_DEGREES);
  jfloatArray distances = env->NewFloatArray(LIDAR_DEGREES);
  if (angles == nullptr || distances == nullptr) {
    return nullptr;
  }
  env->SetFloatArrayRegion(angles, 0, LIDAR_DEGREES, static_cast<const jfloat*>(scan.angle));
  env->SetFloatArrayRegion(distances, 0, LIDAR_DEGREES, static_cast<const jfloat*>(scan.distance));
  env->SetObjectField(object, angle, angles);
  env->SetObjectField(object, distance, distances);
  return object;
}

}  // namespace

extern "C" {

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_LidarJNI_c_1Lidar_1create(JNIEnv* /*env*/,
                                                                          jclass /*cls*/,
                                                                          jint port) {
  c_Lidar_create(port);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_LidarJNI_c_1Lidar_1destroy(JNIEnv* /*env*/,
                                                                           jclass /*cls*/) {
  c_Lidar_destroy();
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_LidarJNI_c_1Lidar_1start(JNIEnv* /*env*/,
                                                                         jclass /*cls*/) {
  c_Lidar_start();
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_LidarJNI_c_1Lidar_1stop(JNIEnv* /*env*/,
                                                                        jclass /*cls*/) {
  c_Lidar_stop();
}

JNIEXPORT jobject JNICALL Java_com_halvern_frc_jni_LidarJNI_c_1Lidar_1getData(JNIEnv* env,
                                                                              jclass /*cls*/) {
  return newScanData(env);
}

JNIEXPORT jobject JNICALL Java_com_halvern_frc_jni_LidarJNI_c_1Lidar_1getTimedData(JNIEnv* env,
                                                                                   jclass /*cls*/) {
  return newTimedScanData(env);
}

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_jni_LidarJNI_c_1Lidar_1isConnected(JNIEnv* /*env*/,
                                                                                   jclass /*cls*/) {
  return halvern::jni::toJavaBoolean(c_Lidar_isConnected());
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_LidarJNI_c_1Lidar_1enableFilter(JNIEnv* /*env*/,
                                                                                jclass /*cls*/,
                                                                                jint type,
                                                                                jboolean enable) {
  c_Lidar_enableFilter(type, enable != JNI_FALSE);  // any non-zero value counts as true
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_LidarJNI_c_1Lidar_1clusterConfig(JNIEnv* /*env*/,
                                                                                 jclass /*cls*/,
                                                                                 jfloat tolerance,
                                                                                 jint minPoints) {
  c_Lidar_clusterConfig(tolerance, minPoints);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_LidarJNI_c_1Lidar_1kalmanConfig(
    JNIEnv* /*env*/, jclass /*cls*/, jfloat processNoise, jfloat measurementNoise,
    jfloat errorCovariance) {
  c_Lidar_kalmanConfig(processNoise, measurementNoise, errorCovariance);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_LidarJNI_c_1Lidar_1movingAverageConfig(
    JNIEnv* /*env*/, jclass /*cls*/, jint window) {
  c_Lidar_movingAverageConfig(window);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_LidarJNI_c_1Lidar_1medianConfig(JNIEnv* /*env*/,
                                                                                jclass /*cls*/,
                                                                                jint window) {
  c_Lidar_medianConfig(window);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_LidarJNI_c_1Lidar_1jitterConfig(JNIEnv* /*env*/,
                                                                                jclass /*cls*/,
                                                                                jfloat threshold) {
  c_Lidar_jitterConfig(threshold);
}

}  // extern "C"

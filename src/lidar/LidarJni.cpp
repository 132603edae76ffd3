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

// A Java float[] of one table's 360 values; null if it cannot be allocated.
jfloatArray degrees(JNIEnv* env, const float (&table)[LIDAR_DEGREES]) {
  return halvern::jni::newArray(env, static_cast<const jfloat*>(table), LIDAR_DEGREES);
}

// A new com.halvern.frc.Lidar$ScanData with the 360 angles and distances; null if a lookup or
// an allocation fails (its exception is left pending for the Java caller).
// The tables with each degree's time and the first and last of them, from one copy.
jobject newTimedScanData(JNIEnv* env) {
  const auto scan = std::make_unique<LidarTimedScan>();
  c_Lidar_getTimedData(scan.get());
  std::array<jlong, LIDAR_DEGREES> stamps{};
  std::copy(std::begin(scan->sampleUs), std::end(scan->sampleUs), stamps.begin());
  return halvern::jni::NewObject(env, "com/halvern/frc/Lidar$ScanData")
      .setObject("angle", "[F", [&](JNIEnv* java) { return degrees(java, scan->angle); })
      .setObject("distance", "[F", [&](JNIEnv* java) { return degrees(java, scan->distance); })
      .setObject(
          "sampleUs", "[J",
          [&](JNIEnv* java) { return halvern::jni::newArray(java, stamps.data(), LIDAR_DEGREES); })
      .setLong("firstPacketUs", static_cast<jlong>(scan->firstPacketUs))
      .setLong("lastPacketUs", static_cast<jlong>(scan->lastPacketUs))
      .get();
}

jobject newScanData(JNIEnv* env) {
  const LidarScan scan = c_Lidar_getData();
  return halvern::jni::NewObject(env, "com/halvern/frc/Lidar$ScanData")
      .setObject("angle", "[F", [&](JNIEnv* java) { return degrees(java, scan.angle); })
      .setObject("distance", "[F", [&](JNIEnv* java) { return degrees(java, scan.distance); })
      .get();
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

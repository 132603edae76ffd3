// The lidar's JNI face: the native methods of com.halvern.frc.jni.LidarMiniJNI.
//
// A handle of 0 never reaches the device: such calls do nothing or answer null.
#include <jni.h>

#include <iterator>
#include <vector>

#include "core/JniSupport.h"
#include "halvern/LidarMini.h"

namespace {

using halvern::jni::NewObject;
using halvern::jni::onObject;
using halvern::jni::toBool;
using halvern::jni::toJavaBoolean;

bool isNull(jlong handle) { return handle == 0; }
void* toHandle(jlong handle) { return halvern::jni::toObject<void>(handle); }

// Each builder returns null, leaving the rest undone, as soon as a lookup or an allocation
// fails (its exception is left pending for the Java caller).

jobject newLidarInfo(JNIEnv* env, const LidarInfo& info) {
  return NewObject(env, "com/halvern/frc/LidarMini$LidarInfo")
      .setInt("model", static_cast<jint>(info.model))
      .setInt("firmwareVersion", static_cast<jint>(info.firmwareVersion))
      .setInt("hardwareVersion", static_cast<jint>(info.hardwareVersion))
      .setObject("serialnum", "[B",
                 [&](JNIEnv* java) {
                   return halvern::jni::newArray(
                       java, reinterpret_cast<const jbyte*>(std::data(info.serialnum)),
                       static_cast<jsize>(std::size(info.serialnum)));
                 })
      .get();
}

jobject newLidarHealth(JNIEnv* env, const LidarHealth& health) {
  return NewObject(env, "com/halvern/frc/LidarMini$LidarHealth")
      .setInt("status", static_cast<jint>(health.status))
      .setInt("errorCode", static_cast<jint>(health.errorCode))
      .get();
}

// A Java float[] of one field of every point; null if it cannot be allocated.
template <typename Field>
jfloatArray pointField(JNIEnv* env, const LidarMiniScanFrame& frame, std::vector<jfloat>& column,
                       Field field) {
  column.clear();
  for (const LidarMiniScanPoint& point : frame.points) {
    column.push_back(point.*field);
  }
  return halvern::jni::newArray(env, column.data(), static_cast<jsize>(column.size()));
}

NewObject newScanData(JNIEnv* env, const LidarMiniScanFrame& frame) {
  std::vector<jfloat> column;
  column.reserve(frame.points.size());
  NewObject data(env, "com/halvern/frc/LidarMini$ScanData");
  data.setObject(
          "angle", "[F",
          [&](JNIEnv* java) { return pointField(java, frame, column, &LidarMiniScanPoint::angle); })
      .setObject("distance", "[F",
                 [&](JNIEnv* java) {
                   return pointField(java, frame, column, &LidarMiniScanPoint::distance);
                 })
      .setObject("intensity", "[F",
                 [&](JNIEnv* java) {
                   return pointField(java, frame, column, &LidarMiniScanPoint::intensity);
                 })
      .setLong("timestamp", static_cast<jlong>(frame.timestamp));
  return data;
}

// The latest revolution with its packet times, points and times taken in one copy.
jobject newTimedScanData(JNIEnv* env, void* lidar) {
  std::vector<float> angles;
  std::vector<float> distances;
  std::vector<float> intensities;
  LidarMiniScanFrame frame{};
  LidarMiniScanTimes times{};
  constexpr int32_t kTypicalPoints = 1024;
  int32_t count = 0;
  // A revolution larger than the arrays is asked for again with room for it.
  for (int32_t capacity = kTypicalPoints;; capacity = count) {
    angles.resize(static_cast<std::size_t>(capacity));
    distances.resize(angles.size());
    intensities.resize(angles.size());
    count = c_LidarMini_copyDataTimed(lidar, angles.data(), distances.data(), intensities.data(),
                                      capacity, &frame.timestamp, &times);
    if (count <= capacity) {
      break;
    }
  }
  frame.points.reserve(static_cast<std::size_t>(count));
  for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
    frame.points.push_back(LidarMiniScanPoint{angles[i], distances[i], intensities[i]});
  }
  return newScanData(env, frame)
      .setLong("firstPacketUs", static_cast<jlong>(times.firstPacketUs))
      .setLong("lastPacketUs", static_cast<jlong>(times.lastPacketUs))
      .get();
}

}  // namespace

extern "C" {

JNIEXPORT jlong JNICALL Java_com_halvern_frc_jni_LidarMiniJNI_c_1LidarMini_1create(JNIEnv* /*env*/,
                                                                                   jclass /*cls*/,
                                                                                   jint port) {
  return halvern::jni::toJavaHandle(c_LidarMini_create(port));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_LidarMiniJNI_c_1LidarMini_1destroy(JNIEnv* /*env*/,
                                                                                   jclass /*cls*/,
                                                                                   jlong handle) {
  c_LidarMini_destroy(toHandle(handle));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_LidarMiniJNI_c_1LidarMini_1start(JNIEnv* /*env*/,
                                                                                 jclass /*cls*/,
                                                                                 jlong handle) {
  onObject(handle, c_LidarMini_start);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_LidarMiniJNI_c_1LidarMini_1stop(JNIEnv* /*env*/,
                                                                                jclass /*cls*/,
                                                                                jlong handle) {
  onObject(handle, c_LidarMini_stop);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_LidarMiniJNI_c_1LidarMini_1increaseFrequency(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle, jboolean big) {
  onObject(handle, c_LidarMini_increaseFrequency, toBool(big));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_LidarMiniJNI_c_1LidarMini_1decreaseFrequency(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle, jboolean big) {
  onObject(handle, c_LidarMini_decreaseFrequency, toBool(big));
}

JNIEXPORT jobject JNICALL Java_com_halvern_frc_jni_LidarMiniJNI_c_1LidarMini_1getInfo(
    JNIEnv* env, jclass /*cls*/, jlong handle) {
  if (isNull(handle)) {
    return nullptr;
  }
  return newLidarInfo(env, c_LidarMini_getInfo(toHandle(handle)));
}

JNIEXPORT jobject JNICALL Java_com_halvern_frc_jni_LidarMiniJNI_c_1LidarMini_1getHealth(
    JNIEnv* env, jclass /*cls*/, jlong handle) {
  if (isNull(handle)) {
    return nullptr;
  }
  return newLidarHealth(env, c_LidarMini_getHealth(toHandle(handle)));
}

JNIEXPORT jobject JNICALL Java_com_halvern_frc_jni_LidarMiniJNI_c_1LidarMini_1getData(
    JNIEnv* env, jclass /*cls*/, jlong handle) {
  if (isNull(handle)) {
    return nullptr;
  }
  return newScanData(env, c_LidarMini_getData(toHandle(handle))).get();
}

JNIEXPORT jobject JNICALL Java_com_halvern_frc_jni_LidarMiniJNI_c_1LidarMini_1getDataTimed(
    JNIEnv* env, jclass /*cls*/, jlong handle) {
  if (isNull(handle)) {
    return nullptr;
  }
  return newTimedScanData(env, toHandle(handle));
}

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_jni_LidarMiniJNI_c_1LidarMini_1isConnected(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle) {
  return toJavaBoolean(onObject(handle, false, c_LidarMini_isConnected));
}

}  // extern "C"

// The lidar's JNI face: the native methods of com.halvern.frc.jni.LidarMiniJNI.
//
// A handle of 0 never reaches the device: such calls do nothing or answer null.
#include <jni.h>

#include <iterator>
#include <vector>

#include "core/JniSupport.h"
#include "halvern/LidarMini.h"

namespace {

using halvern::jni::constructDefault;

bool isNull(jlong handle) { return handle == 0; }
void* toHandle(jlong handle) { return halvern::jni::toObject<void>(handle); }

// Each builder returns null, leaving the rest undone, as soon as a lookup or an allocation
// fails (its exception is left pending for the Java caller).

jobject newLidarInfo(JNIEnv* env, const LidarInfo& info) {
  auto [type, object] = constructDefault(env, "com/halvern/frc/LidarMini$LidarInfo");
  if (object == nullptr) {
    return nullptr;
  }
  jfieldID model = env->GetFieldID(type, "model", "I");
  jfieldID firmware = env->GetFieldID(type, "firmwareVersion", "I");
  jfieldID hardware = env->GetFieldID(type, "hardwareVersion", "I");
  jfieldID serial = env->GetFieldID(type, "serialnum", "[B");
  if (model == nullptr || firmware == nullptr || hardware == nullptr || serial == nullptr) {
    return nullptr;
  }
  env->SetIntField(object, model, static_cast<jint>(info.model));
  env->SetIntField(object, firmware, static_cast<jint>(info.firmwareVersion));
  env->SetIntField(object, hardware, static_cast<jint>(info.hardwareVersion));
  const auto serialLength = static_cast<jsize>(std::size(info.serialnum));
  jbyteArray bytes = env->NewByteArray(serialLength);
  if (bytes == nullptr) {
    return nullptr;
  }
  env->SetByteArrayRegion(bytes, 0, serialLength,
                          reinterpret_cast<const jbyte*>(std::data(info.serialnum)));
  env->SetObjectField(object, serial, bytes);
  return object;
}

jobject newLidarHealth(JNIEnv* env, const LidarHealth& health) {
  auto [type, object] = constructDefault(env, "com/halvern/frc/LidarMini$LidarHealth");
  if (object == nullptr) {
    return nullptr;
  }
  jfieldID status = env->GetFieldID(type, "status", "I");
  jfieldID errorCode = env->GetFieldID(type, "errorCode", "I");
  if (status == nullptr || errorCode == nullptr) {
    return nullptr;
  }
  env->SetIntField(object, status, static_cast<jint>(health.status));
  env->SetIntField(object, errorCode, static_cast<jint>(health.errorCode));
  return object;
}

// A Java float[] of one field of every point; null if it cannot be allocated.
template <typename Field>
jfloatArray pointField(JNIEnv* env, const LidarMiniScanFrame& frame, std::vector<jfloat>& column,
                       Field field) {
  const auto count = static_cast<jsize>(frame.points.size());
  jfloatArray array = env->NewFloatArray(count);
  if (array == nullptr) {
    return nullptr;
  }
  column.clear();
  for (const LidarMiniScanPoint& point : frame.points) {
    column.push_back(point.*field);
  }
  env->SetFloatArrayRegion(array, 0, count, column.data());
  return array;
}

jobject newScanData(JNIEnv* env, const LidarMiniScanFrame& frame) {
  auto [type, object] = constructDefault(env, "com/halvern/frc/LidarMini$ScanData");
  if (object == nullptr) {
    return nullptr;
  }
  jfieldID angle = env->GetFieldID(type, "angle", "[F");
  jfieldID distance = env->GetFieldID(type, "distance", "[F");
  jfieldID intensity = env->GetFieldID(type, "intensity", "[F");
  jfieldID timestamp = env->GetFieldID(type, "timestamp", "J");
  if (angle == nullptr || distance == nullptr || intensity == nullptr || timestamp == nullptr) {
    return nullptr;
  }
  std::vector<jfloat> column;
  column.reserve(frame.points.size());
  jfloatArray angles = pointField(env, frame, column, &LidarMiniScanPoint::angle);
  if (angles == nullptr) {
    return nullptr;
  }
  env->SetObjectField(object, angle, angles);
  jfloatArray distances = pointField(env, frame, column, &LidarMiniScanPoint::distance);
  if (distances == nullptr) {
    return nullptr;
  }
  env->SetObjectField(object, distance, distances);
  jfloatArray intensities = pointField(env, frame, column, &LidarMiniScanPoint::intensity);
  if (intensities == nullptr) {
    return nullptr;
  }
  env->SetObjectField(object, intensity, intensities);
  env->SetLongField(object, timestamp, static_cast<jlong>(frame.timestamp));
  return object;
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
  jobject object = newScanData(env, frame);
  if (object == nullptr) {
    return nullptr;
  }
  jclass type = env->GetObjectClass(object);
  jfieldID first = env->GetFieldID(type, "firstPacketUs", "J");
  jfieldID last = env->GetFieldID(type, "lastPacketUs", "J");
  if (first == nullptr || last == nullptr) {
    return nullptr;
  }
  env->SetLongField(object, first, static_cast<jlong>(times.firstPacketUs));
  env->SetLongField(object, last, static_cast<jlong>(times.lastPacketUs));
  return object;
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
  if (!isNull(handle)) {
    c_LidarMini_start(toHandle(handle));
  }
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_LidarMiniJNI_c_1LidarMini_1stop(JNIEnv* /*env*/,
                                                                                jclass /*cls*/,
                                                                                jlong handle) {
  if (!isNull(handle)) {
    c_LidarMini_stop(toHandle(handle));
  }
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_LidarMiniJNI_c_1LidarMini_1increaseFrequency(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle, jboolean big) {
  if (!isNull(handle)) {
    c_LidarMini_increaseFrequency(toHandle(handle), halvern::jni::toBool(big));
  }
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_LidarMiniJNI_c_1LidarMini_1decreaseFrequency(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle, jboolean big) {
  if (!isNull(handle)) {
    c_LidarMini_decreaseFrequency(toHandle(handle), halvern::jni::toBool(big));
  }
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
  return newScanData(env, c_LidarMini_getData(toHandle(handle)));
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
  return halvern::jni::toJavaBoolean(!isNull(handle) && c_LidarMini_isConnected(toHandle(handle)));
}

}  // extern "C"

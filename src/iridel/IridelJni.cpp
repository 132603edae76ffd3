// The colour sensor's JNI face: the native methods of com.halvern.frc.jni.IridelJNI.
//
// A handle of 0 never reaches the device: such calls answer false, null or -1.
#include <jni.h>

#include <type_traits>

#include "core/JniSupport.h"
#include "halvern/Iridel.h"

namespace {

using halvern::jni::onObject;
using halvern::jni::toBool;
using halvern::jni::toJavaBoolean;

bool isNull(jlong handle) { return handle == 0; }
void* toHandle(jlong handle) { return halvern::jni::toObject<void>(handle); }

// A new com.halvern.frc.Iridel$ColorData filled from a valid sample; null if a lookup fails
// (the lookup's exception is left pending for the Java caller). Its timestamp is set only for
// a sample that has one.
template <typename Sample>
jobject newColorData(JNIEnv* env, const Sample& color) {
  halvern::jni::NewObject data(env, "com/halvern/frc/Iridel$ColorData");
  if constexpr (std::is_same_v<Sample, IridelReading>) {
    data.setLong("timestampUs", static_cast<jlong>(color.timestampUs));
  }
  return data.setInt("sequence", static_cast<jint>(color.sequence))
      .setFloat("x", color.x)
      .setFloat("y", color.y)
      .setFloat("z", color.z)
      .get();
}

// The sample `read` stores as a ColorData; null for the handle 0 and for an invalid sample.
template <typename Sample>
jobject readColor(JNIEnv* env, jlong handle, Sample* (*read)(void*, Sample*)) {
  if (isNull(handle)) {
    return nullptr;
  }
  Sample sample{};
  read(toHandle(handle), &sample);
  return sample.valid ? newColorData(env, sample) : nullptr;
}

}  // namespace

extern "C" {

JNIEXPORT jlong JNICALL Java_com_halvern_frc_jni_IridelJNI_c_1Iridel_1create(JNIEnv* /*env*/,
                                                                             jclass /*cls*/,
                                                                             jint canId) {
  return halvern::jni::toJavaHandle(c_Iridel_create(canId));
}

JNIEXPORT jlong JNICALL Java_com_halvern_frc_jni_IridelJNI_c_1Iridel_1createOnBus(JNIEnv* /*env*/,
                                                                                  jclass /*cls*/,
                                                                                  jint bus,
                                                                                  jint canId) {
  return halvern::jni::toJavaHandle(c_Iridel_createOnBus(bus, canId));
}

JNIEXPORT jlong JNICALL Java_com_halvern_frc_jni_IridelJNI_c_1Iridel_1createUsb(JNIEnv* env,
                                                                                jclass /*cls*/,
                                                                                jstring path,
                                                                                jint sampleTimeMs) {
  return halvern::jni::openPath(env, path, c_Iridel_createUsb, sampleTimeMs);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_IridelJNI_c_1Iridel_1destroy(JNIEnv* /*env*/,
                                                                             jclass /*cls*/,
                                                                             jlong handle) {
  c_Iridel_destroy(toHandle(handle));
}

JNIEXPORT jobject JNICALL Java_com_halvern_frc_jni_IridelJNI_c_1Iridel_1getColor(JNIEnv* env,
                                                                                 jclass /*cls*/,
                                                                                 jlong handle) {
  return readColor(env, handle, c_Iridel_getColor);
}

JNIEXPORT jobject JNICALL Java_com_halvern_frc_jni_IridelJNI_c_1Iridel_1getLatestColor(
    JNIEnv* env, jclass /*cls*/, jlong handle) {
  return readColor(env, handle, c_Iridel_getLatestColor);
}

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_jni_IridelJNI_c_1Iridel_1isConnected(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle) {
  return toJavaBoolean(onObject(handle, false, c_Iridel_isConnected));
}

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_jni_IridelJNI_c_1Iridel_1setColorFormat(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle, jint format) {
  return toJavaBoolean(onObject(handle, false, c_Iridel_setColorFormat, format));
}

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_jni_IridelJNI_c_1Iridel_1setSampleTimeMs(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle, jint milliseconds) {
  return toJavaBoolean(onObject(handle, false, c_Iridel_setSampleTimeMs, milliseconds));
}

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_jni_IridelJNI_c_1Iridel_1setBrightness(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle, jint level) {
  return toJavaBoolean(onObject(handle, false, c_Iridel_setBrightness, level));
}

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_jni_IridelJNI_c_1Iridel_1setStatusLed(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle, jboolean enable, jint level) {
  return toJavaBoolean(onObject(handle, false, c_Iridel_setStatusLed, toBool(enable), level));
}

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_jni_IridelJNI_c_1Iridel_1setMeasureMode(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle, jint mode, jfloat parameter) {
  return toJavaBoolean(onObject(handle, false, c_Iridel_setMeasureMode, mode, parameter));
}

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_jni_IridelJNI_c_1Iridel_1setZmm(JNIEnv* /*env*/,
                                                                                jclass /*cls*/,
                                                                                jlong handle,
                                                                                jfloat value) {
  return toJavaBoolean(onObject(handle, false, c_Iridel_setZmm, value));
}

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_jni_IridelJNI_c_1Iridel_1setUsbOverride(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle, jboolean on) {
  return toJavaBoolean(onObject(handle, false, c_Iridel_setUsbOverride, toBool(on)));
}

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_jni_IridelJNI_c_1Iridel_1setCanId(JNIEnv* /*env*/,
                                                                                  jclass /*cls*/,
                                                                                  jlong handle,
                                                                                  jint newId) {
  return toJavaBoolean(onObject(handle, false, c_Iridel_setCanId, newId));
}

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_jni_IridelJNI_c_1Iridel_1getConfig(
    JNIEnv* env, jclass /*cls*/, jlong handle, jint key, jlongArray out) {
  if (isNull(handle) || out == nullptr) {
    return JNI_FALSE;
  }
  uint32_t value = 0;
  if (!c_Iridel_getConfig(toHandle(handle), key, &value)) {
    return JNI_FALSE;
  }
  const auto element = static_cast<jlong>(value);  // zero-extended: 4000000000 stays positive
  env->SetLongArrayRegion(out, 0, 1, &element);
  return JNI_TRUE;
}

JNIEXPORT jint JNICALL Java_com_halvern_frc_jni_IridelJNI_c_1Iridel_1getCanID(JNIEnv* /*env*/,
                                                                              jclass /*cls*/,
                                                                              jlong handle) {
  return onObject(handle, -1, c_Iridel_getCanID);
}

JNIEXPORT jint JNICALL Java_com_halvern_frc_jni_IridelJNI_c_1Iridel_1getCanBus(JNIEnv* /*env*/,
                                                                               jclass /*cls*/,
                                                                               jlong handle) {
  return onObject(handle, -1, c_Iridel_getCanBus);
}

JNIEXPORT jint JNICALL Java_com_halvern_frc_jni_IridelJNI_c_1Iridel_1getTransport(JNIEnv* /*env*/,
                                                                                  jclass /*cls*/,
                                                                                  jlong handle) {
  return onObject(handle, -1, c_Iridel_getTransport);
}

}  // extern "C"

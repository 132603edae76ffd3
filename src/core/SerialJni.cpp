// The serial device search for Java: one entry point beside each USB sensor's constructors.
#include <jni.h>

#include "core/DevicePath.h"
#include "core/JniSupport.h"

namespace {

jstring devicePathString(JNIEnv* env, jint port) {
  return halvern::jni::toJavaString(env, halvern::serial::findDevicePath(port));
}

}  // namespace

extern "C" {

JNIEXPORT jstring JNICALL Java_com_halvern_frc_jni_IridelJNI_c_1Iridel_1findDevicePath(
    JNIEnv* env, jclass /*unused*/, jint port) {
  return devicePathString(env, port);
}

JNIEXPORT jstring JNICALL Java_com_halvern_frc_jni_DystalJNI_c_1Dystal_1findDevicePath(
    JNIEnv* env, jclass /*unused*/, jint port) {
  return devicePathString(env, port);
}

}  // extern "C"

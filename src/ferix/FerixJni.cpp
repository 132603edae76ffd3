// The analog board's JNI face: the native methods of com.halvern.frc.jni.FerixJNI.
#include <jni.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "core/JniSupport.h"
#include "halvern/Ferix.h"

namespace {

/** Java's int channel, low 8 bits: 256 reads input 0, 259 input 3. */
uint8_t toChannel(jint channel) { return static_cast<uint8_t>(channel & 0xFF); }

/**
 * Whole volts, truncated toward zero (3.3 becomes 3). A value no int can hold saturates, and
 * NaN gives 0, where a plain conversion would be undefined.
 */
int toWholeVolts(jfloat volts) {
  if (std::isnan(volts)) {
    return 0;
  }
  constexpr auto kLowest = static_cast<jfloat>(std::numeric_limits<int>::min());
  constexpr auto kBeyondHighest = -kLowest;  // 2^31, the first float above INT_MAX
  if (volts >= kBeyondHighest) {
    return std::numeric_limits<int>::max();
  }
  if (volts <= kLowest) {
    return std::numeric_limits<int>::min();
  }
  return static_cast<int>(volts);
}

jobject newReading(JNIEnv* env, const FerixReading& reading) {
  return halvern::jni::NewObject(env, "com/halvern/frc/Ferix$Reading")
      .setInt("raw", reading.raw)
      .setDouble("volts", static_cast<jdouble>(reading.volts))
      .setLong("timestampUs", static_cast<jlong>(reading.timestampUs))
      .get();
}

}  // namespace

extern "C" {

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_jni_FerixJNI_c_1initializeI2C(
    JNIEnv* /*env*/, jclass /*cls*/, jfloat referenceVoltage) {
  return halvern::jni::toJavaBoolean(c_initializeI2C(toWholeVolts(referenceVoltage)));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_FerixJNI_c_1closeI2C(JNIEnv* /*env*/,
                                                                     jclass /*cls*/) {
  c_closeI2C();
}

JNIEXPORT jint JNICALL Java_com_halvern_frc_jni_FerixJNI_c_1getRawValue(JNIEnv* /*env*/,
                                                                        jclass /*cls*/,
                                                                        jint channel) {
  return c_getRawValue(toChannel(channel));
}

JNIEXPORT jfloat JNICALL Java_com_halvern_frc_jni_FerixJNI_c_1getVoltage(JNIEnv* /*env*/,
                                                                         jclass /*cls*/,
                                                                         jint channel) {
  return c_getVoltage(toChannel(channel));
}

JNIEXPORT jboolean JNICALL
Java_com_halvern_frc_jni_FerixJNI_c_1Ferix_1startConversions(JNIEnv* /*env*/, jclass /*cls*/) {
  return halvern::jni::toJavaBoolean(c_Ferix_startConversions());
}

JNIEXPORT jobject JNICALL Java_com_halvern_frc_jni_FerixJNI_c_1Ferix_1getLatest(JNIEnv* env,
                                                                                jclass /*cls*/,
                                                                                jint channel) {
  FerixReading reading{};
  // A channel outside 0 to 3 reads as no conversion; its low 8 bits are not taken here.
  if (channel >= 0 && channel < FERIX_CHANNELS) {
    c_Ferix_getLatest(static_cast<uint8_t>(channel), &reading);
  }
  return newReading(env, reading);
}

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_jni_FerixJNI_c_1Ferix_1waitForConversions(
    JNIEnv* /*env*/, jclass /*cls*/, jint timeoutMs) {
  return halvern::jni::toJavaBoolean(c_Ferix_waitForConversions(timeoutMs));
}

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_jni_FerixJNI_c_1Ferix_1isConnected(JNIEnv* /*env*/,
                                                                                   jclass /*cls*/) {
  return halvern::jni::toJavaBoolean(c_Ferix_isConnected());
}

}  // extern "C"

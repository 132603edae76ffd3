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

}  // extern "C"

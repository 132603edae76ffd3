// The JNI face of the Ordex family: the native methods of com.halvern.frc.jni.OrdexJNI.
//
// Every binding converts its Java arguments, calls the C function of the same name and
// converts the result back; none keeps state. Java has no unsigned or 8-bit integer parameter
// types, so narrower C parameters receive the low bits of the Java value.
#include <jni.h>

#include <array>
#include <cstdint>

#include "core/JniSupport.h"
#include "halvern/Ordex.h"

namespace {

using halvern::jni::toBool;
using halvern::jni::toJavaBoolean;
using halvern::jni::toJavaString;

constexpr jsize kTargetRpmCount = ORDEX_MOTOR_COUNT;  // one target speed a motor

// An Ordex handle is a CAN handle, not an address: a Java handle reaches C as its low 32 bits.
int32_t toHandle(jlong handle) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(handle) & 0xFFFFFFFFU));
}

// A CAN handle widens with its sign, so a negative handle stays negative in Java.
jlong widenHandle(int32_t handle) { return static_cast<jlong>(handle); }

// A motor or encoder number is the low byte read as signed: 260 becomes 4, 255 becomes -1.
int8_t toChannel(jint channel) {
  return static_cast<int8_t>(static_cast<uint8_t>(static_cast<uint32_t>(channel) & 0xFFU));
}

uint8_t lowByte(jint value) { return static_cast<uint8_t>(static_cast<uint32_t>(value) & 0xFFU); }

uint16_t lowWord(jint value) {
  return static_cast<uint16_t>(static_cast<uint32_t>(value) & 0xFFFFU);
}

// Whether `read` read a motor's value, stored then in out[0] (raising
// ArrayIndexOutOfBoundsException for an empty array); false, reading nothing, for a null array.
jboolean tryRead(JNIEnv* env, jdoubleArray out, bool (*read)(int32_t, int8_t, double*),
                 jlong handle, jint motor) {
  if (out == nullptr) {
    return JNI_FALSE;
  }
  double value = 0.0;
  const bool wasRead = read(toHandle(handle), toChannel(motor), &value);
  if (wasRead) {
    const jdouble element = value;
    env->SetDoubleArrayRegion(out, 0, 1, &element);
  }
  return toJavaBoolean(wasRead);
}

// The value of the reading `read` takes; its receive time is stored in stamp[0] when an array is
// given (raising ArrayIndexOutOfBoundsException for an empty one).
template <typename... Parameters, typename... Arguments>
double deliver(JNIEnv* env, jlongArray stamp, OrdexReading* (*read)(int32_t, Parameters...),
               jlong handle, Arguments... arguments) {
  OrdexReading taken{};
  const OrdexReading& reading = *read(toHandle(handle), arguments..., &taken);
  if (stamp != nullptr) {
    const jlong element = reading.timestampUs;
    env->SetLongArrayRegion(stamp, 0, 1, &element);
  }
  return reading.value;
}

constexpr jsize kIdentityNumbers = 6;  // device number, firmware x3, hardware kind and version
constexpr jsize kIdentityTexts = 2;    // firmware text, hardware text

}  // namespace

extern "C" {

JNIEXPORT jlong JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1create(JNIEnv* /*env*/,
                                                                           jclass /*cls*/,
                                                                           jint deviceId,
                                                                           jint frequency) {
  return widenHandle(c_Ordex_create(deviceId, frequency));
}

JNIEXPORT jlong JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1createOnBus(
    JNIEnv* /*env*/, jclass /*cls*/, jint bus, jint deviceId, jint frequency) {
  return widenHandle(c_Ordex_createOnBus(bus, deviceId, frequency));
}

JNIEXPORT jint JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1getCanBus(JNIEnv* /*env*/,
                                                                             jclass /*cls*/,
                                                                             jlong handle) {
  return c_Ordex_getCanBus(toHandle(handle));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1destroy(JNIEnv* /*env*/,
                                                                           jclass /*cls*/,
                                                                           jlong handle) {
  c_Ordex_destroy(toHandle(handle));
}

JNIEXPORT jint JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1getID(JNIEnv* /*env*/,
                                                                         jclass /*cls*/,
                                                                         jlong handle) {
  return c_Ordex_getID(toHandle(handle));
}

JNIEXPORT jint JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1getFrequency(JNIEnv* /*env*/,
                                                                                jclass /*cls*/,
                                                                                jlong handle) {
  return c_Ordex_getFrequency(toHandle(handle));
}

JNIEXPORT jstring JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1getFirmwareVersion(
    JNIEnv* env, jclass /*cls*/, jlong handle) {
  return toJavaString(env, c_Ordex_getFirmwareVersion(toHandle(handle)));
}

JNIEXPORT jstring JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1getHardwareVersion(
    JNIEnv* env, jclass /*cls*/, jlong handle) {
  return toJavaString(env, c_Ordex_getHardwareVersion(toHandle(handle)));
}

JNIEXPORT jstring JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1getSerialNumber(
    JNIEnv* env, jclass /*cls*/, jlong handle) {
  return toJavaString(env, c_Ordex_getSerialNumber(toHandle(handle)));
}

JNIEXPORT jdouble JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1getControllerTemp(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle) {
  return c_Ordex_getControllerTemp(toHandle(handle));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1setMotorSpeed(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle, jint motor, jdouble speed) {
  c_Ordex_setMotorSpeed(toHandle(handle), toChannel(motor), speed);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1configureMotor(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle, jint motor, jint frequency) {
  c_Ordex_configureMotor(toHandle(handle), toChannel(motor), frequency);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1disableMotor(JNIEnv* /*env*/,
                                                                                jclass /*cls*/,
                                                                                jlong handle,
                                                                                jint motor) {
  c_Ordex_disableMotor(toHandle(handle), toChannel(motor));
}

JNIEXPORT jdouble JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1getRPM(JNIEnv* /*env*/,
                                                                             jclass /*cls*/,
                                                                             jlong handle,
                                                                             jint motor) {
  return c_Ordex_getRPM(toHandle(handle), toChannel(motor));
}

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1getLimitSwitch(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle, jint motor, jboolean direction) {
  return toJavaBoolean(
      c_Ordex_getLimitSwitch(toHandle(handle), toChannel(motor), toBool(direction)));
}

JNIEXPORT jdouble JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1getQuorinPosition(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle, jint motor) {
  return c_Ordex_getQuorinPosition(toHandle(handle), toChannel(motor));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1setEncoder(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle, jint encoder, jdouble distancePerCount) {
  c_Ordex_setEncoder(toHandle(handle), toChannel(encoder), distancePerCount);
}

JNIEXPORT jdouble JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1getEncoderDistance(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle, jint encoder) {
  return c_Ordex_getEncoderDistance(toHandle(handle), toChannel(encoder));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1resetEncoder(JNIEnv* /*env*/,
                                                                                jclass /*cls*/,
                                                                                jlong handle,
                                                                                jint encoder) {
  c_Ordex_resetEncoder(toHandle(handle), toChannel(encoder));
}

JNIEXPORT jdouble JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1getEncoderRaw(JNIEnv* /*env*/,
                                                                                    jclass /*cls*/,
                                                                                    jlong handle,
                                                                                    jint encoder) {
  return c_Ordex_getEncoderRaw(toHandle(handle), toChannel(encoder));
}

JNIEXPORT jdouble JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1getEncoderSpeed(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle, jint encoder) {
  return c_Ordex_getEncoderSpeed(toHandle(handle), toChannel(encoder));
}

JNIEXPORT jint JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1getEncoderCount(JNIEnv* /*env*/,
                                                                                   jclass /*cls*/,
                                                                                   jlong handle,
                                                                                   jint encoder) {
  return c_Ordex_getEncoderCount(toHandle(handle), toChannel(encoder));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1setTargetVelocity(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle, jint motor, jfloat velocity) {
  c_Ordex_setTargetVelocity(toHandle(handle), toChannel(motor), velocity);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1setTargetDistance(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle, jint motor, jint distance) {
  c_Ordex_setTargetDistance(toHandle(handle), toChannel(motor), distance);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1setTargetAngle(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle, jint motor, jdouble angle) {
  c_Ordex_setTargetAngle(toHandle(handle), toChannel(motor), angle);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1setPositionHold(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle, jint motor, jboolean hold) {
  c_Ordex_setPositionHold(toHandle(handle), toChannel(motor), toBool(hold));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1setEncoderResolution(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle, jint motor, jint resolution) {
  c_Ordex_setEncoderResolution(toHandle(handle), toChannel(motor), lowWord(resolution));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1setCurrentLimit(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle, jint motor, jfloat limit) {
  c_Ordex_setCurrentLimit(toHandle(handle), toChannel(motor), limit);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1setCurrentLimitMode(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle, jint motor, jint mode) {
  c_Ordex_setCurrentLimitMode(toHandle(handle), toChannel(motor), lowByte(mode));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1setMotorStopMode(JNIEnv* /*env*/,
                                                                                    jclass /*cls*/,
                                                                                    jlong handle,
                                                                                    jint mode) {
  c_Ordex_setMotorStopMode(toHandle(handle), lowByte(mode));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1setPIDType(JNIEnv* /*env*/,
                                                                              jclass /*cls*/,
                                                                              jlong handle,
                                                                              jint type) {
  c_Ordex_setPIDType(toHandle(handle), lowByte(type));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1setMotorPIDType(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle, jint motor, jint type) {
  c_Ordex_setMotorPIDType(toHandle(handle), toChannel(motor), lowByte(type));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1autotuneAll(JNIEnv* /*env*/,
                                                                               jclass /*cls*/,
                                                                               jlong handle) {
  c_Ordex_autotuneAll(toHandle(handle));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1autotuneMotor(JNIEnv* /*env*/,
                                                                                 jclass /*cls*/,
                                                                                 jlong handle,
                                                                                 jint motor) {
  c_Ordex_autotuneMotor(toHandle(handle), toChannel(motor));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1setCANSensorOsDelay(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle, jint delay) {
  c_Ordex_setCANSensorOsDelay(toHandle(handle), lowWord(delay));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1setSensitivity(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle, jint motor, jint sensitivity) {
  c_Ordex_setSensitivity(toHandle(handle), toChannel(motor), lowByte(sensitivity));
}

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1tryGetRPM(
    JNIEnv* env, jclass /*cls*/, jlong handle, jint motor, jdoubleArray out) {
  return tryRead(env, out, c_Ordex_tryGetRPM, handle, motor);
}

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1tryGetTargetRPM(
    JNIEnv* env, jclass /*cls*/, jlong handle, jint motor, jdoubleArray out) {
  return tryRead(env, out, c_Ordex_tryGetTargetRPM, handle, motor);
}

JNIEXPORT jdoubleArray JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1getTargetRPMFromDevice(
    JNIEnv* env, jclass /*cls*/, jlong handle) {
  std::array<double, kTargetRpmCount> rpms{};
  if (!c_Ordex_getTargetRPMFromDevice(toHandle(handle), rpms.data())) {
    return nullptr;  // partial readings are not handed out
  }
  return halvern::jni::newArray(env, rpms.data(), kTargetRpmCount);  // null if out of memory
}

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1requestIdentity(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle) {
  return toJavaBoolean(c_Ordex_requestIdentity(toHandle(handle)));
}

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1tryGetIdentity(
    JNIEnv* env, jclass /*cls*/, jlong handle, jintArray numbers, jobjectArray texts) {
  OrdexIdentityInfo identity{};
  if (!c_Ordex_tryGetIdentity(toHandle(handle), &identity)) {
    return JNI_FALSE;
  }
  if (numbers != nullptr) {
    const std::array<jint, kIdentityNumbers> values{
        identity.deviceId,      identity.firmwareMajor, identity.firmwareMinor,
        identity.firmwarePatch, identity.hardwareKind,  identity.hardwareVersion};
    env->SetIntArrayRegion(numbers, 0, kIdentityNumbers, values.data());
    if (env->ExceptionCheck() == JNI_TRUE) {
      return JNI_FALSE;  // too short an array: ArrayIndexOutOfBoundsException is pending
    }
  }
  if (texts != nullptr) {
    const std::array<const char*, kIdentityTexts> values{identity.firmwareText,
                                                         identity.hardwareText};
    for (jsize i = 0; i < kIdentityTexts; ++i) {
      jstring text = env->NewStringUTF(values.at(static_cast<std::size_t>(i)));
      if (text == nullptr) {
        return JNI_FALSE;  // OutOfMemoryError is pending
      }
      env->SetObjectArrayElement(texts, i, text);
      env->DeleteLocalRef(text);
      if (env->ExceptionCheck() == JNI_TRUE) {
        return JNI_FALSE;  // too short an array
      }
    }
  }
  return JNI_TRUE;
}

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1isConnected(JNIEnv* /*env*/,
                                                                                   jclass /*cls*/,
                                                                                   jlong handle) {
  return toJavaBoolean(c_Ordex_isConnected(toHandle(handle)));
}

JNIEXPORT jdouble JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1readRPM(
    JNIEnv* env, jclass /*cls*/, jlong handle, jint motor, jlongArray stamp) {
  return deliver(env, stamp, c_Ordex_readRPM, handle, toChannel(motor));
}

JNIEXPORT jdouble JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1readTargetRPM(
    JNIEnv* env, jclass /*cls*/, jlong handle, jint motor, jlongArray stamp) {
  return deliver(env, stamp, c_Ordex_readTargetRPM, handle, toChannel(motor));
}

JNIEXPORT jdouble JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1readEncoderCount(
    JNIEnv* env, jclass /*cls*/, jlong handle, jint encoder, jlongArray stamp) {
  return deliver(env, stamp, c_Ordex_readEncoderCount, handle, toChannel(encoder));
}

JNIEXPORT jdouble JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1readEncoderDistance(
    JNIEnv* env, jclass /*cls*/, jlong handle, jint encoder, jlongArray stamp) {
  return deliver(env, stamp, c_Ordex_readEncoderDistance, handle, toChannel(encoder));
}

JNIEXPORT jdouble JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1readControllerTemp(
    JNIEnv* env, jclass /*cls*/, jlong handle, jlongArray stamp) {
  return deliver(env, stamp, c_Ordex_readControllerTemp, handle);
}

JNIEXPORT jdouble JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1readFrequency(
    JNIEnv* env, jclass /*cls*/, jlong handle, jlongArray stamp) {
  return deliver(env, stamp, c_Ordex_readFrequency, handle);
}

JNIEXPORT jdouble JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1readQuorinPosition(
    JNIEnv* env, jclass /*cls*/, jlong handle, jint motor, jlongArray stamp) {
  return deliver(env, stamp, c_Ordex_readQuorinPosition, handle, toChannel(motor));
}

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1readLimitSwitch(
    JNIEnv* env, jclass /*cls*/, jlong handle, jint motor, jboolean direction, jlongArray stamp) {
  const double pressed =
      deliver(env, stamp, c_Ordex_readLimitSwitch, handle, toChannel(motor), toBool(direction));
  return toJavaBoolean(pressed != 0.0);
}

}  // extern "C"

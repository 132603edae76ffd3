// Native methods of com.halvern.frc.sim.SimDystalCan and SimDystalUsb: the simulated distance
// sensors of sim/SimDystal.h for Java tests. Handles as in SimJniSupport.h.
#include <jni.h>

#include <cstdint>
#include <set>
#include <vector>

#include "JavaArrays.h"
#include "SimDystal.h"
#include "SimJniSupport.h"

namespace {

using halvern::sim::SimDystalCan;
using halvern::sim::SimDystalConfig;
using halvern::sim::SimDystalUsb;
using halvern::sim::jni::simulatorAt;

// Distances as the sensor holds them: each Java int's low 16 bits, so 40000 and 0xFFFF can be
// given as they are.
std::vector<int16_t> distances(JNIEnv* env, jintArray array) {
  std::vector<int16_t> result;
  for (const jint value : halvern::sim::jni::intElements(env, array)) {
    result.push_back(static_cast<int16_t>(static_cast<uint16_t>(value)));
  }
  return result;
}

}  // namespace

extern "C" {

// --- SimDystalCan ----------------------------------------------------------------------------

JNIEXPORT jlong JNICALL Java_com_halvern_frc_sim_SimDystalCan_create(JNIEnv* env, jclass /*cls*/,
                                                                     jint canId) {
  return halvern::sim::jni::create<SimDystalCan>(env, static_cast<uint8_t>(canId));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimDystalCan_setDistances(JNIEnv* env,
                                                                          jclass /*cls*/,
                                                                          jlong handle,
                                                                          jintArray values) {
  simulatorAt<SimDystalCan>(handle)->setDistances(distances(env, values));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimDystalCan_setMissingChunks(JNIEnv* env,
                                                                              jclass /*cls*/,
                                                                              jlong handle,
                                                                              jintArray chunks) {
  const std::vector<jint> elements = halvern::sim::jni::intElements(env, chunks);
  simulatorAt<SimDystalCan>(handle)->setMissingChunks(
      std::set<int>(elements.begin(), elements.end()));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimDystalCan_sendReading(JNIEnv* /*env*/,
                                                                         jclass /*cls*/,
                                                                         jlong handle) {
  simulatorAt<SimDystalCan>(handle)->sendReading();
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimDystalCan_sendChunk(JNIEnv* /*env*/,
                                                                       jclass /*cls*/, jlong handle,
                                                                       jint sequence, jint chunk,
                                                                       jint d0, jint d1, jint d2) {
  simulatorAt<SimDystalCan>(handle)->sendChunk(
      static_cast<uint8_t>(sequence), static_cast<uint8_t>(chunk), static_cast<uint16_t>(d0),
      static_cast<uint16_t>(d1), static_cast<uint16_t>(d2));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimDystalCan_setConfig(
    JNIEnv* /*env*/, jclass /*cls*/, jlong handle, jint version, jboolean distanceEnabled,
    jboolean canFdEnabled, jboolean canBrsEnabled) {
  SimDystalConfig config;
  config.version = static_cast<uint8_t>(version);
  config.distanceEnabled = distanceEnabled == JNI_TRUE;
  config.canFdEnabled = canFdEnabled == JNI_TRUE;
  config.canBrsEnabled = canBrsEnabled == JNI_TRUE;
  simulatorAt<SimDystalCan>(handle)->setConfig(config);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimDystalCan_setConfigSilent(JNIEnv* /*env*/,
                                                                             jclass /*cls*/,
                                                                             jlong handle,
                                                                             jboolean silent) {
  simulatorAt<SimDystalCan>(handle)->setConfigSilent(silent == JNI_TRUE);
}

JNIEXPORT jint JNICALL Java_com_halvern_frc_sim_SimDystalCan_configRequests(JNIEnv* /*env*/,
                                                                            jclass /*cls*/,
                                                                            jlong handle) {
  return simulatorAt<SimDystalCan>(handle)->configRequests();
}

JNIEXPORT jint JNICALL Java_com_halvern_frc_sim_SimDystalCan_lastSequence(JNIEnv* /*env*/,
                                                                          jclass /*cls*/,
                                                                          jlong handle) {
  return simulatorAt<SimDystalCan>(handle)->lastSequence();
}

// --- SimDystalUsb ----------------------------------------------------------------------------

JNIEXPORT jlong JNICALL Java_com_halvern_frc_sim_SimDystalUsb_create(JNIEnv* env, jclass /*cls*/) {
  return halvern::sim::jni::create<SimDystalUsb>(env);
}

JNIEXPORT jstring JNICALL Java_com_halvern_frc_sim_SimDystalUsb_devicePath(JNIEnv* env,
                                                                           jclass /*cls*/,
                                                                           jlong handle) {
  return env->NewStringUTF(simulatorAt<SimDystalUsb>(handle)->devicePath().c_str());
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimDystalUsb_setDistances(JNIEnv* env,
                                                                          jclass /*cls*/,
                                                                          jlong handle,
                                                                          jintArray values) {
  simulatorAt<SimDystalUsb>(handle)->setDistances(distances(env, values));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimDystalUsb_setSilent(JNIEnv* /*env*/,
                                                                       jclass /*cls*/, jlong handle,
                                                                       jboolean silent) {
  simulatorAt<SimDystalUsb>(handle)->setSilent(silent == JNI_TRUE);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimDystalUsb_setConfigSilent(JNIEnv* /*env*/,
                                                                             jclass /*cls*/,
                                                                             jlong handle,
                                                                             jboolean silent) {
  simulatorAt<SimDystalUsb>(handle)->setConfigSilent(silent == JNI_TRUE);
}

JNIEXPORT jobjectArray JNICALL Java_com_halvern_frc_sim_SimDystalUsb_receivedLines(JNIEnv* env,
                                                                                   jclass /*cls*/,
                                                                                   jlong handle) {
  return halvern::sim::jni::toJavaStrings(env, simulatorAt<SimDystalUsb>(handle)->receivedLines());
}

JNIEXPORT jint JNICALL Java_com_halvern_frc_sim_SimDystalUsb_outputDataRate(JNIEnv* /*env*/,
                                                                            jclass /*cls*/,
                                                                            jlong handle) {
  return simulatorAt<SimDystalUsb>(handle)->outputDataRate();
}

JNIEXPORT jint JNICALL Java_com_halvern_frc_sim_SimDystalUsb_lastSequence(JNIEnv* /*env*/,
                                                                          jclass /*cls*/,
                                                                          jlong handle) {
  return simulatorAt<SimDystalUsb>(handle)->lastSequence();
}

}  // extern "C"

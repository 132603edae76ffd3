// Native methods of com.halvern.frc.sim.SimDystalCan and SimDystalUsb: the simulated distance
// sensors of sim/SimDystal.h for Java tests. A handle is the simulator's address.
#include <jni.h>

#include <cstdint>
#include <exception>
#include <set>
#include <string>
#include <vector>

#include "SimDystal.h"
#include "SimJniSupport.h"

namespace {

using halvern::sim::SimDystalCan;
using halvern::sim::SimDystalConfig;
using halvern::sim::SimDystalUsb;

template <typename Simulator>
Simulator* simulator(jlong handle) {
  return halvern::sim::jni::simulatorAt<Simulator>(handle);
}

using halvern::sim::jni::throwIllegalState;
using halvern::sim::jni::toHandle;

// The elements of a Java int array; empty when the array is null.
std::vector<jint> intElements(JNIEnv* env, jintArray array) {
  if (array == nullptr) {
    return {};
  }
  std::vector<jint> elements(static_cast<std::size_t>(env->GetArrayLength(array)));
  env->GetIntArrayRegion(array, 0, static_cast<jsize>(elements.size()), elements.data());
  return elements;
}

// Distances as the sensor holds them: each Java int's low 16 bits, so 40000 and 0xFFFF can be
// given as they are.
std::vector<int16_t> distances(JNIEnv* env, jintArray array) {
  std::vector<int16_t> result;
  for (const jint value : intElements(env, array)) {
    result.push_back(static_cast<int16_t>(static_cast<uint16_t>(value)));
  }
  return result;
}

jobjectArray toStringArray(JNIEnv* env, const std::vector<std::string>& lines) {
  jclass stringType = env->FindClass("java/lang/String");
  if (stringType == nullptr) {
    return nullptr;
  }
  jobjectArray result = env->NewObjectArray(static_cast<jsize>(lines.size()), stringType, nullptr);
  if (result == nullptr) {
    return nullptr;
  }
  for (std::size_t index = 0; index < lines.size(); ++index) {
    // The library writes ASCII command lines; NewStringUTF reads them unchanged.
    jstring line = env->NewStringUTF(lines[index].c_str());
    if (line == nullptr) {
      return nullptr;
    }
    env->SetObjectArrayElement(result, static_cast<jsize>(index), line);
    env->DeleteLocalRef(line);
  }
  return result;
}

}  // namespace

extern "C" {

// --- SimDystalCan ----------------------------------------------------------------------------

JNIEXPORT jlong JNICALL Java_com_halvern_frc_sim_SimDystalCan_create(JNIEnv* /*env*/,
                                                                     jclass /*cls*/, jint canId) {
  return toHandle(new SimDystalCan(static_cast<uint8_t>(canId)));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimDystalCan_destroy(JNIEnv* /*env*/,
                                                                     jclass /*cls*/, jlong handle) {
  delete simulator<SimDystalCan>(handle);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimDystalCan_setDistances(JNIEnv* env,
                                                                          jclass /*cls*/,
                                                                          jlong handle,
                                                                          jintArray values) {
  simulator<SimDystalCan>(handle)->setDistances(distances(env, values));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimDystalCan_setMissingChunks(JNIEnv* env,
                                                                              jclass /*cls*/,
                                                                              jlong handle,
                                                                              jintArray chunks) {
  const std::vector<jint> elements = intElements(env, chunks);
  simulator<SimDystalCan>(handle)->setMissingChunks(
      std::set<int>(elements.begin(), elements.end()));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimDystalCan_sendReading(JNIEnv* /*env*/,
                                                                         jclass /*cls*/,
                                                                         jlong handle) {
  simulator<SimDystalCan>(handle)->sendReading();
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimDystalCan_sendChunk(JNIEnv* /*env*/,
                                                                       jclass /*cls*/, jlong handle,
                                                                       jint sequence, jint chunk,
                                                                       jint d0, jint d1, jint d2) {
  simulator<SimDystalCan>(handle)->sendChunk(static_cast<uint8_t>(sequence),
                                             static_cast<uint8_t>(chunk), static_cast<uint16_t>(d0),
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
  simulator<SimDystalCan>(handle)->setConfig(config);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimDystalCan_setConfigSilent(JNIEnv* /*env*/,
                                                                             jclass /*cls*/,
                                                                             jlong handle,
                                                                             jboolean silent) {
  simulator<SimDystalCan>(handle)->setConfigSilent(silent == JNI_TRUE);
}

JNIEXPORT jint JNICALL Java_com_halvern_frc_sim_SimDystalCan_configRequests(JNIEnv* /*env*/,
                                                                            jclass /*cls*/,
                                                                            jlong handle) {
  return simulator<SimDystalCan>(handle)->configRequests();
}

JNIEXPORT jint JNICALL Java_com_halvern_frc_sim_SimDystalCan_lastSequence(JNIEnv* /*env*/,
                                                                          jclass /*cls*/,
                                                                          jlong handle) {
  return simulator<SimDystalCan>(handle)->lastSequence();
}

// --- SimDystalUsb ----------------------------------------------------------------------------

JNIEXPORT jlong JNICALL Java_com_halvern_frc_sim_SimDystalUsb_create(JNIEnv* env, jclass /*cls*/) {
  try {
    return toHandle(new SimDystalUsb());
  } catch (const std::exception& error) {
    throwIllegalState(env, error.what());
    return 0;
  }
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimDystalUsb_destroy(JNIEnv* /*env*/,
                                                                     jclass /*cls*/, jlong handle) {
  delete simulator<SimDystalUsb>(handle);
}

JNIEXPORT jstring JNICALL Java_com_halvern_frc_sim_SimDystalUsb_devicePath(JNIEnv* env,
                                                                           jclass /*cls*/,
                                                                           jlong handle) {
  return env->NewStringUTF(simulator<SimDystalUsb>(handle)->devicePath().c_str());
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimDystalUsb_setDistances(JNIEnv* env,
                                                                          jclass /*cls*/,
                                                                          jlong handle,
                                                                          jintArray values) {
  simulator<SimDystalUsb>(handle)->setDistances(distances(env, values));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimDystalUsb_setSilent(JNIEnv* /*env*/,
                                                                       jclass /*cls*/, jlong handle,
                                                                       jboolean silent) {
  simulator<SimDystalUsb>(handle)->setSilent(silent == JNI_TRUE);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimDystalUsb_setConfigSilent(JNIEnv* /*env*/,
                                                                             jclass /*cls*/,
                                                                             jlong handle,
                                                                             jboolean silent) {
  simulator<SimDystalUsb>(handle)->setConfigSilent(silent == JNI_TRUE);
}

JNIEXPORT jobjectArray JNICALL Java_com_halvern_frc_sim_SimDystalUsb_receivedLines(JNIEnv* env,
                                                                                   jclass /*cls*/,
                                                                                   jlong handle) {
  return toStringArray(env, simulator<SimDystalUsb>(handle)->receivedLines());
}

JNIEXPORT jint JNICALL Java_com_halvern_frc_sim_SimDystalUsb_outputDataRate(JNIEnv* /*env*/,
                                                                            jclass /*cls*/,
                                                                            jlong handle) {
  return simulator<SimDystalUsb>(handle)->outputDataRate();
}

JNIEXPORT jint JNICALL Java_com_halvern_frc_sim_SimDystalUsb_lastSequence(JNIEnv* /*env*/,
                                                                          jclass /*cls*/,
                                                                          jlong handle) {
  return simulator<SimDystalUsb>(handle)->lastSequence();
}

}  // extern "C"

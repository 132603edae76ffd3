// Native methods of com.halvern.frc.sim.SimLidarMini: the simulated scanning lidar of
// sim/SimLidarMini.h for Java tests. Handles as in SimJniSupport.h.
#include <jni.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "JavaArrays.h"
#include "RoomByDegree.h"
#include "SimJniSupport.h"
#include "SimLidarMini.h"

namespace {

using halvern::sim::SimLidarMini;

SimLidarMini* simulator(jlong handle) {
  return halvern::sim::jni::simulatorAt<SimLidarMini>(handle);
}

}  // namespace

extern "C" {

JNIEXPORT jlong JNICALL Java_com_halvern_frc_sim_SimLidarMini_create(JNIEnv* env, jclass /*cls*/) {
  return halvern::sim::jni::create<SimLidarMini>(env);
}

JNIEXPORT jstring JNICALL Java_com_halvern_frc_sim_SimLidarMini_devicePath(JNIEnv* env,
                                                                           jclass /*cls*/,
                                                                           jlong handle) {
  return env->NewStringUTF(simulator(handle)->devicePath().c_str());
}

// Distances beyond what a sample carries are clamped to 0 and 65535 mm.
JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimLidarMini_setRoom(JNIEnv* env, jclass /*cls*/,
                                                                     jlong handle,
                                                                     jintArray distances) {
  std::vector<uint16_t> table;
  for (const jint distance : halvern::sim::jni::intElements(env, distances)) {
    table.push_back(static_cast<uint16_t>(std::clamp<jint>(distance, 0, UINT16_MAX)));
  }
  simulator(handle)->setRoom(halvern::sim::jni::roomByDegree(std::move(table)));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimLidarMini_setIdentity(
    JNIEnv* env, jclass /*cls*/, jlong handle, jint model, jint firmwareVersion,
    jint hardwareVersion, jbyteArray serial) {
  SimLidarMini::Identity identity;
  identity.model = static_cast<uint8_t>(model);
  identity.firmwareVersion = static_cast<uint16_t>(firmwareVersion);
  identity.hardwareVersion = static_cast<uint8_t>(hardwareVersion);
  // The serial number's first bytes, as many as the identity holds.
  const std::vector<uint8_t> bytes = halvern::sim::jni::byteElements(env, serial);
  std::copy_n(bytes.begin(), std::min(bytes.size(), identity.serial.size()),
              identity.serial.begin());
  simulator(handle)->setIdentity(identity);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimLidarMini_setHealth(JNIEnv* /*env*/,
                                                                       jclass /*cls*/, jlong handle,
                                                                       jint status,
                                                                       jint errorCode) {
  SimLidarMini::Health health;
  health.status = static_cast<uint8_t>(status);
  health.errorCode = static_cast<uint16_t>(errorCode);
  simulator(handle)->setHealth(health);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimLidarMini_setSilent(JNIEnv* /*env*/,
                                                                       jclass /*cls*/, jlong handle,
                                                                       jboolean silent) {
  simulator(handle)->setSilent(silent == JNI_TRUE);
}

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_sim_SimLidarMini_scanning(JNIEnv* /*env*/,
                                                                          jclass /*cls*/,
                                                                          jlong handle) {
  return simulator(handle)->scanning() ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT jdouble JNICALL Java_com_halvern_frc_sim_SimLidarMini_frequencyHz(JNIEnv* /*env*/,
                                                                            jclass /*cls*/,
                                                                            jlong handle) {
  return simulator(handle)->frequencyHz();
}

JNIEXPORT jbyteArray JNICALL Java_com_halvern_frc_sim_SimLidarMini_commands(JNIEnv* env,
                                                                            jclass /*cls*/,
                                                                            jlong handle) {
  return halvern::sim::jni::toJavaBytes(env, simulator(handle)->commands());
}

}  // extern "C"

// Native methods of com.halvern.frc.sim.SimLidarMini: the simulated scanning lidar of
// sim/SimLidarMini.h for Java tests. A handle is the simulator's address.
#include <jni.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

#include "SimJniSupport.h"
#include "SimLidarMini.h"

namespace {

using halvern::sim::SimLidarMini;

SimLidarMini* simulator(jlong handle) {
  return halvern::sim::jni::simulatorAt<SimLidarMini>(handle);
}

using halvern::sim::jni::throwIllegalState;

}  // namespace

extern "C" {

JNIEXPORT jlong JNICALL Java_com_halvern_frc_sim_SimLidarMini_create(JNIEnv* env, jclass /*cls*/) {
  try {
    return halvern::sim::jni::toHandle(new SimLidarMini());
  } catch (const std::exception& error) {
    throwIllegalState(env, error.what());
    return 0;
  }
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimLidarMini_destroy(JNIEnv* /*env*/,
                                                                     jclass /*cls*/, jlong handle) {
  delete simulator(handle);
}

JNIEXPORT jstring JNICALL Java_com_halvern_frc_sim_SimLidarMini_devicePath(JNIEnv* env,
                                                                           jclass /*cls*/,
                                                                           jlong handle) {
  return env->NewStringUTF(simulator(handle)->devicePath().c_str());
}

// The room as one distance a whole degree: the angle's degree, counted from 0 to 359, picks it.
JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimLidarMini_setRoom(JNIEnv* env, jclass /*cls*/,
                                                                     jlong handle,
                                                                     jintArray distances) {
  const jsize length = env->GetArrayLength(distances);
  std::vector<jint> elements(static_cast<std::size_t>(length));
  env->GetIntArrayRegion(distances, 0, length, elements.data());
  std::vector<uint16_t> table;
  table.reserve(elements.size());
  for (const jint distance : elements) {
    table.push_back(static_cast<uint16_t>(std::clamp<jint>(distance, 0, UINT16_MAX)));
  }
  simulator(handle)->setRoom([table](double angleDegrees) -> uint16_t {
    if (table.empty()) {
      return 0;
    }
    const double turns = std::floor(angleDegrees / 360.0);
    const auto degree = static_cast<std::size_t>(angleDegrees - turns * 360.0);
    return table[std::min(degree, table.size() - 1)];
  });
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimLidarMini_setIdentity(
    JNIEnv* env, jclass /*cls*/, jlong handle, jint model, jint firmwareVersion,
    jint hardwareVersion, jbyteArray serial) {
  SimLidarMini::Identity identity;
  identity.model = static_cast<uint8_t>(model);
  identity.firmwareVersion = static_cast<uint16_t>(firmwareVersion);
  identity.hardwareVersion = static_cast<uint8_t>(hardwareVersion);
  const jsize length =
      std::min<jsize>(env->GetArrayLength(serial), static_cast<jsize>(identity.serial.size()));
  env->GetByteArrayRegion(serial, 0, length, reinterpret_cast<jbyte*>(identity.serial.data()));
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
  const std::vector<uint8_t> commands = simulator(handle)->commands();
  jbyteArray result = env->NewByteArray(static_cast<jsize>(commands.size()));
  if (result != nullptr) {
    env->SetByteArrayRegion(result, 0, static_cast<jsize>(commands.size()),
                            reinterpret_cast<const jbyte*>(commands.data()));
  }
  return result;
}

}  // extern "C"

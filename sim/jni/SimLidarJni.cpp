// Native methods of com.halvern.frc.sim.SimLidar: the simulated serial lidar of sim/SimLidar.h
// for Java tests. A handle is the simulator's address.
#include <jni.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

#include "SimJniSupport.h"
#include "SimLidar.h"

namespace {

using halvern::sim::SimLidar;

SimLidar* simulator(jlong handle) { return halvern::sim::jni::simulatorAt<SimLidar>(handle); }

using halvern::sim::jni::throwIllegalState;

}  // namespace

extern "C" {

JNIEXPORT jlong JNICALL Java_com_halvern_frc_sim_SimLidar_create(JNIEnv* env, jclass /*cls*/,
                                                                 jint port) {
  try {
    return halvern::sim::jni::toHandle(new SimLidar(port));
  } catch (const std::exception& error) {
    throwIllegalState(env, error.what());
    return 0;
  }
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimLidar_destroy(JNIEnv* /*env*/, jclass /*cls*/,
                                                                 jlong handle) {
  delete simulator(handle);
}

// The room as one distance a whole degree: the angle's degree, counted from 0 to 359, picks it.
// SimLidar.java hands over exactly 360 distances.
JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimLidar_setRoom(JNIEnv* env, jclass /*cls*/,
                                                                 jlong handle,
                                                                 jfloatArray distances) {
  const jsize length = env->GetArrayLength(distances);
  std::vector<float> table(static_cast<std::size_t>(length));
  env->GetFloatArrayRegion(distances, 0, length, table.data());
  simulator(handle)->setRoom([table](double angleDegrees) -> float {
    const double turns = std::floor(angleDegrees / 360.0);
    const auto degree = static_cast<std::size_t>(angleDegrees - turns * 360.0);
    return table[std::min(degree, table.size() - 1)];
  });
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimLidar_setSilent(JNIEnv* /*env*/, jclass /*cls*/,
                                                                   jlong handle, jboolean silent) {
  simulator(handle)->setSilent(silent == JNI_TRUE);
}

JNIEXPORT jint JNICALL Java_com_halvern_frc_sim_SimLidar_revolutionsSent(JNIEnv* /*env*/,
                                                                         jclass /*cls*/,
                                                                         jlong handle) {
  return simulator(handle)->revolutionsSent();
}

JNIEXPORT jbyteArray JNICALL Java_com_halvern_frc_sim_SimLidar_packetBytes(
    JNIEnv* env, jclass /*cls*/, jboolean start, jint firstAngleRaw, jint lastAngleRaw,
    jintArray words) {
  const jsize count = env->GetArrayLength(words);
  std::vector<jint> elements(static_cast<std::size_t>(count));
  env->GetIntArrayRegion(words, 0, count, elements.data());
  std::vector<uint16_t> samples;
  samples.reserve(elements.size());
  for (const jint word : elements) {
    samples.push_back(static_cast<uint16_t>(word));
  }
  const std::vector<uint8_t> bytes =
      SimLidar::packet(start == JNI_TRUE, static_cast<uint16_t>(firstAngleRaw),
                       static_cast<uint16_t>(lastAngleRaw), samples);
  jbyteArray result = env->NewByteArray(static_cast<jsize>(bytes.size()));
  if (result != nullptr) {
    env->SetByteArrayRegion(result, 0, static_cast<jsize>(bytes.size()),
                            reinterpret_cast<const jbyte*>(bytes.data()));
  }
  return result;
}

}  // extern "C"

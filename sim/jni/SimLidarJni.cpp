// Native methods of com.halvern.frc.sim.SimLidar: the simulated serial lidar of sim/SimLidar.h
// for Java tests. Handles as in SimJniSupport.h.
#include <jni.h>

#include <cstdint>
#include <vector>

#include "JavaArrays.h"
#include "RoomByDegree.h"
#include "SimJniSupport.h"
#include "SimLidar.h"

namespace {

using halvern::sim::SimLidar;

SimLidar* simulator(jlong handle) { return halvern::sim::jni::simulatorAt<SimLidar>(handle); }

}  // namespace

extern "C" {

JNIEXPORT jlong JNICALL Java_com_halvern_frc_sim_SimLidar_create(JNIEnv* env, jclass /*cls*/,
                                                                 jint port) {
  return halvern::sim::jni::create<SimLidar>(env, port);
}

// SimLidar.java hands over exactly 360 distances.
JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimLidar_setRoom(JNIEnv* env, jclass /*cls*/,
                                                                 jlong handle,
                                                                 jfloatArray distances) {
  simulator(handle)->setRoom(
      halvern::sim::jni::roomByDegree(halvern::sim::jni::floatElements(env, distances)));
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
  std::vector<uint16_t> samples;
  for (const jint word : halvern::sim::jni::intElements(env, words)) {
    samples.push_back(static_cast<uint16_t>(word));
  }
  const std::vector<uint8_t> bytes =
      SimLidar::packet(start == JNI_TRUE, static_cast<uint16_t>(firstAngleRaw),
                       static_cast<uint16_t>(lastAngleRaw), samples);
  return halvern::sim::jni::toJavaBytes(env, bytes);
}

}  // extern "C"

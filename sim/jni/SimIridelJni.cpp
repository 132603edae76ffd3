// Native methods of com.halvern.frc.sim.SimIridelCan and SimIridelUsb: the simulated colour
// sensors of sim/SimIridel.h for Java tests. Handles as in SimJniSupport.h.
#include <jni.h>

#include <cstdint>
#include <vector>

#include "JavaArrays.h"
#include "SimIridel.h"
#include "SimJniSupport.h"

namespace {

using halvern::sim::SimIridelCan;
using halvern::sim::SimIridelUsb;
using halvern::sim::jni::simulatorAt;

}  // namespace

extern "C" {

// --- SimIridelCan ----------------------------------------------------------------------------

JNIEXPORT jlong JNICALL Java_com_halvern_frc_sim_SimIridelCan_create(JNIEnv* env, jclass /*cls*/) {
  return halvern::sim::jni::create<SimIridelCan>(env);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimIridelCan_setReplies(JNIEnv* /*env*/,
                                                                        jclass /*cls*/,
                                                                        jlong handle,
                                                                        jint replies) {
  // SimIridelCan.java passes the ordinal of its Replies, declared in the same order.
  simulatorAt<SimIridelCan>(handle)->setReplies(static_cast<SimIridelCan::Replies>(replies));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimIridelCan_setReplyStatus(JNIEnv* /*env*/,
                                                                            jclass /*cls*/,
                                                                            jlong handle,
                                                                            jint status) {
  simulatorAt<SimIridelCan>(handle)->setReplyStatus(static_cast<uint8_t>(status));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimIridelCan_setConfigValue(JNIEnv* /*env*/,
                                                                            jclass /*cls*/,
                                                                            jlong handle,
                                                                            jint value) {
  simulatorAt<SimIridelCan>(handle)->setConfigValue(static_cast<uint32_t>(value));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimIridelCan_sendColor(JNIEnv* /*env*/,
                                                                       jclass /*cls*/, jlong handle,
                                                                       jint sequence, jfloat x,
                                                                       jfloat y, jfloat z) {
  simulatorAt<SimIridelCan>(handle)->sendColor(static_cast<uint16_t>(sequence), x, y, z);
}

JNIEXPORT jintArray JNICALL Java_com_halvern_frc_sim_SimIridelCan_commandRecords(JNIEnv* env,
                                                                                 jclass /*cls*/,
                                                                                 jlong handle) {
  std::vector<jint> records;
  for (const auto& command : simulatorAt<SimIridelCan>(handle)->commands()) {
    records.push_back(command.code);
    records.push_back(static_cast<jint>(command.payload.size()));
    records.insert(records.end(), command.payload.begin(), command.payload.end());
  }
  return halvern::sim::jni::toJavaInts(env, records);
}

// --- SimIridelUsb ----------------------------------------------------------------------------

JNIEXPORT jlong JNICALL Java_com_halvern_frc_sim_SimIridelUsb_create(JNIEnv* env, jclass /*cls*/) {
  return halvern::sim::jni::create<SimIridelUsb>(env);
}

JNIEXPORT jstring JNICALL Java_com_halvern_frc_sim_SimIridelUsb_devicePath(JNIEnv* env,
                                                                           jclass /*cls*/,
                                                                           jlong handle) {
  return env->NewStringUTF(simulatorAt<SimIridelUsb>(handle)->devicePath().c_str());
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimIridelUsb_setColor(JNIEnv* /*env*/,
                                                                      jclass /*cls*/, jlong handle,
                                                                      jfloat x, jfloat y,
                                                                      jfloat z) {
  simulatorAt<SimIridelUsb>(handle)->setColor(x, y, z);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimIridelUsb_setSilent(JNIEnv* /*env*/,
                                                                       jclass /*cls*/, jlong handle,
                                                                       jboolean silent) {
  simulatorAt<SimIridelUsb>(handle)->setSilent(silent == JNI_TRUE);
}

JNIEXPORT jobjectArray JNICALL Java_com_halvern_frc_sim_SimIridelUsb_receivedLines(JNIEnv* env,
                                                                                   jclass /*cls*/,
                                                                                   jlong handle) {
  return halvern::sim::jni::toJavaStrings(env, simulatorAt<SimIridelUsb>(handle)->receivedLines());
}

}  // extern "C"

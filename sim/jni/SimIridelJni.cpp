// Native methods of com.halvern.frc.sim.SimIridelCan and SimIridelUsb: the simulated colour
// sensors of sim/SimIridel.h for Java tests. A handle is the simulator's address.
#include <jni.h>

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "SimIridel.h"
#include "SimJniSupport.h"

namespace {

using halvern::sim::SimIridelCan;
using halvern::sim::SimIridelUsb;

template <typename Simulator>
Simulator* simulator(jlong handle) {
  return halvern::sim::jni::simulatorAt<Simulator>(handle);
}

using halvern::sim::jni::throwIllegalState;
using halvern::sim::jni::toHandle;

}  // namespace

extern "C" {

// --- SimIridelCan ----------------------------------------------------------------------------

JNIEXPORT jlong JNICALL Java_com_halvern_frc_sim_SimIridelCan_create(JNIEnv* /*env*/,
                                                                     jclass /*cls*/) {
  return toHandle(new SimIridelCan());
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimIridelCan_destroy(JNIEnv* /*env*/,
                                                                     jclass /*cls*/, jlong handle) {
  delete simulator<SimIridelCan>(handle);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimIridelCan_setReplies(JNIEnv* /*env*/,
                                                                        jclass /*cls*/,
                                                                        jlong handle,
                                                                        jint replies) {
  // SimIridelCan.java passes the ordinal of its Replies, declared in the same order.
  simulator<SimIridelCan>(handle)->setReplies(static_cast<SimIridelCan::Replies>(replies));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimIridelCan_setReplyStatus(JNIEnv* /*env*/,
                                                                            jclass /*cls*/,
                                                                            jlong handle,
                                                                            jint status) {
  simulator<SimIridelCan>(handle)->setReplyStatus(static_cast<uint8_t>(status));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimIridelCan_setConfigValue(JNIEnv* /*env*/,
                                                                            jclass /*cls*/,
                                                                            jlong handle,
                                                                            jint value) {
  simulator<SimIridelCan>(handle)->setConfigValue(static_cast<uint32_t>(value));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimIridelCan_sendColor(JNIEnv* /*env*/,
                                                                       jclass /*cls*/, jlong handle,
                                                                       jint sequence, jfloat x,
                                                                       jfloat y, jfloat z) {
  simulator<SimIridelCan>(handle)->sendColor(static_cast<uint16_t>(sequence), x, y, z);
}

JNIEXPORT jintArray JNICALL Java_com_halvern_frc_sim_SimIridelCan_commandRecords(JNIEnv* env,
                                                                                 jclass /*cls*/,
                                                                                 jlong handle) {
  std::vector<jint> records;
  for (const auto& command : simulator<SimIridelCan>(handle)->commands()) {
    records.push_back(command.code);
    records.push_back(static_cast<jint>(command.payload.size()));
    records.insert(records.end(), command.payload.begin(), command.payload.end());
  }
  const auto size = static_cast<jsize>(records.size());
  jintArray result = env->NewIntArray(size);
  if (result != nullptr) {
    env->SetIntArrayRegion(result, 0, size, records.data());
  }
  return result;
}

// --- SimIridelUsb ----------------------------------------------------------------------------

JNIEXPORT jlong JNICALL Java_com_halvern_frc_sim_SimIridelUsb_create(JNIEnv* env, jclass /*cls*/) {
  try {
    return toHandle(new SimIridelUsb());
  } catch (const std::exception& error) {
    throwIllegalState(env, error.what());
    return 0;
  }
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimIridelUsb_destroy(JNIEnv* /*env*/,
                                                                     jclass /*cls*/, jlong handle) {
  delete simulator<SimIridelUsb>(handle);
}

JNIEXPORT jstring JNICALL Java_com_halvern_frc_sim_SimIridelUsb_devicePath(JNIEnv* env,
                                                                           jclass /*cls*/,
                                                                           jlong handle) {
  return env->NewStringUTF(simulator<SimIridelUsb>(handle)->devicePath().c_str());
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimIridelUsb_setColor(JNIEnv* /*env*/,
                                                                      jclass /*cls*/, jlong handle,
                                                                      jfloat x, jfloat y,
                                                                      jfloat z) {
  simulator<SimIridelUsb>(handle)->setColor(x, y, z);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimIridelUsb_setSilent(JNIEnv* /*env*/,
                                                                       jclass /*cls*/, jlong handle,
                                                                       jboolean silent) {
  simulator<SimIridelUsb>(handle)->setSilent(silent == JNI_TRUE);
}

JNIEXPORT jobjectArray JNICALL Java_com_halvern_frc_sim_SimIridelUsb_receivedLines(JNIEnv* env,
                                                                                   jclass /*cls*/,
                                                                                   jlong handle) {
  const std::vector<std::string> lines = simulator<SimIridelUsb>(handle)->receivedLines();
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

}  // extern "C"

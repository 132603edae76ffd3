// Native methods of com.halvern.frc.sim.SimSerialPorts: the device search's added paths, through
// the C functions HalvernDriver exports for simulators (never its internals).
#include <jni.h>

#include "halvern/Serial.h"

namespace {

// Calls `use` with the string's characters; does nothing for a null string.
template <typename Use>
void withChars(JNIEnv* env, jstring text, Use use) {
  if (text == nullptr) {
    return;
  }
  const char* chars = env->GetStringUTFChars(text, nullptr);
  if (chars == nullptr) {
    return;  // OutOfMemoryError pending
  }
  use(chars);
  env->ReleaseStringUTFChars(text, chars);
}

}  // namespace

extern "C" {

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimSerialPorts_addDevicePath(JNIEnv* env,
                                                                             jclass /*cls*/,
                                                                             jstring path) {
  withChars(env, path, c_Serial_addDevicePath);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimSerialPorts_removeDevicePath(JNIEnv* env,
                                                                                jclass /*cls*/,
                                                                                jstring path) {
  withChars(env, path, c_Serial_removeDevicePath);
}

}  // extern "C"

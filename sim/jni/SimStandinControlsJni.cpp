// Native methods of com.halvern.frc.sim.SimBus and SimFerix that need the stand-in HAL's own
// controls (halsim/SimControl.h): faults, the serial ports' bytes and settings, the counts of
// open handles. Built only on the stand-in; on WPILib's HAL these methods are not there (their
// Java tests carry the tag "standin" and are left out) and SimWpilibControlsJni.cpp has the rest.
#include <jni.h>

#include <cstdint>
#include <span>

#include "JavaArrays.h"
#include "SimControlsJni.h"
#include "SimFerixJni.h"
#include "halsim/SimControl.h"

void halvern::sim::jni::clearPlatformFaults() { halsim::reset(); }

extern "C" {

// --- SimBus ----------------------------------------------------------------------------------

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimBus_setInitializeCanStatus(JNIEnv* /*env*/,
                                                                              jclass /*cls*/,
                                                                              jint status) {
  halsim::setInitializeCanStatus(status);
}

JNIEXPORT jint JNICALL Java_com_halvern_frc_sim_SimBus_openCanHandleCount(JNIEnv* /*env*/,
                                                                          jclass /*cls*/) {
  return halsim::openCanHandleCount();
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimBus_setStreamOpenStatus(JNIEnv* /*env*/,
                                                                           jclass /*cls*/,
                                                                           jint status) {
  halsim::setStreamOpenStatus(status);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimBus_pushSerial(JNIEnv* env, jclass /*cls*/,
                                                                  jint port, jbyteArray bytes) {
  // SimBus.java hands over a port 0 to 3 and a non-null array.
  halsim::pushSerialBytes(port, halvern::sim::jni::byteElements(env, bytes));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimBus_setSerialOpenStatus(JNIEnv* /*env*/,
                                                                           jclass /*cls*/,
                                                                           jint status) {
  halsim::setSerialOpenStatus(status);
}

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_sim_SimBus_serialOpen(JNIEnv* /*env*/,
                                                                      jclass /*cls*/, jint port) {
  return halsim::serialSettings(port).open ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT jint JNICALL Java_com_halvern_frc_sim_SimBus_serialBaud(JNIEnv* /*env*/, jclass /*cls*/,
                                                                  jint port) {
  return halsim::serialSettings(port).baudRate;
}

// --- SimFerix --------------------------------------------------------------------------------

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimFerix_setAbsent(JNIEnv* /*env*/, jclass /*cls*/,
                                                                   jlong handle, jboolean absent) {
  halsim::setI2CAbsent(halvern::sim::jni::ferixPort(handle), absent == JNI_TRUE);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimFerix_setWritesFail(JNIEnv* /*env*/,
                                                                       jclass /*cls*/, jlong handle,
                                                                       jboolean fail) {
  const int32_t port = halvern::sim::jni::ferixPort(handle);
  if (fail == JNI_TRUE) {
    halsim::setI2CWriteFault(port, [](std::span<const uint8_t>) { return true; });
  } else {
    halsim::setI2CWriteFault(port, nullptr);
  }
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimFerix_setReadsFail(JNIEnv* /*env*/,
                                                                      jclass /*cls*/, jlong handle,
                                                                      jboolean fail) {
  halsim::setI2CReadFault(halvern::sim::jni::ferixPort(handle), fail == JNI_TRUE);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimFerix_setI2CInitializeStatus(JNIEnv* /*env*/,
                                                                                jclass /*cls*/,
                                                                                jint status) {
  halsim::setI2CInitializeStatus(status);
}

}  // extern "C"

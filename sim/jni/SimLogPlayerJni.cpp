// Native methods of com.halvern.frc.sim.SimLogPlayer: sim/SimLogPlayer.h for Java, a player
// behind a handle as SimLogPlayerJni.h keeps it.
#include "SimLogPlayerJni.h"

#include <jni.h>

#include "JavaArrays.h"
#include "SimDystal.h"
#include "SimFerix.h"
#include "SimIridel.h"
#include "SimLidarMini.h"

using halvern::sim::jni::attachToPlayer;
using halvern::sim::jni::javaPlayer;
using halvern::sim::jni::javaString;

extern "C" {

JNIEXPORT jlong JNICALL Java_com_halvern_frc_sim_SimLogPlayer_create(JNIEnv* env, jclass /*cls*/,
                                                                     jstring path) {
  return halvern::sim::jni::create<halvern::sim::jni::JavaPlayer>(env, javaString(env, path));
}

JNIEXPORT jstring JNICALL Java_com_halvern_frc_sim_SimLogPlayer_error(JNIEnv* env, jclass /*cls*/,
                                                                      jlong handle) {
  return env->NewStringUTF(javaPlayer(handle).player.error().c_str());
}

JNIEXPORT jobjectArray JNICALL Java_com_halvern_frc_sim_SimLogPlayer_devices(JNIEnv* env,
                                                                             jclass /*cls*/,
                                                                             jlong handle) {
  return halvern::sim::jni::toJavaStrings(env, javaPlayer(handle).player.devices());
}

JNIEXPORT jobjectArray JNICALL Java_com_halvern_frc_sim_SimLogPlayer_signals(JNIEnv* env,
                                                                             jclass /*cls*/,
                                                                             jlong handle,
                                                                             jstring device) {
  return halvern::sim::jni::toJavaStrings(
      env, javaPlayer(handle).player.signals(javaString(env, device)));
}

JNIEXPORT jlong JNICALL Java_com_halvern_frc_sim_SimLogPlayer_firstMicros(JNIEnv* /*env*/,
                                                                          jclass /*cls*/,
                                                                          jlong handle) {
  return javaPlayer(handle).player.firstMicros();
}

JNIEXPORT jlong JNICALL Java_com_halvern_frc_sim_SimLogPlayer_lastMicros(JNIEnv* /*env*/,
                                                                         jclass /*cls*/,
                                                                         jlong handle) {
  return javaPlayer(handle).player.lastMicros();
}

JNIEXPORT jlong JNICALL Java_com_halvern_frc_sim_SimLogPlayer_playUntil(JNIEnv* /*env*/,
                                                                        jclass /*cls*/,
                                                                        jlong handle,
                                                                        jlong logMicros) {
  return static_cast<jlong>(javaPlayer(handle).player.playUntil(logMicros));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimLogPlayer_start(JNIEnv* /*env*/, jclass /*cls*/,
                                                                   jlong handle) {
  javaPlayer(handle).player.start();
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimLogPlayer_stop(JNIEnv* /*env*/, jclass /*cls*/,
                                                                  jlong handle) {
  javaPlayer(handle).player.stop();
}

JNIEXPORT jboolean JNICALL Java_com_halvern_frc_sim_SimLogPlayer_finished(JNIEnv* /*env*/,
                                                                          jclass /*cls*/,
                                                                          jlong handle) {
  return javaPlayer(handle).player.finished() ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT jlong JNICALL Java_com_halvern_frc_sim_SimLogPlayer_clockOffsetMicros(JNIEnv* /*env*/,
                                                                                jclass /*cls*/,
                                                                                jlong handle) {
  return javaPlayer(handle).player.clockOffsetMicros();
}

// --- attach, one per simulator class Java has; SimLogPlayer.java passes its handle ----------

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimLogPlayer_attachIridelCan(
    JNIEnv* env, jclass /*cls*/, jlong player, jlong simulator, jstring device) {
  attachToPlayer<halvern::sim::SimIridelCan>(env, player, simulator, device);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimLogPlayer_attachIridelUsb(
    JNIEnv* env, jclass /*cls*/, jlong player, jlong simulator, jstring device) {
  attachToPlayer<halvern::sim::SimIridelUsb>(env, player, simulator, device);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimLogPlayer_attachDystalCan(
    JNIEnv* env, jclass /*cls*/, jlong player, jlong simulator, jstring device) {
  attachToPlayer<halvern::sim::SimDystalCan>(env, player, simulator, device);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimLogPlayer_attachDystalUsb(
    JNIEnv* env, jclass /*cls*/, jlong player, jlong simulator, jstring device) {
  attachToPlayer<halvern::sim::SimDystalUsb>(env, player, simulator, device);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimLogPlayer_attachFerix(
    JNIEnv* env, jclass /*cls*/, jlong player, jlong simulator, jstring device) {
  attachToPlayer<halvern::sim::SimFerixConverter>(env, player, simulator, device);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimLogPlayer_attachLidarMini(
    JNIEnv* env, jclass /*cls*/, jlong player, jlong simulator, jstring device) {
  attachToPlayer<halvern::sim::SimLidarMini>(env, player, simulator, device);
}

}  // extern "C"

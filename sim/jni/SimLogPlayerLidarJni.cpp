// SimLogPlayer.attach for the serial lidar's simulator, which exists on the stand-in only (it
// feeds the stand-in's serial ports): beside SimLogPlayerJni.cpp where SimLidarJni.cpp is built.
#include <jni.h>

#include "SimLidar.h"
#include "SimLogPlayerJni.h"

extern "C" {

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimLogPlayer_attachLidar(
    JNIEnv* env, jclass /*cls*/, jlong player, jlong simulator, jstring device) {
  halvern::sim::jni::attachToPlayer<halvern::sim::SimLidar>(env, player, simulator, device);
}

}  // extern "C"

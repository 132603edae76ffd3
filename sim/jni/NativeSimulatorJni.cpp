// Native method of com.halvern.frc.sim.NativeSimulator: lets go of the simulator behind a handle,
// whatever its type; the simulator goes with its last share.
#include <jni.h>

#include <memory>

#include "SimJniSupport.h"

extern "C" {

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_NativeSimulator_destroy(JNIEnv* /*env*/,
                                                                        jclass /*cls*/,
                                                                        jlong handle) {
  const std::unique_ptr<halvern::sim::jni::OwnedByJava> owned(halvern::sim::jni::ownedAt(handle));
}

}  // extern "C"

// The mock driver station's JNI face: the native methods of com.halvern.frc.jni.MockDSJNI.
#include <jni.h>

#include "halvern/MockDS.h"

extern "C" {

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_MockDSJNI_c_1MockDS_1create(JNIEnv* /*env*/,
                                                                           jclass /*cls*/) {
  c_MockDS_create();
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_MockDSJNI_c_1MockDS_1destroy(JNIEnv* /*env*/,
                                                                            jclass /*cls*/) {
  c_MockDS_destroy();
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_MockDSJNI_c_1MockDS_1enable(JNIEnv* /*env*/,
                                                                           jclass /*cls*/) {
  c_MockDS_enable();
}

JNIEXPORT void JNICALL Java_com_halvern_frc_jni_MockDSJNI_c_1MockDS_1disable(JNIEnv* /*env*/,
                                                                            jclass /*cls*/) {
  c_MockDS_disable();
}

}  // extern "C"

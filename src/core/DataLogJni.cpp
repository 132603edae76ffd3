// The data log switch for Java: com.halvern.frc.jni.DataLogJNI.
#include <jni.h>

#include <cstdint>

#include "core/DataLogSink.h"
#include "core/JniSupport.h"

extern "C" {

// The handle is a WPILib data log's address as WPILib's Java DataLog holds it (getImpl()).
JNIEXPORT void JNICALL Java_com_halvern_frc_jni_DataLogJNI_c_1Halvern_1startDataLog(
    JNIEnv* /*env*/, jclass /*unused*/, jlong log) {
  halvern::datalog::startDataLog(halvern::jni::toObject<WPI_DataLog>(log));
}

JNIEXPORT void JNICALL
Java_com_halvern_frc_jni_DataLogJNI_c_1Halvern_1stopDataLog(JNIEnv* /*env*/, jclass /*unused*/) {
  halvern::datalog::stopDataLog();
}

JNIEXPORT jboolean JNICALL
Java_com_halvern_frc_jni_DataLogJNI_c_1Halvern_1isDataLogOn(JNIEnv* /*env*/, jclass /*unused*/) {
  return halvern::jni::toJavaBoolean(halvern::datalog::dataLogActive());
}

}  // extern "C"

// Native methods of com.halvern.frc.sim.DataLogFile: a WPILib data log written to a file through
// WPILib's C API (the stand-in's or WPILib's own), for Java tests and simulations that have no
// WPILib jar. The handle owns the log as SimJniSupport.h describes; logHandle is the log itself.
#include <DataLogApi.h>
#include <jni.h>

#include <memory>
#include <string>

#include "SimJniSupport.h"

namespace {

WPI_DataLog* logAt(jlong handle) { return halvern::sim::jni::simulatorAt<WPI_DataLog>(handle); }

}  // namespace

extern "C" {

JNIEXPORT jlong JNICALL Java_com_halvern_frc_sim_DataLogFile_create(JNIEnv* env, jclass /*cls*/,
                                                                    jstring path) {
  const char* chars = env->GetStringUTFChars(path, nullptr);
  if (chars == nullptr) {
    return 0;  // OutOfMemoryError pending
  }
  const std::string filename{chars};
  env->ReleaseStringUTFChars(path, chars);
  const WPI_String name{filename.data(), filename.size()};
  const WPI_String noHeader{"", 0};
  int error = 0;
  // WPILib's writer is made even when its file cannot be opened; the error code says so.
  std::shared_ptr<WPI_DataLog> log(WPI_DataLog_CreateWriter(&name, &error, &noHeader),
                                   WPI_DataLog_Release);
  if (log == nullptr || error != 0) {
    const std::string message =
        "cannot write the data log " + filename + " (error " + std::to_string(error) + ")";
    halvern::sim::jni::throwIllegalState(env, message.c_str());
    return 0;
  }
  return halvern::sim::jni::handOver(std::move(log));
}

JNIEXPORT jlong JNICALL Java_com_halvern_frc_sim_DataLogFile_logHandle(JNIEnv* /*env*/,
                                                                       jclass /*cls*/,
                                                                       jlong handle) {
  return static_cast<jlong>(reinterpret_cast<std::intptr_t>(logAt(handle)));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_DataLogFile_flush(JNIEnv* /*env*/, jclass /*cls*/,
                                                                  jlong handle) {
  WPI_DataLog_Flush(logAt(handle));
}

}  // extern "C"

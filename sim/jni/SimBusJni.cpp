// Native methods of com.halvern.frc.sim.SimBus that every HAL offers: the simulated robot's
// control API for Java tests. It talks to the simulated bus and the HAL's simulation API, never
// to HalvernDriver's internals, so a Java test sees the library exactly as a robot program does.
// The stand-in HAL's own controls (faults, serial ports, handle counts) are in
// SimStandinControlsJni.cpp.
#include <jni.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "JavaArrays.h"
#include "SimCanBus.h"
#include "SimClock.h"
#include "SimControlsJni.h"
#include "SimFerixJni.h"
#include "SimHal.h"

namespace {

// One sent frame as SimBus.java decodes it: identifier (int32 LE), length, 3 zero bytes, the 8
// data bytes.
constexpr std::size_t kRecordSize = 16;
constexpr std::size_t kIdSize = 4;
constexpr std::size_t kDataOffset = 8;

uint32_t toId(jint id) { return static_cast<uint32_t>(id); }

std::vector<uint8_t> encodeFrames(const std::vector<halvern::sim::CanFrame>& frames) {
  std::vector<uint8_t> records;
  records.reserve(frames.size() * kRecordSize);
  for (const halvern::sim::CanFrame& frame : frames) {
    const std::size_t start = records.size();
    halvern::sim::jni::appendLittleEndian(records, frame.id, kIdSize);
    records.push_back(frame.length);
    records.resize(start + kDataOffset, 0);
    records.insert(records.end(), frame.data.begin(), frame.data.end());
  }
  return records;
}

}  // namespace

extern "C" {

// Loading the library starts the simulation: WPILib's HAL has its simulation data only after
// HAL_Initialize, and the robot program's calls (HAL_GetSystemActive among them) need it too.
JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM* /*vm*/, void* /*reserved*/) {
  halvern::sim::startSimulation();
  return JNI_VERSION_1_8;
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimBus_reset(JNIEnv* /*env*/, jclass /*cls*/) {
  halvern::sim::jni::clearPlatformFaults();
  HALSIM_SetDriverStationEnabled(0);
  halvern::sim::resetCanBus();
  halvern::sim::jni::unplugEveryFerix();
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimBus_setSystemActive(JNIEnv* /*env*/,
                                                                       jclass /*cls*/,
                                                                       jboolean enabled) {
  HALSIM_SetDriverStationEnabled(enabled == JNI_TRUE ? 1 : 0);
}

JNIEXPORT jint JNICALL Java_com_halvern_frc_sim_SimBus_openStreamSessionCount(JNIEnv* /*env*/,
                                                                              jclass /*cls*/) {
  return halvern::sim::openStreamSessionCount();
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimBus_clearSentFrames(JNIEnv* /*env*/,
                                                                       jclass /*cls*/) {
  halvern::sim::clearSentFrames();
}

JNIEXPORT jbyteArray JNICALL Java_com_halvern_frc_sim_SimBus_sentFrameRecords(JNIEnv* env,
                                                                              jclass /*cls*/,
                                                                              jint id, jint mask) {
  return halvern::sim::jni::toJavaBytes(
      env, encodeFrames(halvern::sim::sentFrames(toId(id), toId(mask))));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimBus_transmit(JNIEnv* env, jclass /*cls*/,
                                                                jint id, jbyteArray data) {
  // SimBus.java hands over a non-null array of at most 8 bytes.
  halvern::sim::transmitToRobot(toId(id), halvern::sim::jni::byteElements(env, data));
}

}  // extern "C"

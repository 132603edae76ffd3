// Native methods of com.halvern.frc.sim.SimBus that every HAL offers: the simulated robot's
// control API for Java tests. It talks to the simulated bus and the HAL's simulation API, never
// to HalvernDriver's internals, so a Java test sees the library exactly as a robot program does.
// The stand-in HAL's own controls (faults, serial ports, handle counts) are in
// SimStandinControlsJni.cpp.
#include <jni.h>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "SimCanBus.h"
#include "SimClock.h"
#include "SimHal.h"
#include "SimJniSupport.h"

namespace {

// One sent frame as SimBus.java decodes it: identifier (int32 LE), length, 3 zero bytes, data.
constexpr std::size_t kRecordSize = 16;
constexpr std::size_t kLengthOffset = 4;
constexpr std::size_t kDataOffset = 8;

uint32_t toId(jint id) { return static_cast<uint32_t>(id); }

std::vector<jbyte> encodeFrames(const std::vector<halvern::sim::CanFrame>& frames) {
  std::vector<jbyte> records(frames.size() * kRecordSize, 0);
  for (std::size_t index = 0; index < frames.size(); ++index) {
    const halvern::sim::CanFrame& frame = frames[index];
    jbyte* record = records.data() + index * kRecordSize;
    for (std::size_t byte = 0; byte < 4; ++byte) {
      record[byte] = static_cast<jbyte>((frame.id >> (8U * byte)) & 0xFFU);
    }
    record[kLengthOffset] = static_cast<jbyte>(frame.length);
    for (std::size_t byte = 0; byte < frame.data.size(); ++byte) {
      record[kDataOffset + byte] = static_cast<jbyte>(frame.data.at(byte));
    }
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
  const std::vector<jbyte> records = encodeFrames(halvern::sim::sentFrames(toId(id), toId(mask)));
  const auto size = static_cast<jsize>(records.size());
  jbyteArray result = env->NewByteArray(size);
  if (result != nullptr) {
    env->SetByteArrayRegion(result, 0, size, records.data());
  }
  return result;
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimBus_transmit(JNIEnv* env, jclass /*cls*/,
                                                                jint id, jbyteArray data) {
  // SimBus.java hands over a non-null array of at most 8 bytes.
  std::array<uint8_t, 8> payload{};
  const jsize length = env->GetArrayLength(data);
  env->GetByteArrayRegion(data, 0, length, reinterpret_cast<jbyte*>(payload.data()));
  halvern::sim::transmitToRobot(
      toId(id), std::span<const uint8_t>(payload.data(), static_cast<std::size_t>(length)));
}

}  // extern "C"

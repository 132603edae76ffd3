// Native methods of com.halvern.frc.sim.SimBus: the simulated robot's control API for Java
// tests. It talks to the simulated bus, the HAL's simulation API and the stand-in HAL's own
// controls, never to HalvernDriver's internals, so a Java test sees the library exactly as a
// robot program does.
#include <jni.h>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "SimCanBus.h"
#include "SimJniSupport.h"
#include "hal/simulation/DriverStationData.h"
#include "halsim/SimControl.h"

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

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimBus_reset(JNIEnv* /*env*/, jclass /*cls*/) {
  halsim::reset();
  halvern::sim::resetCanBus();
  halvern::sim::jni::unplugEveryFerix();
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimBus_setSystemActive(JNIEnv* /*env*/,
                                                                       jclass /*cls*/,
                                                                       jboolean enabled) {
  HALSIM_SetDriverStationEnabled(enabled == JNI_TRUE ? 1 : 0);
}

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

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimBus_pushSerial(JNIEnv* env, jclass /*cls*/,
                                                                  jint port, jbyteArray bytes) {
  // SimBus.java hands over a port 0 to 3 and a non-null array.
  const jsize length = env->GetArrayLength(bytes);
  std::vector<uint8_t> data(static_cast<std::size_t>(length));
  env->GetByteArrayRegion(bytes, 0, length, reinterpret_cast<jbyte*>(data.data()));
  halsim::pushSerialBytes(port, data);
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

}  // extern "C"

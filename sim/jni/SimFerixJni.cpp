// Native methods of com.halvern.frc.sim.SimFerix: the simulated analog board of sim/SimFerix.h
// for Java tests. A handle owns a share of the converter, which the HAL's I2C bus shares too.
#include "SimFerixJni.h"

#include <jni.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "JavaArrays.h"
#include "SimFerix.h"
#include "SimHal.h"
#include "SimJniSupport.h"

namespace {

using halvern::sim::SimFerixConverter;
using halvern::sim::jni::throwIllegalState;

/** The converter attached last at each port: a board plugged in replaces the one there. */
std::mutex attachedMutex;
std::map<int32_t, std::weak_ptr<SimFerixConverter>> attachedAt;

void unplugAt(int32_t port) {
  const std::scoped_lock lock(attachedMutex);
  if (const auto found = attachedAt.find(port); found != attachedAt.end()) {
    if (const auto converter = found->second.lock()) {
      converter->unplug();
    }
    attachedAt.erase(found);
  }
}

SimFerixConverter& converter(jlong handle) {
  return *halvern::sim::jni::simulatorAt<SimFerixConverter>(handle);
}

// One transfer as SimFerix.java decodes it, little-endian: kind (0 write, 1 read), failed (0
// or 1), count (int32), time (int64 steady-clock nanoseconds), length (int32), the bytes.
std::vector<uint8_t> encodeTransfers(const std::vector<SimFerixConverter::Transfer>& transfers) {
  using halvern::sim::jni::appendLittleEndian;
  std::vector<uint8_t> records;
  for (const SimFerixConverter::Transfer& transfer : transfers) {
    records.push_back(transfer.kind == SimFerixConverter::Transfer::Kind::Read ? 1 : 0);
    records.push_back(0);  // failed transfers never reach the converter
    appendLittleEndian(records, static_cast<uint32_t>(transfer.count), 4);
    const auto nanos =
        std::chrono::duration_cast<std::chrono::nanoseconds>(transfer.at.time_since_epoch())
            .count();
    appendLittleEndian(records, static_cast<uint64_t>(nanos), 8);
    appendLittleEndian(records, transfer.bytes.size(), 4);
    records.insert(records.end(), transfer.bytes.begin(), transfer.bytes.end());
  }
  return records;
}

}  // namespace

int32_t halvern::sim::jni::ferixPort(jlong handle) { return converter(handle).port(); }

void halvern::sim::jni::unplugEveryFerix() {
  std::map<int32_t, std::weak_ptr<SimFerixConverter>> attached;
  {
    const std::scoped_lock lock(attachedMutex);
    attached.swap(attachedAt);
  }
  for (const auto& [port, weak] : attached) {
    if (const auto converter = weak.lock()) {
      converter->unplug();
    }
  }
}

extern "C" {

JNIEXPORT jlong JNICALL Java_com_halvern_frc_sim_SimFerix_attach(JNIEnv* env, jclass /*cls*/,
                                                                 jint port, jint address) {
  try {
    unplugAt(port);
    std::shared_ptr<SimFerixConverter> board = SimFerixConverter::attach(port, address);
    const std::scoped_lock lock(attachedMutex);
    attachedAt[port] = board;
    return halvern::sim::jni::handOver(std::move(board));
  } catch (const std::exception& error) {
    throwIllegalState(env, error.what());
    return 0;
  }
}

// SimFerix.java detaches the converter before it closes when it is still the one attached.
JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimFerix_detach(JNIEnv* /*env*/, jclass /*cls*/,
                                                                jint port, jint /*address*/) {
  unplugAt(port);
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimFerix_setInputVoltage(JNIEnv* /*env*/,
                                                                         jclass /*cls*/,
                                                                         jlong handle, jint channel,
                                                                         jdouble volts) {
  converter(handle).setInputVoltage(channel, volts);  // SimFerix.java checks the channel
}

JNIEXPORT jdouble JNICALL Java_com_halvern_frc_sim_SimFerix_inputVoltage(JNIEnv* /*env*/,
                                                                         jclass /*cls*/,
                                                                         jlong handle,
                                                                         jint channel) {
  return converter(handle).inputVoltage(channel);
}

JNIEXPORT jint JNICALL Java_com_halvern_frc_sim_SimFerix_configRegister(JNIEnv* /*env*/,
                                                                        jclass /*cls*/,
                                                                        jlong handle) {
  return converter(handle).configRegister();
}

JNIEXPORT jint JNICALL Java_com_halvern_frc_sim_SimFerix_conversionRegister(JNIEnv* /*env*/,
                                                                            jclass /*cls*/,
                                                                            jlong handle) {
  return converter(handle).conversionRegister();
}

JNIEXPORT jbyteArray JNICALL Java_com_halvern_frc_sim_SimFerix_transferRecords(JNIEnv* env,
                                                                               jclass /*cls*/,
                                                                               jlong handle) {
  return halvern::sim::jni::toJavaBytes(env, encodeTransfers(converter(handle).transfers()));
}

JNIEXPORT void JNICALL Java_com_halvern_frc_sim_SimFerix_clearTransfers(JNIEnv* /*env*/,
                                                                        jclass /*cls*/,
                                                                        jlong handle) {
  converter(handle).clearTransfers();
}

// The HAL's own simulation data, on every HAL. SimFerix.java checks nothing: a port other than 0
// or 1 is not open.
JNIEXPORT jboolean JNICALL Java_com_halvern_frc_sim_SimFerix_i2cPortOpen(JNIEnv* /*env*/,
                                                                         jclass /*cls*/,
                                                                         jint port) {
  if (port < 0 || port > 1) {
    return JNI_FALSE;
  }
  return HALSIM_GetI2CInitialized(port) != 0 ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT jint JNICALL Java_com_halvern_frc_sim_SimFerix_convert(JNIEnv* /*env*/, jclass /*cls*/,
                                                                 jdouble volts, jint config) {
  return SimFerixConverter::convert(volts, static_cast<uint16_t>(config));
}

}  // extern "C"

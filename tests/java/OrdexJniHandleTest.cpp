// How CAN handles cross the JNI boundary, for handles the simulated HAL never hands out.
//
// This executable defines HAL_InitializeCAN and HAL_CleanCAN itself; the dynamic linker binds
// HalvernDriver's calls to these definitions ahead of libwpiHal's, so a test can choose the
// handle creation returns. Frames still cross the simulated bus of the real libwpiHal. The
// bindings under test touch no JNIEnv, so they are called here without a JVM.
#include <gtest/gtest.h>
#include <jni.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "hal/CANAPI.h"
#include "SimCanBus.h"
#include "TestPlatform.h"

extern "C" {
JNIEXPORT jlong JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1create(JNIEnv*, jclass, jint,
                                                                           jint);
JNIEXPORT void JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1destroy(JNIEnv*, jclass, jlong);
JNIEXPORT void JNICALL Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1setMotorSpeed(JNIEnv*, jclass,
                                                                                 jlong, jint,
                                                                                 jdouble);
}

namespace {

std::atomic<HAL_CANHandle> handleToHandOut{0};
std::mutex cleanedMutex;
std::vector<HAL_CANHandle> cleanedHandles;

}  // namespace

extern "C" {

HAL_CANHandle HAL_InitializeCAN(HAL_CANManufacturer /*manufacturer*/, int32_t /*deviceId*/,
                                HAL_CANDeviceType /*deviceType*/, int32_t* status) {
  *status = 0;
  return handleToHandOut.load();
}

void HAL_CleanCAN(HAL_CANHandle handle) {
  const std::lock_guard lock(cleanedMutex);
  cleanedHandles.push_back(handle);
}

}  // extern "C"

namespace {

constexpr int32_t kDevice = 7;
constexpr uint32_t kMotorSpeedId = 0x020C0000 + 2 * 64 + kDevice;
constexpr uint32_t kExactId = 0x1FFFFFFF;

jlong create(HAL_CANHandle handle) {
  handleToHandOut = handle;
  return Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1create(nullptr, nullptr, kDevice, 1000);
}

void setMotorSpeed(jlong handle, double speed) {
  Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1setMotorSpeed(nullptr, nullptr, handle, 0, speed);
}

std::vector<HAL_CANHandle> cleaned() {
  const std::lock_guard lock(cleanedMutex);
  return cleanedHandles;
}

class OrdexJniHandle : public testing::Test {
 protected:
  void SetUp() override {
    halvern::test::resetSimulation();
    const std::lock_guard lock(cleanedMutex);
    cleanedHandles.clear();
  }
  void TearDown() override { halvern::test::resetSimulation(); }
};

TEST_F(OrdexJniHandle, LargestHandleWidensToTheSameLong) {
  const jlong handle = create(0x7FFFFFFF);
  EXPECT_EQ(handle, jlong{2147483647});

  setMotorSpeed(handle, 0.5);
  EXPECT_EQ(halvern::sim::sentFrames(kMotorSpeedId, kExactId).size(), 1U);

  Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1destroy(nullptr, nullptr, handle);
  EXPECT_EQ(cleaned(), std::vector<HAL_CANHandle>{0x7FFFFFFF});
}

TEST_F(OrdexJniHandle, NegativeHandleWidensWithItsSignAndNarrowsBack) {
  const jlong handle = create(-7);
  EXPECT_EQ(handle, jlong{-7});

  // With the sign bits dropped the low 32 bits still name the same controller.
  setMotorSpeed(handle, 0.5);
  setMotorSpeed(handle & 0xFFFFFFFF, -0.5);
  const auto frames = halvern::sim::sentFrames(kMotorSpeedId, kExactId);
  ASSERT_EQ(frames.size(), 2U);
  EXPECT_EQ(frames[0].data[1], 50);
  EXPECT_EQ(frames[1].data[1], 50);

  Java_com_halvern_frc_jni_OrdexJNI_c_1Ordex_1destroy(nullptr, nullptr, handle);
  EXPECT_EQ(cleaned(), std::vector<HAL_CANHandle>{-7});
}

}  // namespace

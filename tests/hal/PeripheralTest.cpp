// The clock, the serial ports and the I2C buses.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "hal/HALBase.h"
#include "hal/I2C.h"
#include "hal/SerialPort.h"
#include "hal/cpp/fpga_clock.h"
#include "hal/SimDevice.h"
#include "hal/simulation/DriverStationData.h"
#include "hal/simulation/I2CData.h"
#include "hal/simulation/SimDeviceData.h"
#include "halsim/SimControl.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int32_t kHandleError = -1098;

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override { halsim::reset(); }
  void TearDown() override { halsim::reset(); }
};

TEST(HalClock, FpgaTimeIsMonotonicMicroseconds) {
  int32_t status = 1;
  const uint64_t start = HAL_GetFPGATime(&status);
  EXPECT_EQ(status, 0);
  auto previous = hal::fpga_clock::now();
  for (int i = 0; i < 1000; ++i) {
    const auto now = hal::fpga_clock::now();
    ASSERT_GE(now, previous);
    previous = now;
  }
  std::this_thread::sleep_for(20ms);
  const uint64_t elapsedUs = HAL_GetFPGATime(&status) - start;
  EXPECT_GE(elapsedUs, 20000U);
  EXPECT_LT(elapsedUs, 10'000'000U);
}

class HalSerial : public SimTest {
 protected:
  static constexpr int32_t kPort = HAL_SerialPort_MXP;

  void SetUp() override {
    SimTest::SetUp();
    int32_t status = 1;
    handle_ = HAL_InitializeSerialPort(HAL_SerialPort_MXP, &status);
    ASSERT_EQ(status, 0);
    ASSERT_NE(handle_, HAL_kInvalidHandle);
  }
  void TearDown() override {
    HAL_CloseSerial(handle_);
    SimTest::TearDown();
  }

  void setTimeout(double seconds) {
    int32_t status = 1;
    HAL_SetSerialTimeout(handle_, seconds, &status);
    ASSERT_EQ(status, 0);
  }
  static void push(const std::string& text) {
    halsim::pushSerialBytes(kPort, std::vector<uint8_t>(text.begin(), text.end()));
  }
  std::string read(int32_t count, int32_t* status) {
    std::string buffer(static_cast<std::size_t>(count), '\0');
    const int32_t got = HAL_ReadSerial(handle_, buffer.data(), count, status);
    buffer.resize(static_cast<std::size_t>(std::max(got, 0)));
    return buffer;
  }

  HAL_SerialPortHandle handle_ = HAL_kInvalidHandle;
};

TEST_F(HalSerial, SettingsAreRecordedUntilClose) {
  int32_t status = 1;
  HAL_SetSerialBaudRate(handle_, 115200, &status);
  HAL_SetSerialDataBits(handle_, 7, &status);
  HAL_SetSerialParity(handle_, 2, &status);
  HAL_SetSerialStopBits(handle_, 15, &status);
  HAL_SetSerialWriteMode(handle_, 1, &status);
  HAL_SetSerialTimeout(handle_, 0.5, &status);
  HAL_DisableSerialTermination(handle_, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(HAL_InitializeSerialPort(HAL_SerialPort_MXP, &status), handle_);  // reopening

  const halsim::SerialSettings settings = halsim::serialSettings(kPort);
  EXPECT_TRUE(settings.open);
  EXPECT_EQ(settings.baudRate, 115200);
  EXPECT_EQ(settings.dataBits, 7);
  EXPECT_EQ(settings.parity, 2);
  EXPECT_EQ(settings.stopBits, 15);
  EXPECT_EQ(settings.writeMode, 1);
  EXPECT_DOUBLE_EQ(settings.timeoutSeconds, 0.5);
  EXPECT_FALSE(settings.terminationEnabled);
  EXPECT_FALSE(halsim::serialSettings(HAL_SerialPort_Onboard).open);

  HAL_CloseSerial(handle_);
  EXPECT_FALSE(halsim::serialSettings(kPort).open);
  HAL_SetSerialBaudRate(handle_, 9600, &status);
  EXPECT_EQ(status, kHandleError);
}

TEST_F(HalSerial, ReadTakesQueuedBytesAndWaitsUpToTheTimeoutForTheRest) {
  setTimeout(0.2);
  push("abcde");
  int32_t status = 1;
  EXPECT_EQ(HAL_GetSerialBytesReceived(handle_, &status), 5);
  EXPECT_EQ(read(3, &status), "abc");
  EXPECT_EQ(status, 0);

  const auto start = Clock::now();
  EXPECT_EQ(read(5, &status), "de");
  const auto elapsed = Clock::now() - start;
  EXPECT_GE(elapsed, 150ms);
  EXPECT_LT(elapsed, 5s);

  setTimeout(0.0);  // zero: never wait
  const auto immediate = Clock::now();
  EXPECT_EQ(read(4, &status), "");
  EXPECT_LT(Clock::now() - immediate, 5s);  // returns rather than waiting on: no hang
}

TEST_F(HalSerial, WaitingReadWakesForBytesAndForClose) {
  setTimeout(30.0);
  int32_t status = 1;
  auto start = Clock::now();
  std::thread device([] {
    std::this_thread::sleep_for(50ms);
    push("wxyz");
  });
  EXPECT_EQ(read(4, &status), "wxyz");
  EXPECT_LT(Clock::now() - start, 10s);
  device.join();

  start = Clock::now();
  std::thread closer([this] {
    std::this_thread::sleep_for(50ms);
    HAL_CloseSerial(handle_);
  });
  EXPECT_EQ(read(4, &status), "");
  EXPECT_NE(status, 0);
  EXPECT_LT(Clock::now() - start, 10s);
  closer.join();
}

TEST_F(HalSerial, FaultsBadPortsAndUnknownHandlesYieldNothing) {
  push("xy");
  halsim::setSerialReadStatus(-11);
  int32_t status = 0;
  EXPECT_EQ(HAL_GetSerialBytesReceived(handle_, &status), 0);
  EXPECT_EQ(status, -11);
  EXPECT_EQ(read(2, &status), "");
  EXPECT_EQ(status, -11);
  halsim::setSerialReadStatus(0);
  EXPECT_EQ(HAL_GetSerialBytesReceived(handle_, &status), 2);

  std::array<char, 2> buffer{};
  EXPECT_EQ(HAL_ReadSerial(handle_ + 1000, buffer.data(), 2, &status), 0);
  EXPECT_NE(status, 0);
  EXPECT_EQ(HAL_InitializeSerialPort(static_cast<HAL_SerialPort>(4), &status), 0);
  EXPECT_NE(status, 0);
  halsim::setSerialOpenStatus(-12);
  EXPECT_EQ(HAL_InitializeSerialPort(HAL_SerialPort_USB1, &status), HAL_kInvalidHandle);
  EXPECT_EQ(status, -12);
  EXPECT_FALSE(halsim::serialSettings(HAL_SerialPort_USB1).open);
}

/** Keeps what is written; answers reads with a counting pattern. */
struct FakeI2CDevice {
  static void onWrite(const char* /*name*/, void* param, const unsigned char* buffer,
                      unsigned int count) {
    static_cast<FakeI2CDevice*>(param)->written.assign(buffer, buffer + count);
  }
  static void onRead(const char* /*name*/, void* param, unsigned char* buffer,
                     unsigned int count) {
    ++static_cast<FakeI2CDevice*>(param)->reads;
    for (unsigned int i = 0; i < count; ++i) {
      buffer[i] = static_cast<uint8_t>(0xA0 + i);
    }
  }
  std::vector<uint8_t> written;
  int reads = 0;
};

using HalI2C = SimTest;

TEST_F(HalI2C, TransfersReachThePortsCallbacksWhileItIsOpenAndFaultsStopThem) {
  constexpr int32_t kAddress = 0x52;
  constexpr HAL_I2CPort kPort = HAL_I2C_kOnboard;
  FakeI2CDevice device;
  const int32_t writeUid = HALSIM_RegisterI2CWriteCallback(kPort, &FakeI2CDevice::onWrite, &device);
  const int32_t readUid = HALSIM_RegisterI2CReadCallback(kPort, &FakeI2CDevice::onRead, &device);
  const std::array<uint8_t, 3> command{1, 2, 3};
  std::array<uint8_t, 4> reply{};
  EXPECT_EQ(HAL_WriteI2C(kPort, kAddress, command.data(), 3), -1);  // not open yet
  EXPECT_TRUE(device.written.empty());

  int32_t status = 1;
  HAL_InitializeI2C(kPort, &status);
  ASSERT_EQ(status, 0);
  EXPECT_TRUE(HALSIM_GetI2CInitialized(kPort));
  EXPECT_EQ(HAL_WriteI2C(kPort, kAddress, command.data(), 3), 0);
  EXPECT_EQ(device.written, std::vector<uint8_t>(command.begin(), command.end()));
  EXPECT_EQ(HAL_ReadI2C(kPort, kAddress + 1, reply.data(), 4), 0);  // every address of the port
  EXPECT_EQ(reply, (std::array<uint8_t, 4>{0xA0, 0xA1, 0xA2, 0xA3}));

  // Faults fail transfers before the device sees them; a failed read leaves the idle bus.
  halsim::setI2CWriteFault(kPort, [](std::span<const uint8_t> bytes) { return bytes.size() == 1; });
  const std::array<uint8_t, 1> pointer{9};
  EXPECT_EQ(HAL_WriteI2C(kPort, kAddress, pointer.data(), 1), -1);
  EXPECT_EQ(device.written, std::vector<uint8_t>(command.begin(), command.end()));
  EXPECT_EQ(HAL_WriteI2C(kPort, kAddress, command.data(), 3), 0);
  halsim::setI2CReadFault(kPort, true);
  EXPECT_EQ(HAL_ReadI2C(kPort, kAddress, reply.data(), 4), -1);
  EXPECT_EQ(reply, (std::array<uint8_t, 4>{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(device.reads, 1);
  halsim::reset();  // clears the faults, keeps the port open
  EXPECT_EQ(HAL_WriteI2C(kPort, kAddress, pointer.data(), 1), 0);

  HALSIM_CancelI2CWriteCallback(kPort, writeUid);
  HALSIM_CancelI2CReadCallback(kPort, readUid);
  device.written.clear();
  EXPECT_EQ(HAL_WriteI2C(kPort, kAddress, command.data(), 3), 0);  // nobody hears it
  EXPECT_TRUE(device.written.empty());
  HAL_CloseI2C(kPort);
  EXPECT_FALSE(HALSIM_GetI2CInitialized(kPort));

  HAL_InitializeI2C(static_cast<HAL_I2CPort>(2), &status);
  EXPECT_NE(status, 0);
  halsim::setI2CInitializeStatus(-4);
  HAL_InitializeI2C(HAL_I2C_kMXP, &status);
  EXPECT_EQ(status, -4);
  EXPECT_FALSE(halsim::i2cPortOpen(HAL_I2C_kMXP));
}

using HalDriverStation = SimTest;

TEST_F(HalDriverStation, EnabledStateIsTheSystemsAndNotifiesChanges) {
  std::vector<bool> heard;
  const auto callback = [](const char* /*name*/, void* param, const HAL_Value* value) {
    static_cast<std::vector<bool>*>(param)->push_back(value->data.v_boolean != 0);
  };
  const int32_t uid = HALSIM_RegisterDriverStationEnabledCallback(callback, &heard, 1);
  int32_t status = 1;
  EXPECT_FALSE(HAL_GetSystemActive(&status));
  EXPECT_EQ(status, 0);
  HALSIM_SetDriverStationEnabled(1);
  HALSIM_SetDriverStationEnabled(1);  // no change, no call
  EXPECT_TRUE(HAL_GetSystemActive(&status));
  halsim::reset();
  EXPECT_FALSE(HALSIM_GetDriverStationEnabled());
  HALSIM_CancelDriverStationEnabledCallback(uid);
  HALSIM_SetDriverStationEnabled(1);
  EXPECT_EQ(heard, (std::vector<bool>{false, true, false}));
  HALSIM_SetDriverStationEnabled(0);
}

TEST(HalSimDevice, NamesAreUniqueAndValuesGoWithTheirDevice) {
  HAL_SimDeviceHandle device = HAL_CreateSimDevice("Probe[1]");
  ASSERT_NE(device, 0);
  EXPECT_EQ(HAL_CreateSimDevice("Probe[1]"), 0);
  const HAL_SimValueHandle speed = HAL_CreateSimValueDouble(device, "Speed", HAL_SimValueInput, 1.5);
  ASSERT_NE(speed, 0);
  EXPECT_EQ(HAL_CreateSimValueDouble(device, "Speed", HAL_SimValueInput, 0.0), 0);
  const char* modes[] = {"Off", "On"};
  const HAL_SimValueHandle mode =
      HAL_CreateSimValueEnum(device, "Mode", HAL_SimValueOutput, 2, modes, 1);
  EXPECT_EQ(HALSIM_GetSimDeviceHandle("Probe[1]"), device);
  EXPECT_EQ(HALSIM_GetSimValueHandle(device, "Mode"), mode);
  int32_t options = 0;
  const char** names = HALSIM_GetSimValueEnumOptions(mode, &options);
  ASSERT_EQ(options, 2);
  EXPECT_STREQ(names[1], "On");

  std::vector<double> changes;
  const auto changed = [](const char* /*name*/, void* param, HAL_SimValueHandle /*handle*/,
                          int32_t /*direction*/, const HAL_Value* value) {
    static_cast<std::vector<double>*>(param)->push_back(value->data.v_double);
  };
  const int32_t uid = HALSIM_RegisterSimValueChangedCallback(speed, &changes, changed, 1);
  HAL_SetSimValueDouble(speed, 2.5);
  HAL_SetSimValueInt(speed, 7);  // the wrong type changes nothing
  EXPECT_DOUBLE_EQ(HAL_GetSimValueDouble(speed), 2.5);
  HALSIM_CancelSimValueChangedCallback(uid);
  EXPECT_EQ(changes, (std::vector<double>{1.5, 2.5}));

  std::vector<std::string> listed;
  HALSIM_EnumerateSimValues(device, &listed,
                            [](const char* name, void* param, HAL_SimValueHandle, int32_t,
                               const HAL_Value*) {
                              static_cast<std::vector<std::string>*>(param)->emplace_back(name);
                            });
  EXPECT_EQ(listed, (std::vector<std::string>{"Speed", "Mode"}));

  HAL_FreeSimDevice(device);
  EXPECT_EQ(HALSIM_GetSimDeviceHandle("Probe[1]"), 0);
  EXPECT_EQ(HAL_GetSimValueDouble(speed), 0.0);  // its values went with it
  const HAL_SimDeviceHandle again = HAL_CreateSimDevice("Probe[1]");
  EXPECT_NE(again, 0);
  EXPECT_NE(again, device);
  HAL_FreeSimDevice(again);
}

// A program's static object made before its first SimDevice (a team's simulation keeps its
// device models in one) frees the device at exit, after main: the HAL's state must still be
// there. The ASan build sees it if not; the program starts afresh, so nothing made it earlier.
TEST(HalSimDeviceDeathTest, DeviceHeldByAProgramStaticIsFreedAtExit) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        static hal::SimDevice device;
        device = hal::SimDevice("Static[1]");
        static_cast<void>(device.CreateDouble("Speed", hal::SimDevice::kInput, 0.0));
        std::exit(device ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace

// The colour sensor on a simulated USB serial port, through the library's C face.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "CpuUse.h"
#include "OwnedHandle.h"
#include "SimIridel.h"
#include "UsbCreation.h"
#include "WaitFor.h"
#include "halvern/Iridel.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using halvern::sim::SimIridelUsb;
using halvern::test::waitFor;

// Bounds a wait for something that takes milliseconds, on however busy a machine.
constexpr auto kLimit = 5s;

using Sensor = halvern::test::OwnedHandle<c_Iridel_destroy>;

ColorData colorOf(void* sensor) {
  ColorData color{};
  c_Iridel_getColor(sensor, &color);
  return color;
}

// Waits (generously) until the sensor holds a sample that satisfies the condition.
template <typename Condition>
ColorData waitForColor(void* sensor, Condition condition) {
  return halvern::test::waitForValue([&] { return colorOf(sensor); }, condition, kLimit);
}

// Waits until the simulated device received `count` command lines.
std::vector<std::string> waitForLines(const SimIridelUsb& device, std::size_t count) {
  return halvern::test::waitForLines(device, count, kLimit);
}

bool connected(void* sensor) { return c_Iridel_isConnected(sensor); }

// Waits until the sensor holds the last sample the simulator sent before it fell silent.
// Silences the sensor and returns the last sample the library took. Once everything sent was
// read and the sensor reads as disconnected (a silence of several sample times), no sample is
// still on its way, however late the reader ran.
ColorData silenceAndTakeLastSample(SimIridelUsb& device, void* sensor) {
  device.setSilent(true);
  EXPECT_TRUE(waitFor([&] { return device.allSentWasRead() && !connected(sensor); }, kLimit));
  return colorOf(sensor);
}

// Sends bytes that are not a sample and waits until the sensor's reader has taken them: it
// reads the sensor as connected again after a silence. Whatever the bytes changed has been
// changed by then.
void sendNonSampleAndWaitTillRead(SimIridelUsb& device, void* sensor, const std::string& bytes) {
  ASSERT_TRUE(waitFor([&] { return !connected(sensor); }, kLimit)) << "the sensor is silent";
  device.sendRaw(bytes);
  ASSERT_TRUE(waitFor([&] { return connected(sensor); }, kLimit)) << "the bytes were read";
}

TEST(IridelUsb, CreationConfiguresTheSensorAndRejectsBadPorts) {
  halvern::test::expectBadPortsRejected(
      c_Iridel_createUsb, 50, "[Iridel] Cannot open /dev/halvern-no-such-port (errno 2)\n");

  SimIridelUsb device;
  const Sensor sensor(c_Iridel_createUsb(device.devicePath().c_str(), 50));
  ASSERT_NE(sensor, nullptr);
  EXPECT_EQ(waitForLines(device, 2),
            (std::vector<std::string>{"COLORFORMAT,XYZ", "SAMPLETIME,50"}));
  EXPECT_EQ(c_Iridel_getTransport(sensor.get()), 1);
  EXPECT_EQ(c_Iridel_getCanID(sensor.get()), -1);

  // Without a sample time, only the format is sent: the next line is one sent later.
  SimIridelUsb other;
  const Sensor second(c_Iridel_createUsb(other.devicePath().c_str(), 0));
  ASSERT_NE(second, nullptr);
  ASSERT_TRUE(c_Iridel_setColorFormat(second.get(), 2));
  EXPECT_EQ(waitForLines(other, 2), (std::vector<std::string>{"COLORFORMAT,XYZ", "COLORFORMAT,SRGB"}));
}

TEST(IridelUsb, SamplesArriveWithARisingSequence) {
  SimIridelUsb device;
  device.setSilent(true);
  const Sensor sensor(c_Iridel_createUsb(device.devicePath().c_str(), 10));
  ASSERT_NE(sensor, nullptr);
  // Bytes that are no sample, once read, leave the sensor without one.
  sendNonSampleAndWaitTillRead(device, sensor.get(), "READY\r\n");
  const ColorData none = colorOf(sensor.get());
  EXPECT_FALSE(none.valid);
  EXPECT_EQ(none.sequence, 0);
  EXPECT_EQ(none.x, 0.0F);

  device.setSilent(false);
  const ColorData first = waitForColor(sensor.get(), [](const ColorData& c) { return c.valid; });
  ASSERT_TRUE(first.valid);
  EXPECT_FLOAT_EQ(first.x, 0.25F);
  EXPECT_FLOAT_EQ(first.y, 0.5F);
  EXPECT_FLOAT_EQ(first.z, 0.75F);
  const ColorData later = waitForColor(
      sensor.get(), [&](const ColorData& c) { return c.sequence >= first.sequence + 3; });
  EXPECT_GE(later.sequence, first.sequence + 3);

  device.setDistanceMode(true);
  device.setColor(0.1F, 0.2F, 0.3F);
  const ColorData fromDistanceLine =
      waitForColor(sensor.get(), [](const ColorData& c) { return c.x < 0.2F; });
  EXPECT_FLOAT_EQ(fromDistanceLine.z, 0.3F);
}

TEST(IridelUsb, BadLinesChangeNothingAndSplitLinesStillCount) {
  SimIridelUsb device;
  const Sensor sensor(c_Iridel_createUsb(device.devicePath().c_str(), 10));
  ASSERT_NE(sensor, nullptr);
  ASSERT_TRUE(waitForColor(sensor.get(), [](const ColorData& c) { return c.valid; }).valid);
  const ColorData before = silenceAndTakeLastSample(device, sensor.get());

  const std::string garbage = "garbage\n\xFF\xFE\x00\x01\nXYZ: 1, 2\nDIST: 5 XYZ: 1, 2, 3\nxyz:1,2,3\n";
  device.sendRaw(garbage);
  device.sendRaw(std::string(600, '7') + "\n");  // overlong: dropped at its 513th byte
  ASSERT_TRUE(waitFor([&] { return device.allSentWasRead(); }, kLimit));
  const ColorData after = colorOf(sensor.get());
  EXPECT_EQ(after.sequence, before.sequence);
  EXPECT_EQ(after.x, before.x);

  // Half a line, taken by the reader before the rest is sent.
  sendNonSampleAndWaitTillRead(device, sensor.get(), "XYZ: 9,\r ");
  device.sendRaw("8, 7\r\n");
  const ColorData split = waitForColor(
      sensor.get(), [&](const ColorData& c) { return c.sequence == before.sequence + 1; });
  EXPECT_EQ(split.sequence, before.sequence + 1);
  EXPECT_FLOAT_EQ(split.x, 9.0F);
  EXPECT_FLOAT_EQ(split.z, 7.0F);
}

TEST(IridelUsb, SettersSendTextAndCanOnlyOperationsRefuse) {
  SimIridelUsb device;
  const Sensor sensor(c_Iridel_createUsb(device.devicePath().c_str(), 0));
  ASSERT_NE(sensor, nullptr);
  EXPECT_TRUE(c_Iridel_setColorFormat(sensor.get(), 2));
  EXPECT_FALSE(c_Iridel_setColorFormat(sensor.get(), 5));
  EXPECT_TRUE(c_Iridel_setSampleTimeMs(sensor.get(), 70000));
  EXPECT_TRUE(c_Iridel_setSampleTimeMs(sensor.get(), -5));
  EXPECT_EQ(waitForLines(device, 4),
            (std::vector<std::string>{"COLORFORMAT,XYZ", "COLORFORMAT,SRGB", "SAMPLETIME,65535",
                                      "SAMPLETIME,0"}));

  uint32_t value = 0;
  EXPECT_FALSE(c_Iridel_setBrightness(sensor.get(), 10));
  EXPECT_FALSE(c_Iridel_setStatusLed(sensor.get(), true, 10));
  EXPECT_FALSE(c_Iridel_setMeasureMode(sensor.get(), 0, 0.0F));
  EXPECT_FALSE(c_Iridel_setZmm(sensor.get(), 1.0F));
  EXPECT_FALSE(c_Iridel_setUsbOverride(sensor.get(), true));
  EXPECT_FALSE(c_Iridel_setCanId(sensor.get(), 3));
  EXPECT_FALSE(c_Iridel_getConfig(sensor.get(), 1, &value));
  // None of them wrote a line: the next line the sensor gets is one sent afterwards.
  EXPECT_TRUE(c_Iridel_setColorFormat(sensor.get(), 0));
  EXPECT_EQ(waitForLines(device, 5),
            (std::vector<std::string>{"COLORFORMAT,XYZ", "COLORFORMAT,SRGB", "SAMPLETIME,65535",
                                      "SAMPLETIME,0", "COLORFORMAT,RGB"}));
}

TEST(IridelUsb, AnUnpluggedSensorKeepsItsLastSampleWithoutSpinning) {
  SimIridelUsb device;
  Sensor sensor(c_Iridel_createUsb(device.devicePath().c_str(), 10));
  ASSERT_NE(sensor, nullptr);
  const ColorData last = waitForColor(sensor.get(), [](const ColorData& c) { return c.valid; });
  ASSERT_TRUE(last.valid);
  device.unplug();
  std::this_thread::sleep_for(100ms);

  const auto idle = halvern::testing::cpuUseWhile([] { std::this_thread::sleep_for(1s); });
  // A spinning reader would burn about a whole core; an idle one a small fraction.
  EXPECT_LT(idle.cpu, idle.wall / 2);

  EXPECT_TRUE(colorOf(sensor.get()).valid);
  EXPECT_GE(colorOf(sensor.get()).sequence, last.sequence);
  const auto destroyStart = Clock::now();
  sensor.reset();
  EXPECT_LT(Clock::now() - destroyStart, kLimit);  // the reader stops instead of hanging
}

}  // namespace

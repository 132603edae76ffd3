// The reader's wait for received bytes: what ends it, and that a wake is never lost. The time
// limits only tell a wait that ended from one that hangs; the bench tool times the waits.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "core/SerialReadWaiter.h"
#include "core/SerialTransport.h"

#ifndef _WIN32
#include "PseudoTerminal.h"
#include "WaitFor.h"
#endif

namespace {

using namespace std::chrono_literals;
using namespace halvern::serial;  // NOLINT(google-build-using-namespace)
// Far longer than any wait here should take: a wait that reaches it hangs.
constexpr auto kHangs = 10s;

TEST(SerialReadWaiter, AWakeEndsTheWaitInProgressAndEveryLaterOne) {
  SerialReadWaiter waiter;
  EXPECT_FALSE(waiter.waitForWake(10ms));

  auto woken = std::async(std::launch::async, [&] { return waiter.waitForWake(kHangs); });
  std::this_thread::sleep_for(50ms);  // most likely waiting by now; a wake before counts too
  waiter.wake();
  EXPECT_TRUE(woken.get());

  // A wake is not used up by the wait it ended.
  EXPECT_TRUE(waiter.waitForWake(kHangs));
  waiter.wake();
  EXPECT_TRUE(waiter.waitForWake(0ms));
}

#ifndef _WIN32
using halvern::sim::PseudoTerminal;

class SerialReadWaiterOnPort : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(port.isOpen()); }

  // Waits until the port counts `count` bytes waiting: what the device sent has arrived.
  bool bytesArrived(int count) {
    return halvern::test::waitFor([&] { return SerialBytesWaiting(port.handle()) >= count; },
                                  kHangs);
  }

  PseudoTerminal device;
  SerialPort port{OpenSerialPort(device.devicePath(), kSensorBaudRate, "Iridel")};
  SerialReadWaiter waiter;
};

TEST_F(SerialReadWaiterOnPort, OnlyArrivingBytesOrAWakeEndTheWait) {
  // The wait records how many bytes were waiting when it ended: a wait that ended before the
  // bytes came would see none, however late the machine ran it.
  auto readiness = std::async(std::launch::async, [&] {
    const ReadReadiness ended = waiter.waitForBytes(port.handle());
    return std::pair(ended, SerialBytesWaiting(port.handle()));
  });
  EXPECT_EQ(readiness.wait_for(50ms), std::future_status::timeout);  // nothing yet: still waiting
  ASSERT_TRUE(device.send("XYZ:1,2,3\n"));
  ASSERT_EQ(readiness.wait_for(kHangs), std::future_status::ready);
  const auto [ended, waitingThen] = readiness.get();
  EXPECT_EQ(ended, ReadReadiness::BytesWaiting);
  EXPECT_GT(waitingThen, 0);

  std::array<uint8_t, 64> buffer{};
  const int count = ReadSerialBytes(port.handle(), buffer.data(), 64);
  EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + std::max(count, 0)), "XYZ:1,2,3\n");

  // A wake wins over bytes waiting, so a stopping reader does not go on reading.
  ASSERT_TRUE(device.send("late"));
  ASSERT_TRUE(bytesArrived(4));
  waiter.wake();
  EXPECT_EQ(waiter.waitForBytes(port.handle()), ReadReadiness::Woken);
}

TEST_F(SerialReadWaiterOnPort, AHungUpPortEndsEveryWaitAtOnce) {
  // Bytes left over from before the hang-up do not make it look readable: they went with it.
  ASSERT_TRUE(device.send("last line\n"));
  ASSERT_TRUE(bytesArrived(10));
  device.unplug();
  EXPECT_EQ(waiter.waitForBytes(port.handle()), ReadReadiness::PortGone);
  // And it says so at once every time, which is why the reader pauses between looks.
  EXPECT_EQ(waiter.waitForBytes(port.handle()), ReadReadiness::PortGone);
}
#endif

}  // namespace

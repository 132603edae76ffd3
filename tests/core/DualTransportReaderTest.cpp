// The USB reader thread of the device frame: it delivers what arrives, stops promptly whether
// it is idle or looking at a port that went away, and starts again after a stop, as a device
// that reads the port itself between readers needs. The time limits only tell a stop from a
// hang; the bench tool times the stops.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "core/DualTransportDevice.h"
#include "core/SerialTransport.h"

#ifdef _WIN32
#include <optional>

#include "RelayedSerialDevice.h"
#else
#include "PseudoTerminal.h"
#endif

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using halvern::DualTransportDevice;
using halvern::TransportKind;

// Far longer than a stop should take, on however busy a machine: a stop that reaches it hangs.
constexpr auto kHangs = 10s;

#ifdef _WIN32
// A device behind the COM port the run script mapped; unavailable outside that script.
class SimulatedPort {
 public:
  [[nodiscard]] bool available() const { return device && device->pluggedIn(); }
  [[nodiscard]] std::string path() const { return setup->devicePath; }
  bool send(std::string_view bytes) { return device->send(bytes); }
  void unplug() { device->unplug(); }

 private:
  std::optional<halvern::testing::SerialRelaySetup> setup =
      halvern::testing::serialRelayFromEnvironment();
  std::unique_ptr<halvern::testing::RelayedSerialDevice> device =
      setup ? std::make_unique<halvern::testing::RelayedSerialDevice>(setup->relayPort) : nullptr;
};
#else
class SimulatedPort {
 public:
  [[nodiscard]] bool available() const { return !device.devicePath().empty(); }
  [[nodiscard]] std::string path() const { return device.devicePath(); }
  bool send(std::string_view bytes) { return device.send(bytes); }
  void unplug() { device.unplug(); }

 private:
  halvern::sim::PseudoTerminal device;
};
#endif

// A USB device that keeps every byte its reader delivers.
class RecordingDevice final : public DualTransportDevice {
 public:
  explicit RecordingDevice(const std::string& path) : DualTransportDevice(TransportKind::USB, 0) {
    port.reset(halvern::serial::OpenSerialPort(path, halvern::serial::kSensorBaudRate, "Iridel"));
  }
  RecordingDevice(const RecordingDevice&) = delete;
  RecordingDevice& operator=(const RecordingDevice&) = delete;
  ~RecordingDevice() override { stopReader(); }

  using DualTransportDevice::startReader;
  using DualTransportDevice::stopReader;

  [[nodiscard]] bool isOpen() const { return port.isOpen(); }

  // Waits (generously) until the port counts `count` bytes received and not yet read.
  int waitForBytesWaiting(int count) {
    const auto deadline = Clock::now() + kHangs;
    int waiting = halvern::serial::SerialBytesWaiting(port.handle());
    while (waiting < count && Clock::now() < deadline) {
      std::this_thread::sleep_for(5ms);
      waiting = halvern::serial::SerialBytesWaiting(port.handle());
    }
    return waiting;
  }

  std::string received() {
    const std::lock_guard lock(sampleMutex);
    return bytes;
  }

  // Waits (generously) until the bytes received so far are `expected`; what they were.
  std::string waitForReceived(const std::string& expected) {
    const auto deadline = Clock::now() + kHangs;
    std::string sofar = received();
    while (sofar != expected && Clock::now() < deadline) {
      std::this_thread::sleep_for(5ms);
      sofar = received();
    }
    return sofar;
  }

 private:
  void onBytesReceived(const uint8_t* data, std::size_t count, int64_t /*arrivedUs*/) override {
    const std::lock_guard lock(sampleMutex);
    bytes.append(data, data + count);
  }

  std::string bytes;
};

// How long a stop of the device's reader took.
Clock::duration timeStop(RecordingDevice& device) {
  const auto start = Clock::now();
  device.stopReader();
  return Clock::now() - start;
}

class DualTransportReader : public testing::Test {
 protected:
  void SetUp() override {
    if (!simulated.available()) {
      GTEST_SKIP() << "No COM port mapped to a pseudo-terminal: run scripts/run-windows-tests.sh";
    }
    device = std::make_unique<RecordingDevice>(simulated.path());
    ASSERT_TRUE(device->isOpen());
  }

  SimulatedPort simulated;
  std::unique_ptr<RecordingDevice> device;
};

TEST_F(DualTransportReader, ARestartedReaderDeliversWhatCameWhileStoppedAndAfter) {
  device->startReader();
  ASSERT_TRUE(simulated.send("one "));
  EXPECT_EQ(device->waitForReceived("one "), "one ");

  device->stopReader();
  ASSERT_TRUE(simulated.send("two "));
  // A stopped reader leaves the port alone: the bytes arrive and wait there.
  EXPECT_EQ(device->waitForBytesWaiting(4), 4);
  EXPECT_EQ(device->received(), "one ");

  device->startReader();
  EXPECT_EQ(device->waitForReceived("one two "), "one two ");
  ASSERT_TRUE(simulated.send("three "));
  EXPECT_EQ(device->waitForReceived("one two three "), "one two three ");

  // Again: each start gets a reader that waits afresh, not one that stays woken.
  device->stopReader();
  device->startReader();
  ASSERT_TRUE(simulated.send("four"));
  EXPECT_EQ(device->waitForReceived("one two three four"), "one two three four");
}

TEST_F(DualTransportReader, StopsPromptlyWhenIdleAndWhenItsPortWentAway) {
  device->stopReader();  // none runs yet: harmless
  device->startReader();
  // Waiting for bytes by now: it delivered one and went back to waiting. (The stop must be
  // prompt wherever in its loop it finds the reader.)
  ASSERT_TRUE(simulated.send("x"));
  EXPECT_EQ(device->waitForReceived("x"), "x");
  EXPECT_LT(timeStop(*device), kHangs);
  device->stopReader();

  device->startReader();
  simulated.unplug();
  std::this_thread::sleep_for(100ms);  // most likely pausing between looks at the dead port
  EXPECT_LT(timeStop(*device), kHangs);
}

}  // namespace

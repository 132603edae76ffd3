// An Ordex controller recorded into a data log and replayed: the library logs what a simulated
// controller reported, what the program told it, its identity and its drop; a fresh simulated
// controller fed by the player then gives the library the same readings at the same times. And
// with logging switched off the library logs nothing and streams nothing.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "ReadingReplay.h"
#include "SimFerix.h"
#include "SimLogPlayer.h"
#include "SimOrdex.h"
#include "TestPlatform.h"
#include "WaitFor.h"
#include "core/HalPlatform.h"
#include "halvern/Ferix.h"
#include "halvern/Ordex.h"

namespace {

using namespace std::chrono_literals;
using namespace halvern::test::replay;  // NOLINT(google-build-using-namespace)
using halvern::sim::OrdexIdentity;
using halvern::sim::SimLogPlayer;
using halvern::sim::SimOrdex;
using halvern::test::entryNamed;
using halvern::test::kWaitLimit;
using halvern::test::waitFor;

constexpr int32_t kDevice = 5;
const std::string kDeviceName = "Ordex[5]";
// Long enough for several status frames of each value, so none is missed either way.
constexpr auto kHold = 150ms;

int64_t robotMicros() { return halvern::platform::robotTimeMicros(); }

class OrdexReplay : public testing::Test {
 protected:
  void SetUp() override { halvern::test::resetSimulation(); }
  void TearDown() override {
    c_closeI2C();
    c_Halvern_stopDataLog();
    halvern::test::resetSimulation();
  }
};

/** A controller of the library's, destroyed when the test leaves its scope, failing or not. */
class Controller {
 public:
  Controller() : handle(c_Ordex_create(kDevice, 1000)) {}
  ~Controller() {
    if (handle != 0) {
      c_Ordex_destroy(handle);
    }
  }
  Controller(const Controller&) = delete;
  Controller& operator=(const Controller&) = delete;

  const int32_t handle;
};

bool logged(const LibraryLogFile& log, const std::string& signal) {
  return !loggedValues(log, kDeviceName, signal).empty();
}

double readRpm(int32_t handle, int8_t motor) {
  OrdexReading reading{};
  c_Ordex_readRPM(handle, motor, &reading);
  return reading.value;
}

/** What the recording sets, step by step, and what the replay must give back. */
struct Step {
  double rpm;           // motor 0
  int32_t encoder;      // encoder 1
  double temperature;
  bool limitForward;    // motor 2's first switch
  double quorin;        // motor 3
};
constexpr std::array<Step, 4> kSteps{{{1000.25, 4103, 31.5, true, 1.5},
                                      {-2000.5, 8199, 33.0, false, 3.0},
                                      {3000.75, -12, 34.5, true, 4.5},
                                      {-4001.0, 16391, 36.0, false, 6.0}}};

void show(SimOrdex& sim, int32_t handle, const Step& step) {
  sim.setRpmOverride(0, step.rpm);
  sim.setEncoderCount(1, step.encoder);
  sim.setTemperatureOverride(step.temperature);
  sim.setLimitSwitch(2, false, step.limitForward);
  sim.setQuorinPosition(3, step.quorin);
  ASSERT_TRUE(waitFor([&] { return readRpm(handle, 0) == step.rpm; }, kWaitLimit));
  std::this_thread::sleep_for(kHold);
}

// The recorded signals the replay feeds back, as changes of their values.
struct Readings {
  std::vector<Change<double>> rpm, temperature, quorin;
  std::vector<Change<int64_t>> encoder;
  std::vector<Change<std::vector<bool>>> limitSwitches;
  std::vector<Change<bool>> connected;

  explicit Readings(const SimLogPlayer& log)
      : rpm(changesOf(log.values(kDeviceName, "Motor 0/RPM"), number)),
        temperature(changesOf(log.values(kDeviceName, "Temperature"), number)),
        quorin(changesOf(log.values(kDeviceName, "Motor 3/Quorin Position"), number)),
        encoder(changesOf(log.values(kDeviceName, "Motor 1/Encoder"), integer)),
        limitSwitches(changesOf(log.values(kDeviceName, "Motor 2/Limit Switches"), booleans)),
        connected(changesOf(log.values(kDeviceName, "Connected"), boolean)) {}

  static double number(const RecordedValue& value) { return value.number; }
  static int64_t integer(const RecordedValue& value) { return value.integer; }
  static std::vector<bool> booleans(const RecordedValue& value) { return value.booleans; }
  static bool boolean(const RecordedValue& value) { return value.boolean; }
};

TEST_F(OrdexReplay, ARecordedRunGivesTheSameReadingsAtTheSameTimesFromAFreshController) {
  LibraryLogFile recording("recorded");
  int64_t commandsFrom = 0;
  int64_t commandsUntil = 0;
  int64_t resumedAt = 0;
  {
    SimOrdex sim(kDevice);
    sim.setIdentity({.firmware = {2, 1, 7}, .hardwareKind = 2, .hardwareVersion = 4});
    sim.setSerialWords({0x0000ABCD, 0x12345678, 0xDEADBEEF});
    const Controller controller;
    const int32_t handle = controller.handle;
    ASSERT_NE(handle, 0);
    ASSERT_TRUE(waitFor([&] { return logged(recording, "Motor 0/RPM"); }, kWaitLimit));

    commandsFrom = robotMicros();
    c_Ordex_setMotorSpeed(handle, 0, 1.5);  // sent as full speed
    c_Ordex_setTargetVelocity(handle, 1, 1234.5F);
    c_Ordex_setCurrentLimit(handle, 2, 12.5F);
    c_Ordex_setTargetDistance(handle, 1, -4000);
    c_Ordex_setMotorStopMode(handle, 1);
    c_Ordex_disableMotor(handle, 3);
    c_Ordex_setMotorSpeed(handle, 4, 0.5);  // no such motor: nothing sent, nothing logged
    commandsUntil = robotMicros();

    ASSERT_TRUE(c_Ordex_requestIdentity(handle));
    OrdexIdentityInfo identity{};
    ASSERT_TRUE(waitFor([&] { return c_Ordex_tryGetIdentity(handle, &identity); }, kWaitLimit));
    EXPECT_EQ(c_Ordex_getSerialNumber(handle), "0000ABCD-12345678-DEADBEEF");

    for (const Step& step : kSteps) {
      show(sim, handle, step);
    }
    // A drop and a return, each once the library reads it (the log has it then too, but
    // WPILib's writer may hold it unwritten until the log closes).
    sim.setStatusSilent(true);
    ASSERT_TRUE(waitFor([&] { return !c_Ordex_isConnected(handle); }, kWaitLimit));
    // Silent a while past the limit: the log counts from the frames' own times.
    std::this_thread::sleep_for(std::chrono::milliseconds(ORDEX_CONNECTION_SILENCE_MS / 2));
    resumedAt = robotMicros();
    sim.setStatusSilent(false);
    ASSERT_TRUE(waitFor([&] { return c_Ordex_isConnected(handle); }, kWaitLimit));
    show(sim, handle, kSteps.front());
  }
  recording.finish();

  // Every signal an entry with its type and unit.
  const WpilogContents contents = recording.read();
  for (const auto& [signal, type, unit] :
       std::vector<std::tuple<std::string, std::string, std::string>>{
           {"Motor 0/RPM", "double", "rpm"},
           {"Motor 1/Encoder", "int64", "counts"},
           {"Motor 0/Target RPM", "double", "rpm"},
           {"Motor 2/Limit Switches", "boolean[]", ""},
           {"Motor 3/Quorin Position", "double", ""},
           {"Temperature", "double", "degC"},
           {"Frequency", "int64", "Hz"},
           {"Connected", "boolean", ""},
           {"Device ID", "int64", ""},
           {"Firmware Version", "string", ""},
           {"Hardware", "string", ""},
           {"Hardware Version", "int64", ""},
           {"Serial Number", "string", ""},
           {"Motor 0/Duty Cycle", "double", ""},
           {"Motor 1/Target Velocity", "double", "rpm"},
           {"Motor 1/Target Distance", "int64", "counts"},
           {"Motor 2/Current Limit", "double", "A"},
           {"Motor 3/Disable", "boolean", ""},
           {"Motor 3/Configured Frequency", "int64", "Hz"},
           {"Stop Mode", "int64", ""}}) {
    expectEntry(contents, kDeviceName, signal, type, unit);
  }
  EXPECT_EQ(entryNamed(contents, "Halvern/" + kDeviceName + "/Motor 4/Duty Cycle"), nullptr);

  const SimLogPlayer recorded(recording.read());
  // The commands, as sent, at their calls' times.
  const auto onlyCommand = [&](const std::string& signal) {
    const auto values = recorded.values(kDeviceName, signal);
    EXPECT_EQ(values.size(), 1U) << signal;
    if (!values.empty()) {
      EXPECT_GE(values.front().timestamp, commandsFrom) << signal;
      EXPECT_LE(values.front().timestamp, commandsUntil) << signal;
    }
    return values.empty() ? RecordedValue{} : values.front();
  };
  EXPECT_EQ(onlyCommand("Motor 0/Duty Cycle").number, 1.0);
  EXPECT_EQ(onlyCommand("Motor 1/Target Velocity").number, 1234.5);
  EXPECT_EQ(onlyCommand("Motor 2/Current Limit").number, 12.5);
  EXPECT_EQ(onlyCommand("Motor 1/Target Distance").integer, -4000);
  EXPECT_EQ(onlyCommand("Stop Mode").integer, 1);
  EXPECT_TRUE(onlyCommand("Motor 3/Disable").boolean);
  for (int m = 0; m < 4; ++m) {  // at creation
    const auto frequency = recorded.values(kDeviceName, "Motor " + std::to_string(m) + "/Configured Frequency");
    ASSERT_EQ(frequency.size(), 1U);
    EXPECT_EQ(frequency.front().integer, 1000);
  }
  // The identity once.
  const auto once = [&](const std::string& signal) {
    const auto values = recorded.values(kDeviceName, signal);
    EXPECT_EQ(values.size(), 1U) << signal;
    return values.empty() ? RecordedValue{} : values.front();
  };
  EXPECT_EQ(once("Device ID").integer, kDevice);
  EXPECT_EQ(once("Firmware Version").text, "2.1.7");
  EXPECT_EQ(once("Hardware").text, "Ordex Small");
  EXPECT_EQ(once("Hardware Version").integer, 4);
  EXPECT_EQ(once("Serial Number").text, "0000ABCD-12345678-DEADBEEF");

  // The readings: the simulator's own values first, then each step's.
  const Readings recordedReadings(recorded);
  std::vector<double> rpms{0.0};
  for (const Step& step : kSteps) {
    rpms.push_back(step.rpm);
  }
  rpms.push_back(kSteps.front().rpm);
  EXPECT_EQ(valuesOf(recordedReadings.rpm), rpms);
  ASSERT_FALSE(recordedReadings.connected.empty());
  EXPECT_TRUE(recordedReadings.connected.front().value);

  // Replayed into a fresh controller, logged again.
  LibraryLogFile replaying("replayed");
  SimLogPlayer player(recording.path());
  ASSERT_EQ(player.error(), "");
  SimOrdex sim(kDevice);
  player.attach(sim);
  std::optional<Controller> controller(std::in_place);
  const int32_t handle = controller->handle;
  ASSERT_NE(handle, 0);
  ASSERT_TRUE(waitFor([&] { return logged(replaying, "Motor 0/RPM"); }, kWaitLimit));
  player.start();
  const auto span = std::chrono::microseconds(player.lastMicros() - player.firstMicros());
  ASSERT_TRUE(waitFor([&] { return player.finished(); }, kWaitLimit + span));
  // Until the library reads the recording's last step, connected again, and has taken the
  // frames behind it into the log (on the heartbeat's turns).
  ASSERT_TRUE(waitFor(
      [&] {
        return readRpm(handle, 0) == kSteps.front().rpm && c_Ordex_isConnected(handle);
      },
      kWaitLimit));
  const std::size_t heartbeats = sim.heartbeats().size();
  ASSERT_TRUE(waitFor([&] { return sim.heartbeats().size() >= heartbeats + 2; }, kWaitLimit));
  // The identity and serial number it answers are the recorded ones.
  ASSERT_TRUE(c_Ordex_requestIdentity(handle));
  OrdexIdentityInfo identity{};
  ASSERT_TRUE(waitFor([&] { return c_Ordex_tryGetIdentity(handle, &identity); }, kWaitLimit));
  EXPECT_EQ(identity.deviceId, kDevice);
  EXPECT_STREQ(identity.firmwareText, "Firmware Version: [2.1.7]");
  EXPECT_STREQ(identity.hardwareText, "Hardware: Ordex Small, Version: 4");
  EXPECT_EQ(c_Ordex_getSerialNumber(handle), "0000ABCD-12345678-DEADBEEF");
  controller.reset();
  replaying.finish();

  const Readings replayed{SimLogPlayer(replaying.read())};
  const int64_t offset = player.clockOffsetMicros();
  expectReplayed(recordedReadings.rpm, replayed.rpm, offset, "Motor 0/RPM");
  expectReplayed(recordedReadings.encoder, replayed.encoder, offset, "Motor 1/Encoder");
  expectReplayed(recordedReadings.temperature, replayed.temperature, offset, "Temperature");
  expectReplayed(recordedReadings.limitSwitches, replayed.limitSwitches, offset,
                 "Motor 2/Limit Switches");
  expectReplayed(recordedReadings.quorin, replayed.quorin, offset, "Motor 3/Quorin Position");
  expectDropReplayed(recordedReadings.connected, replayed.connected, resumedAt, offset,
                     std::chrono::milliseconds(ORDEX_CONNECTION_SILENCE_MS));
}

// With the log switched off: no stream of frames before it is on, none after it is off, and no
// value of any device logged after it.
TEST_F(OrdexReplay, NothingIsLoggedOrStreamedWhileLoggingIsOff) {
  const auto board = halvern::sim::SimFerixConverter::attach();
  ASSERT_TRUE(c_initializeI2C(5));
  ASSERT_TRUE(c_Ferix_startConversions());
  SimOrdex sim(kDevice);
  std::optional<Controller> controller(std::in_place);
  const int32_t handle = controller->handle;
  ASSERT_NE(handle, 0);
  const auto heartbeatsFrom = [&](std::size_t count) {
    return waitFor([&] { return sim.heartbeats().size() >= count; }, kWaitLimit);
  };
  ASSERT_TRUE(heartbeatsFrom(sim.heartbeats().size() + 2));
  EXPECT_EQ(halvern::sim::openStreamSessionCount(), 0);

  LibraryLogFile log("switched");
  ASSERT_TRUE(waitFor([&] { return halvern::sim::openStreamSessionCount() == 1; }, kWaitLimit));
  ASSERT_TRUE(waitFor(
      [&] {
        return logged(log, "Motor 0/RPM") &&
               !loggedValues(log, "Ferix[1,72]", "Input 0/Raw").empty();
      },
      kWaitLimit));
  c_Halvern_stopDataLog();
  const int64_t stoppedAt = robotMicros();
  ASSERT_TRUE(waitFor([&] { return halvern::sim::openStreamSessionCount() == 0; }, kWaitLimit));

  // Commands, readings and a drop, none of them logged.
  c_Ordex_setMotorSpeed(handle, 0, 0.5);
  c_Ordex_setMotorStopMode(handle, 1);
  sim.setRpmOverride(0, 100.0);
  board->setInputVoltage(0, 1.0);
  ASSERT_TRUE(waitFor([&] { return readRpm(handle, 0) == 100.0; }, kWaitLimit));
  ASSERT_TRUE(heartbeatsFrom(sim.heartbeats().size() + 3));
  FerixReading reading{};
  ASSERT_TRUE(waitFor([&] { return c_Ferix_getLatest(0, &reading) && reading.raw == 1000; },
                      kWaitLimit));
  board->unplug();
  ASSERT_TRUE(waitFor([] { return !c_Ferix_isConnected(); }, kWaitLimit));
  controller.reset();
  c_closeI2C();

  // Read once the log is released: WPILib's writer writes out only whole blocks before that.
  log.finish();
  const WpilogContents contents = log.read();
  std::size_t values = 0;
  for (const auto& record : contents.records) {
    if (const auto* data = std::get_if<halvern::sim::replay::WpilogData>(&record.content)) {
      ++values;
      EXPECT_LE(record.timestamp, stoppedAt) << contents.entries.at(data->entry).name;
    }
  }
  EXPECT_GT(values, 0U);
  // Every entry the library started was finished when it stopped.
  for (const WpilogEntry& entry : contents.entries) {
    EXPECT_TRUE(entry.finished) << entry.name;
  }
}

}  // namespace

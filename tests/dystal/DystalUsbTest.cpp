// The distance sensor on a simulated USB serial port, through the library's C face.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ByteRuns.h"
#include "CpuUse.h"
#include "DystalReadings.h"
#include "ProcessEntries.h"
#include "SimDystal.h"
#include "UsbCreation.h"
#include "WaitFor.h"
#include "halvern/Dystal.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using halvern::sim::SimDystalUsb;
using halvern::test::waitFor;
using Bytes = std::vector<uint8_t>;
using halvern::testing::joined;
using namespace halvern::test::dystal;  // NOLINT(google-build-using-namespace)
using Lines = std::vector<std::string>;

const Lines kStartupLines{"GETCONFIG", "VERBOSE,0", "DATAFORMAT,BIN"};

// Bounds a wait for something that takes milliseconds, on however busy a machine.
constexpr auto kLimit = 5s;

void expectEmpty(const DystalScanData& scan) {
  EXPECT_EQ(scan.sequence, 0);
  EXPECT_EQ(scan.count, 0);
  EXPECT_EQ(firstDistances(scan, DYSTAL_MAX_DISTANCES), Distances(DYSTAL_MAX_DISTANCES, 0));
}

// How far a sequence number moved on, across its wrap at 255.
int advance(uint8_t from, uint8_t to) { return static_cast<uint8_t>(to - from); }

// Waits (generously) until the sensor holds a reading that satisfies the condition.
template <typename Condition>
DystalScanData waitForReading(void* sensor, Condition condition) {
  return halvern::test::waitForValue([&] { return readingOf(sensor); }, condition, kLimit);
}

// Waits for the simulator's first full reading (left in `first`) and three more after it.
void expectReadingsWithARisingSequence(void* sensor, DystalScanData& first) {
  first = waitForReading(sensor, [](const DystalScanData& s) { return s.count > 0; });
  ASSERT_EQ(first.count, 64);
  EXPECT_EQ(firstDistances(first, 64), halvern::sim::defaultDystalDistances());
  const DystalScanData later = waitForReading(
      sensor, [&](const DystalScanData& s) { return advance(first.sequence, s.sequence) >= 3; });
  EXPECT_GE(advance(first.sequence, later.sequence), 3);
}

DystalScanData waitForSequence(void* sensor, uint8_t sequence) {
  return waitForReading(
      sensor, [&](const DystalScanData& s) { return s.count > 0 && s.sequence == sequence; });
}

// Waits until the simulated sensor received `count` command lines.
Lines waitForLines(const SimDystalUsb& device, std::size_t count) {
  return halvern::test::waitForLines(device, count, kLimit);
}

// Waits until the sensor's reader has read every byte the simulator sent: what they changed
// has been changed by then, but for the block the reader handles last.
bool allSentWasRead(const SimDystalUsb& device) {
  return waitFor([&] { return device.allSentWasRead(); }, kLimit);
}

long configRequests(const SimDystalUsb& device) {
  const Lines lines = device.receivedLines();
  return std::count(lines.begin(), lines.end(), "GETCONFIG");
}

// A frame header with the given length field (the bytes after it), as a sender might get it wrong.
Bytes frameHeader(uint16_t length, uint8_t type, uint8_t sequence, uint8_t count, uint8_t flags) {
  return {0xA5,
          0x5A,
          static_cast<uint8_t>(length & 0xFFU),
          static_cast<uint8_t>(length >> 8U),
          type,
          sequence,
          count,
          flags};
}

TEST(DystalUsb, CreationSwitchesTheSensorToBinaryOutputAndRejectsBadPorts) {
  halvern::test::expectBadPortsRejected(
      c_Dystal_createUsb, 30, "[Dystal] Cannot open /dev/halvern-no-such-port (errno 2)\n");

  SimDystalUsb device;
  const Sensor sensor(c_Dystal_createUsb(device.devicePath().c_str(), 30));
  ASSERT_NE(sensor, nullptr);
  EXPECT_EQ(waitForLines(device, 4), (Lines{"GETCONFIG", "VERBOSE,0", "DATAFORMAT,BIN", "ODR,30"}));
  EXPECT_EQ(device.outputDataRate(), 30);
  EXPECT_EQ(c_Dystal_getTransport(sensor.get()), 1);
  EXPECT_EQ(c_Dystal_getCanID(sensor.get()), -1);

  // Without a rate, the sensor keeps its own.
  for (const int noRate : {0, -5}) {
    SimDystalUsb other;
    const Sensor second(c_Dystal_createUsb(other.devicePath().c_str(), noRate));
    ASSERT_NE(second, nullptr);
    // No rate line: the next line the sensor gets is the configuration request sent later.
    EXPECT_EQ(configOf(second.get(), kAnsweredConfigLimitMs).valid, 1);
    Lines expected = kStartupLines;
    expected.emplace_back("GETCONFIG");
    EXPECT_EQ(waitForLines(other, expected.size()), expected) << "rate " << noRate;
    EXPECT_EQ(other.outputDataRate(), SimDystalUsb::kDefaultOutputDataRate);
  }
}

TEST(DystalUsb, ReadingsArriveWithARisingSequence) {
  SimDystalUsb device;
  device.setSilent(true);
  const Sensor sensor(c_Dystal_createUsb(device.devicePath().c_str(), 100));
  ASSERT_NE(sensor, nullptr);
  // Bytes that are no frame, once read, leave the sensor without a reading.
  device.sendRaw({'I', 'N', 'F', 'O', '\r', '\n'});
  ASSERT_TRUE(allSentWasRead(device));
  expectEmpty(readingOf(sensor.get()));

  device.setSilent(false);
  DystalScanData first{};
  ASSERT_NO_FATAL_FAILURE(expectReadingsWithARisingSequence(sensor.get(), first));

  const DystalScanData part = readingOf(sensor.get(), 10);
  EXPECT_EQ(part.count, 10);
  EXPECT_EQ(firstDistances(part, 10), firstDistances(first, 10));
  for (int k = 10; k < DYSTAL_MAX_DISTANCES; ++k) {
    EXPECT_EQ(part.distance[k], 0) << "at " << k;
  }
  expectEmpty(readingOf(sensor.get(), 0));
  expectEmpty(readingOf(sensor.get(), -3));
  EXPECT_EQ(readingOf(sensor.get(), 100).count, 64);

  device.setDistances({120, -1, 340});
  const DystalScanData fewer =
      waitForReading(sensor.get(), [](const DystalScanData& s) { return s.distance[0] == 120; });
  EXPECT_EQ(fewer.count, 3);
  EXPECT_EQ(firstDistances(fewer, 3), (Distances{120, -1, 340}));
}

// Readings of different lengths and values, so a reading pieced together from two frames (a
// count from one and distances from another, or distances from both) matches none of them.
std::vector<Distances> distinctReadings() {
  std::vector<Distances> readings;
  for (const int count : {64, 5, 37, 1, 64}) {
    Distances reading;
    const auto base = static_cast<int>(1000 * (readings.size() + 1));
    for (int zone = 0; zone < count; ++zone) {
      reading.push_back(static_cast<int16_t>(base + zone));
    }
    readings.push_back(reading);
  }
  return readings;
}

TEST(DystalUsb, ReadingsTakenWhileFramesStreamAreNeverTorn) {
  const std::vector<Distances> sent = distinctReadings();
  SimDystalUsb device;
  device.setDistances(sent.front());
  const Sensor sensor(c_Dystal_createUsb(device.devicePath().c_str(), 250));
  ASSERT_NE(sensor, nullptr);
  const DystalScanData first =
      waitForReading(sensor.get(), [](const DystalScanData& s) { return s.count > 0; });
  ASSERT_EQ(first.count, 64);

  // The test thread reads as fast as it can while the sensor's reader stores frame after frame,
  // and the sensor switches to another reading every millisecond.
  const auto start = Clock::now();
  const auto deadline = start + 10s;
  std::size_t current = 0;
  auto nextSwitch = start;
  std::set<std::size_t> seenReadings;
  std::set<uint8_t> seenSequences;
  uint8_t lastSequence = first.sequence;
  // The simulator numbers its frames 1, 2, 3 ... modulo 256 and counts them: the frame a reading
  // came from, counted from the first, is known as long as fewer than 256 went out between two
  // reads.
  const auto frameNumberOf = [](uint8_t sequence, int sentByNow) {
    return sentByNow - static_cast<uint8_t>(static_cast<uint8_t>(sentByNow) - sequence);
  };
  int lastFrame = frameNumberOf(first.sequence, device.framesSent());
  long reads = 0;
  while (Clock::now() < deadline &&
         (Clock::now() - start < 300ms || seenReadings.size() < sent.size() ||
          seenSequences.size() < 20)) {
    if (Clock::now() >= nextSwitch) {
      current = (current + 1) % sent.size();
      device.setDistances(sent[current]);
      nextSwitch = Clock::now() + 1ms;
    }
    // Whole readings and their first few distances, in turn.
    const int asked = reads % 2 == 0 ? DYSTAL_MAX_DISTANCES : 3;
    const DystalScanData scan = readingOf(sensor.get(), asked);
    ++reads;
    const auto match = std::find_if(sent.begin(), sent.end(), [&](const Distances& reading) {
      const int expected = std::min<int>(asked, static_cast<int>(reading.size()));
      return scan.count == expected && firstDistances(scan, expected) ==
                                           Distances(reading.begin(), reading.begin() + expected);
    });
    ASSERT_TRUE(match != sent.end())
        << "read " << reads << ": sequence " << int{scan.sequence} << ", count " << scan.count
        << ", distances " << testing::PrintToString(firstDistances(scan, 64));
    for (int k = scan.count; k < DYSTAL_MAX_DISTANCES; ++k) {
      ASSERT_EQ(scan.distance[k], 0) << "read " << reads << " at " << k;
    }
    // The sequence only ever moves on, and never past the frames sent by now. (When 256 or more
    // went out between two reads, as a stalled test thread may see, the sequence cannot tell.)
    const int sentByNow = device.framesSent();
    int frame = lastFrame + advance(lastSequence, scan.sequence);
    if (sentByNow - lastFrame < 256) {
      ASSERT_LE(frame, sentByNow) << "read " << reads << ": from " << int{lastSequence} << " to "
                                  << int{scan.sequence} << ", " << sentByNow << " frames sent";
    } else {
      frame = frameNumberOf(scan.sequence, sentByNow);
    }
    lastFrame = frame;
    lastSequence = scan.sequence;
    seenReadings.insert(static_cast<std::size_t>(match - sent.begin()));
    seenSequences.insert(scan.sequence);
  }
  EXPECT_EQ(seenReadings.size(), sent.size()) << reads << " reads";
  EXPECT_GE(seenSequences.size(), 20U) << reads << " reads";
}

TEST(DystalUsb, DamagedAndForeignFramesAreSkipped) {
  SimDystalUsb device;
  device.setSilent(true);
  const Sensor sensor(c_Dystal_createUsb(device.devicePath().c_str(), 100));
  ASSERT_NE(sensor, nullptr);

  // Text, binary noise and half a sync before a frame.
  const std::string text = "INFO,BOOT\r\n";
  device.sendRaw(joined({Bytes(text.begin(), text.end()), Bytes{0x00, 0xFF, 0x5A, 0xA5, 0x00, 0x13},
                         SimDystalUsb::distanceFrame(10, {1, 2, 3})}));
  const DystalScanData afterNoise = waitForSequence(sensor.get(), 10);
  EXPECT_EQ(afterNoise.count, 3);
  EXPECT_EQ(firstDistances(afterNoise, 3), (Distances{1, 2, 3}));

  // A length too small for any frame: the frame right behind it still counts. (Decoding may
  // wait for the next bytes after such a length; a sensor that keeps talking sends them.)
  device.setChatty(true);
  device.sendRaw(joined({frameHeader(2, 1, 11, 3, 1), SimDystalUsb::distanceFrame(12, {4, 5, 6})}));
  EXPECT_EQ(firstDistances(waitForSequence(sensor.get(), 12), 3), (Distances{4, 5, 6}));
  device.setChatty(false);

  // Whole frames that carry no distances: another type, the flag clear, too short for the count.
  device.sendRaw(joined({frameHeader(6, 2, 13, 1, 1), Bytes{7, 0}, frameHeader(6, 1, 14, 1, 0),
                         Bytes{7, 0}, frameHeader(8, 1, 15, 5, 1), Bytes{7, 0, 7, 0}}));
  ASSERT_TRUE(allSentWasRead(device));
  EXPECT_EQ(readingOf(sensor.get()).sequence, 12);

  // Padding after the distances belongs to the frame, even when it looks like a frame itself.
  const Bytes inner = SimDystalUsb::distanceFrame(99, {99});
  device.sendRaw(joined(
      {frameHeader(static_cast<uint16_t>(6 + inner.size()), 1, 17, 1, 1), Bytes{17, 0}, inner}));
  waitForReading(sensor.get(),
                 [](const DystalScanData& s) { return s.sequence == 17 || s.sequence == 99; });
  ASSERT_TRUE(allSentWasRead(device));
  const DystalScanData padded = readingOf(sensor.get());
  EXPECT_EQ(padded.sequence, 17);
  EXPECT_EQ(firstDistances(padded, padded.count), (Distances{17}));

  // A frame cut in two with a pause between its halves.
  const Bytes whole = SimDystalUsb::distanceFrame(18, {18, 18});
  device.sendRaw(Bytes(whole.begin(), whole.begin() + 5));
  ASSERT_TRUE(allSentWasRead(device));  // the first half is read before the second is sent
  EXPECT_EQ(readingOf(sensor.get()).sequence, 17);
  device.sendRaw(Bytes(whole.begin() + 5, whole.end()));
  EXPECT_EQ(firstDistances(waitForSequence(sensor.get(), 18), 2), (Distances{18, 18}));

  // More distances than a reading holds: the reading keeps to 64.
  Bytes overlong = frameHeader(4 + 2 * 70, 1, 19, 70, 1);
  for (int k = 0; k < 70; ++k) {
    overlong.insert(overlong.end(), {static_cast<uint8_t>(k), 0});
  }
  device.sendRaw(joined({overlong, SimDystalUsb::distanceFrame(20, {20})}));
  waitForSequence(sensor.get(), 20);
  EXPECT_LE(readingOf(sensor.get()).count, 64);

  // The sensor's own stream, every frame split.
  device.setSplitFrames(true);
  device.setSilent(false);
  const DystalScanData split = waitForReading(
      sensor.get(), [](const DystalScanData& s) { return s.count == 64 && s.sequence >= 3; });
  EXPECT_GE(split.sequence, 3);
  EXPECT_EQ(firstDistances(split, 64), halvern::sim::defaultDystalDistances());
}

TEST(DystalUsb, AnOverfullBufferKeepsOnlyItsNewestBytes) {
  SimDystalUsb device;
  device.setSilent(true);
  const Sensor sensor(c_Dystal_createUsb(device.devicePath().c_str(), 0));
  ASSERT_NE(sensor, nullptr);

  // A header announcing 65535 more bytes, then 9000 bytes without a sync: the good frame behind
  // them lies inside the announced frame, so only dropping the oldest buffered bytes frees it.
  device.sendRaw(joined({frameHeader(0xFFFF, 1, 41, 64, 1), Bytes(9000, 'g'),
                         SimDystalUsb::distanceFrame(42, {42, 43})}));
  const DystalScanData freed = waitForSequence(sensor.get(), 42);
  EXPECT_EQ(freed.sequence, 42);
  EXPECT_EQ(firstDistances(freed, 2), (Distances{42, 43}));

  device.sendRaw(SimDystalUsb::distanceFrame(43, {43}));
  EXPECT_EQ(waitForSequence(sensor.get(), 43).sequence, 43);
}

TEST(DystalUsb, AnUnpluggedSensorKeepsItsLastReadingWithoutSpinning) {
  SimDystalUsb device;
  Sensor sensor(c_Dystal_createUsb(device.devicePath().c_str(), 100));
  ASSERT_NE(sensor, nullptr);
  const DystalScanData last =
      waitForReading(sensor.get(), [](const DystalScanData& s) { return s.count > 0; });
  ASSERT_EQ(last.count, 64);
  device.unplug();
  std::this_thread::sleep_for(100ms);
  const uint8_t lastSequence = readingOf(sensor.get()).sequence;

  const auto idle = halvern::testing::cpuUseWhile([] { std::this_thread::sleep_for(1s); });
  // A spinning reader would burn about a whole core; an idle one a small fraction.
  EXPECT_LT(idle.cpu, idle.wall / 2);

  const DystalScanData kept = readingOf(sensor.get());
  EXPECT_EQ(kept.count, 64);
  EXPECT_EQ(firstDistances(kept, 64), halvern::sim::defaultDystalDistances());
  EXPECT_EQ(kept.sequence, lastSequence);
  const auto destroyStart = Clock::now();
  sensor.reset();
  EXPECT_LT(Clock::now() - destroyStart, kLimit);  // the reader stops instead of hanging
}

TEST(DystalUsb, TheConfigurationIsReadWhileFramesStream) {
  SimDystalUsb device;
  const Sensor sensor(c_Dystal_createUsb(device.devicePath().c_str(), 100));
  ASSERT_NE(sensor, nullptr);
  ASSERT_GT(waitForReading(sensor.get(), [](const DystalScanData& s) { return s.count > 0; }).count,
            0);

  const DystalConfig config = configOf(sensor.get(), kAnsweredConfigLimitMs);
  // The reply's text is not interpreted: the sensor answering is what the record says.
  // Version 0, distance on, FD and BRS off, CAN ID 0.
  EXPECT_EQ(describe(config), describe(DystalConfig{0, 1, 0, 0, 0, 1}));
  EXPECT_EQ(configRequests(device), 2);  // creation's and this one

  // Pieces of frames read as lines are no answer.
  device.setConfigSilent(true);
  expectInvalid(configOf(sensor.get(), 300));

  // The reader is back: readings go on.
  const DystalScanData after = readingOf(sensor.get());
  const DystalScanData resumed = waitForReading(sensor.get(), [&](const DystalScanData& s) {
    return advance(after.sequence, s.sequence) >= 3;
  });
  EXPECT_GE(advance(after.sequence, resumed.sequence), 3);
  EXPECT_EQ(resumed.count, 64);
}

TEST(DystalUsb, ANonAnswerGivesAnInvalidConfigurationAndReadingGoesOn) {
  SimDystalUsb device;
  device.setSilent(true);
  device.setConfigSilent(true);
  const Sensor sensor(c_Dystal_createUsb(device.devicePath().c_str(), 100));
  ASSERT_NE(sensor, nullptr);

  auto start = Clock::now();
  expectInvalid(configOf(sensor.get(), 100));
  auto waited = Clock::now() - start;
  EXPECT_GE(waited, 95ms);
  EXPECT_LT(waited, kLimit);  // it gives up rather than hanging

  start = Clock::now();
  expectInvalid(configOf(sensor.get(), 0));  // no time-out given: the default half second
  waited = Clock::now() - start;
  EXPECT_GE(waited, 450ms);
  EXPECT_LT(waited, kLimit);

  // An empty line is no answer either.
  const long asked = configRequests(device);
  DystalConfig emptyReply{};
  std::thread reader([&] { emptyReply = configOf(sensor.get(), 1000); });
  const auto deadline = Clock::now() + kLimit;
  while (configRequests(device) == asked && Clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  device.sendRaw({'\r', '\n'});
  reader.join();
  {
    SCOPED_TRACE("an empty reply line");
    expectInvalid(emptyReply);
  }

  device.setSilent(false);
  EXPECT_EQ(waitForReading(sensor.get(), [](const DystalScanData& s) { return s.count > 0; }).count,
            64);
}

TEST(DystalUsb, ASensorThatNeverPausesStillComesUp) {
  SimDystalUsb device;
  device.setChatty(true);
  const auto start = Clock::now();
  const Sensor sensor(c_Dystal_createUsb(device.devicePath().c_str(), 50));
  EXPECT_LT(Clock::now() - start, 5s);
  ASSERT_NE(sensor, nullptr);
  EXPECT_EQ(waitForLines(device, 4), (Lines{"GETCONFIG", "VERBOSE,0", "DATAFORMAT,BIN", "ODR,50"}));

  DystalScanData first{};
  ASSERT_NO_FATAL_FAILURE(expectReadingsWithARisingSequence(sensor.get(), first));
  EXPECT_EQ(configOf(sensor.get(), kAnsweredConfigLimitMs).valid, 1);
}

TEST(DystalUsb, CreateDestroyCyclesLeaveNoThreadOrDescriptorBehind) {
  // Several sensors side by side, so the cycles also run concurrently.
  constexpr int kSensors = 8;
  constexpr int kCyclesEach = 25;
  std::vector<std::unique_ptr<SimDystalUsb>> devices;
  for (int i = 0; i < kSensors; ++i) {
    devices.push_back(std::make_unique<SimDystalUsb>());
    // A streaming sensor never pauses for the creation's drains; a quiet one keeps cycles short.
    devices.back()->setSilent(true);
  }
  const auto before = halvern::testing::entriesBefore();

  std::vector<std::thread> workers;
  workers.reserve(devices.size());
  for (const auto& device : devices) {
    workers.emplace_back([&device] {
      for (int cycle = 0; cycle < kCyclesEach; ++cycle) {
        const Sensor sensor(c_Dystal_createUsb(device->devicePath().c_str(), cycle % 2 * 100));
        EXPECT_NE(sensor, nullptr) << device->devicePath() << " cycle " << cycle;
        readingOf(sensor.get());
      }
    });
  }
  for (std::thread& worker : workers) {
    worker.join();
  }
  EXPECT_EQ(halvern::testing::entriesSettledAt(before), before);
}

}  // namespace

namespace {

DystalReading latestOf(void* sensor, int count = DYSTAL_MAX_DISTANCES) {
  DystalReading reading{};
  EXPECT_EQ(c_Dystal_getLatest(sensor, &reading, count), &reading);
  return reading;
}

// Polls `read` until `done` holds of its value, for up to 5 s; the last value.
template <typename Read, typename Done>
auto pollUntil(Read read, Done done) {
  const auto giveUp = Clock::now() + kLimit;
  auto value = read();
  while (!done(value) && Clock::now() < giveUp) {
    std::this_thread::sleep_for(1ms);
    value = read();
  }
  return value;
}

TEST(DystalUsbLatest, FramesCarryTheMomentTheyArrivedAndTheConnectionFollowsThem) {
  SimDystalUsb device;
  device.setDistances({300, -1, 302});
  const Sensor sensor(c_Dystal_createUsb(device.devicePath().c_str(), 50));
  ASSERT_NE(sensor, nullptr);
  const auto isConnected = [&] { return c_Dystal_isConnected(sensor.get()); };
  EXPECT_TRUE(c_Dystal_startGathering(sensor.get()));  // the reader does it already

  const DystalReading first = pollUntil([&] { return latestOf(sensor.get()); },
                                        [](const DystalReading& r) { return r.count > 0; });
  EXPECT_EQ(first.count, 3);
  EXPECT_EQ(Distances(first.distance, first.distance + 3), (Distances{300, -1, 302}));
  EXPECT_TRUE(pollUntil(isConnected, [](bool on) { return on; }));
  const DystalReading later =
      pollUntil([&] { return latestOf(sensor.get()); },
                [&](const DystalReading& r) { return r.sequence != first.sequence; });
  EXPECT_GT(later.timestampUs, first.timestampUs);

  // Silenced: the last frame's stamp is no earlier than the simulator's sending it, and the
  // sensor reads disconnected.
  device.setSilent(true);
  EXPECT_FALSE(pollUntil(isConnected, [](bool on) { return !on; }));
  const DystalReading last =
      pollUntil([&] { return latestOf(sensor.get()); },
                [&](const DystalReading& r) { return r.sequence == device.lastSequence(); });
  ASSERT_EQ(last.sequence, device.lastSequence());
  EXPECT_GE(last.timestampUs, static_cast<int64_t>(device.lastFrameSentMicros()));
  EXPECT_EQ(readingOf(sensor.get()).sequence, last.sequence);  // the same frame both ways

  device.setSilent(false);  // resumed
  EXPECT_TRUE(pollUntil(isConnected, [](bool on) { return on; }));
  device.unplug();  // disconnected, the last reading kept
  EXPECT_FALSE(pollUntil(isConnected, [](bool on) { return !on; }));
  EXPECT_GT(latestOf(sensor.get()).count, 0);
}

}  // namespace

// The mock driver station's wire format and rules (internal functions), the log line its UDP
// client prints, and the robot program's reading of a control datagram.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "SimRobotDriverStation.h"
#include "core/HalPlatform.h"
#include "mockds/MockDS.h"
#include "mockds/MockDSProtocol.h"

namespace {

using namespace halvern::mockds;  // NOLINT(google-build-using-namespace)
using halvern::sim::readControlDatagram;
using namespace std::chrono_literals;

using Bytes = std::vector<uint8_t>;

Bytes bytesOf(const ControlDatagram& datagram) { return {datagram.begin(), datagram.end()}; }

// --- the datagram ---

TEST(ControlDatagram, SequenceHighByteFirstThenVersionControlRequestStation) {
  EXPECT_EQ(bytesOf(buildControlDatagram(0x1234, 0x06)),
            (Bytes{0x12, 0x34, 0x01, 0x06, 0x10, 0x00}));
  EXPECT_EQ(bytesOf(buildControlDatagram(0, kControlDisabled)),
            (Bytes{0x00, 0x00, 0x01, 0x00, 0x10, 0x00}));
  EXPECT_EQ(bytesOf(buildControlDatagram(0x00FF, kControlEnabledAutonomous)),
            (Bytes{0x00, 0xFF, 0x01, 0x06, 0x10, 0x00}));
  EXPECT_EQ(bytesOf(buildControlDatagram(0xFF00, kControlDisabled)),
            (Bytes{0xFF, 0x00, 0x01, 0x00, 0x10, 0x00}));
  static_assert(buildControlDatagram(1, 0)[1] == 1, "usable at compile time");
}

TEST(ControlDatagram, SequenceWrapsFrom65535ToZero) {
  // The sender counts with a uint16_t, as here.
  uint16_t sequence = 0xFFFE;
  std::vector<Bytes> sent;
  for (int i = 0; i < 3; ++i) {
    sent.push_back(bytesOf(buildControlDatagram(sequence, kControlDisabled)));
    ++sequence;
  }
  EXPECT_EQ(sent[0][0], 0xFF);
  EXPECT_EQ(sent[0][1], 0xFE);
  EXPECT_EQ(sent[1][0], 0xFF);
  EXPECT_EQ(sent[1][1], 0xFF);
  EXPECT_EQ(sent[2][0], 0x00);
  EXPECT_EQ(sent[2][1], 0x00);
  // And the robot program reads the numbers back the same way round.
  EXPECT_EQ(readControlDatagram(sent[1])->sequence, 0xFFFF);
  EXPECT_EQ(readControlDatagram(sent[2])->sequence, 0);
}

TEST(ControlDatagram, TheRobotProgramReadsWhatTheMockSends) {
  const auto datagram = buildControlDatagram(77, kControlEnabledAutonomous);
  const auto read = readControlDatagram(datagram);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->sequence, 77);
  EXPECT_EQ(read->protocolVersion, 0x01);
  EXPECT_TRUE(read->enabled);
  EXPECT_TRUE(read->autonomous);
  EXPECT_FALSE(read->test);
  EXPECT_FALSE(read->fmsAttached);
  EXPECT_FALSE(read->emergencyStop);
  EXPECT_TRUE(read->dsAttached);
  EXPECT_EQ(read->station, 0);  // red 1
  EXPECT_FALSE(readControlDatagram(buildControlDatagram(78, kControlDisabled))->enabled);
}

TEST(ControlDatagram, DecodingReadsBackEveryFieldBuilt) {
  for (const uint8_t control : {kControlDisabled, kControlEnabledAutonomous}) {
    const auto read = decodeControlDatagram(buildControlDatagram(0xBEEF, control));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->sequence, 0xBEEF);
    EXPECT_EQ(read->protocolVersion, kProtocolVersion);
    EXPECT_EQ(read->control, control);
    EXPECT_EQ(read->request, kRequestAttached);
    EXPECT_NE(read->request & kDriverStationAttachedMask, 0);
    EXPECT_EQ(read->station, kAllianceStationRed1);
    EXPECT_TRUE(read->tagsWellFormed);
  }
  const auto built = buildControlDatagram(1, kControlDisabled);
  EXPECT_FALSE(decodeControlDatagram(std::span(built).first(kDatagramSize - 1)).has_value());
}

// --- the warm-up ---

TEST(WarmupRule, FiftyEnabledDatagramsSayDisabledThenEnabledAutonomous) {
  WarmupRule warmup;
  for (int i = 0; i < kWarmupDatagrams; ++i) {
    EXPECT_EQ(warmup.controlByte(true), kControlDisabled) << "datagram " << i;
  }
  EXPECT_EQ(warmup.warmedUp(), 50);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(warmup.controlByte(true), kControlEnabledAutonomous);
  }
  EXPECT_EQ(warmup.warmedUp(), 50);  // it stops counting
}

TEST(WarmupRule, DisabledDatagramsDoNotCountAndNothingResetsIt) {
  WarmupRule warmup;
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(warmup.controlByte(false), kControlDisabled);
  }
  EXPECT_EQ(warmup.warmedUp(), 0);
  for (int i = 0; i < 30; ++i) {
    EXPECT_EQ(warmup.controlByte(true), kControlDisabled);
  }
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(warmup.controlByte(false), kControlDisabled);
  }
  EXPECT_EQ(warmup.warmedUp(), 30);  // a disable keeps what was counted
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(warmup.controlByte(true), kControlDisabled);
  }
  EXPECT_EQ(warmup.controlByte(true), kControlEnabledAutonomous);
}

TEST(WarmupRule, DisableAndEnableAfterTheWarmupAreImmediate) {
  WarmupRule warmup;
  for (int i = 0; i < kWarmupDatagrams; ++i) {
    warmup.controlByte(true);
  }
  EXPECT_EQ(warmup.controlByte(true), kControlEnabledAutonomous);
  EXPECT_EQ(warmup.controlByte(false), kControlDisabled);
  EXPECT_EQ(warmup.controlByte(true), kControlEnabledAutonomous);
  EXPECT_EQ(warmup.controlByte(false), kControlDisabled);
  EXPECT_EQ(warmup.controlByte(false), kControlDisabled);
  EXPECT_EQ(warmup.controlByte(true), kControlEnabledAutonomous);
}

// --- the schedule ---

// The HAL's monotonic clock, which the sender runs on (microseconds).
using HalClock = halvern::platform::MonotonicClock;
using HalTime = HalClock::time_point;
constexpr auto kPeriodUs = std::chrono::duration_cast<HalClock::duration>(kPeriod);

HalTime at(std::chrono::microseconds since) { return HalTime(since); }

TEST(NextDeadline, TheNextSlotOnTheGridStrictlyAfterNow) {
  const HalTime start = at(1000us);
  // The sender's first: its start is the first deadline, so the first datagram goes 20 ms on.
  EXPECT_EQ(nextDeadline(start, start, kPeriodUs), at(21000us));
  // Woken a little late: the next slot, not one 20 ms after the late wake-up.
  EXPECT_EQ(nextDeadline(at(21000us), at(21300us), kPeriodUs), at(41000us));
  // Exactly on a slot: the one after it.
  EXPECT_EQ(nextDeadline(at(21000us), at(41000us), kPeriodUs), at(61000us));
  // A deadline still ahead stays.
  EXPECT_EQ(nextDeadline(at(41000us), at(30000us), kPeriodUs), at(41000us));
}

TEST(NextDeadline, MissedSlotsAreSkippedNotCaughtUp) {
  // 95 ms late: slots at 41, 61, 81 and 101 ms have passed; the next is 121 ms.
  EXPECT_EQ(nextDeadline(at(21000us), at(116000us), kPeriodUs), at(121000us));
  // A day late, still one step.
  const HalTime late = at(21000us + std::chrono::hours(24) + 5us);
  const HalTime next = nextDeadline(at(21000us), late, kPeriodUs);
  EXPECT_GT(next, late);
  EXPECT_LE(next - late, kPeriodUs);
  EXPECT_EQ((next - at(1000us)) % kPeriodUs, HalClock::duration::zero());
}

TEST(NextDeadline, AStalledSenderSendsNoBurst) {
  // The sender's loop on a clock of its own: it sleeps until each deadline, and once it
  // stalls for 95 ms after a send. Every send is on the grid, one per slot at most.
  HalTime now = at(0us);
  HalTime deadline = now;
  std::vector<HalTime> sends;
  for (int i = 0; i < 20; ++i) {
    deadline = nextDeadline(deadline, now, kPeriodUs);
    now = std::max(now, deadline);  // sleep_until
    sends.push_back(now);
    if (i == 5) {
      now += 95ms;  // a stall after the sixth send
    }
  }
  for (std::size_t i = 1; i < sends.size(); ++i) {
    EXPECT_GE(sends[i] - sends[i - 1], kPeriodUs) << "send " << i;
    EXPECT_EQ(sends[i].time_since_epoch() % kPeriodUs, HalClock::duration::zero());
  }
  EXPECT_EQ(sends[6] - sends[5], 100ms);  // the four missed slots are gone, not sent late
}

// --- the log line ---

TEST(FormatLogLine, InfoIsTheMessageAlone) {
  EXPECT_EQ(formatLogLine(20, "UDPClient.cpp", 12, "hello"), "DS: hello\n");
}

TEST(FormatLogLine, ErrorsWarningsAndCriticalsNameTheirPlace) {
  EXPECT_EQ(formatLogLine(45, "UDPClient.cpp", 12, "bind() failed"),
            "DS: ERROR: bind() failed (UDPClient.cpp:12)\n");
  EXPECT_EQ(formatLogLine(40, "a.cpp", 1, "m"), "DS: ERROR: m (a.cpp:1)\n");
  EXPECT_EQ(formatLogLine(49, "a.cpp", 1, "m"), "DS: ERROR: m (a.cpp:1)\n");
  EXPECT_EQ(formatLogLine(30, "b.cpp", 7, "slow"), "DS: WARNING: slow (b.cpp:7)\n");
  EXPECT_EQ(formatLogLine(39, "b.cpp", 7, "slow"), "DS: WARNING: slow (b.cpp:7)\n");
  EXPECT_EQ(formatLogLine(50, "c.cpp", 99, "gone"), "DS: CRITICAL: gone (c.cpp:99)\n");
  EXPECT_EQ(formatLogLine(255, "c.cpp", 4294967295U, "gone"),
            "DS: CRITICAL: gone (c.cpp:4294967295)\n");
}

TEST(FormatLogLine, OtherLevelsPrintNothing) {
  for (const unsigned int level : {0U, 10U, 19U, 21U, 25U, 29U}) {
    EXPECT_EQ(formatLogLine(level, "a.cpp", 1, "quiet"), "") << "level " << level;
  }
}

TEST(FormatLogLine, NullTextsCountAsEmpty) {
  EXPECT_EQ(formatLogLine(20, nullptr, 0, nullptr), "DS: \n");
  EXPECT_EQ(formatLogLine(20, "a.cpp", 3, nullptr), "DS: \n");
  EXPECT_EQ(formatLogLine(40, nullptr, 3, "m"), "DS: ERROR: m (:3)\n");
  EXPECT_EQ(formatLogLine(50, "a.cpp", 3, nullptr), "DS: CRITICAL:  (a.cpp:3)\n");
  EXPECT_EQ(formatLogLine(10, nullptr, 0, nullptr), "");
}

TEST(LogToErrs, WritesOneLineToStandardError) {
  ::testing::internal::CaptureStderr();
  logToErrs(40, "UDPClient.cpp", 120, "sendto() failed: refused");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "DS: ERROR: sendto() failed: refused (UDPClient.cpp:120)\n");

  ::testing::internal::CaptureStderr();
  logToErrs(20, "UDPClient.cpp", 1, "started");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "DS: started\n");
}

TEST(LogToErrs, WritesNothingAtOtherLevels) {
  ::testing::internal::CaptureStderr();
  logToErrs(10, "UDPClient.cpp", 1, "debug");
  logToErrs(25, "UDPClient.cpp", 1, "between");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

// --- the robot program's reading ---

TEST(ReadControlDatagram, ShorterThanSixBytesIsIgnored) {
  const std::array<uint8_t, 6> full{0, 1, 1, 4, 0x10, 0};
  for (std::size_t length = 0; length < full.size(); ++length) {
    EXPECT_FALSE(readControlDatagram(std::span(full.data(), length)).has_value()) << length;
  }
  EXPECT_TRUE(readControlDatagram(full).has_value());
}

TEST(ReadControlDatagram, ControlBits) {
  const auto read = [](uint8_t control) {
    return *readControlDatagram(Bytes{0, 0, 1, control, 0x10, 0});
  };
  EXPECT_TRUE(read(0x01).test);
  EXPECT_TRUE(read(0x02).autonomous);
  EXPECT_TRUE(read(0x04).enabled);
  EXPECT_TRUE(read(0x08).fmsAttached);
  EXPECT_TRUE(read(0x80).emergencyStop);
  const auto none = read(0x00);
  EXPECT_FALSE(none.test || none.autonomous || none.enabled || none.fmsAttached ||
               none.emergencyStop);
  const auto all = read(0x8F);
  EXPECT_TRUE(all.test && all.autonomous && all.enabled && all.fmsAttached && all.emergencyStop);
  EXPECT_EQ(all.control, 0x8F);
}

TEST(ReadControlDatagram, AttachedWhenAnyHighRequestBitIsSet) {
  const auto attached = [](uint8_t request) {
    return readControlDatagram(Bytes{0, 0, 1, 4, request, 0})->dsAttached;
  };
  EXPECT_TRUE(attached(0x10));
  EXPECT_TRUE(attached(0x80));
  EXPECT_TRUE(attached(0xF0));
  EXPECT_FALSE(attached(0x00));
  EXPECT_FALSE(attached(0x0F));
}

TEST(ReadControlDatagram, VersionIsNotCheckedAndStationIsKept) {
  const auto read = readControlDatagram(Bytes{0xAB, 0xCD, 0xEE, 0, 0x10, 5});
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->sequence, 0xABCD);
  EXPECT_EQ(read->protocolVersion, 0xEE);
  EXPECT_EQ(read->station, 5);  // blue 3
}

TEST(ReadControlDatagram, TagsAfterTheFixedBytes) {
  const Bytes fixed{0, 1, 1, 4, 0x10, 0};
  const auto withTags = [&](Bytes tags) {
    Bytes datagram = fixed;
    datagram.insert(datagram.end(), tags.begin(), tags.end());
    return readControlDatagram(datagram)->tagsWellFormed;
  };
  EXPECT_TRUE(withTags({}));
  EXPECT_TRUE(withTags({1, 0x0F}));                       // an id alone
  EXPECT_TRUE(withTags({3, 0x0F, 0xAA, 0xBB, 1, 0x07}));  // two tags
  EXPECT_FALSE(withTags({3, 0x0F, 0xAA}));                // runs past the end
  EXPECT_FALSE(withTags({1, 0x0F, 2}));                   // the second has no id
  EXPECT_FALSE(withTags({0}));                            // no room for an id
  // The fixed part is read either way.
  EXPECT_EQ(readControlDatagram(Bytes{0, 9, 1, 4, 0x10, 0, 9})->sequence, 9);
}

}  // namespace

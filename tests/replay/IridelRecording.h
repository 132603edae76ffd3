// The colour sensor's replay tests' common ground: what a run logged for one sensor (its
// samples and connection changes, read back with the replay's own player), and the check that a
// replay logged the same at the same times.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "OwnedHandle.h"
#include "RecordedRun.h"
#include "SimIridel.h"
#include "SimLogPlayer.h"
#include "WaitFor.h"
#include "halvern/Iridel.h"
#include "iridel/IridelSignals.h"

namespace halvern::test::iridel_replay {

using namespace std::chrono_literals;
using halvern::sim::SimIridelCan;
using halvern::sim::SimIridelUsb;
using halvern::sim::SimLogPlayer;
namespace names = halvern::iridel::signals;

using Sensor = halvern::test::OwnedHandle<c_Iridel_destroy>;

inline constexpr int kCanId = 3;
// A sample time that makes the sensor silent for 200 ms (four sample times) read disconnected:
// long beside a stall of the simulator's or the library's threads on a busy machine.
constexpr int kSampleTimeMs = 50;
constexpr int64_t kSilenceMicros = 200'000;
// How much longer than that the recorded silence lasts: the replay's sensor, which sees the same
// silence, has that long to notice it too.
constexpr auto kSilenceMargin = 100ms;
constexpr auto kSampleSpacing = 5ms;
constexpr int kSamplesEachSide = 6;  // before and after the drop

struct Sample {
  int64_t sequence = 0;
  double x = 0, y = 0, z = 0;
  int64_t micros = 0;
  bool operator==(const Sample& other) const {
    return sequence == other.sequence && x == other.x && y == other.y && z == other.z;
  }
};

struct Change {
  bool connected = false;
  int64_t micros = 0;
};

/** The samples and connection changes `device` logged, read with the replay's own player. */
struct Logged {
  std::vector<Sample> samples;
  std::vector<Change> connection;
};

inline Logged loggedBy(const std::string& path, const std::string& device) {
  const SimLogPlayer player(path);
  EXPECT_EQ(player.error(), "");
  Logged logged;
  const auto sequences = player.values(device, std::string{names::kSequence});
  const auto xs = player.values(device, std::string{names::kX});
  const auto ys = player.values(device, std::string{names::kY});
  const auto zs = player.values(device, std::string{names::kZ});
  EXPECT_EQ(xs.size(), sequences.size());
  EXPECT_EQ(ys.size(), sequences.size());
  EXPECT_EQ(zs.size(), sequences.size());
  for (size_t i = 0; i < sequences.size() && i < xs.size() && i < ys.size() && i < zs.size(); ++i) {
    EXPECT_EQ(xs[i].timestamp, sequences[i].timestamp);
    logged.samples.push_back(
        {sequences[i].integer, xs[i].number, ys[i].number, zs[i].number, sequences[i].timestamp});
  }
  for (const auto& value : player.values(device, std::string{names::kConnected})) {
    logged.connection.push_back({value.boolean, value.timestamp});
  }
  return logged;
}

inline IridelReading latest(void* sensor) {
  IridelReading reading{};
  c_Iridel_getLatestColor(sensor, &reading);
  return reading;
}

/** Waits until the library's latest sample is `sequence`. */
inline bool waitForSequence(void* sensor, uint16_t sequence) {
  return waitFor([&] { return latest(sensor).valid && latest(sensor).sequence == sequence; },
                 kWaitLimit);
}

/** Checks the replay's samples and connection changes against the recording's, in time. */
inline void expectReplayed(const Logged& recorded, const Logged& replayed, int64_t offsetMicros) {
  ASSERT_EQ(replayed.samples, recorded.samples);
  ASSERT_EQ(replayed.connection.size(), recorded.connection.size());
  std::vector<int64_t> recordedMicros;
  std::vector<int64_t> replayedMicros;
  for (size_t i = 0; i < recorded.samples.size(); ++i) {
    recordedMicros.push_back(recorded.samples[i].micros);
    replayedMicros.push_back(replayed.samples[i].micros);
  }
  for (size_t i = 0; i < recorded.connection.size(); ++i) {
    EXPECT_EQ(replayed.connection[i].connected, recorded.connection[i].connected) << i;
    recordedMicros.push_back(recorded.connection[i].micros);
    replayedMicros.push_back(replayed.connection[i].micros);
  }
  halvern::test::expectOnTime(recordedMicros, replayedMicros, offsetMicros);
}

}  // namespace halvern::test::iridel_replay

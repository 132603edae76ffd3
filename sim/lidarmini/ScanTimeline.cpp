#include "lidarmini/ScanTimeline.h"

#include <algorithm>

#include "SimLidarMini.h"

namespace halvern::sim::lidarmini {

namespace {

using namespace std::chrono_literals;
using Clock = ScanTimeline::Clock;

constexpr int kMinFrequencyTenths = 60;
constexpr int kMaxFrequencyTenths = 120;
constexpr int kTenthsPerHertz = 10;

constexpr auto kSamplePeriod =
    std::chrono::duration_cast<Clock::duration>(1s) / SimLidarMini::kSamplesPerSecond;
// Behind its timeline by more than this (a stalled simulator), the motor's timeline moves on to
// now rather than flooding the line with old revolutions. The revolution under way goes on from
// the sample it reached: a real lidar's motor never stalls with the host, so every revolution
// it sends is whole, however late the simulator's thread ran.
constexpr auto kMaxLag = 250ms;

int samplesPerRevolution(int frequencyTenths) {
  return (SimLidarMini::kSamplesPerSecond * kTenthsPerHertz + frequencyTenths / 2) /
         frequencyTenths;
}

}  // namespace

void ScanTimeline::stepFrequency(int tenths) {
  frequencyTenths_ =
      std::clamp(frequencyTenths_ + tenths, kMinFrequencyTenths, kMaxFrequencyTenths);
}

void ScanTimeline::beginRevolution(Clock::time_point at) {
  revolutionStart_ = at;
  revolutionSamples_ = samplesPerRevolution(frequencyTenths_);
  nextSample_ = 0;
}

std::vector<ScanTimeline::Packet> ScanTimeline::due(Clock::time_point now) {
  if (!streaming_) {
    streaming_ = true;
    beginRevolution(now);
  }
  std::vector<Packet> packets;
  for (;;) {
    // A packet goes out once its last sample has been measured; the start packet holds one.
    const int end = nextSample_ == 0 ? 1
                                     : std::min(nextSample_ + SimLidarMini::kMaxSamplesPerPacket,
                                                revolutionSamples_);
    const auto due = revolutionStart_ + kSamplePeriod * end;
    if (due > now) {
      return packets;
    }
    if (now - due > kMaxLag) {
      revolutionStart_ += now - due;
      continue;
    }
    packets.push_back(Packet{.first = nextSample_,
                             .end = end,
                             .samplesInRevolution = revolutionSamples_,
                             .due = due});
    nextSample_ = end;
    if (end == revolutionSamples_) {
      // A new frequency takes effect from the next revolution on.
      beginRevolution(revolutionStart_ + kSamplePeriod * revolutionSamples_);
    }
  }
}

}  // namespace halvern::sim::lidarmini

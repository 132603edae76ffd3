// The serial lidar's reader work, without the port: a packet stream fed in blocks, framed,
// checked, decoded and stored into the table of 360 degrees; and each filter over a revolution
// of samples with every degree's history full.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <random>
#include <span>
#include <utility>
#include <vector>

#include "DamagedPacketStream.h"
#include "halvern/Lidar.h"
#include "lidar/LidarFilters.h"
#include "lidar/LidarModule.h"
#include "lidar/LidarPackets.h"

namespace {

using namespace halvern::lidar;  // NOLINT(google-build-using-namespace)

// 10 revolutions a second of 720 samples, half a degree apart; a start packet holds one sample.
constexpr int kSamplesPerRevolution = 720;
constexpr double kSampleSpacingDegrees = 360.0 / kSamplesPerRevolution;
constexpr double kAngleRawPerDegree = 128.0;
constexpr double kSampleRawPerMm = 4.0;

constexpr uint32_t kStreamSeed = 20261209;  // the same stream every run

// A room between 1 and 4 m, with every 60th sample getting no return (0).
double roomMm(int sample) { return sample % 60 == 59 ? 0.0 : 1000.0 + (sample * 53) % 3000; }

std::vector<uint8_t> lidarPacket(bool start, int firstSample, int samples) {
  const auto rawAngle = [](int sample) {
    return static_cast<uint16_t>(std::lround(sample * kSampleSpacingDegrees * kAngleRawPerDegree));
  };
  std::vector<uint8_t> words;
  for (int sample = firstSample; sample < firstSample + samples; ++sample) {
    const auto word = static_cast<uint16_t>(std::lround(roomMm(sample) * kSampleRawPerMm));
    words.push_back(static_cast<uint8_t>(word & 0xFFU));
    words.push_back(static_cast<uint8_t>(word >> 8U));
  }
  std::vector<uint8_t> packet;
  PacketCodec::encode(packet, start, rawAngle(firstSample), rawAngle(firstSample + samples - 1),
                      words);
  return packet;
}

struct Stream {
  std::vector<uint8_t> bytes;
  int64_t packets = 0;
  int64_t intactPackets = 0;
  int64_t intactSamples = 0;
};

// The revolutions as the lidar sends them (a start packet, then packets of up to 40 samples),
// damaged as the benchmarks' lines are.
Stream lidarOutput() {
  std::vector<std::vector<uint8_t>> packets =
      halvern::bench::revolutionPackets(kSamplesPerRevolution, lidarPacket);
  std::vector<int64_t> samples;
  for (const auto& packet : packets) {
    samples.push_back(static_cast<int64_t>(PacketCodec::header(packet).count));
  }
  halvern::bench::DamagedPacketStream damaged =
      halvern::bench::damagedPacketStream(std::move(packets), kStreamSeed);
  Stream stream;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    stream.intactSamples += damaged.damaged[i] ? 0 : samples[i];
  }
  stream.bytes = std::move(damaged.bytes);
  stream.packets = damaged.packets;
  stream.intactPackets = damaged.intactPackets;
  return stream;
}

// The reader's work on a read, without its lock: the codec's framing loop (packets taken at an
// offset, one compaction), each packet decoded into a reused list and stored into the table.
struct ReaderWork {
  std::vector<uint8_t> received;
  std::vector<LidarSample> samples;
  LidarScan table{};
  int64_t packets = 0;
  int64_t decoded = 0;

  void take(std::span<const uint8_t> block) {
    received.insert(received.end(), block.begin(), block.end());
    PacketCodec::takePackets(received, [this](std::span<const uint8_t> packet) {
      samples.clear();
      decodePacket(packet, samples);
      for (const LidarSample& sample : samples) {
        const auto degree = std::min(static_cast<int>(sample.angle), LIDAR_DEGREES - 1);
        table.angle[degree] = sample.angle;
        table.distance[degree] = sample.distance;
      }
      ++packets;
      decoded += static_cast<int64_t>(samples.size());
    });
  }

  void feed(const std::vector<uint8_t>& bytes, std::size_t block) {
    for (std::size_t at = 0; at < bytes.size(); at += block) {
      take(std::span<const uint8_t>(bytes).subspan(at, std::min(block, bytes.size() - at)));
    }
  }
};

const Stream& theStream() {
  static const Stream stream = [] {
    Stream built = lidarOutput();
    // Every intact packet must be found, and nothing else.
    ReaderWork check;
    check.feed(built.bytes, built.bytes.size());
    if (check.packets != built.intactPackets || check.decoded != built.intactSamples) {
      std::fprintf(stderr, "decoded %lld packets of %lld intact ones\n",
                   static_cast<long long>(check.packets),
                   static_cast<long long>(built.intactPackets));
      std::abort();
    }
    return built;
  }();
  return stream;
}

// Argument: the bytes a read hands over.
void Decode(benchmark::State& state) {
  const Stream& stream = theStream();
  const auto block = static_cast<std::size_t>(state.range(0));
  ReaderWork work;
  work.feed(stream.bytes, block);  // warm-up: the buffers grow to what they need
  work.packets = 0;
  work.decoded = 0;
  for (auto _ : state) {
    work.feed(stream.bytes, block);
    benchmark::DoNotOptimize(work.table.distance);
  }
  const auto passes = static_cast<int64_t>(state.iterations());
  if (work.packets != passes * stream.intactPackets) {
    state.SkipWithError("intact packets went missing");
    return;
  }
  state.SetBytesProcessed(passes * static_cast<int64_t>(stream.bytes.size()));
  state.counters["samples"] =
      benchmark::Counter(static_cast<double>(work.decoded), benchmark::Counter::kIsRate);
  state.counters["kept"] = static_cast<double>(stream.intactPackets);
  state.counters["damaged"] = static_cast<double>(stream.packets - stream.intactPackets);
}

// A read of 512 bytes, and of 16 (about 1.4 ms of the line at 115200 baud).
BENCHMARK(Decode)->Arg(512)->Arg(16);

// Filters. The revolutions differ by noise, so each degree's history holds varied values.
constexpr int kNoisyRevolutions = 16;
constexpr double kNoiseMm = 30.0;
constexpr int kFullHistoryRevolutions = 5;  // two samples a degree: 10 values

std::vector<LidarSample> noisyRevolutions() {
  std::mt19937 random(kStreamSeed);
  std::normal_distribution<double> noise(0.0, kNoiseMm);
  std::vector<LidarSample> samples;
  for (int revolution = 0; revolution < kNoisyRevolutions; ++revolution) {
    for (int sample = 0; sample < kSamplesPerRevolution; ++sample) {
      const double mm = roomMm(sample);
      samples.push_back(
          {.angle = static_cast<float>(sample * kSampleSpacingDegrees),
           .distance = mm == 0.0 ? kOutOfRange : static_cast<float>(mm + noise(random))});
    }
  }
  return samples;
}

// The filters with the settings a reader starts from; None keeps the history only.
enum class Filter { None, Cluster, Kalman, MovingAverage, Median, Jitter };

// The reader's filtered store of one revolution: each sample joins its degree's history, the
// filter runs over that history, and the result goes into the table.
void FilterRevolution(benchmark::State& state, Filter filter) {
  static const std::vector<LidarSample> samples = noisyRevolutions();
  const ReaderSettings settings;
  std::array<KalmanState, LIDAR_DEGREES> kalman{};  // a state of its own for every degree
  kalman.fill(settings.kalman);
  std::array<DegreeHistory, LIDAR_DEGREES> histories{};
  LidarScan table{};
  const auto apply = [&](std::size_t degree, std::span<const float> history) {
    switch (filter) {
      case Filter::None:
        return history.back();
      case Filter::Cluster:
        return clusterFilter(history, kDefaultClusterTolerance, kDefaultClusterMinPoints);
      case Filter::Kalman:
        return kalmanFilter(history, kalman[degree]);
      case Filter::MovingAverage:
        return movingAverageFilter(history, settings.movingAverageWindow);
      case Filter::Median:
        return medianFilter(history, settings.medianWindow);
      case Filter::Jitter:
        return jitterFilter(history, settings.jitterThreshold);
    }
    return history.back();
  };
  const auto storeRevolution = [&](std::size_t revolution) {
    const auto first =
        samples.begin() + static_cast<std::ptrdiff_t>(revolution * kSamplesPerRevolution);
    for (auto sample = first; sample != first + kSamplesPerRevolution; ++sample) {
      const auto degree = static_cast<std::size_t>(sample->angle);
      DegreeHistory& history = histories[degree];
      history.push(sample->distance);
      table.angle[degree] = sample->angle;
      table.distance[degree] = apply(degree, history.values());
    }
  };
  for (int revolution = 0; revolution < kFullHistoryRevolutions; ++revolution) {
    storeRevolution(static_cast<std::size_t>(revolution));
  }
  std::size_t revolution = 0;
  for (auto _ : state) {
    storeRevolution(revolution);
    revolution = (revolution + 1) % kNoisyRevolutions;
    benchmark::DoNotOptimize(table.distance);
  }
  state.counters["samples"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kSamplesPerRevolution, benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(FilterRevolution, HistoryOnly, Filter::None);
BENCHMARK_CAPTURE(FilterRevolution, Cluster, Filter::Cluster);
BENCHMARK_CAPTURE(FilterRevolution, Kalman, Filter::Kalman);
BENCHMARK_CAPTURE(FilterRevolution, MovingAverage, Filter::MovingAverage);
BENCHMARK_CAPTURE(FilterRevolution, Median, Filter::Median);
BENCHMARK_CAPTURE(FilterRevolution, Jitter, Filter::Jitter);

}  // namespace

BENCHMARK_MAIN();

// The lidar's scan decoding: a packet stream fed in blocks as the scan thread reads it, framed,
// checked, decoded and gathered into revolutions, which is all the thread does with its bytes.
// The stream is 10 Hz revolutions of 400 points with some packets damaged and garbage between
// others; every intact packet must come through, and none may cost an allocation once the
// buffers have grown.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <numeric>
#include <random>
#include <span>
#include <utility>
#include <vector>

#include "DamagedPacketStream.h"
#include "lidarmini/LidarMiniProtocol.h"

// Every allocation of the program is counted, so the benchmark can tell how many decoding makes.
namespace {
std::atomic<int64_t> allocations{0};  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)
}  // namespace

// None of them inlined: GCC would then see malloc's pointer given to operator delete, or the
// reverse, and warn of a mismatch.
[[gnu::noinline]] void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* block = std::malloc(size == 0 ? 1 : size)) {  // NOLINT(cppcoreguidelines-no-malloc)
    return block;
  }
  throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* block) noexcept {
  std::free(block);  // NOLINT(cppcoreguidelines-no-malloc)
}
[[gnu::noinline]] void operator delete(void* block, std::size_t /*size*/) noexcept {
  std::free(block);  // NOLINT(cppcoreguidelines-no-malloc)
}

namespace {

using namespace halvern::lidarmini;  // NOLINT(google-build-using-namespace)

// 10 revolutions a second at about 4,000 samples a second; a start packet holds one sample.
constexpr int kPointsPerRevolution = 400;
constexpr float kPointSpacingDegrees = 360.0F / kPointsPerRevolution;
constexpr float kAngleRawPerDegree = 128.0F;

constexpr uint32_t kStreamSeed = 20261208;  // the same stream every run

struct Stream {
  std::vector<uint8_t> bytes;
  int64_t packets = 0;
  int64_t intactPackets = 0;
};

std::vector<uint8_t> scanPacket(bool start, int firstPoint, int samples) {
  const int lastPoint = firstPoint + samples - 1;
  const auto rawAngle = [](int point) {
    return static_cast<uint16_t>(
        std::lround(static_cast<float>(point) * kPointSpacingDegrees * kAngleRawPerDegree));
  };
  std::vector<uint8_t> samplesBytes;
  for (int point = firstPoint; point <= lastPoint; ++point) {
    // A room between 1 and 4 m; every 50th sample flagged invalid.
    const auto distanceMm = static_cast<unsigned>(1000 + (point * 53) % 3000);
    const unsigned flag = point % 50 == 49 ? 2 : 0;
    const unsigned word = distanceMm << 2U | flag;
    samplesBytes.insert(samplesBytes.end(),
                        {static_cast<uint8_t>(point * 7 % 256), static_cast<uint8_t>(word & 0xFFU),
                         static_cast<uint8_t>(word >> 8U)});
  }
  std::vector<uint8_t> packet;
  PacketCodec::encode(packet, start, rawAngle(firstPoint), rawAngle(lastPoint), samplesBytes);
  return packet;
}

// The lidar's output, damaged as the benchmarks' lines are.
Stream lidarOutput() {
  halvern::bench::DamagedPacketStream damaged = halvern::bench::damagedPacketStream(
      halvern::bench::revolutionPackets(kPointsPerRevolution, scanPacket), kStreamSeed);
  return {.bytes = std::move(damaged.bytes),
          .packets = damaged.packets,
          .intactPackets = damaged.intactPackets};
}

// Each packet's points appended to the revolution being filled, which a start packet publishes,
// as the scan thread does (without its lock and clock).
struct Revolutions {
  ScanFrame current{};
  ScanFrame last{};
  bool first = true;
  int64_t packets = 0;
  int64_t points = 0;

  void add(bool start, std::span<const ScanPoint> packetPoints) {
    if (start) {
      if (!first && !current.points.empty()) {
        last.timestamp = current.timestamp;
        last.points.assign(current.points.begin(), current.points.end());
      }
      current.points.clear();
      ++current.timestamp;
      first = false;
    }
    current.points.insert(current.points.end(), packetPoints.begin(), packetPoints.end());
    ++packets;
    points += static_cast<int64_t>(packetPoints.size());
  }
};

// Framing as the scan thread does it, through the codec's loop: packets taken at an offset,
// the buffer compacted once per read; each packet decoded into a fixed list.
struct ScanThreadWork {
  std::vector<uint8_t> received;
  std::array<ScanPoint, kMaxPacketPoints> packetPoints{};
  Revolutions revolutions;

  void take(std::span<const uint8_t> block) {
    received.insert(received.end(), block.begin(), block.end());
    PacketCodec::takePackets(received, [this](std::span<const uint8_t> packet) {
      const std::size_t count = decodeScanPoints(packet, packetPoints);
      revolutions.add(PacketCodec::header(packet).start, std::span(packetPoints).first(count));
    });
  }
};

// The same through NextScanPacket, which removes each packet from the buffer.
struct NextPacketWork {
  std::vector<uint8_t> received;
  std::vector<ScanPoint> packetPoints;
  Revolutions revolutions;

  void take(std::span<const uint8_t> block) {
    received.insert(received.end(), block.begin(), block.end());
    while (const std::size_t length = NextScanPacket(received)) {
      packetPoints.clear();
      const bool start =
          DecodeScanPacket(std::span<const uint8_t>(received.data(), length), packetPoints);
      revolutions.add(start, packetPoints);
      received.erase(received.begin(), received.begin() + static_cast<std::ptrdiff_t>(length));
    }
  }
};

template <typename Work>
void feed(Work& work, const std::vector<uint8_t>& bytes, std::size_t block) {
  for (std::size_t offset = 0; offset < bytes.size(); offset += block) {
    work.take(
        std::span<const uint8_t>(bytes).subspan(offset, std::min(block, bytes.size() - offset)));
  }
}

const Stream& theStream() {
  static const Stream stream = [] {
    const int64_t before = allocations.load();
    Stream built = lidarOutput();
    // A figure of 0 allocations means something only if they are counted at all.
    if (allocations.load() == before) {
      std::fprintf(stderr, "allocations are not being counted\n");
      std::abort();
    }
    // Every intact packet must be found, and nothing else.
    ScanThreadWork check;
    feed(check, built.bytes, built.bytes.size());
    if (check.revolutions.packets != built.intactPackets) {
      std::fprintf(stderr, "decoded %lld packets of %lld intact ones\n",
                   static_cast<long long>(check.revolutions.packets),
                   static_cast<long long>(built.intactPackets));
      std::abort();
    }
    return built;
  }();
  return stream;
}

// Argument: the bytes a read hands over.
template <typename Work>
void decodeStream(benchmark::State& state) {
  const Stream& stream = theStream();
  const auto block = static_cast<std::size_t>(state.range(0));
  Work work;
  feed(work, stream.bytes, block);  // warm-up: the buffers grow to what they need
  work.revolutions.packets = 0;
  work.revolutions.points = 0;
  int64_t allocated = 0;
  for (auto _ : state) {
    const int64_t before = allocations.load(std::memory_order_relaxed);
    feed(work, stream.bytes, block);
    allocated += allocations.load(std::memory_order_relaxed) - before;
  }
  const auto passes = static_cast<int64_t>(state.iterations());
  if (work.revolutions.packets != passes * stream.intactPackets) {
    state.SkipWithError("intact packets went missing");
    return;
  }
  state.SetBytesProcessed(passes * static_cast<int64_t>(stream.bytes.size()));
  state.counters["points"] =
      benchmark::Counter(static_cast<double>(work.revolutions.points), benchmark::Counter::kIsRate);
  state.counters["allocs/rev"] =
      static_cast<double>(allocated) / (static_cast<double>(passes) * halvern::bench::kRevolutions);
  state.counters["kept"] = static_cast<double>(stream.intactPackets);
  state.counters["damaged"] = static_cast<double>(stream.packets - stream.intactPackets);
}

void ScanThread(benchmark::State& state) { decodeStream<ScanThreadWork>(state); }
void NextPacket(benchmark::State& state) { decodeStream<NextPacketWork>(state); }

// Reads of 512 bytes, and of 32 bytes (1.4 ms of the line at 230400 baud).
BENCHMARK(ScanThread)->Arg(512)->Arg(32);
BENCHMARK(NextPacket)->Arg(512)->Arg(32);

}  // namespace

BENCHMARK_MAIN();

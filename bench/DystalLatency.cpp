// A timed tool for the distance sensor on USB: how long a frame written by the sensor takes to
// come out of c_Dystal_getData, how much CPU an idle reader thread uses, and how long creating
// and destroying a sensor on a silent port take.
//   dystal_latency [samples, default 2000]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "PseudoTerminal.h"
#include "SimDystal.h"
#include "TimingSupport.h"
#include "halvern/Dystal.h"

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::duration<double, std::milli>;

// Each round creates a sensor, which takes about a third of a second on a silent port.
constexpr int kLifecycleRounds = 5;

using halvern::bench::percentile;

// A sensor on `port`, with the time its creation took; null if it could not be created.
void* createTimed(const halvern::sim::PseudoTerminal& port, std::vector<double>& createMs) {
  const auto start = Clock::now();
  void* sensor = c_Dystal_createUsb(port.devicePath().c_str(), 0);
  createMs.push_back(Millis(Clock::now() - start).count());
  if (sensor == nullptr) {
    std::fprintf(stderr, "cannot open %s\n", port.devicePath().c_str());
  }
  return sensor;
}

void destroyTimed(void* sensor, std::vector<double>& destroyMs) {
  const auto start = Clock::now();
  c_Dystal_destroy(sensor);
  destroyMs.push_back(Millis(Clock::now() - start).count());
}

}  // namespace

int main(int argc, char** argv) {
  const int samples = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;
  std::vector<double> createMs;
  std::vector<double> destroyMs;

  // The port stays silent through creation: no configuration reply, no acknowledgements.
  halvern::sim::PseudoTerminal sensorPort;
  void* sensor = createTimed(sensorPort, createMs);
  if (sensor == nullptr) {
    return 1;
  }
  sensorPort.receive(std::chrono::milliseconds(100));  // the start-up commands

  // Latency: write one frame, then poll until the reading with its sequence shows up.
  const std::vector<int16_t> distances(DYSTAL_MAX_DISTANCES, 1234);
  DystalScanData scan{};
  // The sequence is never the empty reading's 0 at first.
  const auto sequenceOf = [](int i) { return static_cast<uint8_t>(i + 1); };
  if (!halvern::bench::printArrivalLatency(
          sensorPort, samples, "frame", "getData",
          [&](int i) {
            return halvern::sim::SimDystalUsb::distanceFrame(sequenceOf(i), distances);
          },
          [&](int i) {
            c_Dystal_getData(sensor, &scan, DYSTAL_MAX_DISTANCES);
            return scan.sequence == sequenceOf(i) && scan.count == DYSTAL_MAX_DISTANCES;
          })) {
    c_Dystal_destroy(sensor);
    return 1;
  }

  // Idle cost: the sensor is silent; the reader thread is the only thing running.
  halvern::bench::printIdleReaderCpu();
  destroyTimed(sensor, destroyMs);

  // More creations and destructions, each on a port of its own.
  for (int round = 1; round < kLifecycleRounds; ++round) {
    halvern::sim::PseudoTerminal port;
    void* another = createTimed(port, createMs);
    if (another == nullptr) {
      return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the reader settles idle
    destroyTimed(another, destroyMs);
  }
  std::printf("creation on a silent port over %d rounds: median %.0f ms, max %.0f ms\n",
              kLifecycleRounds, percentile(createMs, 0.5), percentile(createMs, 1.0));
  std::printf("destroy of an idle sensor over %d rounds: median %.2f ms, max %.2f ms\n",
              kLifecycleRounds, percentile(destroyMs, 0.5), percentile(destroyMs, 1.0));
  return 0;
}

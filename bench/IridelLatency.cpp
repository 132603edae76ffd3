// A timed tool for the colour sensor on USB: how long a line written by the sensor takes to
// come out of c_Iridel_getColor, how much CPU an idle reader thread uses, and how long
// destroying an idle sensor takes (it has to stop its reader).
//   iridel_latency [samples, default 2000]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "PseudoTerminal.h"
#include "TimingSupport.h"
#include "halvern/Iridel.h"

namespace {

using Clock = std::chrono::steady_clock;
using Micros = std::chrono::duration<double, std::micro>;

using halvern::bench::percentile;

// Creates silent sensors, leaves each idle for a while so its reader is waiting, and times
// c_Iridel_destroy; the times in microseconds, none when a sensor cannot be created.
std::vector<double> idleDestroyTimes(int sensors) {
  constexpr auto kIdleBeforeDestroy = std::chrono::milliseconds(20);
  std::vector<double> times;
  for (int i = 0; i < sensors; ++i) {
    const halvern::sim::PseudoTerminal sensorPort;
    void* sensor = c_Iridel_createUsb(sensorPort.devicePath().c_str(), 0);
    if (sensor == nullptr) {
      return {};
    }
    std::this_thread::sleep_for(kIdleBeforeDestroy);
    const auto start = Clock::now();
    c_Iridel_destroy(sensor);
    times.push_back(Micros(Clock::now() - start).count());
  }
  return times;
}

}  // namespace

int main(int argc, char** argv) {
  const int samples = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;
  halvern::sim::PseudoTerminal sensorPort;
  void* sensor = c_Iridel_createUsb(sensorPort.devicePath().c_str(), 0);
  if (sensor == nullptr) {
    std::fprintf(stderr, "cannot open %s\n", sensorPort.devicePath().c_str());
    return 1;
  }
  sensorPort.receive(std::chrono::milliseconds(100));  // the start-up command

  // Latency: write one line, then poll until the sample with the next sequence shows up.
  ColorData color{};
  if (!halvern::bench::printArrivalLatency(
          sensorPort, samples, "line", "getColor",
          [](int i) { return "XYZ: " + std::to_string(i) + ", 0.5, 0.75\n"; },
          [&](int i) {
            c_Iridel_getColor(sensor, &color);
            return color.sequence == static_cast<uint16_t>(i + 1);
          })) {
    c_Iridel_destroy(sensor);
    return 1;
  }

  // Idle cost: the sensor is silent; the reader thread is the only thing running.
  halvern::bench::printIdleReaderCpu();
  c_Iridel_destroy(sensor);

  constexpr int kDestroyedSensors = 20;
  const std::vector<double> destroyTimes = idleDestroyTimes(kDestroyedSensors);
  if (destroyTimes.empty()) {
    std::fprintf(stderr, "cannot create a sensor to destroy\n");
    return 1;
  }
  std::printf("destroy of an idle sensor over %d sensors: median %.0f us, max %.0f us\n",
              kDestroyedSensors, percentile(destroyTimes, 0.5), percentile(destroyTimes, 1.0));
  return 0;
}

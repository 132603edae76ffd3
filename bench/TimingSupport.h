// What the timed tools share: the process's CPU time, percentiles and the line that prints
// them, the latency from the port to the library's reading, and the CPU an idle reader thread
// uses.
#pragma once

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace halvern::bench {

inline double processCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

/** The value below which `fraction` (0 to 1) of the values lie; `values` must not be empty. */
inline double percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
  return values.at(index);
}

/** Prints "<what>: median, p99 and max" of figures in microseconds; `micros` must not be empty. */
inline void printMicros(const std::string& what, const std::vector<double>& micros) {
  std::printf("%s: median %.0f us, p99 %.0f us, max %.0f us\n", what.c_str(),
              percentile(micros, 0.5), percentile(micros, 0.99), percentile(micros, 1.0));
}

/**
 * Writes `samples` messages to `port`, each `message(i)`, and after each polls `arrived(i)` until
 * it holds (at most 2 s), then prints "<what> to <reading> over <samples> samples" with the
 * median, p99 and max microseconds from a write to its arrival. False, after printing
 * "<what> <i> never arrived" on the standard error, when one never came.
 */
template <typename Port, typename Message, typename Arrived>
bool printArrivalLatency(Port& port, int samples, const std::string& what,
                         const std::string& reading, Message message, Arrived arrived) {
  using Clock = std::chrono::steady_clock;
  std::vector<double> latencies;
  latencies.reserve(static_cast<std::size_t>(samples));
  for (int i = 0; i < samples; ++i) {
    const auto bytes = message(i);
    const auto written = Clock::now();
    port.send(bytes);
    const auto deadline = written + std::chrono::seconds(2);
    bool came = false;
    do {
      came = arrived(i);
    } while (!came && Clock::now() < deadline);
    if (!came) {
      std::fprintf(stderr, "%s %d never arrived\n", what.c_str(), i);
      return false;
    }
    latencies.push_back(std::chrono::duration<double, std::micro>(Clock::now() - written).count());
  }
  printMicros(what + " to " + reading + " over " + std::to_string(samples) + " samples", latencies);
  return true;
}

/** Prints the process's CPU use over three quiet seconds, when only an idle reader runs. */
inline void printIdleReaderCpu() {
  constexpr double kIdleSeconds = 3.0;
  const double cpuBefore = processCpuSeconds();
  std::this_thread::sleep_for(std::chrono::duration<double>(kIdleSeconds));
  const double cpuUsed = processCpuSeconds() - cpuBefore;
  std::printf("idle reader thread: %.1f ms of CPU per second\n", cpuUsed / kIdleSeconds * 1000.0);
}

}  // namespace halvern::bench

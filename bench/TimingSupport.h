// What the timed tools share: the process's CPU time, percentiles and the line that prints
// them, and the CPU an idle reader thread uses.
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

/** Prints the process's CPU use over three quiet seconds, when only an idle reader runs. */
inline void printIdleReaderCpu() {
  constexpr double kIdleSeconds = 3.0;
  const double cpuBefore = processCpuSeconds();
  std::this_thread::sleep_for(std::chrono::duration<double>(kIdleSeconds));
  const double cpuUsed = processCpuSeconds() - cpuBefore;
  std::printf("idle reader thread: %.1f ms of CPU per second\n", cpuUsed / kIdleSeconds * 1000.0);
}

}  // namespace halvern::bench

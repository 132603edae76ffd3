// The CPU time the process uses while something runs, for the tests that check an idle reader
// thread sleeps rather than spins (POSIX only: from getrusage).
#pragma once

#if !defined(_WIN32)
#include <sys/resource.h>

#include <chrono>

namespace halvern::testing {

/** The CPU time (user and system) the process has used so far. */
inline std::chrono::microseconds processCpuTime() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto toMicros = [](const timeval& t) {
    return std::chrono::seconds(t.tv_sec) + std::chrono::microseconds(t.tv_usec);
  };
  return toMicros(usage.ru_utime) + toMicros(usage.ru_stime);
}

struct CpuUse {
  std::chrono::microseconds cpu{};
  std::chrono::microseconds wall{};
};

/** The process's CPU time and the wall time while `during` ran. */
template <typename During>
CpuUse cpuUseWhile(During during) {
  const auto cpuBefore = processCpuTime();
  const auto wallBefore = std::chrono::steady_clock::now();
  during();
  const auto cpu = processCpuTime() - cpuBefore;
  return {cpu, std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::steady_clock::now() - wallBefore)};
}

}  // namespace halvern::testing
#endif

// How long a robot loop's work took, pass by pass: median, 99th percentile, maximum, and how
// many passes took longer than 1 ms and than the 20 ms period.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <vector>

namespace halvern::example {

class LoopWorkStatistics {
 public:
  static constexpr std::chrono::microseconds kPeriod{20'000};

  void Add(std::chrono::steady_clock::duration work) {
    m_microseconds.push_back(std::chrono::duration<double, std::micro>(work).count());
  }

  [[nodiscard]] std::size_t Count() const { return m_microseconds.size(); }

  /** The value below which `fraction` of the passes lie (nearest rank). */
  [[nodiscard]] double Percentile(double fraction) const {
    if (m_microseconds.empty()) {
      return 0.0;
    }
    std::vector<double> sorted = m_microseconds;
    std::sort(sorted.begin(), sorted.end());
    const auto rank =
        static_cast<std::size_t>(fraction * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(rank, sorted.size() - 1)];
  }

  [[nodiscard]] std::size_t CountOver(std::chrono::microseconds limit) const {
    return static_cast<std::size_t>(
        std::count_if(m_microseconds.begin(), m_microseconds.end(),
                      [limit](double us) { return us > static_cast<double>(limit.count()); }));
  }

  /** One line: "<what>: N passes, median X us, p99 Y us, max Z us, A over 1 ms, B over 20 ms". */
  void Print(const char* what) const {
    std::printf(
        "%s: %zu passes, median %.0f us, p99 %.0f us, max %.0f us, %zu over 1 ms, "
        "%zu over 20 ms\n",
        what, Count(), Percentile(0.5), Percentile(0.99), Percentile(1.0),
        CountOver(std::chrono::microseconds(1000)), CountOver(kPeriod));
    std::fflush(stdout);
  }

 private:
  std::vector<double> m_microseconds;
};

}  // namespace halvern::example

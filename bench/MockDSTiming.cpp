// A timed tool for the mock driver station: it creates one through the C face and receives its
// datagrams as the robot program does (127.0.0.1:1110), timestamping each arrival on the steady
// clock, then reports the mean period, how far each arrival lies from its ideal slot on the 20 ms
// grid (jitter), drift, and missing or duplicate sequence numbers.
//   mockds_timing [seconds, default 60]
// Exits non-zero when datagrams are missing or duplicated, or too few arrived.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "SimRobotDriverStation.h"
#include "TimingSupport.h"
#include "halvern/MockDS.h"

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::duration<double, std::milli>;
using halvern::bench::percentile;
using halvern::sim::SimRobotDriverStation;

constexpr double kPeriodMs = 20.0;
// The grid is taken to have moved by whole slots (the sender skipped slots it missed) when this
// many datagrams in a row all lie at least kShiftedMs behind their slot.
constexpr std::size_t kShiftWindow = 10;
constexpr double kShiftedMs = 15.0;

std::string loadAverage() {
  std::ifstream file("/proc/loadavg");
  std::string one;
  std::string five;
  std::string fifteen;
  file >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

struct Fit {
  double slope = 0.0;
  double intercept = 0.0;
};

/** Least squares y = intercept + slope x. */
Fit linearFit(const std::vector<double>& x, const std::vector<double>& y) {
  const auto n = static_cast<double>(x.size());
  double meanX = 0.0;
  double meanY = 0.0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    meanX += x[i] / n;
    meanY += y[i] / n;
  }
  double covariance = 0.0;
  double variance = 0.0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    covariance += (x[i] - meanX) * (y[i] - meanY);
    variance += (x[i] - meanX) * (x[i] - meanX);
  }
  Fit fit;
  fit.slope = variance > 0.0 ? covariance / variance : 0.0;
  fit.intercept = meanY - fit.slope * meanX;
  return fit;
}

double mean(const std::vector<double>& values, std::size_t from, std::size_t to) {
  double sum = 0.0;
  for (std::size_t i = from; i < to; ++i) {
    sum += values[i];
  }
  return to > from ? sum / static_cast<double>(to - from) : 0.0;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
  std::printf("mock driver station timing over %d s (load average %s)\n", seconds,
              loadAverage().c_str());

  SimRobotDriverStation robot;  // throws (and the program ends) if port 1110 is taken
  const double cpuBefore = halvern::bench::processCpuSeconds();
  const auto created = Clock::now();
  c_MockDS_create();
  const auto createReturned = Clock::now();
  c_MockDS_enable();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const auto stream = robot.received();
  const double cpuUsed = halvern::bench::processCpuSeconds() - cpuBefore;
  std::printf("load average at the end: %s\n", loadAverage().c_str());

  const auto expected = static_cast<std::size_t>(seconds * 1000.0 / kPeriodMs);
  if (stream.size() < expected / 2) {
    std::fprintf(stderr, "only %zu datagrams arrived, about %zu expected\n", stream.size(),
                 expected);
    return 1;
  }

  // Sequence numbers, unwrapped (they wrap at 65536): missing and duplicate ones.
  std::vector<double> index;  // the unwrapped sequence number counted from the first
  std::map<long long, int> seen;
  long long unwrapped = 0;
  for (std::size_t k = 0; k < stream.size(); ++k) {
    if (k > 0) {
      const auto step =
          static_cast<uint16_t>(stream[k].control.sequence - stream[k - 1].control.sequence);
      // A step "backwards" (a repeat or reordering) counts as negative, not a near wrap.
      unwrapped += step >= 0x8000U ? static_cast<long long>(step) - 0x10000 : step;
    }
    index.push_back(static_cast<double>(unwrapped));
    ++seen[unwrapped];
  }
  long long duplicates = 0;
  for (const auto& [number, times] : seen) {
    duplicates += times - 1;
  }
  const long long span = seen.rbegin()->first - seen.begin()->first + 1;
  const long long missing = span - static_cast<long long>(seen.size());

  // Arrival times in ms from the first, and their deviation from the ideal slot: datagram k
  // belongs k slots after the first (plus the slots the sender skipped, if it ever missed one).
  // The grid is anchored at the earliest arrival relative to it, so deviations are >= 0: the
  // time a datagram came after the least delay seen.
  std::vector<double> arrival;
  arrival.reserve(stream.size());
  for (const auto& datagram : stream) {
    arrival.push_back(Millis(datagram.at - stream.front().at).count());
  }
  std::vector<double> slot = index;
  std::vector<double> deviation(stream.size());
  int skippedSlots = 0;
  // Each pass moves at least one slot; a stream this long cannot have skipped more slots than
  // its datagrams, so more passes than that would only chase the anchor back and forth (a very
  // uneven stream, on a loaded machine, can make one shift re-anchor the grid and ask for another).
  for (std::size_t pass = 0; pass < stream.size(); ++pass) {
    double anchor = arrival[0];
    for (std::size_t k = 0; k < stream.size(); ++k) {
      anchor = std::min(anchor, arrival[k] - slot[k] * kPeriodMs);
    }
    for (std::size_t k = 0; k < stream.size(); ++k) {
      deviation[k] = arrival[k] - anchor - slot[k] * kPeriodMs;
    }
    // A lasting shift of whole slots: the sender woke after a later slot than it meant to and
    // skipped the ones it missed. Move the slots from there on and measure again.
    bool shifted = false;
    for (std::size_t k = 0; k + kShiftWindow <= stream.size() && !shifted; ++k) {
      double least = deviation[k];
      for (std::size_t j = k; j < k + kShiftWindow; ++j) {
        least = std::min(least, deviation[j]);
      }
      if (least >= kShiftedMs) {
        const double slots = std::round(least / kPeriodMs);
        skippedSlots += static_cast<int>(std::max(1.0, slots));
        for (std::size_t j = k; j < stream.size(); ++j) {
          slot[j] += std::max(1.0, slots);
        }
        shifted = true;
      }
    }
    if (!shifted) {
      break;
    }
  }

  std::vector<double> intervals;
  for (std::size_t k = 1; k < stream.size(); ++k) {
    intervals.push_back(arrival[k] - arrival[k - 1]);
  }
  const double totalSlots = slot.back() - slot.front();
  const double meanPeriod = arrival.back() / totalSlots;
  const Fit fit = linearFit(slot, arrival);
  const double driftPpm = (fit.slope - kPeriodMs) / kPeriodMs * 1e6;
  const std::size_t tenth = std::max<std::size_t>(1, stream.size() / 10);
  const double growthMs =
      mean(deviation, stream.size() - tenth, stream.size()) - mean(deviation, 0, tenth);
  // The first datagram is due 20 ms after the sender starts, just after create is called.
  const double firstAfterCreate = Millis(stream.front().at - created).count();

  std::printf(
      "datagrams: %zu in %.1f s (%lld sequence numbers), missing %lld, duplicate %lld, "
      "slots skipped by the sender %d\n",
      stream.size(), arrival.back() / 1000.0, span, missing, duplicates, skippedSlots);
  std::printf("c_MockDS_create: %.3f ms; first datagram %.3f ms after create was called\n",
              Millis(createReturned - created).count(), firstAfterCreate);
  std::printf("mean period: %.4f ms (first to last arrival over %.0f slots)\n", meanPeriod,
              totalSlots);
  std::printf("arrival intervals: min %.3f ms, p50 %.3f ms, p99 %.3f ms, max %.3f ms\n",
              percentile(intervals, 0.0), percentile(intervals, 0.5), percentile(intervals, 0.99),
              percentile(intervals, 1.0));
  std::printf("deviation from the ideal slot (jitter): p50 %.3f ms, p99 %.3f ms, max %.3f ms\n",
              percentile(deviation, 0.5), percentile(deviation, 0.99), percentile(deviation, 1.0));
  const auto lateShare = [&](double ms) {
    const auto late = std::count_if(deviation.begin(), deviation.end(),
                                    [ms](double value) { return value > ms; });
    return 100.0 * static_cast<double>(late) / static_cast<double>(deviation.size());
  };
  std::printf("arrivals more than 0.5 / 1 / 5 ms after their slot: %.2f %% / %.2f %% / %.2f %%\n",
              lateShare(0.5), lateShare(1.0), lateShare(5.0));
  std::printf(
      "drift: fitted period %.5f ms, %+.1f ppm; deviation grew by %+.3f ms from the "
      "first tenth of the run to the last\n",
      fit.slope, driftPpm, growthMs);
  std::printf("process CPU (sender and receiver threads): %.2f ms per second\n",
              cpuUsed / seconds * 1000.0);

  const bool periodMet = std::abs(meanPeriod - kPeriodMs) <= 0.05;
  const bool jitterMet = percentile(deviation, 0.99) < 1.0;
  const bool driftMet = std::abs(growthMs) < 0.5;
  std::printf("goals: mean 20 +- 0.05 ms %s, p99 jitter < 1 ms %s, no drift %s\n",
              periodMet ? "met" : "NOT met", jitterMet ? "met" : "NOT met",
              driftMet ? "met" : "NOT met");
  return missing == 0 && duplicates == 0 ? 0 : 1;
}

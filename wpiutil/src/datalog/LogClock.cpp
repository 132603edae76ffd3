#include "datalog/LogClock.h"

#include <chrono>

namespace wpi::log::detail {
namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point epoch() {
  static const Clock::time_point start = Clock::now();
  return start;
}

// Taken while the library loads, as the HAL takes its own.
[[maybe_unused]] const Clock::time_point startedAtLoad = epoch();

}  // namespace

int64_t logNowMicros() {
  // At least 1: a timestamp of 0 would mean now again to whoever reads it back into a log.
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - epoch()).count();
  return elapsed > 0 ? elapsed : 1;
}

}  // namespace wpi::log::detail

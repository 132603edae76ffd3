// This process's threads and open descriptors (Linux, from /proc), for the tests that check a
// device leaves none behind.
//
// A joined thread leaves the task list a moment after the join returns; under an emulator
// (qemu-user, the 64-bit ARM build's tests) that moment is long enough to be seen. So counts
// compared after a join are read until they come back, for a while: a thread or descriptor
// really left behind never goes, so the comparison still catches it.
#pragma once

#if defined(__linux__)
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <ostream>
#include <thread>

namespace halvern::testing {

inline std::size_t entriesIn(const char* folder) {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
    ++count;
  }
  return count;
}

/** The process's threads. */
inline std::size_t threadCount() { return entriesIn("/proc/self/task"); }
/** The process's open file descriptors (the listing's own included, the same every time). */
inline std::size_t descriptorCount() { return entriesIn("/proc/self/fd"); }

/** How long a count is given to come back after the threads holding it were joined. */
inline constexpr std::chrono::milliseconds kSettleLimit{2000};

namespace detail {
template <typename Count>
std::size_t settledAt(Count count, std::size_t expected, std::chrono::milliseconds limit) {
  const auto giveUp = std::chrono::steady_clock::now() + limit;
  std::size_t now = count();
  while (now != expected && std::chrono::steady_clock::now() < giveUp) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    now = count();
  }
  return now;
}
}  // namespace detail

/** The thread count once it has come to `expected`, or whatever it is after `limit`. */
inline std::size_t threadCountSettledAt(std::size_t expected,
                                        std::chrono::milliseconds limit = kSettleLimit) {
  return detail::settledAt(threadCount, expected, limit);
}

/** The descriptor count once it has come to `expected`, or whatever it is after `limit`. */
inline std::size_t descriptorCountSettledAt(std::size_t expected,
                                            std::chrono::milliseconds limit = kSettleLimit) {
  return detail::settledAt(descriptorCount, expected, limit);
}

/**
 * The thread count to compare with later: read until it has stayed the same for a while (at most
 * `limit`), since threads joined just before may still be leaving the task list.
 */
inline std::size_t settledThreadCount(std::chrono::milliseconds limit = kSettleLimit) {
  constexpr std::chrono::milliseconds kSteadyFor{100};
  const auto giveUp = std::chrono::steady_clock::now() + limit;
  std::size_t count = threadCount();
  auto steadySince = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() < giveUp &&
         std::chrono::steady_clock::now() - steadySince < kSteadyFor) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const std::size_t now = threadCount();
    if (now != count) {
      count = now;
      steadySince = std::chrono::steady_clock::now();
    }
  }
  return count;
}

/**
 * The descriptor count to compare with later: the fewest over a few looks, since a runtime (a
 * sanitizer's, say) may hold a descriptor of its own open for a moment on another thread.
 */
inline std::size_t baselineDescriptorCount() {
  std::size_t fewest = descriptorCount();
  for (int look = 1; look < 5; ++look) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    fewest = std::min(fewest, descriptorCount());
  }
  return fewest;
}

/** The process's open descriptors and threads, to compare before and after a device's life. */
struct ProcessEntries {
  std::size_t descriptors = 0;
  std::size_t threads = 0;
  bool operator==(const ProcessEntries&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const ProcessEntries& entries) {
  return out << entries.descriptors << " descriptors, " << entries.threads << " threads";
}

/** The entries to compare with later (the thread count once it has settled). */
inline ProcessEntries entriesBefore() { return {descriptorCount(), settledThreadCount()}; }

/** The entries once both counts have come back to `before`'s, or whatever they are by then. */
inline ProcessEntries entriesSettledAt(const ProcessEntries& before) {
  const std::size_t descriptors = descriptorCountSettledAt(before.descriptors);
  return {descriptors, threadCountSettledAt(before.threads)};
}

}  // namespace halvern::testing
#endif

// The one thread that runs the simulated devices' periodic work (status frames, readings), each
// task at its own period on the simulation's clock.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "SimClock.h"

namespace halvern::sim {

class PeriodicScheduler {
 public:
  PeriodicScheduler() = default;
  PeriodicScheduler(const PeriodicScheduler&) = delete;
  PeriodicScheduler& operator=(const PeriodicScheduler&) = delete;
  /** Waits for a task in progress and stops the thread. */
  ~PeriodicScheduler();

  /**
   * Runs `task` every `period` from one period on, until cancelled by the token returned; after
   * a stall it carries on from now rather than in a burst. The thread starts with the first task.
   */
  uint64_t schedule(std::chrono::nanoseconds period, std::function<void()> task);
  /** Ends a task; waits for a run in progress, unless called from that run. */
  void cancel(uint64_t token);

 private:
  struct Entry {
    std::chrono::nanoseconds period{};
    SimTime due;
    std::shared_ptr<std::function<void()>> task;
  };

  void run();

  std::mutex mutex_;  // never held while a task runs
  std::map<uint64_t, Entry> tasks_;
  uint64_t nextToken_ = 1;
  uint64_t running_ = 0;  // the task running now, 0 when none
  bool stopping_ = false;
  std::condition_variable wake_;
  std::condition_variable taskDone_;
  std::thread thread_;
};

/** The process's scheduler, made on first use and gone with the static objects at exit. */
PeriodicScheduler& periodicScheduler();

}  // namespace halvern::sim

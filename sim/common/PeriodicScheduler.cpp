#include "common/PeriodicScheduler.h"

#include <atomic>
#include <stdexcept>
#include <utility>

#include "SimCanBus.h"

namespace halvern::sim {
namespace {

// Set once the scheduler is being destroyed at exit. Constant-initialised and trivially
// destructible, so a task handle a program keeps in its own static object (made before the
// scheduler, so destroyed after it) can still read it.
constinit std::atomic<bool> schedulerGone{false};

}  // namespace

PeriodicScheduler::~PeriodicScheduler() {
  schedulerGone.store(true);
  {
    const std::scoped_lock lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) {
    thread_.join();
  }
}

uint64_t PeriodicScheduler::schedule(std::chrono::nanoseconds period, std::function<void()> task) {
  if (period <= std::chrono::nanoseconds::zero()) {
    throw std::invalid_argument("a periodic task needs a positive period");
  }
  const std::scoped_lock lock(mutex_);
  const uint64_t token = nextToken_++;
  tasks_.emplace(token, Entry{.period = period,
                              .due = simNow() + period,
                              .task = std::make_shared<std::function<void()>>(std::move(task))});
  if (!thread_.joinable()) {
    thread_ = std::thread([this] { run(); });
  }
  wake_.notify_all();
  return token;
}

void PeriodicScheduler::cancel(uint64_t token) {
  std::shared_ptr<std::function<void()>> removed;  // released after the lock
  std::unique_lock lock(mutex_);
  if (const auto found = tasks_.find(token); found != tasks_.end()) {
    removed = std::move(found->second.task);
    tasks_.erase(found);
  }
  if (std::this_thread::get_id() != thread_.get_id()) {
    taskDone_.wait(lock, [this, token] { return running_ != token; });
  }
}

void PeriodicScheduler::run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    auto next = tasks_.end();
    for (auto entry = tasks_.begin(); entry != tasks_.end(); ++entry) {
      if (next == tasks_.end() || entry->second.due < next->second.due) {
        next = entry;
      }
    }
    if (next == tasks_.end()) {
      wake_.wait(lock);
      continue;
    }
    const SimTime due = next->second.due;
    if (simNow() < due) {
      wake_.wait_until(lock, due);
      continue;  // woken early, or a task came or went: look again
    }
    Entry& task = next->second;
    task.due += task.period;
    if (const SimTime now = simNow(); now > task.due + task.period) {
      task.due = now;  // after a stall, carry on from now rather than in a burst
    }
    running_ = next->first;
    auto work = task.task;
    lock.unlock();
    (*work)();
    // Released before the lock: when the task ended itself, this is its last copy, and what it
    // captures (a device, leaving the bus) goes with it.
    work.reset();
    lock.lock();
    running_ = 0;
    taskDone_.notify_all();
  }
}

PeriodicScheduler& periodicScheduler() {
  static PeriodicScheduler instance;
  return instance;
}

void detail::endPeriodicTask(uint64_t token) {
  if (token != 0 && !schedulerGone.load()) {
    periodicScheduler().cancel(token);
  }
}

}  // namespace halvern::sim

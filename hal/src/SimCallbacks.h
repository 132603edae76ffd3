// A list of simulation callbacks, as WPILib's simulation keeps them: each registration gets a
// uid for cancelling it, and every callback is called in registration order under the list's
// lock. The lock is recursive, so a callback may call into the simulation again, and a cancel
// returns only once no call of that callback is running.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace halsim::detail {

template <typename Callback>
class CallbackList {
 public:
  int32_t add(Callback callback, void* param) {
    if (callback == nullptr) {
      return 0;
    }
    const std::scoped_lock lock(mutex_);
    const int32_t uid = nextUid_++;
    entries_.push_back({uid, callback, param});
    return uid;
  }

  void cancel(int32_t uid) {
    const std::scoped_lock lock(mutex_);
    std::erase_if(entries_, [uid](const Entry& entry) { return entry.uid == uid; });
  }

  void clear() {
    const std::scoped_lock lock(mutex_);
    entries_.clear();
  }

  /** Calls every callback as callback(name, param, args...). */
  template <typename... Args>
  void call(const char* name, Args... args) {
    const std::scoped_lock lock(mutex_);
    // A copy: a callback may cancel itself or others while the list is walked.
    const std::vector<Entry> entries = entries_;
    for (const Entry& entry : entries) {
      entry.callback(name, entry.param, args...);
    }
  }

 private:
  struct Entry {
    int32_t uid;
    Callback callback;
    void* param;
  };
  std::recursive_mutex mutex_;
  std::vector<Entry> entries_;
  int32_t nextUid_ = 1;
};

}  // namespace halsim::detail

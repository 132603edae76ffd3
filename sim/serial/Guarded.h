// A simulated device's state behind its mutex: the test's thread sets and reads it, the device's
// thread follows it.
#pragma once

#include <mutex>
#include <utility>

namespace halvern::sim {

template <typename State>
class Guarded {
 public:
  /** Calls action(state) with the mutex held; its result. */
  template <typename Action>
  decltype(auto) with(Action&& action) {
    const std::lock_guard lock(mutex_);
    return std::forward<Action>(action)(state_);
  }
  template <typename Action>
  decltype(auto) with(Action&& action) const {
    const std::lock_guard lock(mutex_);
    return std::forward<Action>(action)(state_);
  }

  /** A copy of one member. */
  template <typename Member>
  Member get(Member State::*member) const {
    const std::lock_guard lock(mutex_);
    return state_.*member;
  }
  /** Sets one member. */
  template <typename Member, typename Value>
  void set(Member State::*member, Value&& value) {
    const std::lock_guard lock(mutex_);
    state_.*member = std::forward<Value>(value);
  }

 private:
  mutable std::mutex mutex_;
  State state_;
};

}  // namespace halvern::sim

// The background loop that tells every Ordex controller whether the robot is enabled.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace halvern::ordex {

/**
 * One thread serves every registered controller, on whichever bus it is: each receives
 * EnabledHeartbeat while the robot is enabled, DisabledHeartbeat otherwise, every 100 ms from
 * the moment it is added. While the library logs into a data log, the same turn takes in the
 * controller's status frames for it (ControllerLog::takeStatus).
 * The thread runs only while at least one controller is registered.
 */
class HeartbeatLoop {
 public:
  static constexpr std::chrono::milliseconds kPeriod{100};

  HeartbeatLoop() = default;
  HeartbeatLoop(const HeartbeatLoop&) = delete;
  HeartbeatLoop& operator=(const HeartbeatLoop&) = delete;
  /** Stops and joins the thread, so it never outlives the library. */
  ~HeartbeatLoop();

  /** Starts the heartbeat of the controller `deviceNumber` on CAN bus `bus` now. Throws
   *  std::system_error if no thread starts. */
  void add(int32_t handle, int32_t deviceNumber, int32_t bus);
  /** Returns once no further heartbeat will be sent for the handle. */
  void remove(int32_t handle);

  [[nodiscard]] bool running() const { return heartbeatThread.joinable(); }

 private:
  using Clock = std::chrono::steady_clock;
  struct Controller {
    int32_t handle = 0;
    int32_t deviceNumber = 0;
    int32_t bus = 0;
    Clock::time_point nextDue{};
    bool logging = false;  // its last turn logged
  };

  /** The controller's turn of logging, if a log is set or was at its last turn. */
  static void logStatus(Controller& controller);

  void heartbeatLoop();
  void stopThread();

  std::mutex lifecycleMutex;  // serialises add/remove with starting and joining the thread
  std::mutex controllersMutex;
  std::condition_variable wake;
  std::vector<Controller> controllers;  // guarded by controllersMutex
  std::atomic<bool> heartbeatStop{false};
  std::thread heartbeatThread;
};

}  // namespace halvern::ordex

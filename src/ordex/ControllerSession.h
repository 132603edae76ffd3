// What one Ordex controller has beside its registry entries: the background fetch of its
// identity, the lock that keeps identity exchanges one at a time, its connection state and its
// signals in the robot's data log.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "core/ConnectionMonitor.h"
#include "halvern/Ordex.h"
#include "ordex/ControllerLog.h"

namespace halvern::ordex {

/** A controller that sent no status frame for longer than this reads disconnected. */
inline constexpr std::chrono::milliseconds kStatusSilenceLimit{ORDEX_CONNECTION_SILENCE_MS};

/** How the background fetch paces its identity requests. */
struct IdentityFetchPace {
  /** After this many unanswered attempts (the first identity call's eight)... */
  int eagerAttempts = 8;
  /** ...it asks again once per this pause, so a controller powered on later is identified. */
  std::chrono::milliseconds quietPause{1000};
};

/**
 * One controller's session, from its creation to its destruction. The background identity
 * fetch runs on a thread this object owns; stopFetch() (or destruction) wakes and joins it.
 */
class ControllerSession {
 public:
  /** The controller `deviceNumber` on CAN bus `bus`, registered under `handle`. */
  ControllerSession(int32_t handle, int32_t deviceNumber, IdentityFetchPace pace = {},
                    int32_t bus = 0);
  ControllerSession(const ControllerSession&) = delete;
  ControllerSession& operator=(const ControllerSession&) = delete;
  ~ControllerSession();

  /**
   * Starts the background identity fetch unless it was started before. Throws
   * std::system_error when no thread can be started.
   */
  void startFetch();
  /** Stops the fetch, if one runs, and returns once its thread has ended. */
  void stopFetch();

  /**
   * Holds the identity exchange for a caller that asks on its own thread: returns once no
   * fetch attempt is in progress, and keeps the fetch from starting another while it lives.
   */
  class CallerExchange {
   public:
    explicit CallerExchange(ControllerSession& session);
    CallerExchange(const CallerExchange&) = delete;
    CallerExchange& operator=(const CallerExchange&) = delete;
    ~CallerExchange();

   private:
    ControllerSession& owner;
    std::unique_lock<std::mutex> exchange;
  };

  /** The robot-clock time of the controller's newest status frame seen. */
  ConnectionMonitor& statusTraffic() { return statusFrames; }

  /** Its signals in the robot's data log. */
  ControllerLog& log() { return signals; }

 private:
  void fetchLoop();
  /** Waits `duration`, or less when stopping or when a caller waits for the exchange. */
  bool waitUnlessStopping(std::chrono::milliseconds duration);
  /** Waits while a caller holds or waits for the exchange; false when stopping. */
  bool waitForCallers();

  const int32_t canHandle;
  const int32_t deviceId;
  const IdentityFetchPace fetchPace;
  ConnectionMonitor statusFrames{kStatusSilenceLimit};
  ControllerLog signals;

  // One identity request/reply exchange on the bus at a time, the caller's or the fetch's.
  std::mutex exchangeMutex;

  std::mutex stateMutex;  // guards the two below
  std::condition_variable wake;
  bool stopping = false;
  int callersWaiting = 0;

  std::mutex lifecycleMutex;  // serialises starting and joining the thread
  std::thread fetchThread;
};

}  // namespace halvern::ordex

#include "ordex/Heartbeat.h"

#include <algorithm>

#include "core/DataLogSink.h"
#include "core/HalPlatform.h"
#include "ordex/OrdexBus.h"

namespace halvern::ordex {

HeartbeatLoop::~HeartbeatLoop() {
  const std::lock_guard lifecycle(lifecycleMutex);
  stopThread();
}

void HeartbeatLoop::add(int32_t handle, int32_t deviceNumber, int32_t bus) {
  const std::lock_guard lifecycle(lifecycleMutex);
  if (!heartbeatThread.joinable()) {
    heartbeatStop.store(false);
    heartbeatThread = std::thread([this] { heartbeatLoop(); });
  }
  {
    const std::lock_guard lock(controllersMutex);
    controllers.push_back({handle, deviceNumber, bus, Clock::now()});
  }
  wake.notify_one();
}

void HeartbeatLoop::remove(int32_t handle) {
  const std::lock_guard lifecycle(lifecycleMutex);
  bool noneLeft = false;
  {
    // The loop sends while holding this mutex, so once the entry is gone no frame follows.
    const std::lock_guard lock(controllersMutex);
    std::erase_if(controllers, [handle](const Controller& c) { return c.handle == handle; });
    noneLeft = controllers.empty();
  }
  if (noneLeft) {
    stopThread();
  }
}

void HeartbeatLoop::stopThread() {
  {
    const std::lock_guard lock(controllersMutex);
    heartbeatStop.store(true);
  }
  wake.notify_one();
  if (heartbeatThread.joinable()) {
    heartbeatThread.join();
  }
}

void HeartbeatLoop::logStatus(Controller& controller) {
  // One turn more after the log goes, to close the stream of frames.
  const bool logging = datalog::dataLogActive();
  if (logging || controller.logging) {
    if (const auto session = sessionOf(controller.handle); session != nullptr) {
      session->log().takeStatus(controller.handle);
    }
    controller.logging = logging;
  }
}

void HeartbeatLoop::heartbeatLoop() {
  std::unique_lock lock(controllersMutex);
  while (!heartbeatStop.load()) {
    const auto now = Clock::now();
    const bool anyDue = std::any_of(controllers.begin(), controllers.end(),
                                    [now](const Controller& c) { return c.nextDue <= now; });
    if (anyDue) {
      const Api api = platform::systemActive() ? Api::EnabledHeartbeat : Api::DisabledHeartbeat;
      for (auto& controller : controllers) {
        if (controller.nextDue <= now) {
          ordexSend(messageBase(api), Frame{}, controller.deviceNumber, controller.bus);
          controller.nextDue = Clock::now() + kPeriod;
          logStatus(controller);
        }
      }
    }
    // Woken early by add() and by a stop; every wake-up recomputes what is due.
    if (controllers.empty()) {
      wake.wait(lock);
    } else {
      const auto next = std::min_element(controllers.begin(), controllers.end(),
                                         [](const Controller& a, const Controller& b) {
                                           return a.nextDue < b.nextDue;
                                         })
                            ->nextDue;
      wake.wait_until(lock, next);
    }
  }
}

}  // namespace halvern::ordex

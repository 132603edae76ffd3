#include "ordex/ControllerSession.h"

#include <algorithm>

#include "ordex/OrdexBus.h"

namespace halvern::ordex {

ControllerSession::ControllerSession(int32_t handle, int32_t deviceNumber,
                                     IdentityFetchPace pace, int32_t bus)
    : canHandle(handle), deviceId(deviceNumber), fetchPace(pace), signals(deviceNumber, bus) {}

ControllerSession::~ControllerSession() { stopFetch(); }

void ControllerSession::startFetch() {
  const std::lock_guard lifecycle(lifecycleMutex);
  if (fetchThread.joinable()) {
    return;  // running, or ended with the answer: either way nothing more to start
  }
  {
    const std::lock_guard state(stateMutex);
    if (stopping) {
      return;
    }
  }
  fetchThread = std::thread([this] { fetchLoop(); });
}

void ControllerSession::stopFetch() {
  const std::lock_guard lifecycle(lifecycleMutex);
  {
    const std::lock_guard state(stateMutex);
    stopping = true;
  }
  wake.notify_all();
  if (fetchThread.joinable()) {
    fetchThread.join();
  }
}

ControllerSession::CallerExchange::CallerExchange(ControllerSession& session) : owner(session) {
  {
    const std::lock_guard state(owner.stateMutex);
    ++owner.callersWaiting;
  }
  exchange = std::unique_lock(owner.exchangeMutex);
}

ControllerSession::CallerExchange::~CallerExchange() {
  exchange.unlock();
  {
    const std::lock_guard state(owner.stateMutex);
    --owner.callersWaiting;
  }
  owner.wake.notify_all();
}

bool ControllerSession::waitUnlessStopping(std::chrono::milliseconds duration) {
  std::unique_lock state(stateMutex);
  return !wake.wait_for(state, duration, [this] { return stopping; });
}

bool ControllerSession::waitForCallers() {
  std::unique_lock state(stateMutex);
  wake.wait(state, [this] { return stopping || callersWaiting == 0; });
  return !stopping;
}

void ControllerSession::fetchLoop() {
  const auto waitForReply = [this](std::chrono::milliseconds duration) {
    return waitUnlessStopping(duration);
  };
  for (int attempt = 0;; ++attempt) {
    // A caller asking on its own thread goes first; the fetch resumes after it, and finds the
    // answer in the cache if the caller got one.
    if (!waitForCallers()) {
      return;
    }
    {
      const std::lock_guard exchange(exchangeMutex);
      if (identityCached(canHandle)) {
        return;
      }
      const int paced = std::min(attempt, kIdentityAttempts - 1);
      if (identityExchange(canHandle, deviceId, identityReplyWait(paced), waitForReply)) {
        return;
      }
    }
    if (attempt + 1 >= fetchPace.eagerAttempts && !waitUnlessStopping(fetchPace.quietPause)) {
      return;
    }
    if (!waitUnlessStopping(std::chrono::milliseconds::zero())) {
      return;  // stopped during the attempt
    }
  }
}

}  // namespace halvern::ordex

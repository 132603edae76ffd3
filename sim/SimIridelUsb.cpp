#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "PseudoTerminal.h"
#include "SimClock.h"
#include "SimHal.h"
#include "SimIridel.h"

namespace halvern::sim {

SimIridelUsb::SimIridelUsb()
    // The HAL's clock stamps the samples sent: the simulation runs before the first.
    : terminal_((startSimulation(), std::make_unique<PseudoTerminal>())),
      thread_([this] { run(); }) {}

SimIridelUsb::~SimIridelUsb() {
  running_ = false;
  thread_.join();
}

const std::string& SimIridelUsb::devicePath() const { return terminal_->devicePath(); }

void SimIridelUsb::setColor(float x, float y, float z) {
  const std::lock_guard lock(mutex_);
  x_ = x;
  y_ = y;
  z_ = z;
}

void SimIridelUsb::setDistanceMode(bool on) {
  const std::lock_guard lock(mutex_);
  distanceMode_ = on;
}

void SimIridelUsb::setSilent(bool silent) {
  const std::lock_guard lock(mutex_);
  silent_ = silent;
}

void SimIridelUsb::sendRaw(const std::string& bytes) {
  // The device thread owns the terminal; hand the bytes over and let it write them in order.
  const std::lock_guard lock(mutex_);
  pendingRaw_ += bytes;
}

void SimIridelUsb::unplug() {
  std::unique_lock lock(mutex_);
  unplugRequested_ = true;
  unpluggedNow_.wait(lock, [this] { return unplugged_; });
}

std::vector<std::string> SimIridelUsb::receivedLines() const {
  const std::lock_guard lock(mutex_);
  return received_;
}

uint64_t SimIridelUsb::lastSampleSentMicros() const {
  const std::lock_guard lock(mutex_);
  return lastSampleSentUs_;
}

int SimIridelUsb::samplesSent() const {
  const std::lock_guard lock(mutex_);
  return samplesSent_;
}

std::chrono::milliseconds SimIridelUsb::sampleTime() const {
  const std::lock_guard lock(mutex_);
  return sampleTime_;
}

bool SimIridelUsb::allSentWasRead() const {
  {
    const std::lock_guard lock(mutex_);
    if (!pendingRaw_.empty() || writing_) {
      return false;
    }
  }
  return terminal_->unreadByLibrary() == 0;
}

void SimIridelUsb::handleCommand(const std::string& line) {
  const std::lock_guard lock(mutex_);
  received_.push_back(line);
  constexpr std::string_view kSampleTime = "SAMPLETIME,";
  if (line.starts_with(kSampleTime)) {
    const int milliseconds = std::atoi(line.c_str() + kSampleTime.size());
    sampleTime_ = std::chrono::milliseconds(std::max(milliseconds, 1));
  }
}

void SimIridelUsb::run() {
  using Clock = std::chrono::steady_clock;
  auto nextSample = Clock::now();
  while (running_) {
    if (!terminal_->pluggedIn()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    for (const uint8_t byte : terminal_->receiveAvailable(std::chrono::milliseconds(1))) {
      if (byte == '\n') {
        if (!partialCommand_.empty() && partialCommand_.back() == '\r') {
          partialCommand_.pop_back();
        }
        handleCommand(partialCommand_);
        partialCommand_.clear();
      } else {
        partialCommand_.push_back(static_cast<char>(byte));
      }
    }

    std::string toSend;
    bool unplug = false;
    // Writing on while the library reads nothing would block this thread for good once the
    // terminal's buffers fill, and a destroyed simulator could then never stop.
    const bool hostQueueFull = terminal_->unreadByLibrary() >= PseudoTerminal::kLibraryQueueLimit;
    {
      const std::lock_guard lock(mutex_);
      unplug = unplugRequested_;
      if (!hostQueueFull) {
        toSend.swap(pendingRaw_);
      }
      const auto now = Clock::now();
      if (!hostQueueFull && !silent_ && now >= nextSample) {
        std::array<char, 160> line{};
        const int length =
            distanceMode_
                ? std::snprintf(line.data(), line.size(), "DIST: %d  XYZ: %.4f, %.4f, %.4f\r\n",
                                123, static_cast<double>(x_), static_cast<double>(y_),
                                static_cast<double>(z_))
                : std::snprintf(line.data(), line.size(), "XYZ: %.4f, %.4f, %.4f\r\n",
                                static_cast<double>(x_), static_cast<double>(y_),
                                static_cast<double>(z_));
        toSend.append(line.data(), static_cast<std::size_t>(std::max(length, 0)));
        ++samplesSent_;
        lastSampleSentUs_ = simhal::halMicros();
        nextSample = now + sampleTime_;
      }
      writing_ = !unplug && !toSend.empty();
    }
    if (unplug) {
      terminal_->unplug();
      const std::lock_guard lock(mutex_);
      unplugged_ = true;
      unpluggedNow_.notify_all();
    } else if (!toSend.empty()) {
      terminal_->send(toSend);
      const std::lock_guard lock(mutex_);
      writing_ = false;
    }
  }
}

}  // namespace halvern::sim

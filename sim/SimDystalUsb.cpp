#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string_view>

#include "PseudoTerminal.h"
#include "SimClock.h"
#include "SimDystal.h"
#include "SimHal.h"
#include "dystal/DystalProtocol.h"

namespace halvern::sim {

namespace wire = halvern::dystal;

namespace {

using namespace std::chrono_literals;

constexpr std::string_view kOutputDataRatePrefix = "ODR,";
constexpr std::string_view kVerbosePrefix = "VERBOSE,";
constexpr std::string_view kTextFormatLine = "DATAFORMAT,TEXT";
constexpr std::string_view kOkLine = "OK\r\n";
constexpr std::string_view kUnknownCommandLine = "ERR,UNKNOWN COMMAND\r\n";
constexpr int kMaxOutputDataRate = 1000;
// The sensor's command buffer; a longer line is thrown away unanswered.
constexpr std::size_t kMaxCommandLength = 256;

// The sync and the length field come before the bytes the length counts.
constexpr std::size_t kLengthFieldEnd = 4;

constexpr auto kChatterPeriod = 1ms;
constexpr auto kSplitPause = 5ms;
constexpr auto kUnpluggedIdle = 5ms;

// Queued output goes out in blocks of this size, so the host's queue is checked in between.
constexpr std::size_t kWriteBlock = 1024;

std::string configLine(const SimDystalConfig& config) {
  std::array<char, 96> line{};
  const int length =
      std::snprintf(line.data(), line.size(), "CONFIG,VERSION=%u,DIST=%d,FD=%d,BRS=%d,CANID=0\r\n",
                    static_cast<unsigned>(config.version), config.distanceEnabled ? 1 : 0,
                    config.canFdEnabled ? 1 : 0, config.canBrsEnabled ? 1 : 0);
  return {line.data(), static_cast<std::size_t>(std::max(length, 0))};
}

void append(std::vector<uint8_t>& output, std::string_view text) {
  output.insert(output.end(), text.begin(), text.end());
}

}  // namespace

SimDystalUsb::SimDystalUsb()
    // The HAL's clock stamps the frames sent: the simulation runs before the first.
    : terminal_((startSimulation(), std::make_unique<PseudoTerminal>())),
      distances_(defaultDystalDistances()),
      thread_([this] { run(); }) {}

SimDystalUsb::~SimDystalUsb() {
  running_ = false;
  thread_.join();
}

const std::string& SimDystalUsb::devicePath() const { return terminal_->devicePath(); }

void SimDystalUsb::setDistances(std::vector<int16_t> distances) {
  distances.resize(std::min<std::size_t>(distances.size(), wire::kMaxDistances));
  const std::lock_guard lock(mutex_);
  distances_ = std::move(distances);
}

void SimDystalUsb::setConfig(const SimDystalConfig& config) {
  const std::lock_guard lock(mutex_);
  config_ = config;
}

void SimDystalUsb::setSilent(bool silent) {
  const std::lock_guard lock(mutex_);
  silent_ = silent;
}

void SimDystalUsb::setConfigSilent(bool silent) {
  const std::lock_guard lock(mutex_);
  configSilent_ = silent;
}

void SimDystalUsb::setChatty(bool chatty) {
  const std::lock_guard lock(mutex_);
  chatty_ = chatty;
}

void SimDystalUsb::setSplitFrames(bool split) {
  const std::lock_guard lock(mutex_);
  splitFrames_ = split;
}

void SimDystalUsb::sendRaw(const std::vector<uint8_t>& bytes) {
  // The device thread owns the terminal; hand the bytes over and let it write them in order.
  const std::lock_guard lock(mutex_);
  pendingOutput_.insert(pendingOutput_.end(), bytes.begin(), bytes.end());
}

void SimDystalUsb::unplug() {
  std::unique_lock lock(mutex_);
  unplugRequested_ = true;
  unpluggedNow_.wait(lock, [this] { return unplugged_; });
}

std::vector<std::string> SimDystalUsb::receivedLines() const {
  const std::lock_guard lock(mutex_);
  return received_;
}

uint64_t SimDystalUsb::lastFrameSentMicros() const {
  const std::lock_guard lock(mutex_);
  return lastFrameSentUs_;
}

int SimDystalUsb::framesSent() const {
  const std::lock_guard lock(mutex_);
  return framesSent_;
}

int SimDystalUsb::outputDataRate() const {
  const std::lock_guard lock(mutex_);
  return outputDataRate_;
}

uint8_t SimDystalUsb::lastSequence() const {
  const std::lock_guard lock(mutex_);
  return sequence_;
}

std::vector<uint8_t> SimDystalUsb::distanceFrame(uint8_t sequence,
                                                 const std::vector<int16_t>& distances) {
  const std::size_t count = std::min<std::size_t>(distances.size(), wire::kMaxDistances);
  const auto length = static_cast<uint16_t>(wire::kFrameHeaderLength - kLengthFieldEnd + 2 * count);
  std::vector<uint8_t> frame{wire::kSyncFirst,
                             wire::kSyncSecond,
                             static_cast<uint8_t>(length & 0xFFU),
                             static_cast<uint8_t>(length >> 8U),
                             wire::kDistanceFrameType,
                             sequence,
                             static_cast<uint8_t>(count),
                             wire::kDistancesPresentFlag};
  for (std::size_t zone = 0; zone < count; ++zone) {
    const auto raw = static_cast<uint16_t>(distances[zone]);
    frame.push_back(static_cast<uint8_t>(raw & 0xFFU));
    frame.push_back(static_cast<uint8_t>(raw >> 8U));
  }
  return frame;
}

void SimDystalUsb::handleCommand(const std::string& line) {
  const std::lock_guard lock(mutex_);
  received_.push_back(line);
  if (line == wire::kGetConfigLine) {
    // Answered in either output format: the host asks for it between frames.
    if (!configSilent_) {
      append(pendingOutput_, configLine(config_));
    }
    return;
  }
  bool known = true;
  const bool answer = !binaryOutput_;  // acknowledgements are text-mode chatter
  if (line == wire::kBinaryFormatLine) {
    binaryOutput_ = true;
  } else if (line == kTextFormatLine) {
    binaryOutput_ = false;
  } else if (line.starts_with(kOutputDataRatePrefix)) {
    const int rate = std::atoi(line.c_str() + kOutputDataRatePrefix.size());
    if (rate > 0) {
      outputDataRate_ = std::min(rate, kMaxOutputDataRate);
    }
    known = rate > 0;
  } else if (!line.starts_with(kVerbosePrefix)) {
    known = false;
  }
  if (answer) {
    append(pendingOutput_, known ? kOkLine : kUnknownCommandLine);
  }
}

void SimDystalUsb::takeCommandBytes(const std::vector<uint8_t>& bytes) {
  for (const uint8_t byte : bytes) {
    // A command ends at CR LF; a lone line feed stays part of it, as the firmware reads it.
    if (byte == '\n' && !partialCommand_.empty() && partialCommand_.back() == '\r') {
      partialCommand_.pop_back();
      handleCommand(partialCommand_);
      partialCommand_.clear();
    } else if (partialCommand_.size() < kMaxCommandLength) {
      partialCommand_.push_back(static_cast<char>(byte));
    } else {
      partialCommand_.clear();
    }
  }
}

bool SimDystalUsb::hostQueueFull() const {
  // Writing on would block the device thread for good once the terminal's buffers fill, and a
  // destroyed simulator could then never stop.
  return terminal_->unreadByLibrary() >= PseudoTerminal::kLibraryQueueLimit;
}

bool SimDystalUsb::allSentWasRead() const {
  {
    const std::lock_guard lock(mutex_);
    if (!pendingOutput_.empty() || writing_) {
      return false;
    }
  }
  return terminal_->unreadByLibrary() == 0;
}

void SimDystalUsb::sendOutput(Clock::time_point now) {
  if (hostQueueFull()) {
    return;
  }
  std::vector<uint8_t> block;
  std::vector<uint8_t> frame;
  std::string chatter;
  bool split = false;
  {
    const std::lock_guard lock(mutex_);
    writing_ = true;  // until what is taken here is written
    if (!pendingOutput_.empty()) {
      // Queued bytes stay together: no frame or chatter goes out in between.
      const auto end = pendingOutput_.begin() +
                       static_cast<std::ptrdiff_t>(std::min(kWriteBlock, pendingOutput_.size()));
      block.assign(pendingOutput_.begin(), end);
      pendingOutput_.erase(pendingOutput_.begin(), end);
    } else {
      if (binaryOutput_ && !silent_ && now >= nextFrame_) {
        frame = distanceFrame(++sequence_, distances_);
        ++framesSent_;
        lastFrameSentUs_ = simhal::halMicros();
        split = splitFrames_;
        nextFrame_ += std::chrono::duration_cast<Clock::duration>(1s) / outputDataRate_;
        if (nextFrame_ <= now) {  // after a stall or a pause: the steady rate starts again now
          nextFrame_ = now + std::chrono::duration_cast<Clock::duration>(1s) / outputDataRate_;
        }
      }
      if (chatty_ && now >= nextChatter_) {
        chatter = "INFO,RANGING,ODR=" + std::to_string(outputDataRate_) + "\r\n";
        nextChatter_ = now + kChatterPeriod;
      }
    }
  }
  terminal_->send(block);
  if (split && frame.size() > 1) {
    const std::span<const uint8_t> whole(frame);
    terminal_->send(whole.first(frame.size() / 2));
    std::this_thread::sleep_for(kSplitPause);
    terminal_->send(whole.subspan(frame.size() / 2));
  } else {
    terminal_->send(frame);
  }
  terminal_->send(chatter);
  const std::lock_guard lock(mutex_);
  writing_ = false;
}

void SimDystalUsb::run() {
  while (running_) {
    bool unplug = false;
    {
      const std::lock_guard lock(mutex_);
      unplug = unplugRequested_;
    }
    if (unplug && terminal_->pluggedIn()) {
      terminal_->unplug();
      const std::lock_guard lock(mutex_);
      unplugged_ = true;
      unpluggedNow_.notify_all();
    }
    if (!terminal_->pluggedIn()) {
      std::this_thread::sleep_for(kUnpluggedIdle);
      continue;
    }
    takeCommandBytes(terminal_->receiveAvailable(1ms));
    sendOutput(Clock::now());
  }
}

}  // namespace halvern::sim

#include "serial/SerialLine.h"

#include <algorithm>

#include "PseudoTerminal.h"

namespace halvern::sim {

namespace {

using namespace std::chrono_literals;
using Clock = SerialLine::Clock;

// The unread count misses bytes the terminal has not yet handed to its read queue, which a busy
// machine can hold back for long; so the line also holds back once this much was written since
// it last saw the library's side empty, well below what the terminal holds (about 20 KB).
constexpr std::size_t kUnconfirmedLimit = 8192;

// A line without a rate writes at most this much of a segment at once, and looks at the
// library's side again before the next block.
constexpr std::size_t kWriteBlock = 1024;

constexpr auto kUnpluggedIdle = 5ms;
constexpr auto kReceiveWait = 1ms;

std::size_t bytesCarriedIn(Clock::duration time, int bytesPerSecond) {
  if (time < Clock::duration::zero()) {
    return 0;
  }
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(time).count();
  return static_cast<std::size_t>(micros * bytesPerSecond / 1000000);
}

Clock::duration lineTimeOf(std::size_t bytes, int bytesPerSecond) {
  if (bytesPerSecond == 0) {
    return Clock::duration::zero();
  }
  return std::chrono::duration_cast<Clock::duration>(
      std::chrono::nanoseconds(static_cast<int64_t>(bytes) * 1000000000 / bytesPerSecond));
}

}  // namespace

SerialLine::SerialLine(Device device, int bytesPerSecond)
    : bytesPerSecond_(bytesPerSecond),
      terminal_(std::make_unique<PseudoTerminal>()),
      device_(std::move(device)),
      thread_([this](const std::stop_token& stop) { run(stop); }) {}

const std::string& SerialLine::devicePath() const { return terminal_->devicePath(); }

void SerialLine::queue(Segment segment) {
  if (segment.readyAt == Clock::time_point{}) {
    segment.readyAt = Clock::now();
  }
  const std::lock_guard lock(mutex_);
  outputBytes_ += segment.bytes.size();
  output_.push_back(Queued{.segment = std::move(segment)});
}

void SerialLine::queue(std::span<const uint8_t> bytes) {
  if (!bytes.empty()) {
    queue(Segment{.bytes = {bytes.begin(), bytes.end()}});
  }
}

void SerialLine::queue(std::string_view text) {
  queue(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

void SerialLine::dropQueued() {
  const std::lock_guard lock(mutex_);
  // A segment the line has begun is finished.
  const bool headBegun = !output_.empty() && output_.front().written > 0;
  const auto kept =
      std::stable_partition(output_.begin() + (headBegun ? 1 : 0), output_.end(),
                            [](const Queued& queued) { return !queued.segment.droppable; });
  for (auto dropped = kept; dropped != output_.end(); ++dropped) {
    outputBytes_ -= dropped->segment.bytes.size() - dropped->written;
  }
  output_.erase(kept, output_.end());
}

std::size_t SerialLine::queuedBytes() const {
  const std::lock_guard lock(mutex_);
  return outputBytes_;
}

void SerialLine::unplug() {
  std::unique_lock lock(mutex_);
  unplugRequested_ = true;
  unpluggedNow_.wait(lock, [this] { return unplugged_.load(); });
}

std::size_t SerialLine::unreadByLibrary() const { return terminal_->unreadByLibrary(); }

bool SerialLine::allSentWasRead() const {
  {
    const std::lock_guard lock(mutex_);
    if (outputBytes_ > 0 || writingBytes_ > 0) {
      return false;
    }
  }
  return unreadByLibrary() == 0;
}

std::size_t SerialLine::libraryQueueRoom() {
  const std::size_t unread = unreadByLibrary();
  if (unread == 0) {
    writtenSinceEmpty_ = 0;  // the library has read everything written before
  }
  if (unread >= PseudoTerminal::kLibraryQueueLimit || writtenSinceEmpty_ >= kUnconfirmedLimit) {
    return 0;
  }
  return std::min(PseudoTerminal::kLibraryQueueLimit - unread,
                  kUnconfirmedLimit - writtenSinceEmpty_);
}

void SerialLine::write(Clock::time_point now, std::size_t room) {
  std::vector<uint8_t> bytes;
  std::vector<std::function<void()>> whenSent;
  {
    const std::lock_guard lock(mutex_);
    // The line carries each segment from when the device had it, after the line has carried
    // what came before and after its pause, at the line's rate: however late this thread runs,
    // the line keeps its rate, and a pause costs line time, not a turn of this loop.
    Clock::time_point line = lineFree_;
    while (room > 0 && !output_.empty()) {
      Queued& head = output_.front();
      const std::vector<uint8_t>& segment = head.segment.bytes;
      if (head.written == 0) {
        line = std::max({line, head.segment.readyAt, lastSegmentDone_ + head.segment.pauseBefore});
      }
      const std::size_t left = segment.size() - head.written;
      // A line without a rate writes what it begins in blocks, so a frame never goes out in
      // pieces for want of room; one with a rate writes what the line has carried.
      const std::size_t take =
          bytesPerSecond_ == 0
              ? (now >= line ? std::min(left, kWriteBlock) : 0)
              : std::min({room, left, bytesCarriedIn(now - line, bytesPerSecond_)});
      if (take == 0 && !segment.empty()) {
        break;
      }
      const auto from = segment.begin() + static_cast<std::ptrdiff_t>(head.written);
      bytes.insert(bytes.end(), from, from + static_cast<std::ptrdiff_t>(take));
      head.written += take;
      outputBytes_ -= take;
      writingBytes_ += take;
      room -= std::min(room, take);
      line += lineTimeOf(take, bytesPerSecond_);
      if (head.written == segment.size()) {
        if (head.segment.whenSent) {
          whenSent.push_back(std::move(head.segment.whenSent));
        }
        lastSegmentDone_ = line;
        output_.pop_front();
      }
    }
    lineFree_ = line;
  }
  for (const auto& sent : whenSent) {
    sent();
  }
  if (!bytes.empty()) {
    terminal_->send(bytes);
    writtenSinceEmpty_ += bytes.size();
    const std::lock_guard lock(mutex_);
    writingBytes_ = 0;
  }
}

void SerialLine::run(const std::stop_token& stop) {
  while (!stop.stop_requested()) {
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
    const std::vector<uint8_t> received = terminal_->receiveAvailable(kReceiveWait);
    if (!received.empty() && device_.received) {
      device_.received(*this, received);
    }
    const auto now = Clock::now();
    const std::size_t room = libraryQueueRoom();
    if (device_.turn) {
      device_.turn(*this, now, room > 0);
    }
    write(now, room);
  }
}

}  // namespace halvern::sim

// One serial line over a pseudo-terminal, as every simulated USB device has it: the device's
// thread, the cable that can be pulled, the line's byte rate, and the back-pressure of a USB
// device whose host stops polling it. A device feeds it segments and hears what the library
// sent; it knows nothing of any device's bytes.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "PseudoTerminal.h"

namespace halvern::sim {

class SerialLine {
 public:
  using Clock = std::chrono::steady_clock;

  /** Bytes waiting for the line, written in order. */
  struct Segment {
    std::vector<uint8_t> bytes;
    Clock::time_point readyAt{};    // when the device had it to send (queue() fills in now)
    Clock::duration pauseBefore{};  // the line stays idle this long after the previous segment
    bool droppable = false;         // dropQueued() removes it while none of it is on the line
    /** Called on the line's thread once the last byte is taken for the line. */
    std::function<void()> whenSent = nullptr;
  };

  /** What the device does on the line's thread, given the line (its hooks may run before the
   *  line's constructor has returned). */
  struct Device {
    /** Bytes the library wrote. */
    std::function<void(SerialLine& line, std::span<const uint8_t>)> received;
    /**
     * Once a turn, before the line writes: queue what is due by `now`. `room` is false while the
     * library leaves too much unread, when a device that leaves out what it cannot send on time
     * queues nothing.
     */
    std::function<void(SerialLine& line, Clock::time_point now, bool room)> turn;
  };

  /**
   * Opens the pseudo-terminal and starts the line's thread, which calls the device's hooks
   * until the line goes. 0 bytes a second: as fast as the terminal takes them.
   */
  explicit SerialLine(Device device, int bytesPerSecond = 0);

  [[nodiscard]] const std::string& devicePath() const;

  void queue(Segment segment);
  void queue(std::span<const uint8_t> bytes);
  void queue(std::string_view text);
  /** Drops the droppable segments none of which is on the line yet. */
  void dropQueued();
  /** Bytes queued and not yet taken for the line. */
  [[nodiscard]] std::size_t queuedBytes() const;

  /** Closes the device side, as pulling the cable would; closed by the time this returns. */
  void unplug();
  [[nodiscard]] bool unplugged() const { return unplugged_.load(); }

  /** Bytes on the library's end of the port that the library has not read yet. */
  [[nodiscard]] std::size_t unreadByLibrary() const;
  /** Everything queued has gone onto the line and the library has read all of it. */
  [[nodiscard]] bool allSentWasRead() const;

 private:
  void run(const std::stop_token& stop);
  /** How much may be written now without the terminal filling up. */
  std::size_t libraryQueueRoom();
  /** Writes what the line has carried by `now`, as far as `room` allows. */
  void write(Clock::time_point now, std::size_t room);

  struct Queued {
    Segment segment;
    std::size_t written = 0;
  };

  const int bytesPerSecond_;
  std::unique_ptr<PseudoTerminal> terminal_;
  Device device_;
  mutable std::mutex mutex_;
  std::condition_variable unpluggedNow_;
  std::deque<Queued> output_;
  std::size_t outputBytes_ = 0;
  std::size_t writingBytes_ = 0;  // taken from output_ and being written to the terminal
  bool unplugRequested_ = false;
  std::atomic<bool> unplugged_{false};
  // The line's thread's alone. On the line's own clock, which runs behind the real one while
  // output waits for the thread: when it has carried everything written so far, and when the
  // last whole segment ended.
  Clock::time_point lineFree_;
  Clock::time_point lastSegmentDone_;
  std::size_t writtenSinceEmpty_ = 0;  // since the library's side was last seen empty
  std::jthread thread_;  // last: stops before the rest goes
};

}  // namespace halvern::sim

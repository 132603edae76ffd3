// The mock driver station: a thread that sends control datagrams to a robot program on this
// host every 20 ms, and the library's one slot for it.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace halvern::mockds {

/** Prints the UDP client's messages on the utility library's error stream (formatLogLine). */
void logToErrs(unsigned int level, const char* file, unsigned int line, const char* message);

class MockDS {
 public:
  /** Starts sending at once, disabled. Throws std::system_error if no thread starts. */
  MockDS();
  MockDS(const MockDS&) = delete;
  MockDS& operator=(const MockDS&) = delete;
  /** Stops and joins the sender; it may send once more, finishing its current slot. */
  ~MockDS();

  void setEnabled(bool enable) { enabled.store(enable); }

 private:
  void run();

  std::atomic<bool> running{false};
  std::atomic<bool> enabled{false};
  std::thread senderThread;  // last: starts once the flags exist
};

/** The library's mock driver station, if one was created. */
class MockDSSlot {
 public:
  MockDSSlot() = default;
  MockDSSlot(const MockDSSlot&) = delete;
  MockDSSlot& operator=(const MockDSSlot&) = delete;
  /** Stops and joins the sender (the library is unloading); its socket closes with it. */
  ~MockDSSlot() = default;

  /**
   * A fresh, disabled instance replaces the current one, which is then stopped. If no thread
   * can be started, one line says so and no instance is left.
   */
  void create();
  /** Enabling or disabling with no instance does nothing. */
  void setEnabled(bool enable);

 private:
  std::mutex slotMutex;  // guards the pointer only; a sender is never joined under it
  std::unique_ptr<MockDS> current;
};

}  // namespace halvern::mockds

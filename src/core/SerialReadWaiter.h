// Waiting for received bytes without waking up while none arrive: a USB device's reader thread
// sleeps in the operating system until its port has bytes or until it is told to stop.
//
// The backends implement it beside the rest of the transport: on POSIX hosts a poll on the port
// together with a pipe that wake() writes to; on Windows, whose serial ports are opened for
// blocking I/O and cannot be waited on beside an event, only wake() and waitForWake() block,
// and waitForBytes leaves the pacing to ReadSerialBytes's own short wait.
#pragma once

#include <chrono>
#include <memory>

#include "core/SerialTransport.h"

namespace halvern::serial {

/** How a wait for received bytes ended. */
enum class ReadReadiness {
  BytesWaiting,  // a read returns them at once
  Woken,         // wake() was called
  PortGone,      // the port hung up or failed: waiting on it again would return at once
  ReadToFind,    // this host cannot wait on the port: read, the read's own wait paces the loop
  TimedOut,      // the time limit passed without bytes (only a wait given a limit)
};

/**
 * The wait of one reader thread. Once woken it stays woken, so a wake() that comes before the
 * wait still ends it; a reader that starts again takes a fresh waiter. wake() may be called
 * from any thread, the waits from one thread at a time.
 */
class SerialReadWaiter {
 public:
  /** When the host refuses the wake-up, waits fall back to short timed waits. */
  SerialReadWaiter();
  SerialReadWaiter(const SerialReadWaiter&) = delete;
  SerialReadWaiter& operator=(const SerialReadWaiter&) = delete;
  ~SerialReadWaiter();

  /** Waits, without a time limit, until bytes are waiting on `h`, a wake() or a port failure. */
  ReadReadiness waitForBytes(SerialHandle h);
  /** As waitForBytes, giving up after `limit`: for a reader that also looks at the time. */
  ReadReadiness waitForBytes(SerialHandle h, std::chrono::milliseconds limit);

  /** Waits up to `timeout` for a wake(); true when woken. */
  bool waitForWake(std::chrono::milliseconds timeout);

  /** Ends the current wait and every later one. */
  void wake();

 private:
  struct WakeUp;  // the platform's wake-up: a pipe on POSIX hosts, an event on Windows
  std::unique_ptr<WakeUp> wakeUp;  // none when the host refused to create it
};

}  // namespace halvern::serial

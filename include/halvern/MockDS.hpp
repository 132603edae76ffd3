// A mock driver station for a simulated robot program on the same host: the C++ class of
// HalvernDriver, over the C face of halvern/MockDS.h.
#pragma once

#include <cstdint>
#include <utility>

#include "halvern/MockDS.h"
#include "halvern/detail/DeviceHandle.hpp"

namespace halvern {

/**
 * A mock driver station: it tells a robot program simulated on the same computer whether it is
 * enabled (in autonomous), the way a driver station does.
 *
 * From the moment it is made, the library sends a control datagram to UDP port kRobotPort of
 * 127.0.0.1 every kPeriodMs ms, disabled at first. The first kWarmupDatagrams datagrams sent
 * while enabled (one second) still say "disabled", so the robot program sees a disabled period
 * before its first enable; only a new MockDS warms up again.
 *
 * The library holds one mock driver station per program. Making a second MockDS replaces the
 * first, which is then closed. Destroying or closing it disables the robot; the sender keeps
 * sending disabled datagrams until a new MockDS replaces it or the library is unloaded.
 * Nothing throws on a network failure (the library prints it). Once closed, replaced or moved
 * from, the object does nothing. Its methods may be called from any thread.
 */
class MockDS {
 public:
  /** The UDP port the datagrams go to, where a robot program listens for its driver station. */
  static constexpr int kRobotPort = MOCKDS_ROBOT_PORT;
  /** The time between two datagrams, in milliseconds. */
  static constexpr int kPeriodMs = MOCKDS_PERIOD_MS;
  /** How many datagrams sent while enabled still say "disabled": one second's worth. */
  static constexpr int kWarmupDatagrams = MOCKDS_WARMUP_DATAGRAMS;

  /** Starts sending, disabled; a MockDS made before, and not closed, is replaced. */
  MockDS() : m_sender(Open()) {}

  /** Takes over `other`'s driver station; `other` is left closed. Not copyable: the object owns
   *  its device. */
  MockDS(MockDS&&) = default;
  /** Closes this driver station and takes over `other`'s; `other` is left closed. */
  MockDS& operator=(MockDS&&) = default;
  /** Closes the driver station (see Close()). */
  ~MockDS() = default;

  /**
   * Disables the robot; the sender goes on sending disabled datagrams. Closing again, or
   * closing a mock driver station that a newer one replaced, does nothing.
   */
  void Close() noexcept {
    const auto lock = Sender::Owner::Lock();
    m_sender.CloseLocked();
    m_enabled = false;
  }

  /** Whether it was closed, moved from or replaced by a newer MockDS. */
  [[nodiscard]] bool IsClosed() const { return !m_sender.IsCurrent(); }

  /**
   * Asks for the robot to be enabled in autonomous, from the next datagram on (after the
   * warm-up). Enabling again changes nothing.
   */
  void Enable() {
    m_sender.IfCurrent([&] {
      c_MockDS_enable();
      m_enabled = true;
    });
  }

  /** Asks for the robot to be disabled, from the next datagram on. */
  void Disable() {
    m_sender.IfCurrent([&] {
      c_MockDS_disable();
      m_enabled = false;
    });
  }

  /**
   * Whether the robot was last asked to be enabled (during the warm-up the datagrams still say
   * "disabled"); false once closed or replaced.
   */
  [[nodiscard]] bool IsEnabled() const {
    bool enabled = false;
    m_sender.IfCurrent([&] { enabled = m_enabled; });
    return enabled;
  }

 private:
  static void CloseSender(uint64_t /*token*/) { c_MockDS_destroy(); }
  using Sender = detail::LibraryWideHandle<MockDS, &CloseSender>;

  static Sender Open() {
    const auto lock = Sender::Owner::Lock();
    c_MockDS_create();
    return Sender::TakeOver();
  }

  Sender m_sender;         // closed once closed, moved from or replaced
  bool m_enabled = false;  // guarded by Sender::Owner::Lock()
};

}  // namespace halvern

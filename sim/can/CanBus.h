// The simulated CAN bus behind SimCanBus.h: the devices attached, and what it keeps for the
// robot program (mailboxes, stream sessions, the log of frames sent). It knows no device family:
// each device says which identifiers it hears and sends.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "SimCanBus.h"
#include "can/CanCallbacks.h"
#include "can/Mailboxes.h"
#include "can/SentFrameLog.h"
#include "can/StreamSessions.h"

namespace halvern::sim {

class CanBus {
 public:
  /** Starts the simulation and registers the HAL's CAN callbacks. */
  CanBus();
  CanBus(const CanBus&) = delete;
  CanBus& operator=(const CanBus&) = delete;
  ~CanBus();

  struct Device {
    int32_t bus = kDefaultCanBus;
    CanIdRange listens;
    CanIdRange transmits;
    CanListener listener;
  };
  uint64_t attach(Device device);
  void detach(uint64_t token);

  /** A device sends: the frame fills its mailbox and joins the matching sessions. */
  void transmit(int32_t bus, uint32_t id, std::span<const uint8_t> data);

  [[nodiscard]] std::vector<CanFrame> sent(int32_t bus, const CanIdRange& range);
  void clearSent();
  [[nodiscard]] int sessionCount();
  void reset();

  // What the HAL's callbacks ask of the bus (can/CanCallbacks.cpp).

  /** The robot program sent an extended data frame: logged, then heard by each device that
   *  listens, outside the lock (a device may answer by transmitting). */
  void robotSent(int32_t bus, uint32_t id, std::span<const uint8_t> data);
  /** A receive: the newest unread frame under the range from a device on `bus`; nothing when
   *  none sent one (the receive is someone else's to answer). */
  std::optional<CanFrame> receive(int32_t bus, const CanIdRange& wanted);
  /** A session is the bus's when its filter covers identifiers a device on `bus` sends, or lies
   *  within a claimed range; its handle then, else nothing. */
  std::optional<uint32_t> openSession(int32_t bus, const CanIdRange& filter, uint32_t maxMessages);
  template <typename Put>
  std::optional<StreamReadResult> readSession(uint32_t handle, std::size_t capacity, Put&& put) {
    const std::scoped_lock lock(mutex_);
    return sessions_.read(handle, capacity, std::forward<Put>(put));
  }
  void closeSession(uint32_t handle);

 private:
  /** The frame as it crosses the bus, stamped on the HAL's clock; mutex held. */
  static CanFrame stamped(int32_t bus, uint32_t id, std::span<const uint8_t> data);

  std::mutex mutex_;  // never held while a device's code runs
  std::map<uint64_t, std::shared_ptr<const Device>> devices_;
  uint64_t nextToken_ = 1;
  Mailboxes mailboxes_;
  StreamSessions sessions_;
  SentFrameLog sent_;
  CanCallbackIds callbacks_;
};

/** The process's bus, made on first use and gone with the static objects at exit. */
CanBus& canBus();

/**
 * A family of devices takes the program's stream sessions within `range` on every bus, even
 * before one of its simulated devices exists (a robot program creates its devices first, its
 * simulation later). Called once per family, as its simulator's code loads.
 */
void claimStreamSessions(const CanIdRange& range);

}  // namespace halvern::sim

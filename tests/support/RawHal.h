// HAL calls the library never makes, for tests of the simulated devices: frames the library
// would not send (too long, remote, standard, CAN FD, on another bus), handle reads with a
// time-out, the HAL's clock paused, and another vendor's device model sharing the bus. The same
// calls on WPILib 2026, WPILib 2027 and the stand-in; where one of them lacks a call, its
// function says so and the test skips. What each WPILib year spells its own way is in
// platform/wpilib<year>/: RawHalCan.cpp (every HAL of that year) and WpilibHalCalls.cpp (WPILib's
// own HAL only; the stand-in's answers are in StandinPlatform.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "core/HalPlatform.h"

namespace halvern::test::rawhal {

/** The longest payload a raw send takes (WPILib 2027's messages hold 64 bytes). */
inline constexpr std::size_t kLongestMessage = 64;

/** Identifier bits of a remote request and of a standard (11-bit) frame on this HAL. */
uint32_t remoteFrameFlag();
uint32_t standardFrameFlag();

/** WPILib 2027: several buses and CAN FD frames. Not on WPILib 2026 or the stand-in. */
bool hasBusesAndFd();

/**
 * A send as the HAL takes it, on bus 0, of up to 64 bytes (WPILib 2027's messages hold 64, the
 * others' length is a byte). The status.
 */
int32_t send(uint32_t id, std::span<const uint8_t> data, int32_t periodMs = 0);

/** WPILib 2027 only (hasBusesAndFd): a send on `bus`, as a CAN FD frame when `fd`. */
int32_t sendOn(int32_t bus, uint32_t id, std::span<const uint8_t> data, bool fd);
/** WPILib 2027 only: a receive of exactly `id` on `bus`; the status. */
int32_t receiveOn(int32_t bus, uint32_t id);
/** WPILib 2027 only: a stream session on `bus`; its handle, 0 when none opened. */
int32_t openStreamOn(int32_t bus, uint32_t id, uint32_t mask, uint32_t depth);

/**
 * The handle read with a time-out: the handle's newest frame, or the last one it read when that
 * is younger than `timeoutMs` on the HAL's clock. The status; nothing where the HAL has no such
 * read (the stand-in).
 */
std::optional<int32_t> readTimeout(platform::CanHandle handle, int32_t apiId, int32_t timeoutMs,
                                   platform::CanFrame& frame);

/** The HAL's clock, in microseconds since HAL_Initialize. */
uint64_t halMicros();

/**
 * Stops the HAL's clock for as long as it lives, as WPILib's simulation does when its timing is
 * paused. Check active(): the stand-in's clock cannot be paused.
 */
class PausedHalClock {
 public:
  PausedHalClock();
  PausedHalClock(const PausedHalClock&) = delete;
  PausedHalClock& operator=(const PausedHalClock&) = delete;
  ~PausedHalClock();
  [[nodiscard]] bool active() const { return active_; }

 private:
  bool active_ = false;
};

/**
 * Another vendor's device model on the same simulated bus, through its own CAN callbacks: it
 * answers receives of its one identifier with one byte and hears every frame sent on bus 0.
 */
class ForeignCanModel {
 public:
  ForeignCanModel(uint32_t id, uint8_t answer);
  ForeignCanModel(const ForeignCanModel&) = delete;
  ForeignCanModel& operator=(const ForeignCanModel&) = delete;
  ~ForeignCanModel();

  /** Leaves the bus early; the destructor does it otherwise. */
  void leave();
  [[nodiscard]] int answered() const;
  [[nodiscard]] std::vector<uint32_t> heard() const;

  // Reached from the HAL's callbacks.
  void onSend(uint32_t id);
  /** Whether it answers a receive of `id`, with answer(); counts the answers. */
  bool onReceive(uint32_t id);
  [[nodiscard]] uint8_t answer() const { return answer_; }

 private:
  const uint32_t id_;
  const uint8_t answer_;
  mutable std::mutex mutex_;
  int answered_ = 0;
  std::vector<uint32_t> heard_;
  int32_t sendUid_ = 0;
  int32_t receiveUid_ = 0;
  bool registered_ = false;
};

namespace detail {

struct CallbackIds {
  int32_t receive = 0;
  int32_t send = 0;
};
/** Registers the model's CAN callbacks, in the year's signatures; their ids. */
CallbackIds registerForeignModel(ForeignCanModel& foreign);

}  // namespace detail
}  // namespace halvern::test::rawhal

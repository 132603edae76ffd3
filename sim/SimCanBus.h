// The CAN bus as the simulated devices see it, built on WPILib's simulation API (the CAN
// callbacks of hal/simulation/CanData.h, wpi/hal/simulation/CanData.h on WPILib 2027), so it
// works the same on WPILib's HAL, 2026 or 2027, and on the stand-in.
//
// One bus helper per process registers the CAN callbacks and does for every simulated device
// what a real bus and its receive buffers do: it hands each device the frames the robot program
// sends to the identifiers the device listens to, keeps the newest frame each device sent under
// each identifier (a mailbox that answers the program's receives and reads, once per frame),
// queues frames for the stream sessions the program opens on a device's identifiers, and runs
// the devices' periodic status frames on one thread. It answers only the identifiers of devices
// attached to it and leaves the rest to other callbacks on the bus. It carries classic data
// frames (at most 8 bytes) with extended identifiers: remote requests, standard (11-bit) frames
// and, on WPILib 2027, CAN FD frames are other devices' business.
//
// Every device sits on one of the robot controller's CAN buses (bus 0 unless it says
// otherwise) and sees only that bus: the frames sent, the mailboxes and the stream sessions are
// kept per bus, so two devices with the same identifiers on two buses never meet. WPILib 2027's
// callbacks name the bus of each call; on WPILib 2026 and the stand-in every call is on bus 0.
//
// Frames are stamped with the HAL's own clock (HAL_GetFPGATime, HAL_GetMonotonicTime on 2027),
// which the HAL's handle reads judge a frame's age by; a receive reports the stamp in
// milliseconds on WPILib 2026 and the stand-in, in microseconds on WPILib 2027.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace halvern::sim {

/** The CAN bus a simulated device is on when it names none, and the one WPILib 2026 has. */
inline constexpr int32_t kDefaultCanBus = 0;

/** One CAN frame as it crossed the simulated bus. */
struct CanFrame {
  int32_t bus = kDefaultCanBus;  // the robot controller's CAN bus it crossed
  uint32_t id = 0;               // 29-bit extended identifier
  std::array<uint8_t, 8> data{};
  uint8_t length = 0;
  uint64_t timestampUs = 0;  // on the HAL's clock: microseconds since HAL_Initialize
};

/**
 * The SimDevice name of a simulated CAN device: "<family>[<number>]" on bus 0, as always, and
 * "<family>[<number>,bus <bus>]" on another bus, so that devices with the same number on two
 * buses have names of their own.
 */
inline std::string canDeviceName(std::string_view family, int number, int32_t bus) {
  std::string name = std::string(family) + "[" + std::to_string(number);
  if (bus != kDefaultCanBus) {
    name += ",bus " + std::to_string(bus);
  }
  return name + "]";
}

/** Builds the 29-bit robot CAN identifier from its four fields. */
constexpr uint32_t canId(uint32_t deviceType, uint32_t manufacturer, uint32_t apiId,
                         uint32_t deviceNumber) {
  return (deviceType & 0x1FU) << 24U | (manufacturer & 0xFFU) << 16U | (apiId & 0x3FFU) << 6U |
         (deviceNumber & 0x3FU);
}

/** A set of identifiers: those equal to `id` under `mask`. */
struct CanIdRange {
  uint32_t id = 0;
  uint32_t mask = 0;
  [[nodiscard]] bool contains(uint32_t frameId) const { return (frameId & mask) == (id & mask); }
};

/** Called on the sender's thread for every frame the robot program sends that matches. */
using CanListener = std::function<void(const CanFrame&)>;

namespace detail {

/** Leaves the bus and ends a periodic task; nothing once the bus or its thread has gone. */
void detachFromBus(uint64_t token);
void endPeriodicTask(uint64_t token);

/** A move-only token of something the bus keeps for its owner, released when the owner goes. */
template <void (*Release)(uint64_t)>
class ReleasedToken {
 public:
  ReleasedToken() = default;
  explicit ReleasedToken(uint64_t token) : token_(token) {}
  ReleasedToken(ReleasedToken&& other) noexcept : token_(std::exchange(other.token_, 0)) {}
  ReleasedToken& operator=(ReleasedToken&& other) noexcept {
    if (this != &other) {
      Release(std::exchange(token_, std::exchange(other.token_, 0)));
    }
    return *this;
  }
  ReleasedToken(const ReleasedToken&) = delete;
  ReleasedToken& operator=(const ReleasedToken&) = delete;
  ~ReleasedToken() { Release(token_); }

 private:
  uint64_t token_ = 0;
};

}  // namespace detail

/**
 * Keeps a device attached to the bus for as long as it lives. A listener may still be running
 * on another thread when the subscription is destroyed; whatever it captures must therefore own
 * (not borrow) the state it touches.
 */
class CanSubscription : public detail::ReleasedToken<&detail::detachFromBus> {
 public:
  using ReleasedToken::ReleasedToken;
};

/**
 * Attaches a device on CAN bus `bus`: `listener` hears the frames the robot program sends on
 * that bus to `listens`, and the program's stream sessions on that bus on identifiers in
 * `transmits` are the bus's to serve.
 */
[[nodiscard]] CanSubscription subscribeToRobotFrames(CanIdRange listens, CanIdRange transmits,
                                                     CanListener listener,
                                                     int32_t bus = kDefaultCanBus);
/** As above, for a device that sends under the identifiers it listens to. */
[[nodiscard]] CanSubscription subscribeToRobotFrames(uint32_t id, uint32_t mask,
                                                     CanListener listener,
                                                     int32_t bus = kDefaultCanBus);

/**
 * A simulated device on `bus` transmits a frame: it becomes what the robot program's receives
 * and handle reads of that identifier on that bus return (once), and joins every matching
 * stream session of that bus. `data` holds at most 8 bytes.
 */
void transmitToRobot(uint32_t id, std::span<const uint8_t> data, int32_t bus = kDefaultCanBus);

/** Every data frame the robot program sent on bus 0, oldest first (the newest 100000 kept, over
 *  all buses). */
std::vector<CanFrame> sentFrames();
/** Sent frames on bus 0 whose identifier matches `id` under `mask`. */
std::vector<CanFrame> sentFrames(uint32_t id, uint32_t mask);
/** Sent frames on `bus` whose identifier matches `id` under `mask`. */
std::vector<CanFrame> sentFramesOnBus(int32_t bus, uint32_t id, uint32_t mask);
/** Forgets the frames sent, on every bus. */
void clearSentFrames();

/** Number of stream sessions the bus serves that are open, on every bus. */
int openStreamSessionCount();

/** Forgets every frame sent either way and empties the sessions' queues, on every bus. */
void resetCanBus();

/**
 * A task the bus's one status thread runs every period, from one period after it was
 * scheduled, until this object goes. After a stall it carries on from now rather than in a
 * burst. Destroying it waits for a run in progress, unless called from that run.
 *
 * The bus itself goes at exit, with the static objects; a subscription or task a program's own
 * static object still holds then (one made before the bus) has nothing left to leave.
 */
class PeriodicTask : public detail::ReleasedToken<&detail::endPeriodicTask> {
 public:
  using ReleasedToken::ReleasedToken;
};

[[nodiscard]] PeriodicTask schedulePeriodic(std::chrono::nanoseconds period,
                                            std::function<void()> task);

}  // namespace halvern::sim

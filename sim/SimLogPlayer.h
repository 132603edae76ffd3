// Replays a match: reads a WPILib data log (.wpilog) that HalvernDriver wrote and plays each
// device's recorded readings into that device's simulator at their recorded times, so that a
// robot program run in simulation reads what the robot read.
//
//   SimLogPlayer player("match.wpilog");
//   SimOrdex ordex(5);
//   player.attach(ordex);          // the log's "Ordex[5]": its speeds, counts, temperature
//   player.start();                // follows the robot's clock from now
//
// Each attach overload maps one simulator type's signals (the library's entries
// "Halvern/<device>/<signal>") onto that simulator's setters; the device is the simulator's own
// name unless given. A value is fed once, in the log's order; values of devices nobody attached
// are skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace halvern::sim {

class SimOrdex;
class SimIridelCan;
class SimIridelUsb;
class SimDystalCan;
class SimDystalUsb;
class SimFerixConverter;
class SimLidar;
class SimLidarMini;

namespace replay {
struct WpilogContents;
}  // namespace replay

/** One recorded value as a feed receives it: the entry's type decides which member is set. */
struct RecordedValue {
  int64_t timestamp = 0;  // on the recording robot's clock, microseconds
  bool boolean = false;
  int64_t integer = 0;
  double number = 0.0;    // a double, float or (converted) int64 entry
  std::string text;
  std::vector<double> numbers;  // double[], float[], int64[] (converted)
  std::vector<int64_t> integers;  // int64[]
  std::vector<bool> booleans;     // boolean[]
};

class SimLogPlayer {
 public:
  /** What a simulator does with one value of one signal of its device. */
  using Feed = std::function<void(const RecordedValue& value)>;

  /** Reads the log at `path`; a file that cannot be read, or read whole, is `error()`. */
  explicit SimLogPlayer(const std::string& path);
  /** Plays a log already read. */
  explicit SimLogPlayer(replay::WpilogContents contents);
  /** Plays a log held in memory. */
  explicit SimLogPlayer(std::span<const uint8_t> bytes);
  ~SimLogPlayer();  // stops the playing thread
  SimLogPlayer(const SimLogPlayer&) = delete;
  SimLogPlayer& operator=(const SimLogPlayer&) = delete;

  /** Why the log was not read whole ("" when it was); what was read before the fault plays. */
  [[nodiscard]] const std::string& error() const;
  /** The devices the library logged, by their names in the log ("Ordex[5]", "Iridel[ttyUSB0]"). */
  [[nodiscard]] std::vector<std::string> devices() const;
  /** The signals logged for `device` ("Motor 0/RPM", "Connected", ...). */
  [[nodiscard]] std::vector<std::string> signals(std::string_view device) const;
  /** The recorded values of one signal, in the log's order. */
  [[nodiscard]] std::vector<RecordedValue> values(std::string_view device,
                                                  std::string_view signal) const;
  /** The time of the log's first and last values of the library's entries (0 when none). */
  [[nodiscard]] int64_t firstMicros() const;
  [[nodiscard]] int64_t lastMicros() const;

  // Each simulator's signals onto its setters (sim/replay/<family>Replay.cpp). `device` is the
  // recorded device's name; empty: the simulator's own SimDevice name, for the CAN devices and
  // the analog board, which the library logs under the same name.
  void attach(SimOrdex& sim, std::string device = {});
  void attach(SimIridelCan& sim, std::string device = {});
  void attach(SimDystalCan& sim, std::string device = {});
  void attach(SimFerixConverter& sim, std::string device = {});
  void attach(SimIridelUsb& sim, std::string device);
  void attach(SimDystalUsb& sim, std::string device);
  void attach(SimLidarMini& sim, std::string device);
  void attach(SimLidar& sim, std::string device);

  /** Calls `feed` with every value of `device`'s `signal`, at its time; replaces an earlier one. */
  void onSignal(std::string device, std::string signal, Feed feed);

  /**
   * Feeds, in the log's order, every value recorded up to `logMicros` (the recording's clock)
   * not fed yet. Returns how many were fed. For a test or a program that steps time itself.
   */
  std::size_t playUntil(int64_t logMicros);
  /**
   * Plays on a thread of the player's: the log's first value is fed now, each later one when
   * the robot's clock (the HAL's) has advanced as far as the recording's had. Does nothing when
   * already playing.
   */
  void start();
  /** Stops the thread; what was not fed stays for a later start or playUntil. */
  void stop();
  /** True once every value was fed. */
  [[nodiscard]] bool finished() const;
  /**
   * The recording's clock minus the robot's, in microseconds, while or after playing with
   * start(): a value recorded at t is fed at robot time t - offset.
   */
  [[nodiscard]] int64_t clockOffsetMicros() const;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace halvern::sim

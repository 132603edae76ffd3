// Simulated Iridel colour sensors: one on the simulated CAN bus, one behind a pseudo-terminal.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "SimCanBus.h"

namespace halvern::sim {

/**
 * A colour sensor on the CAN bus: answers commands 18 to 26 and sends colour frames.
 *
 * It sits on one CAN bus of the robot controller (0 unless given) and answers only frames of that
 * bus. It is also the SimDevice "Iridel[<CAN ID>]" ("Iridel[<CAN ID>,bus <bus>]" on a bus other
 * than 0): its inputs "X", "Y" and "Z" are the colour the frames of startColorFrames carry (a
 * value the simulation sets goes out from the next frame on), and its output "Last Command" is
 * the code of the newest command received.
 */
class SimIridelCan {
 public:
  enum class Replies {
    Answer,     // reply to each command with the configured status and value
    Silent,     // never reply
    OtherCode,  // reply naming another command code
  };
  struct Command {
    uint8_t code;
    std::vector<uint8_t> payload;
  };

  /** The sensor's identifiers are fixed; the CAN ID names its SimDevice only. */
  explicit SimIridelCan(uint8_t canId = 0, int32_t bus = kDefaultCanBus);
  SimIridelCan(const SimIridelCan&) = delete;
  SimIridelCan& operator=(const SimIridelCan&) = delete;
  ~SimIridelCan();

  /** The name of its SimDevice: "Iridel[<CAN ID>]", "Iridel[<CAN ID>,bus <bus>]" on a bus
   *  other than 0. */
  [[nodiscard]] std::string simDeviceName() const;

  void setReplies(Replies replies);
  void setReplyStatus(uint8_t status);
  void setConfigValue(uint32_t value);

  /** Sends one colour frame now (components as the sensor scales them: x 10000). */
  void sendColor(uint16_t sequence, float x, float y, float z);
  /** Sends a colour frame now and then every period, with a growing sequence, until stopped. */
  void startColorFrames(std::chrono::milliseconds period, float x, float y, float z);
  void stopColorFrames();

  /** Every command the sensor received, oldest first. */
  [[nodiscard]] std::vector<Command> commands() const;

 private:
  struct State;
  std::shared_ptr<State> state_;  // shared with the bus listener
  CanSubscription subscription_;
  PeriodicTask colorTask_;  // last: stops before the rest goes
};

class SerialLine;

/**
 * A colour sensor on a USB serial port: answers "COLORFORMAT,..." and "SAMPLETIME,..." and
 * sends an "XYZ:" line (optionally led by "DIST:") every sample time. Like a USB device the host
 * stops polling, it holds its output back while the library leaves
 * PseudoTerminal::kLibraryQueueLimit bytes unread (a sample due meanwhile is left out, not sent
 * late), so it never blocks and always stops promptly.
 */
class SimIridelUsb {
 public:
  static constexpr std::chrono::milliseconds kDefaultSampleTime{20};

  SimIridelUsb();
  SimIridelUsb(const SimIridelUsb&) = delete;
  SimIridelUsb& operator=(const SimIridelUsb&) = delete;
  ~SimIridelUsb();

  /** The path the library opens. */
  [[nodiscard]] const std::string& devicePath() const;

  void setColor(float x, float y, float z);
  /** Prefixes each sample with "DIST: <mm>  " as the sensor does in its distance mode. */
  void setDistanceMode(bool on);
  /** Stops (or resumes) sending samples; commands are still read. */
  void setSilent(bool silent);
  /** Sends arbitrary bytes: garbage, an overlong line, half a line. */
  void sendRaw(const std::string& bytes);
  /** Closes the device side, as pulling the cable would; the device thread has closed it by the
   *  time this returns, so nothing more is sent after. */
  void unplug();

  /** Command lines received from the library, without their line ends. */
  [[nodiscard]] std::vector<std::string> receivedLines() const;
  [[nodiscard]] int samplesSent() const;
  /** When the newest sample line was sent, in microseconds on the HAL's clock; 0 before. */
  [[nodiscard]] uint64_t lastSampleSentMicros() const;
  [[nodiscard]] std::chrono::milliseconds sampleTime() const;
  /**
   * Whether the library has read every byte sent so far (raw bytes included): a later event
   * that a test can wait on to show that something did not happen. The library's reader may
   * still be handling the block it read last.
   */
  [[nodiscard]] bool allSentWasRead() const;

 private:
  struct State;  // the sensor's state behind its mutex

  void takeCommandBytes(std::span<const uint8_t> bytes);
  /** Queues the sample line that is due, when the line has room. */
  void queueSample(SerialLine& line, std::chrono::steady_clock::time_point now, bool room);

  std::unique_ptr<State> state_;
  std::unique_ptr<SerialLine> line_;  // last: its thread stops before the state goes
};

}  // namespace halvern::sim

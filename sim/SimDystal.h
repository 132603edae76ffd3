// Simulated Dystal distance sensors: one on the virtual CAN bus, one behind a pseudo-terminal.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <span>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "SimCanBus.h"

namespace halvern::sim {

/** What both simulated sensors measure until told otherwise: 64 zones, 0.5 m rising by 1 cm a
 *  zone, row by row. */
std::vector<int16_t> defaultDystalDistances();

/** The sensor's configuration as it reports it. */
struct SimDystalConfig {
  uint8_t version = 3;
  bool distanceEnabled = true;
  bool canFdEnabled = false;
  bool canBrsEnabled = false;
};

/**
 * A distance sensor on the CAN bus under a CAN ID: sends each reading as distance chunk frames
 * (three distances a frame) and answers configuration requests.
 *
 * It sits on one CAN bus of the robot controller (0 unless given) and answers only frames of that
 * bus. It is also the SimDevice "Dystal[<CAN ID>]" ("Dystal[<CAN ID>,bus <bus>]" on a bus other
 * than 0), whose inputs "Distance 0" to "Distance 63" are
 * the zones' distances in millimetres (-1: nothing measured). The model shows its distances
 * there; a distance the simulation sets is measured from the next reading on.
 */
class SimDystalCan {
 public:
  static constexpr std::chrono::milliseconds kDefaultPeriod{10};

  explicit SimDystalCan(uint8_t canId, int32_t bus = kDefaultCanBus);
  SimDystalCan(const SimDystalCan&) = delete;
  SimDystalCan& operator=(const SimDystalCan&) = delete;
  ~SimDystalCan();

  /** The name of its SimDevice: "Dystal[<CAN ID>]", "Dystal[<CAN ID>,bus <bus>]" on a bus
   *  other than 0. */
  [[nodiscard]] std::string simDeviceName() const;

  /** The distances of every reading from now on: up to 64 (an 8x8 grid of zones). */
  void setDistances(std::vector<int16_t> distances);
  /** Chunk indexes left out of every reading, as a lossy bus would. */
  void setMissingChunks(std::set<int> chunks);
  /** Sends one reading now, with the next sequence number (it wraps at 255). */
  void sendReading();
  /** Sends one chunk frame as given: distances raw, so 0xFFFF can be sent. */
  void sendChunk(uint8_t sequence, uint8_t chunk, uint16_t d0, uint16_t d1, uint16_t d2);
  /** Sends a reading now and then every period, until stopped. */
  void startReadings(std::chrono::milliseconds period = kDefaultPeriod);
  void stopReadings();

  void setConfig(const SimDystalConfig& config);
  /** Stops (or resumes) answering configuration requests. */
  void setConfigSilent(bool silent);
  [[nodiscard]] int configRequests() const;
  [[nodiscard]] uint8_t lastSequence() const;

 private:
  struct State;
  std::shared_ptr<State> state_;  // shared with the bus listener
  CanSubscription subscription_;
  PeriodicTask readingTask_;  // last: stops before the rest goes
};

class SerialLine;

/**
 * A distance sensor on a USB serial port. It answers the text commands ("GETCONFIG" with a
 * configuration line, "VERBOSE,0", "DATAFORMAT,BIN", "ODR,<rate>"), and once in binary output
 * it streams a distance frame at its output data rate (frames per second), the first with
 * sequence 1. Like a USB device the host stops polling, it holds its output back while the
 * library leaves PseudoTerminal::kLibraryQueueLimit bytes unread, so it never blocks and
 * always stops promptly. Held back, a frame is not sent late but left out: the frames sent
 * keep consecutive sequence numbers, and framesSent() counts them.
 */
class SimDystalUsb {
 public:
  static constexpr int kDefaultOutputDataRate = 15;

  SimDystalUsb();
  SimDystalUsb(const SimDystalUsb&) = delete;
  SimDystalUsb& operator=(const SimDystalUsb&) = delete;
  ~SimDystalUsb();

  /** The path the library opens. */
  [[nodiscard]] const std::string& devicePath() const;

  void setDistances(std::vector<int16_t> distances);
  /** The configuration the "GETCONFIG" reply line reports. */
  void setConfig(const SimDystalConfig& config);
  /** Stops (or resumes) sending frames; commands are still read and answered. */
  void setSilent(bool silent);
  /** Stops (or resumes) answering "GETCONFIG". */
  void setConfigSilent(bool silent);
  /** Sends a text line every millisecond, never pausing, as a sensor stuck in verbose output. */
  void setChatty(bool chatty);
  /** Splits every frame in two writes with a pause between them. */
  void setSplitFrames(bool split);
  /** Sends arbitrary bytes: garbage, a frame with a bad length field, half a frame. */
  void sendRaw(const std::vector<uint8_t>& bytes);
  /** Closes the device side, as pulling the cable would; the device thread has closed it by the
   *  time this returns, so nothing more is sent after. */
  void unplug();

  /** Command lines received from the library, without their line ends. */
  [[nodiscard]] std::vector<std::string> receivedLines() const;
  [[nodiscard]] int framesSent() const;
  /** When the newest frame was sent, in microseconds on the HAL's clock; 0 before. */
  [[nodiscard]] uint64_t lastFrameSentMicros() const;
  [[nodiscard]] int outputDataRate() const;
  [[nodiscard]] uint8_t lastSequence() const;
  /**
   * Whether the library has read every byte sent so far (raw bytes and frames included): a
   * later event that a test can wait on to show that something did not happen. The library's
   * reader may still be handling the block it read last.
   */
  [[nodiscard]] bool allSentWasRead() const;

  /** A distance frame as the sensor sends it (type 1, distances-present flag set). */
  static std::vector<uint8_t> distanceFrame(uint8_t sequence,
                                            const std::vector<int16_t>& distances);

 private:
  struct State;  // the sensor's state behind its mutex

  void takeCommandBytes(SerialLine& line, std::span<const uint8_t> bytes);
  /** Queues the frame or chatter line that is due, when the line has room and nothing waits. */
  void queueDue(SerialLine& line, std::chrono::steady_clock::time_point now, bool room);

  std::unique_ptr<State> state_;
  std::unique_ptr<SerialLine> line_;  // last: its thread stops before the state goes
};

}  // namespace halvern::sim

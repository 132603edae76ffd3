// A simulated LidarMini scanning range finder behind a pseudo-terminal.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "SentPacketLog.h"

namespace halvern::sim {

class SerialLine;

/**
 * A lidar on a USB serial port. It answers the two-byte requests (identity and health with
 * their descriptors and payloads), and while scanning it streams scan packets at the real byte
 * rate of a 230400-baud line, about 4,000 samples a second, with one revolution per 1/frequency
 * seconds. The frequency starts at 6 Hz and follows the step requests (6 to 12 Hz).
 *
 * Each revolution is a start packet holding the sample at 0 degrees, then packets of up to 40
 * samples at evenly spaced angles. Like a USB device the host stops polling, it holds its output
 * back while the library leaves about 2 KB unread, so it never blocks and always stops promptly.
 *
 * The room it sees is a function from angle (degrees) to distance (millimetres); by default a
 * rectangular room of 4 m by 3 m with the lidar off-centre.
 */
class SimLidarMini {
 public:
  /** Distance in millimetres (0 for no return) seen at an angle in degrees. */
  using Room = std::function<uint16_t(double angleDegrees)>;

  static constexpr int kSamplesPerSecond = 4000;
  static constexpr int kMaxSamplesPerPacket = 40;
  /** 230400 baud, ten bits a byte on the line. */
  static constexpr int kBytesPerSecond = 23040;

  struct Identity {
    uint8_t model = 0x28;
    uint16_t firmwareVersion = 0x0105;
    uint8_t hardwareVersion = 2;
    std::array<uint8_t, 16> serial{'H', 'A', 'L', 'V', 'E', 'R', 'N', '-',
                                   'L', 'M', '-', '0', '0', '0', '4', '2'};
  };
  struct Health {
    uint8_t status = 0;
    uint16_t errorCode = 0;
  };

  SimLidarMini();
  SimLidarMini(const SimLidarMini&) = delete;
  SimLidarMini& operator=(const SimLidarMini&) = delete;
  ~SimLidarMini();

  /** The path the library opens; list it with c_Serial_addDevicePath to make it findable. */
  [[nodiscard]] const std::string& devicePath() const;

  /** The room every simulated lidar starts in: 4 m by 3 m, the lidar 1.5 m and 1.2 m from the
   *  walls behind it, angles counted from the long wall's direction. */
  static Room defaultRoom();

  void setRoom(Room room);
  /**
   * Streams revolutions of its room while scanning (the default). Off, it sends only the
   * revolutions given to sendRevolution, as when a recorded match is replayed.
   */
  void setStreamingRoom(bool on);
  void setIdentity(const Identity& identity);
  void setHealth(const Health& health);

  /**
   * Damages this share (0 to 1) of the packets: one flipped bit in a sample's distance (it moves
   * by 512 mm), so the packet's check code disagrees.
   */
  void setCorruptedShare(double share);
  /**
   * Sends garbage between packets. Some of it ends in a false mark with a packet header whose
   * length reaches into the real packet behind it; its check code is always wrong.
   */
  void setGarbageBetweenPackets(bool on);
  /** Writes every packet in two pieces with a short pause between them. */
  void setSplitPackets(bool on);
  /**
   * Stops answering and streaming (a lidar without power); requests are still read and followed,
   * and sendRaw still sends.
   */
  void setSilent(bool silent);
  /**
   * Answers the next identity or health request with these bytes instead of its own reply, once:
   * a broken descriptor, one of the wrong type, a payload cut short.
   */
  void overrideNextReply(std::vector<uint8_t> reply);
  /** Sends arbitrary bytes now (after what is already queued), at the line's rate. */
  void sendRaw(const std::vector<uint8_t>& bytes);
  /** Closes the device side, as pulling the cable would. */
  void unplug();

  [[nodiscard]] bool scanning() const;
  /** The frequency the simulated motor turns at, in Hz. */
  [[nodiscard]] double frequencyHz() const;
  /** Every command byte received, oldest first. */
  [[nodiscard]] std::vector<uint8_t> commands() const;
  using SentPacket = halvern::sim::SentPacket;
  /** The latest packets written whole (up to SentPacketLog::kKept), oldest first. */
  [[nodiscard]] std::vector<SentPacket> sentPackets() const;

  /** Revolutions and packets written whole to the line. */
  [[nodiscard]] int revolutionsSent() const;
  [[nodiscard]] int packetsSent() const;

  /**
   * Everything queued so far (replies, packets, sendRaw's bytes) has gone onto the line and the
   * library has read all of it: none waits on the library's end of the port. Bytes sent after
   * this holds come in a later read than all of those, so once they too are read, the library
   * has dealt with everything before them.
   */
  [[nodiscard]] bool libraryCaughtUp() const;
  /** Bytes on the library's end of the port that the library has not read yet. */
  [[nodiscard]] std::size_t unreadByLibrary() const;
  /** The cable was pulled (after unplug()): nothing more reaches the library. */
  [[nodiscard]] bool unplugged() const;

  /**
   * A scan packet as the lidar sends it, with its check code: `start` marks the first packet of
   * a revolution (it then holds exactly one sample, the first given or a zero one). Each sample
   * is (intensity, distance mm, flag 0 to 3).
   */
  struct Sample {
    uint8_t intensity = 0;
    uint16_t distanceMm = 0;
    uint8_t flag = 0;
  };
  static std::vector<uint8_t> scanPacket(bool start, uint16_t firstAngleRaw, uint16_t lastAngleRaw,
                                         const std::vector<Sample>& samples);

  /** A point of a revolution to send: its angle in degrees, [0, 360), and its sample. */
  struct Point {
    double angleDegrees = 0.0;
    Sample sample;
  };
  /**
   * Sends one revolution of these points now, when scanning and not silent, its packets reaching
   * the library spread evenly over `duration` (the last one then), the faults set applied. The
   * points go in as few packets as their angles allow: a packet carries its first and last angle
   * only, the library spreading its samples evenly between them. With `thenNextStart`, a start
   * packet of one empty sample follows the last packet: the library takes a revolution as whole
   * when the next one starts.
   */
  void sendRevolution(const std::vector<Point>& points, std::chrono::microseconds duration,
                      bool thenNextStart);

 private:
  struct State;  // the lidar's state behind its mutex, with its model and its faults

  void takeRequests(SerialLine& line, std::span<const uint8_t> bytes);
  /** Queues the packets whose samples have been measured by `now`. */
  void queueDuePackets(SerialLine& line, std::chrono::steady_clock::time_point now);
  /** What a packet's last byte going onto the line counts. */
  std::function<void()> countWhenSent(bool start);

  std::unique_ptr<State> state_;
  std::unique_ptr<SerialLine> line_;  // last: its thread stops before the state goes
};

}  // namespace halvern::sim

// A simulated scanning lidar on one of the robot controller's serial ports (the stand-in HAL's
// simulated port), as the robot program's serial lidar sees it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "SentPacketLog.h"

namespace halvern::sim {

/**
 * A lidar wired to a HAL serial port: it streams packets (two bytes a sample, distance x 4)
 * describing a room, a revolution at a steady rate, from the moment it is made. Each sample's
 * reported angle leaves room for the lidar's angle correction, so after correction the points
 * fall on the room's walls. Noise, dropped and corrupted packets come on demand. While the
 * robot program has the port closed, the packets go nowhere, as on a line nobody listens to.
 */
class SimLidar {
 public:
  /** Distance in millimetres (0 for no return) seen at an angle in degrees. */
  using Room = std::function<float(double angleDegrees)>;

  static constexpr double kDefaultRevolutionsPerSecond = 10.0;
  static constexpr int kDefaultSamplesPerRevolution = 720;

  /** Streams on the HAL serial port `port` (0: the onboard port). */
  explicit SimLidar(int32_t port = 0);
  SimLidar(const SimLidar&) = delete;
  SimLidar& operator=(const SimLidar&) = delete;
  ~SimLidar();

  /** A room of 5 m by 4 m with the robot off-centre. */
  static Room defaultRoom();
  void setRoom(Room room);
  void setRevolutionsPerSecond(double revolutions);
  /** Gaussian noise added to every distance, standard deviation in millimetres. */
  void setNoise(float standardDeviationMm);
  /** This share (0 to 1) of packets is never sent. */
  void setDroppedShare(double share);
  /** This share (0 to 1) of packets has one flipped bit, so its check code disagrees. */
  void setCorruptedShare(double share);
  /** Stops (or resumes) streaming; a resumed stream begins a new revolution. */
  void setSilent(bool silent);
  /** Sends arbitrary bytes now, open port or not: noise, half a packet, a false mark. */
  void sendRaw(const std::vector<uint8_t>& bytes);
  /**
   * Sends `count` whole revolutions of the room now, open port or not, with the noise set but
   * no dropped or damaged packets, drawn from a generator seeded with `seed`: the same bytes on
   * every run. Meant for a silent lidar, whose own stream then does not come between them.
   */
  void sendRevolutions(int count, unsigned seed);

  /** A sample as the library decodes it: its corrected angle in degrees and its distance in
   *  millimetres, -1 out of range. */
  struct Sample {
    double angleDegrees = 0.0;
    float distanceMm = 0.0F;
  };
  /**
   * Sends one revolution of these samples, its packets reaching an open port spread evenly over
   * `duration` from now, so that the library decodes the same samples (angles within the
   * packets' angle unit): each reported angle leaves room for the angle correction of its
   * distance; one out of range goes as no return, which the library corrects by nothing. Like
   * sendRevolutions, meant for a silent lidar. A revolution given before the last one has gone
   * follows it.
   */
  void sendRevolution(const std::vector<Sample>& samples, std::chrono::microseconds duration);

  using SentPacket = halvern::sim::SentPacket;
  /** The latest packets of its own stream that reached an open port (up to SentPacketLog::kKept),
   *  oldest first. */
  [[nodiscard]] std::vector<SentPacket> sentPackets() const;

  /** Revolutions and packets that reached an open port (dropped packets not counted). */
  [[nodiscard]] int revolutionsSent() const;
  [[nodiscard]] int packetsSent() const;
  /** Revolutions the lidar has streamed, whether or not the port was open to take them. */
  [[nodiscard]] int revolutionsStreamed() const;

  /** A packet as the lidar sends it, with its check code; `words` are distance x 4. */
  static std::vector<uint8_t> packet(bool start, uint16_t firstAngleRaw, uint16_t lastAngleRaw,
                                     const std::vector<uint16_t>& words);

 private:
  using Clock = std::chrono::steady_clock;

  void run();
  /** The packet of revolution positions [first, end), noise and damage applied; mutex held. */
  std::vector<uint8_t> revolutionPacket(int first, int end);
  /** Sends the given packets that are due; mutex held, released while sending. */
  void sendDueGiven(std::unique_lock<std::mutex>& lock);

  struct GivenPacket {
    Clock::time_point due;
    bool start = false;
    std::vector<uint8_t> bytes;
  };

  const int32_t port_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;  // stopping, silence lifted, settings changed
  Room room_;
  double revolutionsPerSecond_ = kDefaultRevolutionsPerSecond;
  float noiseMm_ = 0.0F;
  double droppedShare_ = 0.0;
  double corruptedShare_ = 0.0;
  bool silent_ = false;
  std::deque<GivenPacket> given_;  // sendRevolution's, in order
  SentPacketLog sent_;
  int revolutionsSent_ = 0;
  int revolutionsStreamed_ = 0;
  std::mt19937 random_;  // fixed seed: a run's noise and damage repeat
  std::atomic<bool> running_{true};
  std::thread thread_;  // last: starts once everything above is ready
};

}  // namespace halvern::sim

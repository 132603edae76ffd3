#include "SimLidar.h"

#include <algorithm>

#include "SimHal.h"
#include "common/EvenRuns.h"
#include "halsim/SimControl.h"
#include "lidar/LidarPackets.h"
#include "lidar/RectangularRoom.h"
#include "lidar/RoomScan.h"

namespace halvern::sim {

namespace wire = halvern::lidar;

namespace {

constexpr double kSlowestRevolutionsPerSecond = 0.1;
constexpr double kFastestRevolutionsPerSecond = 100.0;
// A damaged packet: bit 13 of one distance word flipped, a 2 m error if it got through.
constexpr uint8_t kDamageBit = 0x20;
// Behind its timeline by more than this (a stalled simulator), the lidar carries on from now
// rather than flooding the port with old packets.
constexpr auto kMaxLag = std::chrono::milliseconds(250);
constexpr unsigned kSeed = 20240611;

std::chrono::steady_clock::duration samplePeriod(double revolutionsPerSecond) {
  return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::duration<double>(
          1.0 / (revolutionsPerSecond * SimLidar::kDefaultSamplesPerRevolution)));
}

// The port number, once the stand-in HAL has confirmed there is such a port (it throws if not).
int32_t existingPort(int32_t port) {
  static_cast<void>(halsim::serialSettings(port));
  return port;
}

}  // namespace

SimLidar::SimLidar(int32_t port)
    : port_(existingPort(port)), room_(defaultRoom()), random_(kSeed), thread_([this] { run(); }) {}

SimLidar::~SimLidar() {
  {
    const std::lock_guard lock(mutex_);
    running_ = false;
  }
  wake_.notify_all();
  thread_.join();
}

SimLidar::Room SimLidar::defaultRoom() {
  constexpr RectangularRoom kRoom{
      .widthMetres = 5.0, .depthMetres = 4.0, .fromWestMetres = 1.8, .fromSouthMetres = 1.5};
  return [room = kRoom](double angleDegrees) {
    return static_cast<float>(room.distanceMm(angleDegrees));
  };
}

void SimLidar::setRoom(Room room) {
  const std::lock_guard lock(mutex_);
  room_ = std::move(room);
}

void SimLidar::setRevolutionsPerSecond(double revolutions) {
  {
    const std::lock_guard lock(mutex_);
    revolutionsPerSecond_ = revolutions > kSlowestRevolutionsPerSecond
                                ? std::min(revolutions, kFastestRevolutionsPerSecond)
                                : kSlowestRevolutionsPerSecond;
  }
  wake_.notify_all();
}

void SimLidar::setNoise(float standardDeviationMm) {
  const std::lock_guard lock(mutex_);
  noiseMm_ = std::max(standardDeviationMm, 0.0F);
}

void SimLidar::setDroppedShare(double share) {
  const std::lock_guard lock(mutex_);
  droppedShare_ = std::clamp(share, 0.0, 1.0);
}

void SimLidar::setCorruptedShare(double share) {
  const std::lock_guard lock(mutex_);
  corruptedShare_ = std::clamp(share, 0.0, 1.0);
}

void SimLidar::setSilent(bool silent) {
  {
    const std::lock_guard lock(mutex_);
    silent_ = silent;
  }
  wake_.notify_all();
}

void SimLidar::sendRaw(const std::vector<uint8_t>& bytes) { halsim::pushSerialBytes(port_, bytes); }

void SimLidar::sendRevolutions(int count, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes;
  {
    const std::lock_guard lock(mutex_);
    for (int revolution = 0; revolution < count; ++revolution) {
      for (int first = 0; first < kDefaultSamplesPerRevolution; first = lidar::packetEnd(first)) {
        const std::vector<uint8_t> packet =
            lidar::RoomScan{room_, noiseMm_}.packet(first, lidar::packetEnd(first), random);
        bytes.insert(bytes.end(), packet.begin(), packet.end());
      }
    }
  }
  halsim::pushSerialBytes(port_, bytes);
}

void SimLidar::sendRevolution(const std::vector<Sample>& samples,
                              std::chrono::microseconds duration) {
  // Runs whose inner reported angles fall within half an angle unit of the even spread read
  // back within one unit once their end angles are rounded to units too.
  constexpr double kTolerance = 0.5 / 128.0;
  constexpr int kLongestRun = 40;
  std::vector<double> reported;
  std::vector<uint16_t> words;
  for (const Sample& sample : samples) {
    const bool inRange = sample.distanceMm > 0.0F;
    const uint16_t word = inRange ? wire::distanceWord(sample.distanceMm) : uint16_t{0};
    words.push_back(word);
    // The same correction the library works out from the word.
    reported.push_back(sample.angleDegrees -
                       wire::angleCorrectionDegrees(static_cast<float>(word) / 4.0F));
  }
  const std::vector<SampleRun> runs = evenRuns(reported, kLongestRun, kTolerance);
  const Clock::time_point now = Clock::now();
  {
    const std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < runs.size(); ++i) {
      const SampleRun run = runs[i];
      GivenPacket packet{.due = now + (runs.size() > 1 ? duration * static_cast<int64_t>(i) /
                                                             static_cast<int64_t>(runs.size() - 1)
                                                       : std::chrono::microseconds{0}),
                         .start = run.first == 0,
                         .bytes = {}};
      wire::encodePacket(packet.bytes, packet.start, wire::angleRaw(reported[run.first]),
                         wire::angleRaw(reported[run.end - 1]),
                         std::span(words).subspan(run.first, run.end - run.first));
      given_.push_back(std::move(packet));
    }
  }
  wake_.notify_all();
}

void SimLidar::sendDueGiven(std::unique_lock<std::mutex>& lock) {
  while (!given_.empty() && given_.front().due <= Clock::now()) {
    GivenPacket packet = std::move(given_.front());
    given_.pop_front();
    lock.unlock();
    const bool listening = halsim::serialSettings(port_).open;
    const uint64_t sentAt = simhal::halMicros();
    if (listening) {
      halsim::pushSerialBytes(port_, packet.bytes);
    }
    lock.lock();
    if (listening) {
      sent_.record(packet.start, sentAt);
      revolutionsSent_ += packet.start ? 1 : 0;
    }
  }
}

std::vector<SimLidar::SentPacket> SimLidar::sentPackets() const {
  const std::lock_guard lock(mutex_);
  return sent_.latest();
}

int SimLidar::revolutionsSent() const {
  const std::lock_guard lock(mutex_);
  return revolutionsSent_;
}

int SimLidar::revolutionsStreamed() const {
  const std::lock_guard lock(mutex_);
  return revolutionsStreamed_;
}

int SimLidar::packetsSent() const {
  const std::lock_guard lock(mutex_);
  return sent_.count();
}

std::vector<uint8_t> SimLidar::packet(bool start, uint16_t firstAngleRaw, uint16_t lastAngleRaw,
                                      const std::vector<uint16_t>& words) {
  std::vector<uint8_t> bytes;
  wire::encodePacket(bytes, start, firstAngleRaw, lastAngleRaw, words);
  return bytes;
}

std::vector<uint8_t> SimLidar::revolutionPacket(int first, int end) {
  if (std::bernoulli_distribution(droppedShare_)(random_)) {
    return {};
  }
  std::vector<uint8_t> bytes = lidar::RoomScan{room_, noiseMm_}.packet(first, end, random_);
  if (std::bernoulli_distribution(corruptedShare_)(random_)) {
    const auto samples = static_cast<std::size_t>(end - first);
    const auto sample = std::uniform_int_distribution<std::size_t>(0, samples - 1)(random_);
    bytes.at(marked::kHeaderLength + wire::PacketCodec::kSampleLength * sample + 1) ^= kDamageBit;
  }
  return bytes;
}

void SimLidar::run() {
  std::unique_lock lock(mutex_);
  int position = 0;  // the first revolution position of the next packet
  // When the next packet's last sample has been measured, and the packet can go.
  auto due = Clock::now() + samplePeriod(revolutionsPerSecond_);
  while (running_) {
    if (silent_) {
      sendDueGiven(lock);
      if (given_.empty()) {
        wake_.wait(lock, [this] { return !running_ || !silent_ || !given_.empty(); });
      } else {
        wake_.wait_until(lock, given_.front().due);
      }
      if (!silent_) {
        position = 0;
        due = Clock::now() + samplePeriod(revolutionsPerSecond_);
      }
      continue;
    }
    if (Clock::now() < due) {
      wake_.wait_until(lock, due);  // settings may change meanwhile: look again
      continue;
    }
    const bool start = position == 0;  // the packet of a revolution's first sample
    const int end = lidar::packetEnd(position);
    const std::vector<uint8_t> bytes = revolutionPacket(position, end);
    const bool revolutionDone = end == kDefaultSamplesPerRevolution;
    position = revolutionDone ? 0 : end;
    due += samplePeriod(revolutionsPerSecond_) * (lidar::packetEnd(position) - position);
    if (Clock::now() - due > kMaxLag) {
      due = Clock::now();
    }

    lock.unlock();
    const bool listening = halsim::serialSettings(port_).open;
    const uint64_t sentAt = simhal::halMicros();
    if (listening && !bytes.empty()) {
      halsim::pushSerialBytes(port_, bytes);
    }
    lock.lock();
    if (listening && !bytes.empty()) {
      sent_.record(start, sentAt);
    }
    if (listening) {
      revolutionsSent_ += revolutionDone ? 1 : 0;
    }
    revolutionsStreamed_ += revolutionDone ? 1 : 0;
  }
}

}  // namespace halvern::sim

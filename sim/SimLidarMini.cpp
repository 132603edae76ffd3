#include "SimLidarMini.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <span>

#include "PseudoTerminal.h"
#include "SimHal.h"
#include "SimRoom.h"
#include "lidarmini/LidarMiniProtocol.h"

namespace halvern::sim {

namespace wire = halvern::lidarmini;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kDefaultFrequencyTenths = 60;
constexpr int kMinFrequencyTenths = 60;
constexpr int kMaxFrequencyTenths = 120;
constexpr int kSmallStepTenths = 1;
constexpr int kBigStepTenths = 10;

// Raw angles count 1/128 degree.
constexpr double kAngleUnitsPerDegree = 128.0;
constexpr double kFullTurnDegrees = 360.0;
// The distance field's 14 bits sit above the sample's two flag bits.
constexpr unsigned kDistanceBits = 14;
constexpr unsigned kFlagBits = 2;
// A damaged sample: bit 9 of its distance (bit 3 of the sample's third byte) flipped.
constexpr uint8_t kDamageBit = 0x08;
constexpr std::size_t kDamagedByteInSample = 2;

// The reply a scanning lidar sends to StartScan before its first packet.
constexpr std::array<uint8_t, wire::kDescriptorLength> kScanStartDescriptor{
    wire::kDescriptorFirst, wire::kDescriptorSecond, 0x05, 0x00, 0x00, 0x40, 0x81};

constexpr auto kSamplePeriod =
    std::chrono::duration_cast<Clock::duration>(1s) / SimLidarMini::kSamplesPerSecond;
// Behind its timeline by more than this (a stalled simulator), the motor's timeline moves on to
// now rather than flooding the line with old revolutions. The revolution under way goes on from
// the sample it reached: a real lidar's motor never stalls with the host, so every revolution
// it sends is whole, however late the simulator's thread ran.
constexpr auto kMaxLag = 250ms;

constexpr auto kSplitPause = 3ms;
constexpr auto kUnpluggedIdle = 5ms;
constexpr auto kRequestWait = 1ms;

// Like a USB device whose host stops polling it, the lidar holds its output back while this
// much sits unread on the host's side; writing on would block the device thread for good once
// the pseudo-terminal's buffers fill (20,736 bytes on Linux), and a destroyed simulator could
// then never stop.
constexpr std::size_t kHostQueueLimit = 2048;
// The unread count misses bytes the terminal has not yet handed to its read queue, which a busy
// machine can hold back for long; so the lidar also holds back once this much was written
// since it last saw the library's side empty, well below what the terminal holds.
constexpr std::size_t kUnconfirmedLimit = 8192;
// Output waiting for the line beyond this (the host stopped reading) is dropped, packet by packet.
constexpr std::size_t kOutputBacklogLimit = 65536;

constexpr int kMinGarbageLength = 1;
constexpr int kMaxGarbageLength = 24;
constexpr int kMaxFalseMarkSamples = 40;

uint16_t angleRaw(double degrees) {
  return static_cast<uint16_t>(std::lround(degrees * kAngleUnitsPerDegree));
}

uint8_t lowByte(unsigned value) { return static_cast<uint8_t>(value & 0xFFU); }
uint8_t highByte(unsigned value) { return static_cast<uint8_t>((value >> 8U) & 0xFFU); }

// Nearer surfaces return more light.
uint8_t intensityFor(uint16_t distanceMm) {
  constexpr int kBrightest = 240;
  constexpr int kDimmest = 16;
  constexpr int kMillimetresPerStep = 64;
  if (distanceMm == 0) {
    return 0;
  }
  return static_cast<uint8_t>(
      std::clamp(kBrightest - distanceMm / kMillimetresPerStep, kDimmest, kBrightest));
}

int samplesPerRevolution(int frequencyTenths) {
  constexpr int kTenthsPerHertz = 10;
  return (SimLidarMini::kSamplesPerSecond * kTenthsPerHertz + frequencyTenths / 2) /
         frequencyTenths;
}

void append(std::vector<uint8_t>& to, std::span<const uint8_t> bytes) {
  to.insert(to.end(), bytes.begin(), bytes.end());
}

std::vector<uint8_t> descriptor(uint8_t payloadLength, uint8_t type) {
  return {wire::kDescriptorFirst, wire::kDescriptorSecond, payloadLength, 0, 0, 0, type};
}

std::vector<uint8_t> infoReply(const SimLidarMini::Identity& identity) {
  std::vector<uint8_t> reply = descriptor(wire::kInfoPayloadLength, wire::kInfoType);
  append(reply, std::array{identity.model, lowByte(identity.firmwareVersion),
                           highByte(identity.firmwareVersion), identity.hardwareVersion});
  append(reply, identity.serial);
  return reply;
}

std::vector<uint8_t> healthReply(const SimLidarMini::Health& health) {
  std::vector<uint8_t> reply = descriptor(wire::kHealthPayloadLength, wire::kHealthType);
  append(reply, std::array{health.status, lowByte(health.errorCode), highByte(health.errorCode)});
  return reply;
}

std::size_t bytesCarriedIn(Clock::duration time) {
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(time).count();
  return micros <= 0 ? 0
                     : static_cast<std::size_t>(micros * SimLidarMini::kBytesPerSecond / 1000000);
}

Clock::duration lineTimeOf(std::size_t bytes) {
  return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(
      static_cast<int64_t>(bytes) * 1000000000 / SimLidarMini::kBytesPerSecond));
}

}  // namespace

SimLidarMini::SimLidarMini()
    : terminal_(std::make_unique<PseudoTerminal>()),
      room_(defaultRoom()),
      frequencyTenths_(kDefaultFrequencyTenths),
      thread_([this] { run(); }) {}

SimLidarMini::~SimLidarMini() {
  running_ = false;
  thread_.join();
}

const std::string& SimLidarMini::devicePath() const { return terminal_->devicePath(); }

SimLidarMini::Room SimLidarMini::defaultRoom() {
  constexpr RectangularRoom kRoom{
      .widthMetres = 4.0, .depthMetres = 3.0, .fromWestMetres = 1.5, .fromSouthMetres = 1.2};
  return [room = kRoom](double angleDegrees) {
    return static_cast<uint16_t>(std::lround(room.distanceMm(angleDegrees)));
  };
}

std::vector<SimLidarMini::SentPacket> SimLidarMini::sentPackets() const {
  const std::lock_guard lock(mutex_);
  return {sentPackets_.begin(), sentPackets_.end()};
}

void SimLidarMini::setRoom(Room room) {
  const std::lock_guard lock(mutex_);
  room_ = std::move(room);
}

void SimLidarMini::setIdentity(const Identity& identity) {
  const std::lock_guard lock(mutex_);
  identity_ = identity;
}

void SimLidarMini::setHealth(const Health& health) {
  const std::lock_guard lock(mutex_);
  health_ = health;
}

void SimLidarMini::setCorruptedShare(double share) {
  const std::lock_guard lock(mutex_);
  corruptedShare_ = std::clamp(share, 0.0, 1.0);
}

void SimLidarMini::setGarbageBetweenPackets(bool on) {
  const std::lock_guard lock(mutex_);
  garbage_ = on;
}

void SimLidarMini::setSplitPackets(bool on) {
  const std::lock_guard lock(mutex_);
  splitPackets_ = on;
}

void SimLidarMini::setSilent(bool silent) {
  const std::lock_guard lock(mutex_);
  silent_ = silent;
}

void SimLidarMini::overrideNextReply(std::vector<uint8_t> reply) {
  const std::lock_guard lock(mutex_);
  replyOverride_ = std::move(reply);
}

void SimLidarMini::sendRaw(const std::vector<uint8_t>& bytes) {
  // The device thread owns the terminal; hand the bytes over and let it write them in order.
  const std::lock_guard lock(mutex_);
  queue(Segment{.bytes = bytes});
}

void SimLidarMini::unplug() {
  const std::lock_guard lock(mutex_);
  unplugRequested_ = true;
}

bool SimLidarMini::scanning() const {
  const std::lock_guard lock(mutex_);
  return scanning_;
}

double SimLidarMini::frequencyHz() const {
  constexpr double kTenthsPerHertz = 10.0;
  const std::lock_guard lock(mutex_);
  return frequencyTenths_ / kTenthsPerHertz;
}

std::vector<uint8_t> SimLidarMini::commands() const {
  const std::lock_guard lock(mutex_);
  return commands_;
}

int SimLidarMini::revolutionsSent() const {
  const std::lock_guard lock(mutex_);
  return revolutionsSent_;
}

int SimLidarMini::packetsSent() const {
  const std::lock_guard lock(mutex_);
  return packetsSent_;
}

std::vector<uint8_t> SimLidarMini::scanPacket(bool start, uint16_t firstAngleRaw,
                                              uint16_t lastAngleRaw,
                                              const std::vector<Sample>& samples) {
  std::vector<uint8_t> bytes;
  bytes.reserve(wire::PacketCodec::kSampleLength * samples.size());
  for (const Sample& sample : samples) {
    const unsigned distance = sample.distanceMm & ((1U << kDistanceBits) - 1U);
    const unsigned field = (distance << kFlagBits) | (sample.flag & ((1U << kFlagBits) - 1U));
    append(bytes, std::array{sample.intensity, lowByte(field), highByte(field)});
  }
  std::vector<uint8_t> packet;
  wire::PacketCodec::encode(packet, start, firstAngleRaw, lastAngleRaw, bytes);
  return packet;
}

void SimLidarMini::handleCommand(uint8_t command) {
  commands_.push_back(command);
  const auto reply = [this](std::vector<uint8_t> ownReply) {
    if (silent_) {
      return;
    }
    queue(Segment{.bytes = replyOverride_ ? std::move(*replyOverride_) : std::move(ownReply)});
    replyOverride_.reset();
  };
  const auto stepFrequency = [this](int tenths) {
    frequencyTenths_ =
        std::clamp(frequencyTenths_ + tenths, kMinFrequencyTenths, kMaxFrequencyTenths);
  };
  switch (static_cast<wire::Command>(command)) {
    case wire::Command::StartScan:
      if (!scanning_) {
        scanning_ = true;
        streaming_ = false;  // the motor's timeline starts afresh
      }
      if (!silent_) {
        queue(Segment{.bytes = {kScanStartDescriptor.begin(), kScanStartDescriptor.end()}});
      }
      break;
    case wire::Command::StopScan: {
      scanning_ = false;
      // Packets not yet on the line are never sent; one the line has begun is finished.
      const bool headBegun = !output_.empty() && output_.front().written > 0;
      const auto kept =
          std::stable_partition(output_.begin() + (headBegun ? 1 : 0), output_.end(),
                                [](const Segment& segment) { return !segment.scanData; });
      for (auto dropped = kept; dropped != output_.end(); ++dropped) {
        outputBytes_ -= dropped->bytes.size() - dropped->written;
      }
      output_.erase(kept, output_.end());
      break;
    }
    case wire::Command::GetDeviceInfo:
      reply(infoReply(identity_));
      break;
    case wire::Command::GetDeviceHealth:
      reply(healthReply(health_));
      break;
    case wire::Command::FrequencyUpTenth:
      stepFrequency(kSmallStepTenths);
      break;
    case wire::Command::FrequencyDownTenth:
      stepFrequency(-kSmallStepTenths);
      break;
    case wire::Command::FrequencyUpOne:
      stepFrequency(kBigStepTenths);
      break;
    case wire::Command::FrequencyDownOne:
      stepFrequency(-kBigStepTenths);
      break;
  }
}

void SimLidarMini::takeRequests(const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) {
    return;
  }
  const std::lock_guard lock(mutex_);
  for (const uint8_t byte : bytes) {
    // A request is the mark and a command byte; anything else on the line is ignored.
    if (requestMarkSeen_) {
      requestMarkSeen_ = false;
      handleCommand(byte);
    } else {
      requestMarkSeen_ = byte == wire::kRequestMark;
    }
  }
}

std::vector<uint8_t> SimLidarMini::revolutionPacket(int first, int end,
                                                    int samplesInRevolution) const {
  const auto angleOf = [samplesInRevolution](int sample) {
    return kFullTurnDegrees * sample / samplesInRevolution;
  };
  std::vector<Sample> samples;
  samples.reserve(static_cast<std::size_t>(end - first));
  for (int sample = first; sample < end; ++sample) {
    const uint16_t distance = room_ ? room_(angleOf(sample)) : uint16_t{0};
    samples.push_back(Sample{.intensity = intensityFor(distance), .distanceMm = distance});
  }
  return scanPacket(first == 0, angleRaw(angleOf(first)), angleRaw(angleOf(end - 1)), samples);
}

std::vector<uint8_t> SimLidarMini::garbageBefore(const std::vector<uint8_t>& packet) {
  std::uniform_int_distribution<int> length(kMinGarbageLength, kMaxGarbageLength);
  std::uniform_int_distribution<int> anyByte(0, std::numeric_limits<uint8_t>::max());
  std::bernoulli_distribution coin(0.5);
  // Bytes after a false mark avoid the mark's first byte, so no second false mark hides there.
  const auto byteWithoutMark = [&] {
    auto byte = static_cast<uint8_t>(anyByte(random_));
    return byte == marked::kMarkFirst ? uint8_t{0} : byte;
  };

  std::vector<uint8_t> garbage;
  for (int i = length(random_); i > 0; --i) {
    auto byte = static_cast<uint8_t>(anyByte(random_));
    if (byte == marked::kMarkSecond && !garbage.empty() && garbage.back() == marked::kMarkFirst) {
      byte = 0;  // no mark in the noise itself
    }
    garbage.push_back(byte);
  }
  if (!coin(random_)) {
    return garbage;
  }

  // A false mark and header whose samples reach into the real packet behind it.
  const bool start = coin(random_);
  const int reach = std::min(kMaxFalseMarkSamples,
                             static_cast<int>(packet.size() / wire::PacketCodec::kSampleLength));
  const uint8_t count =
      start ? byteWithoutMark()
            : static_cast<uint8_t>(std::uniform_int_distribution(1, reach)(random_));
  std::array<uint8_t, 4> angleBytes{};  // first and last angle, drawn in wire order
  for (uint8_t& byte : angleBytes) {
    byte = byteWithoutMark();
  }
  std::vector<uint8_t> falsePacket;
  wire::PacketCodec::appendHeader(falsePacket, start ? marked::kStartFlag : uint8_t{0}, count,
                                  static_cast<uint16_t>(angleBytes[0] | (angleBytes[1] << 8U)),
                                  static_cast<uint16_t>(angleBytes[2] | (angleBytes[3] << 8U)));
  const std::size_t reached =
      wire::PacketCodec::kSampleLength * wire::packetSampleCount(falsePacket[2], count);
  append(falsePacket, std::span(packet).first(reached));
  const uint16_t sound = wire::packetCheckCode(falsePacket);
  uint16_t wrong = sound;
  while (wrong == sound || lowByte(wrong) == marked::kMarkFirst ||
         highByte(wrong) == marked::kMarkFirst) {
    wrong = static_cast<uint16_t>(anyByte(random_) | (anyByte(random_) << 8U));
  }
  falsePacket[marked::kCheckCodeAt] = lowByte(wrong);
  falsePacket[marked::kCheckCodeAt + 1] = highByte(wrong);
  append(garbage, std::span(falsePacket).first(marked::kHeaderLength));
  return garbage;
}

void SimLidarMini::queue(Segment segment) {
  if (segment.readyAt == Clock::time_point{}) {
    segment.readyAt = Clock::now();
  }
  outputBytes_ += segment.bytes.size();
  output_.push_back(std::move(segment));
}

void SimLidarMini::queuePacket(std::vector<uint8_t> packet, bool revolutionStart,
                               Clock::time_point readyAt) {
  if (outputBytes_ > kOutputBacklogLimit) {
    return;  // the host stopped reading: the lidar's buffer overflows
  }
  if (corruptedShare_ > 0.0 && std::bernoulli_distribution(corruptedShare_)(random_)) {
    const std::size_t samples =
        (packet.size() - marked::kHeaderLength) / wire::PacketCodec::kSampleLength;
    const std::size_t damaged = std::uniform_int_distribution<std::size_t>(0, samples - 1)(random_);
    packet[marked::kHeaderLength + wire::PacketCodec::kSampleLength * damaged +
           kDamagedByteInSample] ^= kDamageBit;
  }
  if (garbage_ && std::bernoulli_distribution(0.5)(random_)) {
    queue(Segment{.bytes = garbageBefore(packet), .readyAt = readyAt, .scanData = true});
  }
  if (splitPackets_) {
    const auto half = static_cast<std::ptrdiff_t>(packet.size() / 2);
    queue(Segment{
        .bytes = {packet.begin(), packet.begin() + half}, .readyAt = readyAt, .scanData = true});
    queue(Segment{.bytes = {packet.begin() + half, packet.end()},
                  .readyAt = readyAt,
                  .pauseBefore = kSplitPause,
                  .scanData = true,
                  .endsPacket = true,
                  .endsRevolutionStart = revolutionStart});
  } else {
    queue(Segment{.bytes = std::move(packet),
                  .readyAt = readyAt,
                  .scanData = true,
                  .endsPacket = true,
                  .endsRevolutionStart = revolutionStart});
  }
}

void SimLidarMini::queueDuePackets(Clock::time_point now) {
  const std::lock_guard lock(mutex_);
  if (!scanning_ || silent_) {
    streaming_ = false;
    return;
  }
  const auto beginRevolution = [this](Clock::time_point at) {
    revolutionStart_ = at;
    revolutionSamples_ = samplesPerRevolution(frequencyTenths_);
    nextSample_ = 0;
  };
  if (!streaming_) {
    streaming_ = true;
    beginRevolution(now);
  }
  for (;;) {
    // A packet goes out once its last sample has been measured; the start packet holds one.
    const int end =
        nextSample_ == 0 ? 1 : std::min(nextSample_ + kMaxSamplesPerPacket, revolutionSamples_);
    const auto due = revolutionStart_ + kSamplePeriod * end;
    if (due > now) {
      return;
    }
    if (now - due > kMaxLag) {
      revolutionStart_ += now - due;
      continue;
    }
    queuePacket(revolutionPacket(nextSample_, end, revolutionSamples_), nextSample_ == 0, due);
    nextSample_ = end;
    if (end == revolutionSamples_) {
      // A new frequency takes effect from the next revolution on.
      beginRevolution(revolutionStart_ + kSamplePeriod * revolutionSamples_);
    }
  }
}

bool SimLidarMini::libraryCaughtUp() const {
  {
    const std::lock_guard lock(mutex_);
    if (outputBytes_ > 0 || writingBytes_ > 0) {
      return false;
    }
  }
  return unreadByLibrary() == 0;
}

std::size_t SimLidarMini::unreadByLibrary() const { return terminal_->unreadByLibrary(); }

std::size_t SimLidarMini::hostQueueRoom() {
  const std::size_t unread = unreadByLibrary();
  if (unread == 0) {
    writtenSinceEmpty_ = 0;  // the library has read everything written before
  }
  if (unread >= kHostQueueLimit || writtenSinceEmpty_ >= kUnconfirmedLimit) {
    return 0;
  }
  return std::min(kHostQueueLimit - unread, kUnconfirmedLimit - writtenSinceEmpty_);
}

void SimLidarMini::sendOutput(Clock::time_point now) {
  std::size_t room = hostQueueRoom();
  std::vector<uint8_t> bytes;
  {
    const std::lock_guard lock(mutex_);
    // The line carries each segment from when the lidar had it, after the line has carried
    // what came before and after its pause, at the line's rate: however late this thread runs,
    // the line keeps its rate, and a pause costs line time, not a turn of this loop.
    Clock::time_point line = lineFree_;
    while (room > 0 && !output_.empty()) {
      Segment& head = output_.front();
      if (head.written == 0) {
        line = std::max({line, head.readyAt, lastSegmentDone_ + head.pauseBefore});
      }
      const std::size_t take =
          std::min({room, head.bytes.size() - head.written, bytesCarriedIn(now - line)});
      if (take == 0) {
        break;
      }
      const auto from = head.bytes.begin() + static_cast<std::ptrdiff_t>(head.written);
      bytes.insert(bytes.end(), from, from + static_cast<std::ptrdiff_t>(take));
      head.written += take;
      outputBytes_ -= take;
      writingBytes_ += take;
      room -= take;
      line += lineTimeOf(take);
      if (head.written == head.bytes.size()) {
        packetsSent_ += head.endsPacket ? 1 : 0;
        revolutionsSent_ += head.endsRevolutionStart ? 1 : 0;
        if (head.endsPacket) {
          constexpr std::size_t kSentPacketsKept = 4096;
          sentPackets_.push_back(
              SentPacket{.start = head.endsRevolutionStart, .halMicros = simhal::halMicros()});
          if (sentPackets_.size() > kSentPacketsKept) {
            sentPackets_.pop_front();
          }
        }
        lastSegmentDone_ = line;
        output_.pop_front();
      }
    }
    lineFree_ = line;
  }
  if (!bytes.empty()) {
    terminal_->send(bytes);
    writtenSinceEmpty_ += bytes.size();
    const std::lock_guard lock(mutex_);
    writingBytes_ = 0;
  }
}

void SimLidarMini::run() {
  while (running_) {
    bool unplug = false;
    {
      const std::lock_guard lock(mutex_);
      unplug = unplugRequested_;
    }
    if (unplug) {
      terminal_->unplug();
      unplugged_ = true;
    }
    if (!terminal_->pluggedIn()) {
      std::this_thread::sleep_for(kUnpluggedIdle);
      continue;
    }
    takeRequests(terminal_->receiveAvailable(kRequestWait));
    const auto now = Clock::now();
    queueDuePackets(now);
    sendOutput(now);
  }
}

}  // namespace halvern::sim

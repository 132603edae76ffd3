#include "lidarmini/ScanFaults.h"

#include <algorithm>
#include <array>
#include <limits>
#include <span>

#include "lidarmini/LidarMiniProtocol.h"

namespace halvern::sim::lidarmini {

namespace wire = halvern::lidarmini;

namespace {

// A damaged sample: bit 9 of its distance (bit 3 of the sample's third byte) flipped.
constexpr uint8_t kDamageBit = 0x08;
constexpr std::size_t kDamagedByteInSample = 2;

constexpr int kMinGarbageLength = 1;
constexpr int kMaxGarbageLength = 24;
constexpr int kMaxFalseMarkSamples = 40;

uint8_t lowByte(unsigned value) { return static_cast<uint8_t>(value & 0xFFU); }
uint8_t highByte(unsigned value) { return static_cast<uint8_t>((value >> 8U) & 0xFFU); }

}  // namespace

void ScanFaults::damage(std::vector<uint8_t>& packet) {
  if (corruptedShare > 0.0 && std::bernoulli_distribution(corruptedShare)(random_)) {
    const std::size_t samples =
        (packet.size() - marked::kHeaderLength) / wire::PacketCodec::kSampleLength;
    const std::size_t damaged = std::uniform_int_distribution<std::size_t>(0, samples - 1)(random_);
    packet[marked::kHeaderLength + wire::PacketCodec::kSampleLength * damaged +
           kDamagedByteInSample] ^= kDamageBit;
  }
}

std::vector<uint8_t> ScanFaults::garbageBefore(const std::vector<uint8_t>& packet) {
  if (!garbage || !std::bernoulli_distribution(0.5)(random_)) {
    return {};
  }
  return falseMarkedGarbage(packet);
}

std::vector<uint8_t> ScanFaults::falseMarkedGarbage(const std::vector<uint8_t>& packet) {
  std::uniform_int_distribution<int> length(kMinGarbageLength, kMaxGarbageLength);
  std::uniform_int_distribution<int> anyByte(0, std::numeric_limits<uint8_t>::max());
  std::bernoulli_distribution coin(0.5);
  // Bytes after a false mark avoid the mark's first byte, so no second false mark hides there.
  const auto byteWithoutMark = [&] {
    auto byte = static_cast<uint8_t>(anyByte(random_));
    return byte == marked::kMarkFirst ? uint8_t{0} : byte;
  };

  std::vector<uint8_t> noise;
  for (int i = length(random_); i > 0; --i) {
    auto byte = static_cast<uint8_t>(anyByte(random_));
    if (byte == marked::kMarkSecond && !noise.empty() && noise.back() == marked::kMarkFirst) {
      byte = 0;  // no mark in the noise itself
    }
    noise.push_back(byte);
  }
  if (!coin(random_)) {
    return noise;
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
                                  marked::wordAt(&angleBytes[0]), marked::wordAt(&angleBytes[2]));
  const std::size_t reached =
      wire::PacketCodec::kSampleLength * wire::packetSampleCount(falsePacket[2], count);
  const std::span<const uint8_t> behind(packet);
  falsePacket.insert(falsePacket.end(), behind.begin(),
                     behind.begin() + static_cast<std::ptrdiff_t>(reached));
  const uint16_t sound = wire::packetCheckCode(falsePacket);
  uint16_t wrong = sound;
  while (wrong == sound || lowByte(wrong) == marked::kMarkFirst ||
         highByte(wrong) == marked::kMarkFirst) {
    wrong = static_cast<uint16_t>(anyByte(random_) | (anyByte(random_) << 8U));
  }
  marked::putWord(&falsePacket[marked::kCheckCodeAt], wrong);
  noise.insert(noise.end(), falsePacket.begin(),
                 falsePacket.begin() + static_cast<std::ptrdiff_t>(marked::kHeaderLength));
  return noise;
}

}  // namespace halvern::sim::lidarmini

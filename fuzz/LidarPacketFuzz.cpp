// Feeds arbitrary bytes to the serial lidar's packet framing and decoding in pieces, as the
// reader receives them (one buffer carried from read to read, packets taken at an offset, one
// compaction per read), checking every search, every packet found and every sample decoded, and
// that the pieces give the same packets, samples and leftover bytes as the whole stream at once.
//
// Input: four piece sizes (1 to 256 bytes, used in turn), then the stream.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <span>
#include <vector>

#include "FuzzChecks.h"
#include "FuzzPieces.h"
#include "lidar/LidarPackets.h"

namespace {

using halvern::fuzz::circularDistance;
using halvern::fuzz::Found;
using halvern::fuzz::le16;
using halvern::fuzz::require;
using halvern::fuzz::sameBytes;

using namespace halvern::lidar;  // NOLINT(google-build-using-namespace)

// The wire is written out here rather than taken from the library: AA 55, type at 2 (bit 0:
// start, one sample whatever the count), count at 3, first and last angle at 4 and 6 (degrees x
// 128), check code at 8, then a 16-bit word a sample (millimetres x 4).
constexpr uint8_t kMarkFirst = 0xAA;
constexpr uint8_t kMarkSecond = 0x55;
constexpr std::size_t kHeaderLength = 10;
constexpr std::size_t kTypeAt = 2;
constexpr std::size_t kCountAt = 3;
constexpr std::size_t kFirstAngleAt = 4;
constexpr std::size_t kLastAngleAt = 6;
constexpr std::size_t kCheckCodeAt = 8;
constexpr double kRawPerDegree = 128.0;
constexpr double kRawPerMm = 4.0;
constexpr float kNearestMm = 120.0F;
constexpr float kFarthestMm = 8000.0F;
// The correction's constants: atan(21.8 (155.3 - d) / (155.3 d)).
constexpr double kCorrectionGain = 21.8;
constexpr double kCorrectionMm = 155.3;
// Angles are worked in single precision by the library and up to 1,000 degrees before wrapping.
constexpr double kAngleTolerance = 2e-3;

bool markAt(std::span<const uint8_t> bytes, std::size_t at) {
  return halvern::fuzz::markAt(bytes, at, kMarkFirst, kMarkSecond);
}

std::size_t samplesOf(std::span<const uint8_t> packet) {
  return (packet[kTypeAt] & 1U) != 0 ? 1 : packet[kCountAt];
}

std::size_t lengthOf(std::span<const uint8_t> packet) {
  return kHeaderLength + 2 * samplesOf(packet);
}

// The header words before the check code, then every sample word the packet holds.
uint16_t expectedCheckCode(std::span<const uint8_t> packet) {
  uint16_t code = 0;
  for (std::size_t at = 0; at < kCheckCodeAt; at += 2) {
    code ^= le16(packet, at);
  }
  for (std::size_t i = 0; i < samplesOf(packet); ++i) {
    code ^= le16(packet, kHeaderLength + 2 * i);
  }
  return code;
}

struct Framing {
  std::vector<Found> found;
  std::size_t waitingFrom = 0;  // where the bytes still waiting for more begin
};

// What framing must find in a whole stream: from each position the next mark; a packet whose
// check code holds is taken and framing goes on after it, otherwise from the byte after the
// mark. A packet not yet complete ends the search, and so does a last 0xAA.
Framing referenceFraming(std::span<const uint8_t> stream) {
  Framing framing;
  std::size_t from = 0;
  while (true) {
    std::size_t at = from;
    while (at < stream.size() && !markAt(stream, at)) {
      ++at;
    }
    if (at == stream.size()) {
      framing.waitingFrom = !stream.empty() && stream.back() == kMarkFirst && from < stream.size()
                                ? stream.size() - 1
                                : stream.size();
      return framing;
    }
    if (at + kHeaderLength > stream.size() || at + lengthOf(stream.subspan(at)) > stream.size()) {
      framing.waitingFrom = at;
      return framing;
    }
    const auto packet = stream.subspan(at, lengthOf(stream.subspan(at)));
    if (expectedCheckCode(packet) == le16(packet, kCheckCodeAt)) {
      framing.found.push_back({at, packet.size()});
      from = at + packet.size();
    } else {
      from = at + 1;
    }
  }
}

// Where a sample should land: spread evenly from the first angle to the last (numbered from 0),
// then turned by the correction for its distance, in degrees.
double expectedAngle(std::span<const uint8_t> packet, std::size_t index) {
  const double first = le16(packet, kFirstAngleAt) / kRawPerDegree;
  const double last = le16(packet, kLastAngleAt) / kRawPerDegree;
  const std::size_t count = samplesOf(packet);
  double angle = first;
  if (count >= 2) {
    const double span = last >= first ? last - first : last - first + 360.0;
    angle += span / static_cast<double>(count - 1) * static_cast<double>(index);
  }
  const double mm = le16(packet, kHeaderLength + 2 * index) / kRawPerMm;
  if (mm != 0.0) {
    angle += std::atan(kCorrectionGain * (kCorrectionMm - mm) / (kCorrectionMm * mm)) * 180.0 /
             std::numbers::pi;
  }
  return angle;
}

// One packet as framing returned it, decoded and checked sample by sample.
void checkPacket(std::span<const uint8_t> packet, std::vector<LidarSample>& samples) {
  require(packet.size() >= kHeaderLength && markAt(packet, 0));
  require(packet.size() == lengthOf(packet));
  require(expectedCheckCode(packet) == le16(packet, kCheckCodeAt));
  require(packetCheckCode(packet) == le16(packet, kCheckCodeAt));

  const std::size_t before = samples.size();
  const bool start = decodePacket(packet, samples);
  require(start == ((packet[kTypeAt] & 1U) != 0));
  const std::size_t count = samplesOf(packet);
  require(samples.size() == before + count);  // appended, nothing earlier touched

  for (std::size_t i = 0; i < count; ++i) {
    const LidarSample& sample = samples[before + i];
    require(sample.angle >= 0.0F && sample.angle < 360.0F);
    require(circularDistance<double>(sample.angle, expectedAngle(packet, i)) <= kAngleTolerance);

    const auto mm = static_cast<float>(le16(packet, kHeaderLength + 2 * i) / kRawPerMm);
    if (mm < kNearestMm || mm > kFarthestMm) {
      require(sample.distance == -1.0F);
    } else {
      require(sample.distance == mm);
    }
  }
}

// The reader's work after a read, through the codec's framing loop: packets taken at an offset,
// each decoded, then one compaction; what is left must be waiting for more. `fed` is everything
// received so far.
void frameAtOffset(std::vector<uint8_t>& buffer, std::span<const uint8_t> fed,
                   std::vector<Found>& found, std::vector<LidarSample>& samples) {
  const std::size_t bufferStart = fed.size() - buffer.size();  // where the buffer lies in `fed`
  const uint8_t* const front = buffer.data();
  PacketCodec::takePackets(buffer, [&](std::span<const uint8_t> packet) {
    require(packet.data() >= front && packet.data() + packet.size() <= front + buffer.size());
    found.push_back({bufferStart + static_cast<std::size_t>(packet.data() - front), packet.size()});
    checkPacket(packet, samples);
  });
  // Waiting: nothing left, a last byte that may begin a mark, or a packet not yet whole.
  const std::span<const uint8_t> after(buffer);
  require(after.empty() || (after.size() == 1 && after[0] == kMarkFirst) ||
          (markAt(after, 0) && (after.size() < kHeaderLength || lengthOf(after) > after.size())));
  // Bytes only ever leave from the front: the buffer is the newest part of what was fed.
  require(std::equal(buffer.begin(), buffer.end(), fed.last(buffer.size()).begin()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> input(data, size);
  if (size < halvern::fuzz::kPieceSizeBytes) {
    return 0;
  }
  const std::span<const uint8_t> stream = halvern::fuzz::streamOf(input);

  // In pieces, as the reader takes what is waiting on the port.
  std::vector<uint8_t> buffer;
  std::vector<Found> found;
  std::vector<LidarSample> samples;
  halvern::fuzz::feedInPieces(input,
                              [&](std::span<const uint8_t> newest, std::span<const uint8_t> fed) {
                                buffer.insert(buffer.end(), newest.begin(), newest.end());
                                frameAtOffset(buffer, fed, found, samples);
                              });

  // Whole, in one read.
  std::vector<uint8_t> whole(stream.begin(), stream.end());
  std::vector<Found> wholeFound;
  std::vector<LidarSample> wholeSamples;
  frameAtOffset(whole, stream, wholeFound, wholeSamples);

  const Framing reference = referenceFraming(stream);
  require(found == reference.found && wholeFound == found);
  require(sameBytes(wholeSamples, samples));
  require(buffer.size() == stream.size() - reference.waitingFrom && whole == buffer);
  return 0;
}

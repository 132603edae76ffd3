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
#include "MarkedPacketReference.h"
#include "lidar/LidarPackets.h"

namespace halvern::fuzz {
namespace {

using namespace halvern::lidar;  // NOLINT(google-build-using-namespace)

// The serial lidar's own part of the wire, written out here: a sample is a 16-bit word
// (millimetres x 4), angles are degrees x 128.
using Packet = MarkedPacket<2>;
constexpr double kRawPerDegree = 128.0;
constexpr double kRawPerMm = 4.0;
constexpr float kNearestMm = 120.0F;
constexpr float kFarthestMm = 8000.0F;
// The correction's constants: atan(21.8 (155.3 - d) / (155.3 d)).
constexpr double kCorrectionGain = 21.8;
constexpr double kCorrectionMm = 155.3;
// Angles are worked in single precision by the library and up to 1,000 degrees before wrapping.
constexpr double kAngleTolerance = 2e-3;

uint16_t sampleWord(std::span<const uint8_t> packet, std::size_t index) {
  return le16(packet, Packet::sampleAt(index));
}

// Where a sample should land: spread evenly from the first angle to the last (numbered from 0),
// then turned by the correction for its distance, in degrees.
double expectedAngle(std::span<const uint8_t> packet, std::size_t index) {
  const double first = le16(packet, Packet::kFirstAngleAt) / kRawPerDegree;
  const double last = le16(packet, Packet::kLastAngleAt) / kRawPerDegree;
  const std::size_t count = Packet::samplesOf(packet);
  double angle = first;
  if (count >= 2) {
    const double span = last >= first ? last - first : last - first + 360.0;
    angle += span / static_cast<double>(count - 1) * static_cast<double>(index);
  }
  const double mm = sampleWord(packet, index) / kRawPerMm;
  if (mm != 0.0) {
    angle += std::atan(kCorrectionGain * (kCorrectionMm - mm) / (kCorrectionMm * mm)) * 180.0 /
             std::numbers::pi;
  }
  return angle;
}

// One packet as framing returned it, decoded and checked sample by sample.
void checkPacket(std::span<const uint8_t> packet, std::vector<LidarSample>& samples) {
  require(packet.size() >= Packet::kHeaderLength && Packet::markAt(packet, 0));
  require(packet.size() == Packet::lengthOf(packet));
  require(Packet::checkCodeHolds(packet));
  require(packetCheckCode(packet) == le16(packet, Packet::kCheckCodeAt));

  const std::size_t before = samples.size();
  const bool start = decodePacket(packet, samples);
  require(start == Packet::startOf(packet));
  const std::size_t count = Packet::samplesOf(packet);
  require(samples.size() == before + count);  // appended, nothing earlier touched

  for (std::size_t i = 0; i < count; ++i) {
    const LidarSample& sample = samples[before + i];
    require(sample.angle >= 0.0F && sample.angle < 360.0F);
    require(circularDistance<double>(sample.angle, expectedAngle(packet, i)) <= kAngleTolerance);

    const auto mm = static_cast<float>(sampleWord(packet, i) / kRawPerMm);
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
  require(after.empty() || (after.size() == 1 && after[0] == Packet::kMarkFirst) ||
          (Packet::markAt(after, 0) &&
           (after.size() < Packet::kHeaderLength || Packet::lengthOf(after) > after.size())));
  // Bytes only ever leave from the front: the buffer is the newest part of what was fed.
  require(std::equal(buffer.begin(), buffer.end(), fed.last(buffer.size()).begin()));
}

int testOneInput(std::span<const uint8_t> input) {
  if (input.size() < kPieceSizeBytes) {
    return 0;
  }
  const std::span<const uint8_t> stream = streamOf(input);

  // In pieces, as the reader takes what is waiting on the port.
  std::vector<uint8_t> buffer;
  std::vector<Found> found;
  std::vector<LidarSample> samples;
  feedInPieces(input, [&](std::span<const uint8_t> newest, std::span<const uint8_t> fed) {
    buffer.insert(buffer.end(), newest.begin(), newest.end());
    frameAtOffset(buffer, fed, found, samples);
  });

  // Whole, in one read.
  std::vector<uint8_t> whole(stream.begin(), stream.end());
  std::vector<Found> wholeFound;
  std::vector<LidarSample> wholeSamples;
  frameAtOffset(whole, stream, wholeFound, wholeSamples);

  const Framing reference = Packet::referenceFraming(stream);
  require(found == reference.found && wholeFound == found);
  require(sameBytes(wholeSamples, samples));
  require(buffer.size() == stream.size() - reference.waitingFrom && whole == buffer);
  return 0;
}

}  // namespace
}  // namespace halvern::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return halvern::fuzz::testOneInput({data, size});
}

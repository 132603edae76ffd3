// Feeds arbitrary bytes to the lidar's scan packet framing and decoding in pieces, as the scan
// thread receives them, checking the receive buffer, every packet found and every point decoded,
// and that the pieces give the same packets as the whole stream framed at once, and the same
// whether framing removes each packet (NextScanPacket) or steps over it (findScanPacket at an
// offset, as the scan thread does).
//
// Input: four piece sizes (1 to 256 bytes, used in turn), then the stream.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "FuzzChecks.h"
#include "FuzzPieces.h"
#include "MarkedPacketReference.h"
#include "lidarmini/LidarMiniProtocol.h"

namespace halvern::fuzz {
namespace {

using namespace halvern::lidarmini;  // NOLINT(google-build-using-namespace)

// The lidar's own part of the wire, written out here: a sample is intensity, then a 16-bit word
// of 14 bits of distance (mm) above 2 bits of flag; angles are degrees x 128.
using Packet = MarkedPacket<3>;
constexpr float kRawPerDegree = 128.0F;
constexpr unsigned kNearestMm = 50;
constexpr unsigned kFarthestMm = 12000;
constexpr float kAngleTolerance = 1e-3F;

// One packet as framing returned it, decoded and checked sample by sample.
void checkPacket(std::span<const uint8_t> packet, std::vector<ScanPoint>& points) {
  require(packet.size() >= Packet::kHeaderLength && Packet::markAt(packet, 0));
  require(packet.size() == Packet::lengthOf(packet));
  require(packetCheckCode(packet) == le16(packet, Packet::kCheckCodeAt));
  require(Packet::checkCodeHolds(packet));

  const std::size_t before = points.size();
  const bool start = DecodeScanPacket(packet, points);
  require(start == Packet::startOf(packet));
  const std::size_t count = Packet::samplesOf(packet);
  require(points.size() == before + count);  // appended, nothing earlier touched

  const float firstAngle = static_cast<float>(le16(packet, Packet::kFirstAngleAt)) / kRawPerDegree;
  const float lastAngle = static_cast<float>(le16(packet, Packet::kLastAngleAt)) / kRawPerDegree;
  for (std::size_t i = 0; i < count; ++i) {
    const ScanPoint& point = points[before + i];
    const std::size_t at = Packet::sampleAt(i);
    require(point.angle >= 0.0F && point.angle < 360.0F);
    require(point.intensity == static_cast<float>(packet[at]));

    const unsigned word = le16(packet, at + 1);
    const unsigned raw = word >> 2U;
    const unsigned flag = word & 3U;
    if (flag >= 2 || raw < kNearestMm || raw > kFarthestMm) {
      require(point.distance == kMissingDistance);
    } else {
      require(point.distance >= 0.05F && point.distance <= 12.0F);
      require(std::fabs(point.distance - static_cast<float>(raw) / 1000.0F) <= 1e-6F);
    }
  }
  if (count > 0) {
    require(circularDistance(points[before].angle, firstAngle) <= kAngleTolerance);
  }
  if (count > 1) {
    require(circularDistance(points[before + count - 1].angle, lastAngle) <= kAngleTolerance);
  }
}

// What a buffer that framing left waiting still waits on: from its first mark on, or a last
// byte that may be the first half of one. Bytes before that are garbage a buffer too short to
// search may still hold.
std::vector<uint8_t> pending(const std::vector<uint8_t>& buffer) {
  for (std::size_t i = 0; i + 1 < buffer.size(); ++i) {
    if (Packet::markAt(buffer, i)) {
      return {buffer.begin() + static_cast<std::ptrdiff_t>(i), buffer.end()};
    }
  }
  if (!buffer.empty() && buffer.back() == Packet::kMarkFirst) {
    return {Packet::kMarkFirst};
  }
  return {};
}

// Framing over the stream fed so far, as the scan thread does after a read: take every packet
// now at the front, decode it and remove its bytes.
void frameAndDecode(std::vector<uint8_t>& buffer, std::span<const uint8_t> fed,
                    std::vector<Found>& found, std::vector<ScanPoint>& points) {
  while (true) {
    const std::vector<uint8_t> before = buffer;
    const std::size_t length = NextScanPacket(buffer);
    // Bytes only ever leave from the front: the buffer is the newest part of what was fed.
    require(buffer.size() <= before.size());
    require(std::equal(buffer.begin(), buffer.end(), fed.last(buffer.size()).begin()));
    if (before.size() < Packet::kHeaderLength) {
      require(length == 0 && buffer == before);
    }
    if (length == 0) {
      // Waiting: too few bytes to judge, or an unfinished packet at the front.
      require(buffer.size() < Packet::kHeaderLength ||
              (Packet::markAt(buffer, 0) && Packet::lengthOf(buffer) > buffer.size()));
      return;
    }
    require(length <= buffer.size());
    found.push_back({fed.size() - buffer.size(), length});
    checkPacket(std::span<const uint8_t>(buffer.data(), length), points);
    buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
  }
}

// The same through the codec's framing loop, as the scan thread frames a read: packets are
// taken at an offset, each decoded into a fixed list, and the buffer is compacted once.
void frameAtOffset(std::vector<uint8_t>& buffer, std::span<const uint8_t> fed,
                   std::vector<Found>& found, std::vector<ScanPoint>& points) {
  const std::size_t bufferStart = fed.size() - buffer.size();  // where the buffer lies in `fed`
  const uint8_t* const front = buffer.data();
  std::array<ScanPoint, kMaxPacketPoints> packetPoints{};
  PacketCodec::takePackets(buffer, [&](std::span<const uint8_t> packet) {
    found.push_back({bufferStart + static_cast<std::size_t>(packet.data() - front), packet.size()});
    const std::size_t count = decodeScanPoints(packet, packetPoints);
    require(count == Packet::samplesOf(packet));
    points.insert(points.end(), packetPoints.begin(),
                  packetPoints.begin() + static_cast<std::ptrdiff_t>(count));
  });
}

int testOneInput(std::span<const uint8_t> input) {
  if (input.size() < kPieceSizeBytes) {
    return 0;
  }
  const std::span<const uint8_t> stream = streamOf(input);

  // In pieces, as the scan thread reads what is waiting.
  std::vector<uint8_t> buffer;
  std::vector<Found> found;
  std::vector<ScanPoint> points;
  std::vector<uint8_t> threadBuffer;
  std::vector<Found> threadFound;
  std::vector<ScanPoint> threadPoints;
  feedInPieces(input, [&](std::span<const uint8_t> newest, std::span<const uint8_t> fed) {
    buffer.insert(buffer.end(), newest.begin(), newest.end());
    threadBuffer.insert(threadBuffer.end(), newest.begin(), newest.end());
    frameAndDecode(buffer, fed, found, points);
    frameAtOffset(threadBuffer, fed, threadFound, threadPoints);
  });

  // Whole, in one read.
  std::vector<uint8_t> whole(stream.begin(), stream.end());
  std::vector<Found> wholeFound;
  std::vector<ScanPoint> wholePoints;
  frameAndDecode(whole, stream, wholeFound, wholePoints);

  require(found == Packet::referenceFraming(stream).found);
  require(wholeFound == found && threadFound == found);
  require(sameBytes(wholePoints, points) && sameBytes(threadPoints, points));
  require(pending(whole) == pending(buffer) && pending(threadBuffer) == pending(buffer));
  return 0;
}

}  // namespace
}  // namespace halvern::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return halvern::fuzz::testOneInput({data, size});
}

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
#include "lidarmini/LidarMiniProtocol.h"

namespace {

using halvern::fuzz::circularDistance;
using halvern::fuzz::Found;
using halvern::fuzz::le16;
using halvern::fuzz::require;
using halvern::fuzz::sameBytes;

using namespace halvern::lidarmini;  // NOLINT(google-build-using-namespace)

// The wire is written out here rather than taken from the library: type at 2, count at 3,
// first and last angle at 4 and 6, check code at 8; a sample is intensity, then a 16-bit word
// of 14 bits of distance (mm) above 2 bits of flag.
constexpr std::size_t kTypeAt = 2;
constexpr std::size_t kCountAt = 3;
constexpr std::size_t kFirstAngleAt = 4;
constexpr std::size_t kLastAngleAt = 6;
constexpr std::size_t kCheckCodeAt = 8;
constexpr float kRawPerDegree = 128.0F;
constexpr unsigned kNearestMm = 50;
constexpr unsigned kFarthestMm = 12000;
constexpr float kAngleTolerance = 1e-3F;

bool markAt(std::span<const uint8_t> bytes, std::size_t at) {
  return halvern::fuzz::markAt(bytes, at, halvern::marked::kMarkFirst,
                               halvern::marked::kMarkSecond);
}

std::size_t samplesOf(std::span<const uint8_t> packet) {
  return (packet[kTypeAt] & 1U) != 0 ? 1 : packet[kCountAt];
}

std::size_t lengthOf(std::span<const uint8_t> packet) {
  return halvern::marked::kHeaderLength + PacketCodec::kSampleLength * samplesOf(packet);
}

// The header words before the check code, then each sample's intensity and distance word.
uint16_t expectedCheckCode(std::span<const uint8_t> packet) {
  uint16_t code = 0;
  for (std::size_t at = 0; at < kCheckCodeAt; at += 2) {
    code ^= le16(packet, at);
  }
  for (std::size_t i = 0; i < samplesOf(packet); ++i) {
    const std::size_t at = halvern::marked::kHeaderLength + PacketCodec::kSampleLength * i;
    code ^= packet[at];
    code ^= le16(packet, at + 1);
  }
  return code;
}

// What framing must find in a whole stream: from each position the next mark; a packet whose
// check code holds is taken and framing goes on after it, otherwise from the byte after the
// mark. A packet not yet complete ends the search.
std::vector<Found> referenceFraming(std::span<const uint8_t> stream) {
  std::vector<Found> found;
  std::size_t from = 0;
  while (true) {
    std::size_t at = from;
    while (at < stream.size() && !markAt(stream, at)) {
      ++at;
    }
    if (at + halvern::marked::kHeaderLength > stream.size()) {
      return found;
    }
    const std::size_t length = lengthOf(stream.subspan(at));
    if (at + length > stream.size()) {
      return found;
    }
    const auto packet = stream.subspan(at, length);
    if (expectedCheckCode(packet) == le16(packet, kCheckCodeAt)) {
      found.push_back({at, length});
      from = at + length;
    } else {
      from = at + 1;
    }
  }
}

// One packet as framing returned it, decoded and checked sample by sample.
void checkPacket(std::span<const uint8_t> packet, std::vector<ScanPoint>& points) {
  require(packet.size() >= halvern::marked::kHeaderLength && markAt(packet, 0));
  require(packet.size() == lengthOf(packet));
  require(packetCheckCode(packet) == le16(packet, kCheckCodeAt));
  require(expectedCheckCode(packet) == le16(packet, kCheckCodeAt));

  const std::size_t before = points.size();
  const bool start = DecodeScanPacket(packet, points);
  require(start == ((packet[kTypeAt] & 1U) != 0));
  const std::size_t count = samplesOf(packet);
  require(points.size() == before + count);  // appended, nothing earlier touched

  const float firstAngle = static_cast<float>(le16(packet, kFirstAngleAt)) / kRawPerDegree;
  const float lastAngle = static_cast<float>(le16(packet, kLastAngleAt)) / kRawPerDegree;
  for (std::size_t i = 0; i < count; ++i) {
    const ScanPoint& point = points[before + i];
    const std::size_t at = halvern::marked::kHeaderLength + PacketCodec::kSampleLength * i;
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
    if (markAt(buffer, i)) {
      return {buffer.begin() + static_cast<std::ptrdiff_t>(i), buffer.end()};
    }
  }
  if (!buffer.empty() && buffer.back() == halvern::marked::kMarkFirst) {
    return {halvern::marked::kMarkFirst};
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
    if (before.size() < halvern::marked::kHeaderLength) {
      require(length == 0 && buffer == before);
    }
    if (length == 0) {
      // Waiting: too few bytes to judge, or an unfinished packet at the front.
      require(buffer.size() < halvern::marked::kHeaderLength ||
              (markAt(buffer, 0) && lengthOf(buffer) > buffer.size()));
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
    require(count == samplesOf(packet));
    points.insert(points.end(), packetPoints.begin(),
                  packetPoints.begin() + static_cast<std::ptrdiff_t>(count));
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> input(data, size);
  if (size < halvern::fuzz::kPieceSizeBytes) {
    return 0;
  }
  const std::span<const uint8_t> stream = halvern::fuzz::streamOf(input);

  // In pieces, as the scan thread reads what is waiting.
  std::vector<uint8_t> buffer;
  std::vector<Found> found;
  std::vector<ScanPoint> points;
  std::vector<uint8_t> threadBuffer;
  std::vector<Found> threadFound;
  std::vector<ScanPoint> threadPoints;
  halvern::fuzz::feedInPieces(
      input, [&](std::span<const uint8_t> newest, std::span<const uint8_t> fed) {
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

  require(found == referenceFraming(stream));
  require(wholeFound == found && threadFound == found);
  require(sameBytes(wholePoints, points) && sameBytes(threadPoints, points));
  require(pending(whole) == pending(buffer) && pending(threadBuffer) == pending(buffer));
  return 0;
}

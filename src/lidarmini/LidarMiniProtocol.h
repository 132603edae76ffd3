// The LidarMini's wire formats: two-byte requests, the seven-byte response descriptor, the
// information and health payloads, and the scan packets it streams while scanning.
//
// Pure functions only: nothing here touches a port.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/MarkedPacketCodec.h"
#include "halvern/LidarMini.h"

namespace halvern::lidarmini {

using ScanPoint = LidarMiniScanPoint;
using ScanFrame = LidarMiniScanFrame;

inline constexpr int kBaudRate = 230400;
inline constexpr const char* kTag = "LidarMini";

// --- Requests and replies -------------------------------------------------------------------

/** The command byte of a request. */
enum class Command : uint8_t {
  StartScan = 0x60,
  StopScan = 0x65,
  GetDeviceInfo = 0x90,
  GetDeviceHealth = 0x92,
  FrequencyUpTenth = 0x09,
  FrequencyDownTenth = 0x0A,
  FrequencyUpOne = 0x0B,
  FrequencyDownOne = 0x0C,
};

inline constexpr uint8_t kRequestMark = 0xA5;
/** A request: the mark, then the command byte. */
constexpr std::array<uint8_t, 2> request(Command command) {
  return {kRequestMark, static_cast<uint8_t>(command)};
}

/** A response descriptor: A5 5A, four bytes not looked at, then the data type. */
inline constexpr std::size_t kDescriptorLength = 7;
inline constexpr uint8_t kDescriptorFirst = 0xA5;
inline constexpr uint8_t kDescriptorSecond = 0x5A;
inline constexpr uint8_t kInfoType = 4;
inline constexpr uint8_t kHealthType = 6;
inline constexpr std::size_t kInfoPayloadLength = 20;
inline constexpr std::size_t kHealthPayloadLength = 3;

/** The data type of a descriptor, or none when it does not begin A5 5A. */
std::optional<uint8_t> descriptorType(std::span<const uint8_t, kDescriptorLength> descriptor);
LidarInfo decodeInfo(std::span<const uint8_t, kInfoPayloadLength> payload);
LidarHealth decodeHealth(std::span<const uint8_t, kHealthPayloadLength> payload);

// --- Scan packets ---------------------------------------------------------------------------

/**
 * A scan packet: AA 55, packet type (bit 0: a revolution starts here), sample count, first and
 * last angle, check code, then three bytes a sample: intensity, then a 16-bit word of 14 bits of
 * distance above 2 bits of flag. A start packet holds one sample whatever its count byte says.
 */
inline constexpr marked::PacketFormat kPacketFormat{.sampleLength = 3, .startHoldsOneSample = true};
using PacketCodec = marked::MarkedPacketCodec<kPacketFormat>;

/** The most points a packet can hold. */
inline constexpr std::size_t kMaxPacketPoints = marked::kMaxSamples;

/** Distances outside 50 to 12000 mm, and samples flagged 2 or 3, read -1 m. */
inline constexpr float kMissingDistance = -1.0F;

/** The number of samples a packet holds, from its type and count bytes. */
constexpr std::size_t packetSampleCount(uint8_t type, uint8_t count) {
  return PacketCodec::sampleCount(type, count);
}

/**
 * The check code a packet should carry: the XOR of its 16-bit little-endian header words
 * before the check code (mark, type with count, first angle, last angle) and, for each sample,
 * its intensity byte and then its 16-bit distance word. `packet` must hold the whole packet.
 */
inline uint16_t packetCheckCode(std::span<const uint8_t> packet) {
  return PacketCodec::checkCode(packet);
}

using halvern::PacketSearch;

/** The next sound packet in `bytes`, as PacketCodec::find gives it. */
inline PacketSearch findScanPacket(std::span<const uint8_t> bytes) {
  return PacketCodec::find(bytes);
}

/**
 * Framing over the receive buffer: drops what findScanPacket skips and returns the length of
 * the sound packet now at the front, or 0 when more bytes are needed first. The caller decodes
 * the packet and then removes that many bytes.
 */
std::size_t NextScanPacket(std::vector<uint8_t>& buffer);

/**
 * Decodes a whole packet (as framing found it), appending its points to `points` in sample
 * order; returns whether it starts a revolution.
 */
bool DecodeScanPacket(std::span<const uint8_t> packet, std::vector<ScanPoint>& points);

/**
 * The same into a fixed list, without allocating: the packet's points go to the front of
 * `points`; returns how many there are.
 */
std::size_t decodeScanPoints(std::span<const uint8_t> packet,
                             std::span<ScanPoint, kMaxPacketPoints> points);

// --- The lidar's side: what a simulated lidar writes -----------------------------------------

/** A sample as a scan packet carries it: distance (14 bits) in millimetres, flag 0 to 3. */
struct ScanSample {
  uint8_t intensity = 0;
  uint16_t distanceMm = 0;
  uint8_t flag = 0;
};

/**
 * Appends a sound scan packet to `out`; a start packet holds the first sample only (a zero one
 * when none is given). DecodeScanPacket reads it back.
 */
void encodeScanPacket(std::vector<uint8_t>& out, bool start, uint16_t firstAngleRaw,
                      uint16_t lastAngleRaw, std::span<const ScanSample> samples);

/** A descriptor: A5 5A, the payload's length, three zero bytes, the data type. */
std::array<uint8_t, kDescriptorLength> encodeDescriptor(uint8_t payloadLength, uint8_t type);
/** The reply to StartScan a scanning lidar sends before its first packet. */
inline constexpr std::array<uint8_t, kDescriptorLength> kScanDescriptor{
    kDescriptorFirst, kDescriptorSecond, 0x05, 0x00, 0x00, 0x40, 0x81};
/** The information and health replies, descriptor and payload; decodeInfo and decodeHealth
 *  read their payloads back. */
std::vector<uint8_t> encodeInfoReply(const LidarInfo& info);
std::vector<uint8_t> encodeHealthReply(const LidarHealth& health);

}  // namespace halvern::lidarmini

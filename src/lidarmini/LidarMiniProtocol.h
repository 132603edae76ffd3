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

#include "core/MarkedPacketSearch.h"
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
 * last angle, check code, then three bytes a sample. A start packet holds one sample whatever
 * its count byte says.
 */
inline constexpr uint8_t kPacketMarkFirst = 0xAA;
inline constexpr uint8_t kPacketMarkSecond = 0x55;
inline constexpr std::size_t kPacketHeaderLength = 10;
inline constexpr std::size_t kSampleLength = 3;
inline constexpr uint8_t kStartFlag = 0x01;

/** Distances outside 50 to 12000 mm, and samples flagged 2 or 3, read -1 m. */
inline constexpr float kMissingDistance = -1.0F;

/** The number of samples a packet holds, from its type and count bytes. */
constexpr std::size_t packetSampleCount(uint8_t type, uint8_t count) {
  return (type & kStartFlag) != 0 ? 1 : count;
}

/**
 * The check code a packet should carry: the XOR of its 16-bit little-endian header words
 * before the check code (mark, type with count, first angle, last angle) and, for each sample,
 * its intensity byte and then its 16-bit distance word. `packet` must hold the whole packet.
 */
uint16_t packetCheckCode(std::span<const uint8_t> packet);

using halvern::PacketSearch;

/**
 * Finds the next sound packet: skips bytes before a mark, and a packet whose check code
 * disagrees from the byte after its mark on, so a real packet behind a false mark is still
 * found. Bytes without any mark are skipped, but for a last 0xAA that may begin one.
 */
PacketSearch findScanPacket(std::span<const uint8_t> bytes);

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

}  // namespace halvern::lidarmini

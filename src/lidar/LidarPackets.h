// The serial lidar's packets: framing with check-code verification, and decoding into
// (angle, distance) samples with the lidar's angle correction and range limits.
//
// Pure functions only: nothing here touches the port.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/MarkedPacketCodec.h"

namespace halvern::lidar {

/**
 * A packet: AA 55, packet type (bit 0: a revolution starts here), sample count, first and last
 * angle, check code, then a 16-bit word a sample (distance x 4). A start packet holds one sample
 * whatever its count byte says.
 */
inline constexpr marked::PacketFormat kPacketFormat{.sampleLength = 2, .startHoldsOneSample = true};
using PacketCodec = marked::MarkedPacketCodec<kPacketFormat>;

/** Distances in range, in millimetres; others are stored as kOutOfRange. */
inline constexpr float kMinRangeMm = 120.0F;
inline constexpr float kMaxRangeMm = 8000.0F;
inline constexpr float kOutOfRange = -1.0F;

/** One decoded sample: its corrected angle in degrees, [0, 360), and distance in mm or -1. */
struct LidarSample {
  float angle = 0.0F;
  float distance = 0.0F;
};

/** The number of samples a packet holds, from its type and count bytes. */
constexpr std::size_t packetSampleCount(uint8_t type, uint8_t count) {
  return PacketCodec::sampleCount(type, count);
}

/**
 * The check code a packet should carry: the XOR of its 16-bit little-endian words before the
 * check code (mark, type with count, first angle, last angle) and of every sample word.
 * `packet` must hold the whole packet.
 */
inline uint16_t packetCheckCode(std::span<const uint8_t> packet) {
  return PacketCodec::checkCode(packet);
}

using halvern::PacketSearch;

/** The next sound packet in `bytes`, as PacketCodec::find gives it. */
inline PacketSearch findPacket(std::span<const uint8_t> bytes) { return PacketCodec::find(bytes); }

/**
 * The lidar's angle correction for a distance, in degrees: atan(21.8 (155.3 - d) / (155.3 d)),
 * 0 for a distance of 0.
 */
double angleCorrectionDegrees(float distanceMm);

/**
 * Decodes a whole packet (as framing found it), appending its samples to `samples` in order.
 * Samples are numbered from 0 and spread evenly from the first angle to the last (a span that
 * passes 360 wraps); each angle is corrected for its distance and brought into [0, 360).
 * Distances outside 120 to 8000 mm become -1. Returns whether the packet starts a revolution.
 */
bool decodePacket(std::span<const uint8_t> packet, std::vector<LidarSample>& samples);

// --- The lidar's side: what a simulated lidar writes -----------------------------------------

/** An angle in degrees as a packet carries it, in 1/128 degree, brought into [0, 360) first. */
uint16_t angleRaw(double degrees);
/** A distance as a sample word carries it (x 4, rounded): 0 (no return) for none or a negative
 *  one, the largest word for one beyond it. */
uint16_t distanceWord(double distanceMm);
/** Appends a sound packet of these sample words to `out`; decodePacket reads it back. */
void encodePacket(std::vector<uint8_t>& out, bool start, uint16_t firstAngleRaw,
                  uint16_t lastAngleRaw, std::span<const uint16_t> words);

}  // namespace halvern::lidar

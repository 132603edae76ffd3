// What a simulated LidarMini writes, through the library's own wire format: the scan packets of
// its room and the replies to the identity and health requests.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "SimLidarMini.h"
#include "lidarmini/ScanTimeline.h"

namespace halvern::sim::lidarmini {

/** The packet of the timeline's `packet` as the lidar measures `room`. */
std::vector<uint8_t> roomPacket(const SimLidarMini::Room& room, const ScanTimeline::Packet& packet);

/**
 * `points` as the packets of one revolution: the start packet with the first point, then runs
 * of evenly spaced angles, so that the library reads each point back within the angles' unit.
 */
std::vector<std::vector<uint8_t>> revolutionPackets(std::span<const SimLidarMini::Point> points);

std::vector<uint8_t> infoReply(const SimLidarMini::Identity& identity);
std::vector<uint8_t> healthReply(const SimLidarMini::Health& health);

}  // namespace halvern::sim::lidarmini

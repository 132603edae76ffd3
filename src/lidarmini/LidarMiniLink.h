// The LidarMini's requests and replies over its serial port: writing a request, reading an
// exact number of bytes against a time-out, and the information and health exchanges. Free
// functions over the handle the device owns; failures are reported on standard error and turn
// into false or an all-zero record.
#pragma once

#include <cstdint>
#include <optional>

#include "core/SerialTransport.h"
#include "lidarmini/LidarMiniProtocol.h"

namespace halvern::lidarmini {

/** Every reply read waits this long at most. */
inline constexpr int kReplyTimeoutMs = 2000;

/** Writes the request mark and the command byte; false (after saying so) when it fails. */
bool SendCmd(serial::SerialHandle h, Command command);

/** Reads exactly `count` bytes into `buffer` within `timeoutMs`; false after a time-out. */
bool ReadExact(serial::SerialHandle h, uint8_t* buffer, int count, int timeoutMs);

/** Reads a response descriptor and gives its data type. */
bool ReadResponseHeader(serial::SerialHandle h, uint8_t& type);

/** The lidar's identity and health; none when no sound reply came (said on standard error). */
std::optional<LidarInfo> QueryInfo(serial::SerialHandle h);
std::optional<LidarHealth> QueryHealth(serial::SerialHandle h);

}  // namespace halvern::lidarmini

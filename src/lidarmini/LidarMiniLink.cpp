#include "lidarmini/LidarMiniLink.h"

#include <array>
#include <chrono>
#include <iostream>
#include <thread>

namespace halvern::lidarmini {
namespace {

using Clock = std::chrono::steady_clock;

// An empty read waits up to 1 ms itself; this pause follows it before the next one.
constexpr auto kEmptyReadPause = std::chrono::milliseconds(1);

// Writes a request; a port that refuses it is reported with the platform's reason.
bool writeRequest(serial::SerialHandle h, const std::array<uint8_t, 2>& bytes) {
  if (h == serial::kInvalidSerialHandle) {
    return false;
  }
  if (!serial::WriteSerialBytes(h, bytes.data(), static_cast<int>(bytes.size()))) {
    std::cerr << "[LidarMini] WriteFile error " << serial::LastSerialError() << "\n";
    return false;
  }
  return true;
}

// Sends the request and reads the descriptor of a reply of `expectedType`; `what` names the
// exchange in its error line.
bool requestReply(serial::SerialHandle h, Command command, uint8_t expectedType, const char* what) {
  uint8_t type = 0;
  if (!SendCmd(h, command) || !ReadResponseHeader(h, type)) {
    return false;
  }
  if (type != expectedType) {
    std::cerr << "[LidarMini] " << what << ": unexpected type 0x" << std::hex
              << static_cast<unsigned>(type) << std::dec << "\n";
    return false;
  }
  return true;
}

/** Asks with `command` and decodes its reply's `Length`-byte payload; none when none comes. */
template <std::size_t Length, typename Reply>
std::optional<Reply> query(serial::SerialHandle h, Command command, uint8_t replyType,
                           const char* caller, Reply (*decode)(std::span<const uint8_t, Length>)) {
  std::array<uint8_t, Length> payload{};
  if (!requestReply(h, command, replyType, caller) ||
      !ReadExact(h, payload.data(), static_cast<int>(payload.size()), kReplyTimeoutMs)) {
    return std::nullopt;
  }
  return decode(payload);
}

}  // namespace

bool SendCmd(serial::SerialHandle h, Command command) {
  const bool written = writeRequest(h, request(command));
  if (!written) {
    std::cerr << "[LidarMini] SendCmd 0x" << std::hex << static_cast<unsigned>(command) << std::dec
              << " failed\n";
  }
  return written;
}

bool ReadExact(serial::SerialHandle h, uint8_t* buffer, int count, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  int received = 0;
  while (received < count) {
    // The deadline is looked at after a read, so a thread that slept past it on a busy machine
    // still takes what arrived in time.
    const bool late = Clock::now() >= deadline;
    const int read = serial::ReadSerialBytes(h, buffer + received, count - received);
    received += read;
    if (received >= count) {
      break;
    }
    if (late) {
      std::cerr << "[LidarMini] ReadExact timeout (got " << received << "/" << count << " bytes)\n";
      return false;
    }
    if (read == 0) {
      std::this_thread::sleep_for(kEmptyReadPause);
    }
  }
  return true;
}

bool ReadResponseHeader(serial::SerialHandle h, uint8_t& type) {
  std::array<uint8_t, kDescriptorLength> descriptor{};
  if (!ReadExact(h, descriptor.data(), static_cast<int>(descriptor.size()), kReplyTimeoutMs)) {
    return false;
  }
  const auto found = descriptorType(descriptor);
  if (!found) {
    std::cerr << "[LidarMini] Bad header (0x" << std::hex << static_cast<unsigned>(descriptor[0])
              << " 0x" << static_cast<unsigned>(descriptor[1]) << std::dec << ")\n";
    return false;
  }
  type = *found;
  return true;
}

std::optional<LidarInfo> QueryInfo(serial::SerialHandle h) {
  return query(h, Command::GetDeviceInfo, kInfoType, "getInfo", decodeInfo);
}

std::optional<LidarHealth> QueryHealth(serial::SerialHandle h) {
  return query(h, Command::GetDeviceHealth, kHealthType, "getHealth", decodeHealth);
}

}  // namespace halvern::lidarmini

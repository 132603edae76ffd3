#include "mockds/MockDSProtocol.h"

namespace halvern::mockds {
namespace {

constexpr unsigned int kInfo = 20;
constexpr unsigned int kWarning = 30;
constexpr unsigned int kError = 40;
constexpr unsigned int kCritical = 50;

std::string_view orEmpty(const char* text) { return text == nullptr ? std::string_view{} : text; }

std::string_view levelPrefix(unsigned int level) {
  if (level >= kCritical) {
    return "CRITICAL: ";
  }
  if (level >= kError) {
    return "ERROR: ";
  }
  if (level >= kWarning) {
    return "WARNING: ";
  }
  return {};
}

}  // namespace

std::string formatLogLine(unsigned int level, const char* file, unsigned int line,
                          const char* message) {
  constexpr std::size_t kTypicalLine = 128;
  std::string text;
  text.reserve(kTypicalLine);
  text += "DS: ";
  if (level == kInfo) {
    text += orEmpty(message);
    text += '\n';
    return text;
  }
  const std::string_view prefix = levelPrefix(level);
  if (prefix.empty()) {
    return {};
  }
  text += prefix;
  text += orEmpty(message);
  text += " (";
  text += orEmpty(file);
  text += ':';
  text += std::to_string(line);
  text += ")\n";
  return text;
}

namespace {

// Offsets within a control datagram.
constexpr std::size_t kSequenceHighAt = 0;
constexpr std::size_t kSequenceLowAt = 1;
constexpr std::size_t kVersionAt = 2;
constexpr std::size_t kRequestAt = 4;
constexpr std::size_t kStationAt = 5;

/** Tags after the fixed bytes: each [length][id][length - 1 bytes], so 1 + length bytes. */
bool tagsFit(std::span<const uint8_t> tags) {
  std::size_t at = 0;
  while (at < tags.size()) {
    const std::size_t length = tags[at];
    if (length == 0 || at + 1 + length > tags.size()) {
      return false;  // no room for the id, or the tag runs past the datagram's end
    }
    at += 1 + length;
  }
  return true;
}

}  // namespace

std::optional<ReceivedControl> decodeControlDatagram(std::span<const uint8_t> datagram) {
  if (datagram.size() < kDatagramSize) {
    return std::nullopt;
  }
  return ReceivedControl{
      .sequence =
          static_cast<uint16_t>((datagram[kSequenceHighAt] << 8U) | datagram[kSequenceLowAt]),
      .protocolVersion = datagram[kVersionAt],
      .control = datagram[kControlByteIndex],
      .request = datagram[kRequestAt],
      .station = datagram[kStationAt],
      .tagsWellFormed = tagsFit(datagram.subspan(kDatagramSize))};
}

}  // namespace halvern::mockds

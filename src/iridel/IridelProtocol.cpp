#include "iridel/IridelProtocol.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "core/CommandLineNumber.h"
#include "core/ConnectionSilence.h"

namespace halvern::iridel {
namespace {

constexpr std::array<std::string_view, 5> kFormatNames{"RGB", "RAW", "SRGB", "HEX", "XYZ"};
constexpr int kMaxLevel = IRIDEL_MAX_LEVEL;
constexpr float kColorScale = 10000.0F;

CommandPayload payloadOf(std::initializer_list<uint8_t> bytes) {
  CommandPayload payload;
  std::copy(bytes.begin(), bytes.end(), payload.bytes.begin());
  payload.length = static_cast<uint8_t>(bytes.size());
  return payload;
}

void putUint32(CommandPayload& payload, std::size_t offset, uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) {
    payload.bytes.at(offset + i) = static_cast<uint8_t>((value >> (8U * i)) & 0xFFU);
  }
}

uint8_t clampLevel(int level) { return static_cast<uint8_t>(std::clamp(level, 0, kMaxLevel)); }

int16_t int16At(const uint8_t* data, std::size_t offset) {
  return static_cast<int16_t>(data[offset] | (data[offset + 1] << 8U));
}

// A decimal number at the start of the text; 0 when there is none. Locale-independent.
float leadingNumber(std::string_view text) {
  if (text.starts_with('+')) {
    text.remove_prefix(1);
  }
  float value = 0.0F;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() ? value : 0.0F;
}

constexpr std::string_view kXyzPrefix = "XYZ:";
constexpr std::string_view kDistPrefix = "DIST:";
constexpr std::string_view kDistSeparator = "  ";
constexpr std::string_view kSampleTimePrefix = "SAMPLETIME,";
constexpr std::string_view kLineEnd = "\r\n";

}  // namespace

std::optional<CommandPayload> measureModePayload(int mode, float parameter) {
  switch (mode) {
    case 0:
      return payloadOf({0x00});
    case 1:
      return payloadOf({0x01, 0x00});
    case 2: {
      CommandPayload payload = payloadOf({0x02, 0x00, 0, 0, 0, 0});
      putUint32(payload, 2, std::bit_cast<uint32_t>(parameter));
      return payload;
    }
    default:
      return std::nullopt;
  }
}

std::optional<CommandPayload> colorFormatPayload(int format) {
  if (!colorFormatName(format)) {
    return std::nullopt;
  }
  return payloadOf({static_cast<uint8_t>(format)});
}

CommandPayload sampleTimePayload(int milliseconds) {
  const auto clamped = static_cast<uint16_t>(clampSampleTimeMs(milliseconds));
  return payloadOf({static_cast<uint8_t>(clamped & 0xFFU), static_cast<uint8_t>(clamped >> 8U)});
}

CommandPayload brightnessPayload(int level) { return payloadOf({clampLevel(level)}); }

CommandPayload usbOverridePayload(bool on) { return payloadOf({static_cast<uint8_t>(on ? 1 : 0)}); }

CommandPayload statusLedPayload(bool enable, int level) {
  return payloadOf({static_cast<uint8_t>(enable ? 1 : 0), clampLevel(level)});
}

CommandPayload canIdPayload(int32_t newId) {
  CommandPayload payload = payloadOf({0, 0, 0, 0});
  putUint32(payload, 0, static_cast<uint32_t>(newId));
  return payload;
}

CommandPayload zmmPayload(float value) {
  CommandPayload payload = payloadOf({0, 0, 0, 0});
  putUint32(payload, 0, std::bit_cast<uint32_t>(value));
  return payload;
}

CommandPayload getConfigPayload(int key) {
  return payloadOf({static_cast<uint8_t>(static_cast<unsigned>(key) & 0xFFU)});
}

std::chrono::microseconds connectionSilence(std::optional<int> sampleTimeMs) {
  constexpr int kSampleTimesOfSilence = 4;
  constexpr std::chrono::microseconds kShortestSilence{100'000};
  if (!sampleTimeMs) {
    return kLongestConnectionSilence;
  }
  const std::chrono::microseconds silence =
      std::chrono::milliseconds(clampSampleTimeMs(*sampleTimeMs)) * kSampleTimesOfSilence;
  return std::clamp(silence, kShortestSilence, kLongestConnectionSilence);
}

ColorData decodeColorFrame(const uint8_t* data, uint8_t length) {
  ColorData color{};
  if (data == nullptr || length < 8) {
    return color;
  }
  color.sequence = static_cast<uint16_t>(data[0] | (data[1] << 8U));
  color.x = static_cast<float>(int16At(data, 2)) / kColorScale;
  color.y = static_cast<float>(int16At(data, 4)) / kColorScale;
  color.z = static_cast<float>(int16At(data, 6)) / kColorScale;
  color.valid = true;
  return color;
}

std::optional<CommandReply> matchReply(uint32_t id, const uint8_t* data, uint8_t length,
                                       uint8_t code) {
  if ((id & kExactMask) != kReplyId || length < 6 || data == nullptr || data[0] != code) {
    return std::nullopt;
  }
  CommandReply reply;
  reply.status = data[1];
  reply.value = static_cast<uint32_t>(data[2]) | (static_cast<uint32_t>(data[3]) << 8U) |
                (static_cast<uint32_t>(data[4]) << 16U) | (static_cast<uint32_t>(data[5]) << 24U);
  return reply;
}

std::array<uint8_t, 8> colorFramePayload(uint16_t sequence, float x, float y, float z) {
  const auto scaled = [](float component) {
    constexpr float kLargest = 3.2767F;  // the int16 range, scaled
    return static_cast<uint16_t>(static_cast<int16_t>(
        std::lround(std::clamp(component, -kLargest, kLargest) * kColorScale)));
  };
  const std::array<uint16_t, 4> words{sequence, scaled(x), scaled(y), scaled(z)};
  std::array<uint8_t, 8> frame{};
  for (std::size_t i = 0; i < words.size(); ++i) {
    frame.at(2 * i) = static_cast<uint8_t>(words.at(i) & 0xFFU);
    frame.at(2 * i + 1) = static_cast<uint8_t>(words.at(i) >> 8U);
  }
  return frame;
}

std::array<uint8_t, 8> replyPayload(uint8_t code, const CommandReply& reply) {
  std::array<uint8_t, 8> frame{};
  frame[0] = code;
  frame[1] = reply.status;
  for (std::size_t i = 0; i < 4; ++i) {
    frame.at(2 + i) = static_cast<uint8_t>((reply.value >> (8U * i)) & 0xFFU);
  }
  return frame;
}

std::optional<std::string_view> colorFormatName(int format) {
  if (format < 0 || format >= static_cast<int>(kFormatNames.size())) {
    return std::nullopt;
  }
  return kFormatNames.at(static_cast<std::size_t>(format));
}

int clampSampleTimeMs(int milliseconds) { return std::clamp(milliseconds, 0, kMaxSampleTimeMs); }

std::string colorFormatLine(std::string_view name) { return "COLORFORMAT," + std::string(name); }

std::string sampleTimeLine(int milliseconds) {
  return std::string(kSampleTimePrefix) + std::to_string(milliseconds);
}

std::string_view trim(std::string_view text) {
  constexpr std::string_view kBlank = " \t\r\n";
  const auto first = text.find_first_not_of(kBlank);
  if (first == std::string_view::npos) {
    return {};
  }
  const auto last = text.find_last_not_of(kBlank);
  return text.substr(first, last - first + 1);
}

std::vector<std::string_view> splitFields(std::string_view text) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  while (true) {
    const auto comma = text.find(',', start);
    if (comma == std::string_view::npos) {
      pieces.push_back(trim(text.substr(start)));
      return pieces;
    }
    pieces.push_back(trim(text.substr(start, comma - start)));
    start = comma + 1;
  }
}

std::optional<std::array<float, 3>> parseColorLine(std::string_view line) {
  if (line.empty()) {
    return std::nullopt;
  }
  if (line.starts_with(kDistPrefix)) {
    const auto separator = line.find(kDistSeparator);
    if (separator == std::string_view::npos) {
      return std::nullopt;
    }
    line = trim(line.substr(separator + kDistSeparator.size()));
  }
  if (!line.starts_with(kXyzPrefix)) {
    return std::nullopt;
  }
  const auto fields = splitFields(trim(line.substr(kXyzPrefix.size())));
  if (fields.size() < 3) {
    return std::nullopt;
  }
  return std::array<float, 3>{leadingNumber(fields[0]), leadingNumber(fields[1]),
                              leadingNumber(fields[2])};
}

// --- USB, the sensor's side ---------------------------------------------------------------------

std::string encodeColorLine(const std::array<float, 3>& xyz, std::optional<int> distanceMm) {
  std::string line;
  if (distanceMm) {
    line += kDistPrefix;
    line += ' ';
    line += std::to_string(*distanceMm);
    line += kDistSeparator;
  }
  std::array<char, 96> components{};
  const int length = std::snprintf(components.data(), components.size(), " %.4f, %.4f, %.4f",
                                   static_cast<double>(xyz[0]), static_cast<double>(xyz[1]),
                                   static_cast<double>(xyz[2]));
  line += kXyzPrefix;
  line.append(components.data(), static_cast<std::size_t>(std::max(length, 0)));
  line += kLineEnd;
  return line;
}

std::optional<int> parseSampleTimeLine(std::string_view line) {
  return numberAfter(line, kSampleTimePrefix);
}

}  // namespace halvern::iridel

// The Iridel colour sensor's wire formats: CAN identifiers, command payloads, the colour data
// frame and command replies, and the USB text lines.
//
// Pure functions only: nothing here touches the bus or a port.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "halvern/Iridel.h"

namespace halvern::iridel {

using Reading = IridelReading;

// --- CAN ------------------------------------------------------------------------------------

/** Commands go to kCommandIdBase + code; the identifiers do not depend on the CAN ID. */
inline constexpr uint32_t kCommandIdBase = 0x04090500;
inline constexpr uint32_t kReplyId = 0x04090585;
inline constexpr uint32_t kColorFrameId = 0x04090540;
/** The stream session collects every frame of the sensor's device type and manufacturer. */
inline constexpr uint32_t kStreamId = 0x04090000;
inline constexpr uint32_t kStreamMask = 0x1FFF0000;
inline constexpr uint32_t kStreamDepth = 32;
inline constexpr uint32_t kExactMask = 0x1FFFFFFF;

enum class Command : uint8_t {
  MeasureMode = 18,
  ColorFormat = 19,
  SampleTime = 20,
  Brightness = 21,
  UsbOverride = 22,
  StatusLed = 23,
  CanId = 24,
  Zmm = 25,
  GetConfig = 26,
};

constexpr uint32_t commandId(Command command) {
  return kCommandIdBase + static_cast<uint32_t>(command);
}

/** Every identifier a command goes to: codes 0 to 63 above the base. */
inline constexpr uint32_t kCommandMask = 0x1FFFFFC0;
/** Every identifier the sensor sends or hears. */
inline constexpr uint32_t kSensorMask = 0x1FFFFF00;

/** The sensor's side: the code of a command identifier (commandId's twin). */
constexpr uint8_t commandCode(uint32_t id) { return static_cast<uint8_t>(id - kCommandIdBase); }
/** Whether a code is one of the commands the sensor answers. */
constexpr bool isCommand(uint8_t code) {
  return code >= static_cast<uint8_t>(Command::MeasureMode) &&
         code <= static_cast<uint8_t>(Command::GetConfig);
}

/** A command's data bytes: 1 to 8 of them. */
struct CommandPayload {
  std::array<uint8_t, 8> bytes{};
  uint8_t length = 0;
  bool operator==(const CommandPayload&) const = default;
};

/** Mode 0: 00; mode 1: 01 00; mode 2: 02 00 and the float parameter; other modes: none. */
std::optional<CommandPayload> measureModePayload(int mode, float parameter);
/** The format number 0 to 4; other numbers: none. */
std::optional<CommandPayload> colorFormatPayload(int format);
/** Milliseconds clamped to 0..65535, two bytes. */
CommandPayload sampleTimePayload(int milliseconds);
/** Level clamped to 0..100. */
CommandPayload brightnessPayload(int level);
CommandPayload usbOverridePayload(bool on);
/** Enable as 1 or 0, then the level clamped to 0..100. */
CommandPayload statusLedPayload(bool enable, int level);
CommandPayload canIdPayload(int32_t newId);
CommandPayload zmmPayload(float value);
/** The key's low byte. */
CommandPayload getConfigPayload(int key);

/** The colour data frame: sequence, then x, y and z as int16 scaled by 10000. */
ColorData decodeColorFrame(const uint8_t* data, uint8_t length);

/** A reply to a command: status 0 means success; the value answers "get config". */
struct CommandReply {
  uint8_t status = 0;
  uint32_t value = 0;
};

/**
 * How long the sensor may be silent before it reads disconnected, given the sample time it was
 * set to (none: not known): four sample times, at least 100 ms and at most the library's
 * longest silence, 250 ms; 250 ms when the sample time is not known.
 */
std::chrono::microseconds connectionSilence(std::optional<int> sampleTimeMs);

/** Whether a frame is one the sensor sends: a colour frame or a command reply. */
constexpr bool isSensorFrame(uint32_t id) {
  return (id & kExactMask) == kColorFrameId || (id & kExactMask) == kReplyId;
}

/** The reply carried by a frame, if it is a reply (at least 6 bytes) to the given code. */
std::optional<CommandReply> matchReply(uint32_t id, const uint8_t* data, uint8_t length,
                                       uint8_t code);

/** The sensor's side: a colour frame, components x 10000 rounded and held to the int16 range
 *  (decodeColorFrame's twin). */
std::array<uint8_t, 8> colorFramePayload(uint16_t sequence, float x, float y, float z);

/** The sensor's side: its reply to command `code` (matchReply's twin). */
std::array<uint8_t, 8> replyPayload(uint8_t code, const CommandReply& reply);

// --- USB text protocol ----------------------------------------------------------------------

inline constexpr int kBaudRate = 115200;
inline constexpr const char* kTag = "Iridel";

/** The format names used on USB, by format number. */
std::optional<std::string_view> colorFormatName(int format);
inline constexpr int kMaxSampleTimeMs = IRIDEL_MAX_SAMPLE_TIME_MS;
int clampSampleTimeMs(int milliseconds);

std::string colorFormatLine(std::string_view name);  // "COLORFORMAT,<name>"
std::string sampleTimeLine(int milliseconds);        // "SAMPLETIME,<ms>"

/** Removes leading and trailing spaces, tabs, CRs and LFs. */
std::string_view trim(std::string_view text);
/** Splits at every comma, trimming each piece; "" gives one empty piece. */
std::vector<std::string_view> splitFields(std::string_view text);

/**
 * The colour components of an output line: "XYZ: x, y, z" or "DIST: <anything>  XYZ: ...".
 * Any other line, and one with fewer than three components, gives none. A component that is
 * not a number reads as 0.
 */
std::optional<std::array<float, 3>> parseColorLine(std::string_view line);

// --- USB, the sensor's side: what a simulated sensor writes and reads ------------------------

/**
 * A sample line as the sensor sends it, CR LF included: "XYZ: x, y, z" with four decimals, led
 * by "DIST: <mm>  " in its distance mode. parseColorLine reads it back.
 */
std::string encodeColorLine(const std::array<float, 3>& xyz, std::optional<int> distanceMm);
/** The milliseconds of a "SAMPLETIME,<ms>" line (the leading number, 0 if none); none for
 *  another line. */
std::optional<int> parseSampleTimeLine(std::string_view line);

/**
 * Assembles output lines from received bytes: LF ends a line, CR vanishes, and a line that
 * grows beyond 512 bytes is dropped, the bytes after it starting a new one.
 */
class LineAssembler {
 public:
  static constexpr std::size_t kMaxLineLength = 512;

  /** Feeds bytes; calls onLine(trimmed line) for every line they complete. */
  template <typename OnLine>
  void feed(const uint8_t* bytes, std::size_t count, OnLine&& onLine) {
    for (std::size_t i = 0; i < count; ++i) {
      const char c = static_cast<char>(bytes[i]);
      if (c == '\n') {
        onLine(trim(line));
        line.clear();
      } else if (c != '\r') {
        line.push_back(c);
        if (line.size() > kMaxLineLength) {
          line.clear();
        }
      }
    }
  }

 private:
  std::string line;
};

}  // namespace halvern::iridel

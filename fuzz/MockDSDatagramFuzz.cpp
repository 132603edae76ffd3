// Exercises the mock driver station's pure functions with fuzzed inputs:
//  - formatLogLine with an arbitrary level, file, line and message (either text may be null),
//    checked against the rule for each level range and for the shape of a line;
//  - the sender's datagrams (buildControlDatagram and WarmupRule) over a fuzzed enable/disable
//    schedule from a fuzzed first sequence number, each datagram read back from its bytes and
//    checked against a model of its own: the first 50 datagrams sent while enabled say
//    disabled, every later enabled one says enabled in autonomous, a disabled one says disabled.
//
// Input: level (4 bytes, little end first), line (4 bytes), file length, message length (each
// one byte; 255 means a null text), the file and message bytes, the first sequence number
// (2 bytes), then the schedule: one datagram per bit (1 = enabled), low bit first.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "FuzzChecks.h"
#include "mockds/MockDSProtocol.h"

namespace {

using halvern::fuzz::require;

using namespace halvern::mockds;  // NOLINT(google-build-using-namespace)

constexpr uint8_t kNullText = 0xFF;

class Input {
 public:
  explicit Input(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  uint8_t byte() { return at_ < bytes_.size() ? bytes_[at_++] : 0; }

  uint32_t word() {
    uint32_t value = 0;
    for (unsigned shift = 0; shift < 32; shift += 8) {
      value |= static_cast<uint32_t>(byte()) << shift;
    }
    return value;
  }

  std::string text(std::size_t length) {
    const std::size_t taken = std::min(length, bytes_.size() - at_);
    std::string result(reinterpret_cast<const char*>(bytes_.data() + at_), taken);
    at_ += taken;
    return result;
  }

  std::span<const uint8_t> rest() const { return bytes_.subspan(at_); }

 private:
  std::span<const uint8_t> bytes_;
  std::size_t at_ = 0;
};

// A text as formatLogLine reads it: up to its first NUL, nothing when null.
std::string_view asRead(const char* text) { return text == nullptr ? std::string_view{} : text; }

void checkLogLine(unsigned int level, const char* file, unsigned int line, const char* message) {
  const std::string formatted = formatLogLine(level, file, line, message);
  const std::string_view text = asRead(message);
  const std::string_view place = asRead(file);

  std::string_view prefix;
  bool printed = true;
  if (level >= 50) {
    prefix = "CRITICAL: ";
  } else if (level >= 40) {
    prefix = "ERROR: ";
  } else if (level >= 30) {
    prefix = "WARNING: ";
  } else if (level != 20) {
    printed = false;
  }
  if (!printed) {
    require(formatted.empty());
    return;
  }

  // The shape of every line printed.
  require(formatted.rfind("DS: ", 0) == 0);
  require(!formatted.empty() && formatted.back() == '\n');
  require(formatted.find(text) != std::string::npos);
  const bool textHasNewline =
      text.find('\n') != std::string_view::npos || place.find('\n') != std::string_view::npos;
  if (!textHasNewline) {
    require(formatted.find('\n') == formatted.size() - 1);  // one line, ended once
  }

  // And exactly what it says.
  std::string expected = "DS: ";
  if (level == 20) {
    expected.append(text).append("\n");
  } else {
    expected.append(prefix).append(text).append(" (").append(place).append(":");
    expected.append(std::to_string(line)).append(")\n");
    require(formatted.find(std::to_string(line)) != std::string::npos);
  }
  require(formatted == expected);
}

// The control byte a datagram must carry, from the schedule alone.
struct SenderModel {
  int enabledSent = 0;
  uint8_t control(bool enabled) {
    if (!enabled) {
      return 0x00;
    }
    ++enabledSent;
    return enabledSent <= 50 ? 0x00 : 0x06;
  }
};

void checkDatagrams(uint16_t firstSequence, std::span<const uint8_t> schedule) {
  uint16_t sequence = firstSequence;  // as the sender counts, wrapping at 65536
  uint32_t expectedSequence = firstSequence;
  WarmupRule warmup;
  SenderModel model;
  for (const uint8_t bits : schedule) {
    for (unsigned bit = 0; bit < 8; ++bit) {
      const bool enabled = ((bits >> bit) & 1U) != 0;
      ControlDatagram datagram = buildControlDatagram(sequence, kControlDisabled);
      ++sequence;
      datagram[kControlByteIndex] = warmup.controlByte(enabled);

      // Read back from the bytes as a robot program does.
      require(datagram.size() == 6);
      const unsigned readSequence = (unsigned{datagram[0]} << 8U) | datagram[1];
      require(readSequence == (expectedSequence & 0xFFFFU));
      require(datagram[2] == 0x01);  // protocol version
      require(datagram[4] == 0x10);  // request: a driver station is attached
      require((datagram[4] & 0xF0) != 0);
      require(datagram[5] == 0x00);  // red 1
      const uint8_t control = datagram[3];
      require(control == model.control(enabled));
      const bool readEnabled = (control & 0x04) != 0;
      require(readEnabled == (enabled && model.enabledSent > 50));
      require((control & 0x80) == 0 && (control & 0x08) == 0 && (control & 0x01) == 0);
      require(warmup.warmedUp() == std::min(model.enabledSent, 50));
      ++expectedSequence;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  Input input(std::span<const uint8_t>(data, size));
  const unsigned int level = input.word();
  const unsigned int line = input.word();
  const uint8_t fileLength = input.byte();
  const uint8_t messageLength = input.byte();
  const std::string file = input.text(fileLength == kNullText ? 0 : fileLength);
  const std::string message = input.text(messageLength == kNullText ? 0 : messageLength);
  const char* filePointer = fileLength == kNullText ? nullptr : file.c_str();
  const char* messagePointer = messageLength == kNullText ? nullptr : message.c_str();
  checkLogLine(level, filePointer, line, messagePointer);
  // The levels that matter most, with the same texts.
  for (const unsigned int edge : {10U, 20U, 29U, 30U, 39U, 40U, 49U, 50U, 255U}) {
    checkLogLine(edge, filePointer, line, messagePointer);
  }

  const uint8_t sequenceHigh = input.byte();
  const uint8_t sequenceLow = input.byte();
  const auto firstSequence = static_cast<uint16_t>(sequenceHigh << 8U | sequenceLow);
  checkDatagrams(firstSequence, input.rest());
  return 0;
}

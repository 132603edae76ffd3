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

}  // namespace halvern::mockds

#include "dystal/UsbCommands.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "dystal/DystalProtocol.h"

namespace halvern::sim::dystal {

namespace wire = halvern::dystal;

namespace {

constexpr std::string_view kVerbosePrefix = "VERBOSE,";
constexpr std::string_view kTextFormatLine = "DATAFORMAT,TEXT";
constexpr std::string_view kOkLine = "OK\r\n";
constexpr std::string_view kUnknownCommandLine = "ERR,UNKNOWN COMMAND\r\n";
constexpr int kMaxOutputDataRate = 1000;

}  // namespace

std::string configLine(const SimDystalConfig& config) {
  std::array<char, 96> line{};
  const int length =
      std::snprintf(line.data(), line.size(), "CONFIG,VERSION=%u,DIST=%d,FD=%d,BRS=%d,CANID=0\r\n",
                    static_cast<unsigned>(config.version), config.distanceEnabled ? 1 : 0,
                    config.canFdEnabled ? 1 : 0, config.canBrsEnabled ? 1 : 0);
  return {line.data(), static_cast<std::size_t>(std::max(length, 0))};
}

std::string followCommand(std::string_view line, UsbSettings& settings,
                          const SimDystalConfig& config, bool configSilent) {
  if (line == wire::kGetConfigLine) {
    // Answered in either output format: the host asks for it between frames.
    return configSilent ? std::string{} : configLine(config);
  }
  bool known = true;
  const bool answer = !settings.binaryOutput;  // acknowledgements are text-mode chatter
  if (line == wire::kBinaryFormatLine) {
    settings.binaryOutput = true;
  } else if (line == kTextFormatLine) {
    settings.binaryOutput = false;
  } else if (const auto rate = wire::parseOutputDataRateLine(line)) {
    if (*rate > 0) {
      settings.outputDataRate = std::min(*rate, kMaxOutputDataRate);
    }
    known = *rate > 0;
  } else if (!line.starts_with(kVerbosePrefix)) {
    known = false;
  }
  if (!answer) {
    return {};
  }
  return std::string(known ? kOkLine : kUnknownCommandLine);
}

std::string chatterLine(int outputDataRate) {
  return "INFO,RANGING,ODR=" + std::to_string(outputDataRate) + "\r\n";
}

}  // namespace halvern::sim::dystal

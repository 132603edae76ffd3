// The simulated Dystal USB sensor's text commands: what each sets and how the sensor answers.
// A model that knows no port.
#pragma once

#include <string>
#include <string_view>

#include "SimDystal.h"

namespace halvern::sim::dystal {

/** What the commands have set. */
struct UsbSettings {
  bool binaryOutput = false;  // after "DATAFORMAT,BIN"; text replies before
  int outputDataRate = SimDystalUsb::kDefaultOutputDataRate;
};

/** The line answering "GETCONFIG". */
std::string configLine(const SimDystalConfig& config);

/**
 * Follows a command line (without its end), changing `settings`; returns the text to answer it
 * with, empty for none. "GETCONFIG" is answered with `config` in either output format, unless
 * `configSilent`; the rest are acknowledged in text output only.
 */
std::string followCommand(std::string_view line, UsbSettings& settings,
                          const SimDystalConfig& config, bool configSilent);

/** The line a sensor stuck in verbose output keeps sending. */
std::string chatterLine(int outputDataRate);

}  // namespace halvern::sim::dystal

// WPILib 2026's utility libraries as core/HalPlatform.h names them: the UDP client (wpinet), the
// logger and the error stream (wpiutil).
#pragma once

#include <wpi/Logger.h>
#include <wpi/raw_ostream.h>

#include <string_view>

#if __has_include(<wpinet/UDPClient.h>)  // where the user links wpinet
#define HALVERN_PLATFORM_HAS_UDP 1
#include <wpinet/UDPClient.h>
#endif

namespace halvern::platform {

#ifdef HALVERN_PLATFORM_HAS_UDP
/** A UDP socket sending datagrams (start, send, shutdown), logging through a Logger. */
using UdpClient = wpi::UDPClient;
#endif
using Logger = wpi::Logger;

/** Writes `text` to the utility library's standard error stream in one piece. */
inline void writeErrorText(std::string_view text) {
  wpi::errs() << text;
  wpi::errs().flush();
}

}  // namespace halvern::platform

// WPILib 2027's utility libraries as core/HalPlatform.h names them: the UDP client (wpinet), the
// logger and the error stream (wpiutil), now in namespaces wpi::net and wpi::util.
#pragma once

#include <wpi/util/Logger.hpp>
#include <wpi/util/raw_ostream.hpp>

#include <string_view>

#if __has_include(<wpi/net/UDPClient.hpp>)  // where the user links wpinet
#define HALVERN_PLATFORM_HAS_UDP 1
#include <wpi/net/UDPClient.hpp>
#endif

namespace halvern::platform {

#ifdef HALVERN_PLATFORM_HAS_UDP
/** A UDP socket sending datagrams (start, send, shutdown), logging through a Logger. */
using UdpClient = wpi::net::UDPClient;
#endif
using Logger = wpi::util::Logger;

/** Writes `text` to the utility library's standard error stream in one piece. */
inline void writeErrorText(std::string_view text) {
  wpi::util::errs() << text;
  wpi::util::errs().flush();
}

}  // namespace halvern::platform

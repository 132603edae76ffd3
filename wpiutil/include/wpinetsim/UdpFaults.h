// Faults of the stand-in UDP client, for tests: nothing in a robot library may include this.
#pragma once

namespace wpinetsim {

/**
 * While true, UDPClient::start fails as if the host had no socket to give (and says so through
 * its logger), so every later send fails too.
 */
void setUdpStartFailure(bool fail);

}  // namespace wpinetsim

#include "core/ConnectionMonitor.h"

#include "core/HalPlatform.h"

namespace halvern {

void ConnectionMonitor::noteTrafficNow() { noteTraffic(platform::robotTimeMicros()); }

bool ConnectionMonitor::connected() const { return connectedAt(platform::robotTimeMicros()); }

}  // namespace halvern

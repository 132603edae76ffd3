// Everything the library keeps from load to unload, in one place so that its order of
// construction at load, and of destruction at unload, is fixed.
#pragma once

#include "ordex/Heartbeat.h"
#include "ordex/OrdexRegistry.h"

namespace halvern {

struct LibraryState {
  // Constructed first, destroyed last.
  ordex::OrdexRegistry ordex;
  // Destroyed before the registries: unloading stops and joins the heartbeat thread, so no
  // thread runs on in unloaded code even if a controller was never destroyed.
  ordex::HeartbeatLoop ordexHeartbeat;
};

/** The state of the loaded library. */
LibraryState& libraryState();

}  // namespace halvern

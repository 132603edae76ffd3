// Everything the library keeps from load to unload, in one place so that its order of
// construction at load, and of destruction at unload, is fixed.
#pragma once

#include "core/DataLogSink.h"
#include "core/DevicePath.h"
#include "ferix/FerixBoard.h"
#include "lidar/LidarModule.h"
#include "mockds/MockDS.h"
#include "ordex/Heartbeat.h"
#include "ordex/OrdexRegistry.h"

namespace halvern {

struct LibraryState {
  // Constructed first, destroyed last: every device's log signals end before it.
  datalog::DataLogSwitch dataLog;
  ordex::OrdexRegistry ordex;
  // Destroyed before the registries: unloading stops and joins the heartbeat thread, so no
  // thread runs on in unloaded code even if a controller was never destroyed.
  ordex::HeartbeatLoop ordexHeartbeat;
  // Serial device paths added beside the host's own ports.
  serial::AddedDevicePaths addedDevicePaths;
  // The analog board's reference voltage and reading lock.
  ferix::FerixBoard ferix;
  // Unloading stops and joins the serial lidar's reader.
  lidar::LidarModule lidar;
  // Destroyed first: unloading stops and joins the mock driver station's sender, which closes
  // its socket.
  mockds::MockDSSlot mockDS;
};

/** The state of the loaded library. */
LibraryState& libraryState();

}  // namespace halvern

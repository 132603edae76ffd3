package com.halvern.frc.testing;

import com.halvern.frc.sim.SimLidarMini;
import com.halvern.frc.sim.SimSerialPorts;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;

/**
 * For every case of a class that extends it: a simulated lidar listed as the only serial port the
 * library's device search finds, taken off the list and closed afterwards. A case is skipped on a
 * host that has serial ports of its own.
 */
public abstract class LidarMiniAsTheOnlySerialPort {
  protected SimLidarMini device; // null when the case was skipped

  @BeforeEach
  protected void plugInALidarAsTheOnlySerialPort() {
    HostSerialPorts.assumeNone();
    device = new SimLidarMini();
    SimSerialPorts.addDevicePath(device.devicePath());
  }

  @AfterEach
  protected void unplugTheLidar() {
    if (device != null) {
      SimSerialPorts.removeDevicePath(device.devicePath());
      device.close();
    }
  }
}

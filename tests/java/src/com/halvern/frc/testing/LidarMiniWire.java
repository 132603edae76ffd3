package com.halvern.frc.testing;

import static org.junit.jupiter.api.Assumptions.assumeTrue;

import com.halvern.frc.sim.SimLidarMini;
import com.halvern.frc.sim.SimSerialPorts;
import java.io.File;

/** The USB lidar's side of its serial port, for the LidarMini tests. */
public final class LidarMiniWire {
  // Command bytes of the requests: scanning; the frequency a tenth of a hertz or one hertz up or
  // down; the lidar's records.
  public static final int START_SCAN = 0x60, STOP_SCAN = 0x65;
  public static final int UP_TENTH = 0x09, DOWN_TENTH = 0x0A, UP_ONE = 0x0B, DOWN_ONE = 0x0C;
  public static final int GET_INFO = 0x90, GET_HEALTH = 0x92;

  private LidarMiniWire() {}

  /**
   * A simulated lidar listed as the only serial port the library's device search finds; the case
   * is skipped on a host that has serial ports of its own.
   */
  public static SimLidarMini plugInAsTheOnlySerialPort() {
    String[] hostPorts = new File("/dev").list((dir, name) ->
        name.startsWith("ttyUSB") || name.startsWith("ttyACM"));
    assumeTrue(hostPorts == null || hostPorts.length == 0, "the host has serial ports");
    SimLidarMini device = new SimLidarMini();
    SimSerialPorts.addDevicePath(device.devicePath());
    return device;
  }

  /** Takes a lidar that {@link #plugInAsTheOnlySerialPort()} listed off the list and closes it;
   *  null (the case was skipped) does nothing. */
  public static void unplug(SimLidarMini device) {
    if (device != null) {
      SimSerialPorts.removeDevicePath(device.devicePath());
      device.close();
    }
  }
}

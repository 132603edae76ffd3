package com.halvern.frc.testing;

import static org.junit.jupiter.api.Assumptions.assumeTrue;

import java.io.File;

/** The serial ports of the machine the tests run on, which the library's device search finds. */
public final class HostSerialPorts {
  private HostSerialPorts() {}

  /**
   * Skips the case on a host that has serial ports of its own: a case that expects the device
   * search to find only what it added, or its fallbacks, needs a host without any.
   */
  public static void assumeNone() {
    String[] hostPorts = new File("/dev").list((dir, name) ->
        name.startsWith("ttyUSB") || name.startsWith("ttyACM"));
    assumeTrue(hostPorts == null || hostPorts.length == 0, "the host has serial ports");
  }
}

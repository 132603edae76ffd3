package com.halvern.frc.sim;

import java.util.List;

/**
 * A simulated Iridel colour sensor on a USB serial port (a pseudo-terminal): it records the
 * command lines the robot program writes and sends an "XYZ:" sample line every sample time.
 */
public final class SimIridelUsb extends NativeSimulator {
  /**
   * Plugs in a sensor that samples (0.25, 0.5, 0.75) every 20 ms.
   *
   * @throws IllegalStateException if no pseudo-terminal could be made
   */
  public SimIridelUsb() {
    super("simulated sensor", create());
  }

  /** The path the library opens. */
  public String devicePath() {
    return devicePath(open());
  }

  /** The components of the samples sent from now on. */
  public void setColor(float x, float y, float z) {
    setColor(open(), x, y, z);
  }

  /** Stops (or resumes) sending samples; commands are still read. */
  public void setSilent(boolean silent) {
    setSilent(open(), silent);
  }

  /** Command lines received from the library, without their line ends, oldest first. */
  public List<String> receivedLines() {
    return List.of(receivedLines(open()));
  }

  private static native long create();

  private static native String devicePath(long handle);

  private static native void setColor(long handle, float x, float y, float z);

  private static native void setSilent(long handle, boolean silent);

  private static native String[] receivedLines(long handle);
}

package com.halvern.frc.sim;

import java.util.List;

/**
 * A simulated Dystal distance sensor on a USB serial port (a pseudo-terminal): it records the
 * command lines the robot program writes, answers "GETCONFIG", and once switched to binary
 * output sends a distance frame at its output data rate.
 */
public final class SimDystalUsb extends NativeSimulator {
  /**
   * Plugs in a sensor with an output data rate of 15 frames a second.
   *
   * @throws IllegalStateException if no pseudo-terminal could be made
   */
  public SimDystalUsb() {
    super("simulated sensor", create());
  }

  /** The path the library opens. */
  public String devicePath() {
    return devicePath(open());
  }

  /**
   * The distances of the frames sent from now on, up to 64. Each value's low 16 bits are sent,
   * so 40000 and 0xFFFF can be given as they are.
   */
  public void setDistances(int... distances) {
    setDistances(open(), distances);
  }

  /** Stops (or resumes) sending frames; commands are still read and answered. */
  public void setSilent(boolean silent) {
    setSilent(open(), silent);
  }

  /** Stops (or resumes) answering "GETCONFIG". */
  public void setConfigSilent(boolean silent) {
    setConfigSilent(open(), silent);
  }

  /** Command lines received from the library, without their line ends, oldest first. */
  public List<String> receivedLines() {
    return List.of(receivedLines(open()));
  }

  /** The output data rate the sensor runs at, in frames a second. */
  public int outputDataRate() {
    return outputDataRate(open());
  }

  /** The sequence number of the newest frame sent. */
  public int lastSequence() {
    return lastSequence(open());
  }

  private static native long create();

  private static native String devicePath(long handle);

  private static native void setDistances(long handle, int[] distances);

  private static native void setSilent(long handle, boolean silent);

  private static native void setConfigSilent(long handle, boolean silent);

  private static native String[] receivedLines(long handle);

  private static native int outputDataRate(long handle);

  private static native int lastSequence(long handle);
}

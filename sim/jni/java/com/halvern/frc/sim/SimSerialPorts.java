package com.halvern.frc.sim;

/**
 * Makes a simulated USB device findable: lists a path beside the host's own serial ports in
 * HalvernDriver's device search, through the library's exported {@code c_Serial_addDevicePath}.
 */
public final class SimSerialPorts {
  static {
    SimLibrary.load();
  }

  private SimSerialPorts() {}

  /** Lists {@code path} (ignored when empty) until {@link #removeDevicePath} takes it back. */
  public static native void addDevicePath(String path);

  /** Takes back a path added with {@link #addDevicePath}. */
  public static native void removeDevicePath(String path);
}

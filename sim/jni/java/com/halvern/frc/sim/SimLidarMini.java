package com.halvern.frc.sim;

import java.util.ArrayList;
import java.util.List;
import java.util.Objects;

/**
 * A simulated LidarMini scanning lidar on a USB serial port (a pseudo-terminal): it records the
 * command bytes the robot program sends, answers identity and health requests, and while
 * scanning streams scan packets at the real byte rate, one revolution per 1/frequency seconds.
 * Its frequency starts at 6 Hz and follows the step requests.
 */
public final class SimLidarMini extends NativeSimulator {
  /** The degrees of a revolution, and so the length of a room given to {@link #setRoom}. */
  public static final int DEGREES = RoomDistances.DEGREES;

  /**
   * Plugs in a lidar in a rectangular room of 4 m by 3 m, reporting model 0x28, firmware 0x0105,
   * hardware 2, the serial number "HALVERN-LM-00042" and good health.
   *
   * @throws IllegalStateException if no pseudo-terminal could be made
   */
  public SimLidarMini() {
    super("simulated lidar", create());
  }

  /** The path the library opens; list it with {@link SimSerialPorts#addDevicePath}. */
  public String devicePath() {
    return devicePath(open());
  }

  /**
   * The room seen from now on: {@code millimetres[d]} is the distance at every angle from d up to
   * d + 1 degrees; 0 gives no return.
   */
  public void setRoom(int... millimetres) {
    RoomDistances.checkCount(Objects.requireNonNull(millimetres, "millimetres").length);
    setRoom(open(), millimetres);
  }

  /** The same distance at every angle. */
  public void setRoomDistance(int millimetres) {
    setRoom(RoomDistances.uniform(millimetres));
  }

  /** The identity answered from now on; the serial number's first 16 bytes are sent. */
  public void setIdentity(int model, int firmwareVersion, int hardwareVersion, byte[] serial) {
    Objects.requireNonNull(serial, "serial");
    setIdentity(open(), model, firmwareVersion, hardwareVersion, serial);
  }

  /** The health answered from now on. */
  public void setHealth(int status, int errorCode) {
    setHealth(open(), status, errorCode);
  }

  /** Stops (or resumes) answering and streaming, as a lidar without power; requests are read. */
  public void setSilent(boolean silent) {
    setSilent(open(), silent);
  }

  /** Whether the lidar was told to scan and not told to stop since. */
  public boolean scanning() {
    return scanning(open());
  }

  /** The frequency the lidar turns at, in Hz. */
  public double frequencyHz() {
    return frequencyHz(open());
  }

  /** Every command byte received, as an unsigned value, oldest first. */
  public List<Integer> commands() {
    List<Integer> commands = new ArrayList<>();
    for (byte command : commands(open())) {
      commands.add(Byte.toUnsignedInt(command));
    }
    return commands;
  }

  private static native long create();

  private static native String devicePath(long handle);

  private static native void setRoom(long handle, int[] millimetres);

  private static native void setIdentity(long handle, int model, int firmwareVersion,
      int hardwareVersion, byte[] serial);

  private static native void setHealth(long handle, int status, int errorCode);

  private static native void setSilent(long handle, boolean silent);

  private static native boolean scanning(long handle);

  private static native double frequencyHz(long handle);

  private static native byte[] commands(long handle);
}

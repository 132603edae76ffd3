package com.halvern.frc.sim;

import java.util.Objects;

/**
 * A simulated scanning lidar wired to one of the robot controller's serial ports (the stand-in
 * HAL's): from the moment it is made it streams packets describing a room, ten revolutions a
 * second, each sample's angle reported so that the library's angle correction puts it on the
 * room's walls. Only on the stand-in HAL: WPILib's simulation has no serial port, and there its
 * native methods are not there (UnsatisfiedLinkError).
 */
public final class SimLidar extends NativeSimulator {
  /** The degrees of a revolution, and so the length of a room given to {@link #setRoom}. */
  public static final int DEGREES = RoomDistances.DEGREES;

  /**
   * Plugs in a lidar, in a room of 5 m by 4 m, streaming on a serial port.
   *
   * @param port the HAL serial port: 0 onboard, 1 MXP, 2 and 3 the USB ports
   */
  public SimLidar(int port) {
    super("simulated lidar", create(port));
  }

  /**
   * The room seen from now on: {@code millimetres[d]} is the distance at every angle from d up to
   * d + 1 degrees; 0 gives no return.
   */
  public void setRoom(float... millimetres) {
    RoomDistances.checkCount(Objects.requireNonNull(millimetres, "millimetres").length);
    setRoom(open(), millimetres);
  }

  /** The same distance at every angle. */
  public void setRoomDistance(float millimetres) {
    setRoom(RoomDistances.uniform(millimetres));
  }

  /** Stops (or resumes) streaming. */
  public void setSilent(boolean silent) {
    setSilent(open(), silent);
  }

  /** The revolutions streamed so far. */
  public int revolutionsSent() {
    return revolutionsSent(open());
  }

  /**
   * A packet as the lidar sends it, with its check code: {@code words} are distances x 4, and the
   * angles are degrees x 128. Send it with {@link SimBus#pushSerialBytes}.
   */
  public static byte[] packet(boolean start, int firstAngleRaw, int lastAngleRaw, int... words) {
    Objects.requireNonNull(words, "words");
    return packetBytes(start, firstAngleRaw, lastAngleRaw, words);
  }

  private static native long create(int port);

  private static native void setRoom(long handle, float[] millimetres);

  private static native void setSilent(long handle, boolean silent);

  private static native int revolutionsSent(long handle);

  private static native byte[] packetBytes(
      boolean start, int firstAngleRaw, int lastAngleRaw, int[] words);
}

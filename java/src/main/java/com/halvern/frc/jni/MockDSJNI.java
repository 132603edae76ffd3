package com.halvern.frc.jni;

/**
 * The raw native methods of the mock driver station: one per C function {@code c_MockDS_*} of
 * HalvernDriver, with the same name and meaning.
 *
 * <p>Robot programs normally use {@link com.halvern.frc.MockDS} instead. The library holds at
 * most one mock driver station, so no method takes a handle:
 *
 * <ul>
 *   <li>{@link #c_MockDS_create} starts a sender thread that sends a 6-byte control datagram to
 *       UDP port 1110 of 127.0.0.1 every 20 ms: the sequence number (high byte first, from 0),
 *       0x01, the control byte, 0x10 (a driver station is attached) and 0x00 (red alliance,
 *       station 1). The control byte is 0x00 (disabled) or 0x06 (enabled, autonomous).
 *   <li>The first 50 datagrams an instance sends while enabled, counted over its whole life,
 *       still say disabled: a robot program sees one second of "disabled" before its first
 *       enable.
 *   <li>Before the first create, enable, disable and destroy do nothing.
 *   <li>Nothing throws: when no sender thread can be started the library prints one line saying
 *       so, and nothing is sent.
 * </ul>
 *
 * <p>Loading this class loads the native library {@code HalvernDriver} from {@code
 * java.library.path}; it throws {@link UnsatisfiedLinkError} when the library is not there.
 */
public final class MockDSJNI {
  static {
    NativeLibrary.load();
  }

  private MockDSJNI() {}

  /**
   * Starts a fresh instance, disabled, with sequence number 0 and its warm-up still ahead. An
   * instance made before is stopped; it may send one more datagram before this returns.
   */
  public static native void c_MockDS_create();

  /**
   * Disables the robot, as {@link #c_MockDS_disable} does: the sender keeps sending disabled
   * datagrams until the next create or until the library is unloaded, and a later {@link
   * #c_MockDS_enable} enables it again.
   */
  public static native void c_MockDS_destroy();

  /**
   * Asks for the robot to be enabled in autonomous, from the next datagram on (after the
   * warm-up). Does nothing before the first create.
   */
  public static native void c_MockDS_enable();

  /** Asks for the robot to be disabled, from the next datagram on. Does nothing before create. */
  public static native void c_MockDS_disable();
}

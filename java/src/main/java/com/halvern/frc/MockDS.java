package com.halvern.frc;

import com.halvern.frc.jni.MockDSJNI;

/**
 * A mock driver station for a robot program simulated on the same computer: it tells the robot
 * program whether it is enabled, the way a driver station does, so that a simulated robot can be
 * enabled (in autonomous) without one.
 *
 * <p>From the moment it is made, the library's sender thread sends a control datagram to UDP
 * port {@value #ROBOT_PORT} of {@value #ROBOT_ADDRESS} every {@value #PERIOD_MS} ms. Each is
 * {@value #DATAGRAM_LENGTH} bytes: a sequence number counting from 0 (high byte first), the
 * protocol version 0x01, the control byte, 0x10 (a driver station is attached) and 0x00 (red
 * alliance, station 1). The control byte is {@value #CONTROL_DISABLED} while disabled and
 * {@value #CONTROL_ENABLED_AUTONOMOUS} (enabled, autonomous) while enabled. A new mock driver
 * station starts disabled.
 *
 * <p><b>Warm-up.</b> The first {@value #WARMUP_DATAGRAMS} datagrams sent while enabled (one
 * second of being enabled) still say "disabled", so that the robot program sees a disabled
 * period before its first enable: after the first {@link #enable()} the robot program is enabled
 * about one second later. The count runs over the mock driver station's whole life and is not
 * started again by {@link #disable()}: once it is over, {@link #enable()} takes effect from the
 * next datagram. Only a new {@code MockDS} warms up again.
 *
 * <p>The library holds one mock driver station per program. Making a second {@code MockDS}
 * replaces the first: the first one's sender stops (it may send one more datagram) and the first
 * object is closed, and the new one starts disabled, with sequence number 0 and its warm-up
 * ahead. {@link #close()} disables the robot, but the sender keeps sending disabled datagrams
 * until a new {@code MockDS} replaces it or the library is unloaded; a robot program listening
 * therefore keeps seeing a driver station, disabled.
 *
 * <p>Nothing here throws on a network failure: when the sender thread cannot be started the
 * library prints one line saying so and nothing is sent, and failed sends are printed by the
 * library. Every method but {@link #close()} and {@link #isClosed()} throws {@link
 * IllegalStateException} once the mock driver station is closed or replaced. Its methods may be
 * called from any thread.
 */
public final class MockDS extends LibraryWideDevice {
  /** The address the datagrams go to: the robot program runs on this computer. */
  public static final String ROBOT_ADDRESS = "127.0.0.1";
  /** The UDP port the datagrams go to, where a robot program listens for its driver station. */
  public static final int ROBOT_PORT = 1110;
  /** The time between two datagrams, in milliseconds. */
  public static final int PERIOD_MS = 20;
  /** The length of a datagram, in bytes. */
  public static final int DATAGRAM_LENGTH = 6;
  /**
   * How many datagrams sent while enabled still say "disabled", over a mock driver station's
   * life: one second's worth.
   */
  public static final int WARMUP_DATAGRAMS = 50;
  /** The control byte (the fourth) of a datagram that says "disabled". */
  public static final int CONTROL_DISABLED = 0x00;
  /** The control byte (the fourth) of a datagram that says "enabled, autonomous". */
  public static final int CONTROL_ENABLED_AUTONOMOUS = 0x06;

  private static final Holder STATION = new Holder(); // the station the library holds

  private boolean enabled;

  /**
   * Starts sending, disabled, with sequence number 0. A {@code MockDS} made before, and not
   * closed, is replaced: it is closed and its sender stopped.
   */
  public MockDS() {
    super(STATION, "Mock driver station");
    takeOver(MockDSJNI::c_MockDS_create);
  }

  /**
   * Disables the robot. The sender goes on sending disabled datagrams until a new {@code MockDS}
   * is made or the library is unloaded. Closing again, or closing a mock driver station that a
   * newer one replaced, does nothing (the newer one stays as it is).
   */
  @Override
  public void close() {
    super.close();
  }

  @Override
  void closeDevice() {
    MockDSJNI.c_MockDS_destroy();
    enabled = false;
  }

  @Override
  void onReplaced() {
    enabled = false;
  }

  /**
   * Asks for the robot to be enabled in autonomous, from the next datagram on. Until {@value
   * #WARMUP_DATAGRAMS} datagrams have been sent enabled over this mock driver station's life
   * (about one second), they still say "disabled". Enabling again changes nothing.
   */
  public void enable() {
    whileOpen(() -> {
        MockDSJNI.c_MockDS_enable();
        enabled = true;
    });
  }

  /** Asks for the robot to be disabled, from the next datagram on. */
  public void disable() {
    whileOpen(() -> {
        MockDSJNI.c_MockDS_disable();
        enabled = false;
    });
  }

  /**
   * Returns whether the robot was last asked to be enabled. This is what was asked: during the
   * warm-up the datagrams still say "disabled".
   *
   * @return true from {@link #enable()} until {@link #disable()}
   */
  public boolean isEnabled() {
    return getWhileOpen(() -> enabled);
  }
}

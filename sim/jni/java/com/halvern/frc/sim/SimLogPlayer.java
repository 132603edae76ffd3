package com.halvern.frc.sim;

import java.util.List;

/**
 * Replays a match (sim/SimLogPlayer.h): reads a WPILib data log ({@code .wpilog}) that
 * HalvernDriver logged into and plays each device's recorded readings into that device's
 * simulator at their recorded times, so that a robot program run in simulation reads what the
 * robot read.
 *
 * <pre>{@code
 * try (SimLogPlayer player = new SimLogPlayer("match.wpilog");
 *     SimFerix board = new SimFerix()) {
 *   player.attach(board);   // the recorded board's input voltages
 *   player.start();         // follows the robot's clock from now
 *   ...
 * }
 * }</pre>
 *
 * <p>Each {@code attach} maps one simulator's signals (the library's entries {@code
 * Halvern/<device>/<signal>}) onto its setters; the player keeps the simulators it feeds until
 * it is closed, so closing one first only takes it off the bus. A value is fed once, in the
 * log's order; values of devices nobody attached are skipped. Closing stops the playing thread.
 */
public final class SimLogPlayer extends NativeSimulator {
  /**
   * Reads the log at {@code path}. A file that cannot be read, or read whole, shows in {@link
   * #error()}; what was read before the fault plays.
   *
   * @param path the {@code .wpilog} file
   */
  public SimLogPlayer(String path) {
    super("log player", create(path));
  }

  /**
   * Why the log was not read whole.
   *
   * @return "" when it was
   */
  public String error() {
    return error(open());
  }

  /**
   * The devices the library logged.
   *
   * @return their names in the log ({@code "Ordex[5]"}, {@code "Iridel[ttyUSB0]"})
   */
  public List<String> devices() {
    return List.of(devices(open()));
  }

  /**
   * The signals logged for a device.
   *
   * @param device the device's name in the log
   * @return the signals ({@code "Motor 0/RPM"}, {@code "Connected"}, ...); none for a device
   *     not in the log
   */
  public List<String> signals(String device) {
    return List.of(signals(open(), device));
  }

  /**
   * The time of the log's first value of the library's entries.
   *
   * @return microseconds on the recording's clock; 0 when there is none
   */
  public long firstMicros() {
    return firstMicros(open());
  }

  /**
   * The time of the log's last value of the library's entries.
   *
   * @return microseconds on the recording's clock; 0 when there is none
   */
  public long lastMicros() {
    return lastMicros(open());
  }

  /**
   * Feeds a simulated colour sensor on CAN its recorded colours and connection drops.
   *
   * @param sim the simulator
   */
  public void attach(SimIridelCan sim) {
    attach(sim, "");
  }

  /**
   * Feeds a simulated colour sensor on CAN a recorded device's colours and connection drops.
   *
   * @param sim the simulator
   * @param device the device's name in the log; "" for the simulator's own
   */
  public void attach(SimIridelCan sim, String device) {
    attachIridelCan(open(), sim.open(), device);
  }

  /**
   * Feeds a simulated colour sensor on USB a recorded device's colours and connection drops.
   *
   * @param sim the simulator
   * @param device the device's name in the log ({@code "Iridel[ttyUSB0]"})
   */
  public void attach(SimIridelUsb sim, String device) {
    attachIridelUsb(open(), sim.open(), device);
  }

  /**
   * Feeds a simulated distance sensor on CAN its recorded distances and connection drops.
   *
   * @param sim the simulator
   */
  public void attach(SimDystalCan sim) {
    attach(sim, "");
  }

  /**
   * Feeds a simulated distance sensor on CAN a recorded device's distances and connection drops.
   *
   * @param sim the simulator
   * @param device the device's name in the log; "" for the simulator's own
   */
  public void attach(SimDystalCan sim, String device) {
    attachDystalCan(open(), sim.open(), device);
  }

  /**
   * Feeds a simulated distance sensor on USB a recorded device's distances and connection drops.
   *
   * @param sim the simulator
   * @param device the device's name in the log ({@code "Dystal[ttyACM0]"})
   */
  public void attach(SimDystalUsb sim, String device) {
    attachDystalUsb(open(), sim.open(), device);
  }

  /**
   * Feeds a simulated analog board its recorded input voltages and connection drops.
   *
   * @param sim the simulator
   */
  public void attach(SimFerix sim) {
    attach(sim, "");
  }

  /**
   * Feeds a simulated analog board a recorded board's input voltages and connection drops.
   *
   * @param sim the simulator
   * @param device the device's name in the log; "" for the simulator's own
   */
  public void attach(SimFerix sim, String device) {
    attachFerix(open(), sim.open(), device);
  }

  /**
   * Feeds a simulated USB lidar a recorded lidar's revolutions and connection drops.
   *
   * @param sim the simulator
   * @param device the device's name in the log ({@code "LidarMini[ttyUSB0]"})
   */
  public void attach(SimLidarMini sim, String device) {
    attachLidarMini(open(), sim.open(), device);
  }

  /**
   * Feeds a simulated serial lidar a recorded lidar's revolutions and connection drops. On the
   * stand-in only (its serial ports).
   *
   * @param sim the simulator
   * @param device the device's name in the log
   */
  public void attach(SimLidar sim, String device) {
    attachLidar(open(), sim.open(), device);
  }

  /**
   * Feeds, in the log's order, every value recorded up to a time not fed yet: for a test or a
   * program that steps time itself.
   *
   * @param logMicros the time on the recording's clock, microseconds
   * @return how many values were fed
   */
  public long playUntil(long logMicros) {
    return playUntil(open(), logMicros);
  }

  /**
   * Plays on a thread of the player's: the log's first value is fed now, each later one when the
   * robot's clock (the HAL's) has advanced as far as the recording's had. Does nothing when
   * already playing.
   */
  public void start() {
    start(open());
  }

  /** Stops the playing thread; what was not fed stays for a later start or playUntil. */
  public void stop() {
    stop(open());
  }

  /**
   * Whether every value was fed.
   *
   * @return true once the whole log was played
   */
  public boolean finished() {
    return finished(open());
  }

  /**
   * The recording's clock minus the robot's, while or after playing with {@link #start()}: a
   * value recorded at t is fed at robot time t - offset.
   *
   * @return the offset in microseconds
   */
  public long clockOffsetMicros() {
    return clockOffsetMicros(open());
  }

  private static native long create(String path);

  private static native String error(long handle);

  private static native String[] devices(long handle);

  private static native String[] signals(long handle, String device);

  private static native long firstMicros(long handle);

  private static native long lastMicros(long handle);

  private static native void attachIridelCan(long handle, long sim, String device);

  private static native void attachIridelUsb(long handle, long sim, String device);

  private static native void attachDystalCan(long handle, long sim, String device);

  private static native void attachDystalUsb(long handle, long sim, String device);

  private static native void attachFerix(long handle, long sim, String device);

  private static native void attachLidarMini(long handle, long sim, String device);

  private static native void attachLidar(long handle, long sim, String device);

  private static native long playUntil(long handle, long logMicros);

  private static native void start(long handle);

  private static native void stop(long handle);

  private static native boolean finished(long handle);

  private static native long clockOffsetMicros(long handle);
}

package com.halvern.frc.jni;

import com.halvern.frc.LidarMini;

/**
 * The raw native methods of the LidarMini scanning range finder: one per C function {@code
 * c_LidarMini_*} of HalvernDriver, with the same name and meaning.
 *
 * <p>Robot programs normally use {@link com.halvern.frc.LidarMini} instead. These methods check
 * nothing on the Java side and pass their arguments the way the library receives them:
 *
 * <ul>
 *   <li>A handle is the value {@link #c_LidarMini_create} returned, the lidar object's address;
 *       0 means failure. Every method given the handle 0 answers null or does nothing, without
 *       touching a lidar. Any other value must be a live handle: after {@link
 *       #c_LidarMini_destroy} it must not be used again.
 *   <li>{@link #c_LidarMini_getInfo} and {@link #c_LidarMini_getHealth} ask the lidar and wait
 *       for its answer, up to about 2 s for each of its two parts; an answer that did not arrive
 *       whole gives an object whose fields are all 0. While the lidar scans, its scan packets
 *       compete with the answer for the port.
 *   <li>The frequency steps are counted by the library, from 6 Hz at creation; a step that would
 *       leave 6 to 12 Hz is refused with a printed line and sends nothing.
 * </ul>
 *
 * <p>Loading this class loads the native library {@code HalvernDriver} from {@code
 * java.library.path}; it throws {@link UnsatisfiedLinkError} when the library is not there.
 */
public final class LidarMiniJNI {
  static {
    NativeLibrary.load();
  }

  private LidarMiniJNI() {}

  /**
   * Opens a lidar on a USB serial port found by the device search and tells it to stop
   * scanning. This takes about 200 ms.
   *
   * @param port 3 for the second serial port found, any other value for the first
   * @return the handle, or 0 when the port cannot be opened (the library prints why)
   */
  public static native long c_LidarMini_create(int port);

  /**
   * Stops the scan thread, closes the port and frees the lidar; 0 is ignored. Nothing is sent
   * to the lidar: one that was scanning goes on streaming until it is told to stop.
   *
   * @param handle the lidar's handle
   */
  public static native void c_LidarMini_destroy(long handle);

  /**
   * Tells the lidar to scan and starts the thread that gathers its revolutions. This takes about
   * 300 ms; a lidar already scanning is left as it is (the library prints so).
   *
   * @param handle the lidar's handle
   */
  public static native void c_LidarMini_start(long handle);

  /**
   * Tells the lidar to stop scanning and stops the scan thread; the latest revolution is
   * dropped.
   *
   * @param handle the lidar's handle
   */
  public static native void c_LidarMini_stop(long handle);

  /**
   * Raises the scan frequency, unless that would take it above 12 Hz.
   *
   * @param handle the lidar's handle
   * @param big true for a step of 1 Hz, false for 0.1 Hz
   */
  public static native void c_LidarMini_increaseFrequency(long handle, boolean big);

  /**
   * Lowers the scan frequency, unless that would take it below 6 Hz.
   *
   * @param handle the lidar's handle
   * @param big true for a step of 1 Hz, false for 0.1 Hz
   */
  public static native void c_LidarMini_decreaseFrequency(long handle, boolean big);

  /**
   * Asks the lidar for its identity.
   *
   * @param handle the lidar's handle
   * @return a new identity, with every field 0 (and 16 zero serial bytes) when the exchange
   *     failed, or null when the handle is 0
   */
  public static native LidarMini.LidarInfo c_LidarMini_getInfo(long handle);

  /**
   * Asks the lidar for its health.
   *
   * @param handle the lidar's handle
   * @return a new health record, with both fields 0 when the exchange failed, or null when the
   *     handle is 0
   */
  public static native LidarMini.LidarHealth c_LidarMini_getHealth(long handle);

  /**
   * Returns the latest whole revolution the scan thread gathered.
   *
   * @param handle the lidar's handle
   * @return a new revolution whose three arrays are equally long (empty, with timestamp 0, while
   *     not scanning and before the first whole revolution), or null when the handle is 0
   */
  public static native LidarMini.ScanData c_LidarMini_getData(long handle);

  /**
   * Returns the latest whole revolution as {@link #c_LidarMini_getData} does, with the
   * robot-clock times of its first and last packets ({@code firstPacketUs}, {@code
   * lastPacketUs}) taken in the same copy as its points. Never waits.
   *
   * @param handle the lidar's handle
   * @return a new revolution, or null when the handle is 0
   */
  public static native LidarMini.ScanData c_LidarMini_getDataTimed(long handle);

  /**
   * Returns whether the lidar's scan packets keep arriving: true while scanning and a packet
   * came within the last 100 ms; false while not scanning, and for handle 0. Never waits.
   *
   * @param handle the lidar's handle
   * @return true while packets arrive
   */
  public static native boolean c_LidarMini_isConnected(long handle);
}

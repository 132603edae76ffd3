package com.halvern.frc.jni;

import com.halvern.frc.Dystal;

/**
 * The raw native methods of the Dystal distance sensor: one per C function {@code c_Dystal_*}
 * of HalvernDriver, with the same name and meaning.
 *
 * <p>Robot programs normally use {@link com.halvern.frc.Dystal} instead. These methods check
 * nothing on the Java side and pass their arguments the way the library receives them:
 *
 * <ul>
 *   <li>A handle is the value {@link #c_Dystal_create} or {@link #c_Dystal_createUsb} returned,
 *       the sensor object's address; 0 means failure. Every method given the handle 0 answers
 *       null or -1 without touching a sensor. Any other value must be a live handle: after
 *       {@link #c_Dystal_destroy} it must not be used again.
 *   <li>Distances are the sensor's 16-bit values, in its own unit (millimetres), read as signed:
 *       a value above 32767 arrives negative, and -1 marks a zone for which nothing was
 *       received.
 *   <li>On CAN, {@link #c_Dystal_getData} blocks for about 24 ms while it gathers the reading's
 *       frames, unless they are gathered in the background ({@link #c_Dystal_startGathering});
 *       {@link #c_Dystal_getConfig} waits up to its timeout for the sensor's reply. {@link
 *       #c_Dystal_getLatest} and {@link #c_Dystal_isConnected} never wait.
 * </ul>
 *
 * <p>Loading this class loads the native library {@code HalvernDriver} from {@code
 * java.library.path}; it throws {@link UnsatisfiedLinkError} when the library is not there.
 */
public final class DystalJNI {
  static {
    NativeLibrary.load();
  }

  private DystalJNI() {}

  /**
   * Opens a sensor on the CAN bus.
   *
   * @param canId the sensor's CAN ID, 0 to 63
   * @return the handle, or 0 after the library printed why it failed (an ID out of range, or no
   *     CAN stream session)
   */
  public static native long c_Dystal_create(int canId);

  /**
   * Opens a sensor on one of the robot controller's CAN buses; {@link #c_Dystal_create} is this on
   * bus 0.
   *
   * @param bus the CAN bus: 0 to 5 on WPILib 2027, only 0 on WPILib 2026
   * @param canId the sensor's CAN ID, 0 to 63
   * @return the handle, or 0 after the library printed why it failed (an ID or bus out of range,
   *     or no CAN stream session)
   */
  public static native long c_Dystal_createOnBus(int bus, int canId);

  /**
   * Opens a sensor on a USB serial port and switches it to binary output. This takes about 1.25 s
   * against a sensor that is streaming (up to about 1.33 s), about 0.32 s against a silent one,
   * and never more than about 2 s.
   *
   * @param path the port's device path, for example from {@link #c_Dystal_findDevicePath}
   * @param outputDataRate readings per second to send the sensor; 0 or less sends none
   * @return the handle, or 0 when {@code path} is null or the port cannot be opened
   */
  public static native long c_Dystal_createUsb(String path, int outputDataRate);

  /**
   * Finds the device path of a USB serial port.
   *
   * @param port 3 for the second port found, any other value for the first
   * @return the path; {@code "/dev/ttyUSB0"} or {@code "/dev/ttyUSB1"} ({@code "\\.\COM3"} or
   *     {@code "\\.\COM4"} on Windows) when too few ports are found
   */
  public static native String c_Dystal_findDevicePath(int port);

  /**
   * Stops the sensor's reader, closes its port or CAN session and frees it; 0 is ignored.
   *
   * @param handle the sensor's handle
   */
  public static native void c_Dystal_destroy(long handle);

  /**
   * Returns the sensor's latest reading: on USB the newest frame it sent, at once and again
   * until a newer one arrives; on CAN the reading assembled from the chunk frames gathered for
   * about 24 ms.
   *
   * @param handle the sensor's handle
   * @param count the most distances to return; 0 or less gives an empty reading, more than 64
   *     counts as 64
   * @return a new reading, whose array is as long as the reading's count (sequence 0 and an empty
   *     array when there is none), or null when the handle is 0
   */
  public static native Dystal.ScanData c_Dystal_getData(long handle, int count);

  /**
   * Starts gathering a CAN sensor's readings in the background, on a thread of its own; calling
   * it again does nothing. While it runs, {@link #c_Dystal_getData} reads no frames itself: it
   * returns the newest reading gathered (waiting up to about 24 ms for the first). Never waits.
   *
   * @param handle the sensor's handle
   * @return true when readings are gathered in the background (always on USB, by the reader);
   *     false for the handle 0
   */
  public static native boolean c_Dystal_startGathering(long handle);

  /**
   * Returns the newest reading the library holds, with the time it was received in {@link
   * Dystal.ScanData#timestampUs} (microseconds on the robot's clock). Never waits; on CAN it
   * starts the background gathering first if it does not run yet.
   *
   * @param handle the sensor's handle
   * @param count the most distances to return; 0 or less gives an empty reading, more than 64
   *     counts as 64
   * @return a new reading (sequence 0, an empty array and timestamp 0 before the first), or null
   *     when the handle is 0
   */
  public static native Dystal.ScanData c_Dystal_getLatest(long handle, int count);

  /**
   * Returns whether the sensor's frames (CAN) or bytes (USB) keep arriving: false before the
   * first and after a silence of more than 250 ms. Never waits; on CAN it starts the background
   * gathering first if it does not run yet.
   *
   * @param handle the sensor's handle
   * @return whether the sensor is connected; false for the handle 0
   */
  public static native boolean c_Dystal_isConnected(long handle);

  /**
   * Asks the sensor for its configuration, waiting up to {@code timeoutMs} for the reply. On USB
   * the reader pauses meanwhile, and the reply's text is not read: an answering sensor reports
   * distances enabled, version and CAN ID 0 and both CAN flags false.
   *
   * @param handle the sensor's handle
   * @param timeoutMs the longest wait for the reply, in milliseconds; on USB 0 or less waits
   *     500 ms
   * @return a new configuration, or null when the sensor did not answer (or the handle is 0)
   */
  public static native Dystal.Config c_Dystal_getConfig(long handle, int timeoutMs);

  /**
   * Returns the CAN ID the sensor was created with.
   *
   * @param handle the sensor's handle
   * @return 0 to 63, or -1 for a USB sensor or the handle 0
   */
  public static native int c_Dystal_getCanID(long handle);

  /**
   * The CAN bus the sensor was opened on.
   *
   * @param handle the sensor's handle
   * @return the bus, or -1 for a USB sensor or the handle 0
   */
  public static native int c_Dystal_getCanBus(long handle);

  /**
   * Returns how the sensor is connected.
   *
   * @param handle the sensor's handle
   * @return 0 for CAN, 1 for USB, -1 for the handle 0
   */
  public static native int c_Dystal_getTransport(long handle);
}

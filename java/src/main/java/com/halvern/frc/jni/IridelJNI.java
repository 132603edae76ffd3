package com.halvern.frc.jni;

import com.halvern.frc.Iridel;

/**
 * The raw native methods of the Iridel colour sensor: one per C function {@code c_Iridel_*} of
 * HalvernDriver, with the same name and meaning.
 *
 * <p>Robot programs normally use {@link com.halvern.frc.Iridel} instead. These methods check
 * nothing on the Java side and pass their arguments the way the library receives them:
 *
 * <ul>
 *   <li>A handle is the value {@link #c_Iridel_create} or {@link #c_Iridel_createUsb} returned,
 *       the sensor object's address; 0 means failure. Every method given the handle 0 answers
 *       false, null or -1 without touching a sensor. Any other value must be a live handle:
 *       after {@link #c_Iridel_destroy} it must not be used again.
 *   <li>The commands marked "CAN only" return false at once on a USB sensor.
 *   <li>A command on a CAN sensor waits up to 500 ms for the sensor's reply and returns true
 *       only when the reply reports success.
 * </ul>
 *
 * <p>Loading this class loads the native library {@code HalvernDriver} from {@code
 * java.library.path}; it throws {@link UnsatisfiedLinkError} when the library is not there.
 */
public final class IridelJNI {
  static {
    NativeLibrary.load();
  }

  private IridelJNI() {}

  /**
   * Opens a sensor on the CAN bus.
   *
   * @param canId the sensor's CAN ID, 0 to 63
   * @return the handle, or 0 after the library printed why it failed (an ID out of range, or no
   *     CAN stream session)
   */
  public static native long c_Iridel_create(int canId);

  /**
   * Opens a sensor on one of the robot controller's CAN buses; {@link #c_Iridel_create} is this on
   * bus 0.
   *
   * @param bus the CAN bus: 0 to 5 on WPILib 2027, only 0 on WPILib 2026
   * @param canId the sensor's CAN ID, 0 to 63
   * @return the handle, or 0 after the library printed why it failed (an ID or bus out of range,
   *     or no CAN stream session)
   */
  public static native long c_Iridel_createOnBus(int bus, int canId);

  /**
   * Opens a sensor on a USB serial port and selects its XYZ output.
   *
   * @param path the port's device path, for example from {@link #c_Iridel_findDevicePath}
   * @param sampleTimeMs a sample time in milliseconds to send the sensor; 0 or less sends none
   * @return the handle, or 0 when {@code path} is null or the port cannot be opened
   */
  public static native long c_Iridel_createUsb(String path, int sampleTimeMs);

  /**
   * Finds the device path of a USB serial port.
   *
   * @param port 3 for the second port found, any other value for the first
   * @return the path; {@code "/dev/ttyUSB0"} or {@code "/dev/ttyUSB1"} ({@code "\\.\COM3"} or
   *     {@code "\\.\COM4"} on Windows) when too few ports are found
   */
  public static native String c_Iridel_findDevicePath(int port);

  /**
   * Stops the sensor's reader, closes its port or CAN session and frees it; 0 is ignored.
   *
   * @param handle the sensor's handle
   */
  public static native void c_Iridel_destroy(long handle);

  /**
   * Returns the sensor's latest sample: on USB the newest line it sent, on CAN the colour frame
   * received since the previous call (each frame is returned once).
   *
   * @param handle the sensor's handle
   * @return a new sample, or null when there is none (or the handle is 0)
   */
  public static native Iridel.ColorData c_Iridel_getColor(long handle);

  /**
   * Returns the newest sample the library holds, with the time it was received in {@link
   * Iridel.ColorData#timestampUs} (microseconds on the robot's clock). Never waits: on USB the
   * reader's latest sample, on CAN the newest colour frame received, the same again until a newer
   * one arrives. It takes no frame from {@link #c_Iridel_getColor}, which still returns each
   * frame once.
   *
   * @param handle the sensor's handle
   * @return a new sample, or null before the first one (or when the handle is 0)
   */
  public static native Iridel.ColorData c_Iridel_getLatestColor(long handle);

  /**
   * Returns whether the sensor's colour frames or replies (CAN), or lines (USB), keep arriving:
   * false before the first and after a silence longer than four sample times (at least 100 ms,
   * at most 250 ms; 250 ms while the sample time is not known). Never waits.
   *
   * @param handle the sensor's handle
   * @return whether the sensor is connected; false for the handle 0
   */
  public static native boolean c_Iridel_isConnected(long handle);

  /**
   * Selects the sensor's output format.
   *
   * @param handle the sensor's handle
   * @param format 0 RGB, 1 RAW, 2 SRGB, 3 HEX, 4 XYZ
   * @return false for another number, or when the sensor does not confirm
   */
  public static native boolean c_Iridel_setColorFormat(long handle, int format);

  /**
   * Sets the sensor's sample time.
   *
   * @param handle the sensor's handle
   * @param milliseconds clamped to 0 to 65535
   * @return whether the command was written (USB) or confirmed (CAN)
   */
  public static native boolean c_Iridel_setSampleTimeMs(long handle, int milliseconds);

  /**
   * CAN only: sets the sensor's brightness.
   *
   * @param handle the sensor's handle
   * @param level 0 to 100, clamped
   * @return whether the sensor confirmed
   */
  public static native boolean c_Iridel_setBrightness(long handle, int level);

  /**
   * CAN only: switches the sensor's status LED.
   *
   * @param handle the sensor's handle
   * @param enable sent as 1 for true, 0 for false
   * @param level 0 to 100, clamped
   * @return whether the sensor confirmed
   */
  public static native boolean c_Iridel_setStatusLed(long handle, boolean enable, int level);

  /**
   * CAN only: selects the sensor's measure mode.
   *
   * @param handle the sensor's handle
   * @param mode 0, 1 or 2
   * @param parameter sent in mode 2 only
   * @return false for another mode, or when the sensor does not confirm
   */
  public static native boolean c_Iridel_setMeasureMode(long handle, int mode, float parameter);

  /**
   * CAN only: sends the sensor its Zmm value.
   *
   * @param handle the sensor's handle
   * @param value sent unchanged as a 32-bit float
   * @return whether the sensor confirmed
   */
  public static native boolean c_Iridel_setZmm(long handle, float value);

  /**
   * CAN only: switches the sensor's USB override.
   *
   * @param handle the sensor's handle
   * @param on sent as 1 for true, 0 for false
   * @return whether the sensor confirmed
   */
  public static native boolean c_Iridel_setUsbOverride(long handle, boolean on);

  /**
   * CAN only: gives the sensor a new CAN ID. The handle keeps reporting the ID it was created
   * with.
   *
   * @param handle the sensor's handle
   * @param newId sent as 4 bytes, unchecked
   * @return whether the sensor confirmed
   */
  public static native boolean c_Iridel_setCanId(long handle, int newId);

  /**
   * CAN only: reads one configuration value of the sensor.
   *
   * @param handle the sensor's handle
   * @param key its low 8 bits are sent
   * @param out receives the value, 0 to 4294967295, in element 0 on success
   * @return true when the sensor answered with success; false, leaving {@code out} untouched,
   *     otherwise or when {@code out} is null
   */
  public static native boolean c_Iridel_getConfig(long handle, int key, long[] out);

  /**
   * Returns the CAN ID the sensor was created with.
   *
   * @param handle the sensor's handle
   * @return 0 to 63, or -1 for a USB sensor or the handle 0
   */
  public static native int c_Iridel_getCanID(long handle);

  /**
   * The CAN bus the sensor was opened on.
   *
   * @param handle the sensor's handle
   * @return the bus, or -1 for a USB sensor or the handle 0
   */
  public static native int c_Iridel_getCanBus(long handle);

  /**
   * Returns how the sensor is connected.
   *
   * @param handle the sensor's handle
   * @return 0 for CAN, 1 for USB, -1 for the handle 0
   */
  public static native int c_Iridel_getTransport(long handle);
}

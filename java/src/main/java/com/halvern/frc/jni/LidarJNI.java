package com.halvern.frc.jni;

import com.halvern.frc.Lidar;

/**
 * The raw native methods of the scanning lidar on the robot controller's serial port: one per C
 * function {@code c_Lidar_*} of HalvernDriver, with the same name and meaning.
 *
 * <p>Robot programs normally use {@link com.halvern.frc.Lidar} instead. These methods check
 * nothing on the Java side and pass their arguments the way the library receives them:
 *
 * <ul>
 *   <li>The library drives one such lidar, so no method takes a handle: every call acts on that
 *       one lidar. {@link #c_Lidar_create} opens its port and makes the reader that keeps, for
 *       every whole degree, the angle and distance of the latest sample there; a later create
 *       replaces that reader with a new one and empty tables. Nothing reports a failure: the
 *       library prints a line on standard error instead.
 *   <li>Calls before the first create are safe: {@link #c_Lidar_getData} returns the empty
 *       tables, and settings are kept for the reader that create makes.
 *   <li>The setters store their values unchecked. The filter types are 0 (cluster), 1 (Kalman),
 *       2 (moving average), 3 (median) and 4 (jitter).
 * </ul>
 *
 * <p>Loading this class loads the native library {@code HalvernDriver} from {@code
 * java.library.path}; it throws {@link UnsatisfiedLinkError} when the library is not there.
 */
public final class LidarJNI {
  static {
    NativeLibrary.load();
  }

  private LidarJNI() {}

  /**
   * Opens a serial port of the robot controller at 115200 baud and starts a new reader with
   * empty tables. Every filter is switched off and every filter setting returns to its default,
   * but for the windows, threshold and Kalman settings made before the first create, which its
   * reader keeps. When the port cannot be opened the library prints why, keeps the reader it had (if any), and
   * takes the lidar as scanning: only {@link #c_Lidar_stop} and then {@link #c_Lidar_start} try
   * the port again.
   *
   * @param port the HAL serial port: 0 onboard, 1 MXP, 2 the first USB port, 3 the second
   */
  public static native void c_Lidar_create(int port);

  /**
   * Does nothing: the reader and the port stay as they are until the library is unloaded or
   * {@link #c_Lidar_create} runs again.
   */
  public static native void c_Lidar_destroy();

  /**
   * Opens the port again after {@link #c_Lidar_stop}; the reader resumes. While the lidar is
   * scanning (also after a create whose port could not be opened) the library prints that it
   * already is, and nothing changes.
   */
  public static native void c_Lidar_start();

  /** Closes the port; the tables keep their values and the reader waits for the next start. */
  public static native void c_Lidar_stop();

  /**
   * Returns the latest sample of every degree.
   *
   * @return a new object whose two arrays hold 360 values each: element {@code i} is the angle
   *     (degrees, {@code i} up to {@code i + 1}) and the distance (millimetres) of degree {@code
   *     i}; a distance of -1 marks a sample out of range or a degree without a sample yet, whose
   *     angle is then {@code i}. Null only when the object could not be made.
   */
  public static native Lidar.ScanData c_Lidar_getData();

  /**
   * Switches one filter on and every other off, or switches every filter off.
   *
   * @param type the filter: 0 to 4; any other value changes nothing
   * @param enable true to switch that filter on, false to switch all five off
   */
  public static native void c_Lidar_enableFilter(int type, boolean enable);

  /**
   * Sets the cluster filter: it takes the mean of the first group of at least {@code minPoints}
   * of a degree's latest distances lying within {@code tolerance} of one of them.
   *
   * @param tolerance the largest difference within a group, in millimetres
   * @param minPoints the fewest distances a group needs
   */
  public static native void c_Lidar_clusterConfig(float tolerance, int minPoints);

  /**
   * Sets the Kalman filter's noises and error covariance, which every degree's state starts from;
   * each degree's estimate starts again from 0.
   *
   * @param processNoise the process noise
   * @param measurementNoise the measurement noise
   * @param errorCovariance the error covariance
   */
  public static native void c_Lidar_kalmanConfig(
      float processNoise, float measurementNoise, float errorCovariance);

  /**
   * Sets how many of a degree's latest distances the moving average takes.
   *
   * @param window the number of distances; a degree keeps its latest 10
   */
  public static native void c_Lidar_movingAverageConfig(int window);

  /**
   * Sets how many of a degree's latest distances the median takes.
   *
   * @param window the number of distances; a degree keeps its latest 10
   */
  public static native void c_Lidar_medianConfig(int window);

  /**
   * Sets the jitter filter's threshold: a jump larger than this is held back for one sample.
   *
   * @param threshold the threshold in millimetres
   */
  public static native void c_Lidar_jitterConfig(float threshold);

  /**
   * Copies the tables as {@link #c_Lidar_getData} does, with each degree's sample time ({@code
   * sampleUs}) and the first and last of them ({@code firstPacketUs}, {@code lastPacketUs}),
   * all from one copy. Never waits.
   *
   * @return a new copy, or null when it cannot be made
   */
  public static native Lidar.ScanData c_Lidar_getTimedData();

  /**
   * Returns whether the lidar's packets keep arriving: true while one came within the last 100
   * ms; false after {@link #c_Lidar_stop} and before {@link #c_Lidar_create}. Never waits.
   *
   * @return true while packets arrive
   */
  public static native boolean c_Lidar_isConnected();
}

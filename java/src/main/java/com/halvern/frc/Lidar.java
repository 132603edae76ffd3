package com.halvern.frc;

import static com.halvern.frc.Checks.requireInRange;
import static com.halvern.frc.Checks.requireNotNegativeFinite;

import com.halvern.frc.jni.LidarJNI;
import java.util.Arrays;
import java.util.Objects;
import java.util.Optional;

/**
 * A 360-degree scanning laser range finder on one of the robot controller's serial ports. The
 * library keeps, for every whole degree, the angle and the distance of the latest sample that
 * fell into it; {@link #getData()} copies both tables at once, as often as the robot program
 * likes.
 *
 * <p>Opening a lidar with {@link #Lidar(Port)} opens its port at {@value #BAUD_RATE} baud and
 * starts reading at once: there is no need to call {@link #start()}, which only resumes reading
 * after {@link #stop()}. A background reader of the library decodes the lidar's packets, drops
 * damaged ones, and stores each sample in its degree. A filter can smooth the distances a degree
 * receives: see {@link #enableFilter(FilterType)}.
 *
 * <p>The library drives one such lidar per program. Opening a second {@code Lidar} replaces the
 * first: the first is then stopped and closed, and the new one starts with empty tables, no
 * filter and every setting at its default. {@link #close()} stops the lidar (it closes the
 * port); the library's reader stays, waiting, until the library is unloaded or a new {@code
 * Lidar} replaces it.
 *
 * <p>Failures of the lidar never throw: when the port cannot be opened, the library prints a
 * line saying why, and nothing new is read until a new {@code Lidar} opens the port. An argument
 * outside the range its method documents throws {@link IllegalArgumentException} and changes
 * nothing. Every method but {@link #close()} and {@link #isClosed()} throws {@link
 * IllegalStateException} once the lidar is closed or replaced.
 *
 * <p>The library guards its tables and settings, so {@link #getData()} may be called from any
 * thread while another changes the settings.
 */
public final class Lidar extends LibraryWideDevice {
  /** The number of degrees, and so of entries, in each table of {@link ScanData}. */
  public static final int DEGREES = 360;
  /** The distance of a sample out of range, and of a degree that has had no sample yet. */
  public static final float NO_DISTANCE = -1.0f;
  /** The shortest distance in range, in millimetres. */
  public static final float MIN_RANGE_MM = 120.0f;
  /** The longest distance in range, in millimetres. */
  public static final float MAX_RANGE_MM = 8000.0f;
  /** The speed of the serial line, in bits a second. */
  public static final int BAUD_RATE = 115200;
  /**
   * How many of a degree's latest distances the library keeps for the filters; the largest
   * window and the largest cluster size.
   */
  public static final int HISTORY_LENGTH = 10;
  /** The cluster filter's tolerance after opening, in millimetres. */
  public static final float DEFAULT_CLUSTER_TOLERANCE_MM = 50.0f;
  /** The cluster filter's minimum group size after opening. */
  public static final int DEFAULT_CLUSTER_MIN_POINTS = 5;
  /** The Kalman filter's process noise after opening. */
  public static final float DEFAULT_PROCESS_NOISE = 0.00001f;
  /** The Kalman filter's measurement noise after opening. */
  public static final float DEFAULT_MEASUREMENT_NOISE = 0.1f;
  /** The Kalman filter's error covariance after opening. */
  public static final float DEFAULT_ERROR_COVARIANCE = 1.0f;
  /** The moving average's and the median's window after opening. */
  public static final int DEFAULT_WINDOW = 5;
  /** The jitter filter's threshold after opening, in millimetres. */
  public static final float DEFAULT_JITTER_THRESHOLD_MM = 50.0f;

  /** The robot controller's serial ports. */
  public enum Port {
    /** The onboard RS-232 port. */
    ONBOARD(0),
    /** The serial pins of the MXP expansion port. */
    MXP(1),
    /** The first USB serial port. */
    USB1(2),
    /** The second USB serial port. */
    USB2(3);

    private final int value;

    Port(int value) {
      this.value = value;
    }

    /**
     * Returns the port's number as the robot controller's HAL knows it, 0 to 3.
     *
     * @return the HAL's port number, 0 to 3
     */
    public int value() {
      return value;
    }
  }

  /** The filters that can smooth each degree's distances; one at most is on at a time. */
  public enum FilterType {
    /**
     * The mean of the first group of a degree's latest distances that lie within a tolerance of
     * one of them, when the group is large enough; else the newest distance. See {@link
     * Lidar#configureCluster(float, int)}.
     */
    CLUSTER(0),
    /**
     * A Kalman estimate over a degree's latest distances, each degree with a state of its own. See
     * {@link Lidar#configureKalman(float, float, float)}.
     */
    KALMAN(1),
    /**
     * The mean of a degree's latest distances. See {@link Lidar#setMovingAverageWindow(int)}.
     */
    MOVING_AVERAGE(2),
    /**
     * The median of a degree's latest distances (the upper middle one of an even count). See
     * {@link Lidar#setMedianWindow(int)}.
     */
    MEDIAN(3),
    /**
     * The newest distance, except that a jump from the one before larger than a threshold is
     * held back for one sample. See {@link Lidar#setJitterThreshold(float)}.
     */
    JITTER(4);

    private final int code;

    FilterType(int code) {
      this.code = code;
    }

    /**
     * Returns the code the library knows the filter by, 0 to 4.
     *
     * @return the filter's code, 0 to 4
     */
    public int code() {
      return code;
    }
  }

  /**
   * The latest sample of every degree: element {@code i} of both arrays belongs to degree {@code
   * i}. Both arrays hold {@value Lidar#DEGREES} values.
   *
   * <p>{@link Lidar#getData()} returns a new object every time; its fields belong to the caller.
   */
  public static class ScanData {
    /**
     * The angles in degrees: {@code angle[i]} is the angle of degree {@code i}'s latest sample,
     * from {@code i} up to (not including) {@code i + 1}, or {@code i} itself while the degree
     * has had no sample.
     */
    public float[] angle;
    /**
     * The distances in millimetres, {@value Lidar#MIN_RANGE_MM} to {@value Lidar#MAX_RANGE_MM}
     * (the filter's output while one is on); {@value Lidar#NO_DISTANCE} for a sample out of
     * range and for a degree that has had no sample yet.
     */
    public float[] distance;
    /**
     * When each degree's sample arrived, in microseconds on the robot's clock (the time base of
     * {@code Timer.getFPGATimestamp()}); 0 while the degree has had no sample.
     */
    public long[] sampleUs = new long[DEGREES];
    /** The oldest of {@link #sampleUs}: the earliest packet whose data the tables hold; 0 if none. */
    public long firstPacketUs;
    /** The newest of {@link #sampleUs}: the latest packet stored; 0 if none. */
    public long lastPacketUs;

    /**
     * The tables before any sample: {@code angle[i]} is {@code i} and every distance is {@value
     * Lidar#NO_DISTANCE}.
     */
    public ScanData() {
      angle = new float[DEGREES];
      distance = new float[DEGREES];
      for (int degree = 0; degree < DEGREES; ++degree) {
        angle[degree] = degree;
      }
      Arrays.fill(distance, NO_DISTANCE);
    }

    /**
     * Tables with the given values.
     *
     * @param angle the angles, copied
     * @param distance the distances, copied
     * @throws NullPointerException if an array is null
     * @throws IllegalArgumentException if an array does not hold {@value Lidar#DEGREES} values
     */
    public ScanData(float[] angle, float[] distance) {
      Objects.requireNonNull(angle, "angle");
      Objects.requireNonNull(distance, "distance");
      if (angle.length != DEGREES || distance.length != DEGREES) {
        throw new IllegalArgumentException("Arrays of " + angle.length + " angles and "
            + distance.length + " distances; each needs " + DEGREES);
      }
      this.angle = angle.clone();
      this.distance = distance.clone();
    }

    /**
     * Returns the number of degrees whose distance is in range (not {@value #NO_DISTANCE}).
     *
     * @return 0 to {@value Lidar#DEGREES}
     */
    public int inRangeCount() {
      int count = 0;
      for (float value : distance) {
        if (value != NO_DISTANCE) {
          ++count;
        }
      }
      return count;
    }

    /** Two scans are equal when all their values are, comparing them as {@link Float#equals}. */
    @Override
    public boolean equals(Object other) {
      return other instanceof ScanData that && that.getClass() == getClass()
          && Arrays.equals(angle, that.angle) && Arrays.equals(distance, that.distance);
    }

    /** A hash code consistent with {@link #equals(Object)}. */
    @Override
    public int hashCode() {
      return 31 * Arrays.hashCode(angle) + Arrays.hashCode(distance);
    }

    /**
     * The number of degrees and how many of them have a distance in range, for example {@code
     * ScanData[degrees=360, inRange=297]}; the tables' values are left out.
     */
    @Override
    public String toString() {
      return "ScanData[degrees=" + (angle == null ? "null" : String.valueOf(angle.length))
          + ", inRange=" + (distance == null ? "null" : String.valueOf(inRangeCount())) + "]";
    }
  }

  private static final Holder LIDAR = new Holder(); // the lidar the library drives

  private boolean scanning;
  private FilterType filter; // null: no filter

  /**
   * Opens the lidar on a serial port of the robot controller at {@value #BAUD_RATE} baud and
   * starts reading. The tables start empty (as {@code new ScanData()}), with no filter on and
   * every setting at its default.
   *
   * <p>A {@code Lidar} opened before, and not closed, is replaced: it is stopped (its port is
   * closed) and closed. When the port cannot be opened the library prints why, the tables stay
   * as they were, and nothing new is read; open a new {@code Lidar} to try again.
   *
   * @param port the serial port the lidar is wired to
   * @throws NullPointerException if {@code port} is null
   */
  public Lidar(Port port) {
    super(LIDAR, "Lidar on the " + Objects.requireNonNull(port, "port") + " serial port");
    takeOver(() -> {
      LidarJNI.c_Lidar_create(port.value());
      scanning = true;
    });
  }

  /**
   * Stops the lidar: the library closes its port. Closing again, or closing a lidar that a newer
   * one replaced, does nothing.
   *
   * <p>The library's reader stays, waiting, until the library is unloaded or a new {@code
   * Lidar} is opened, which replaces it.
   */
  @Override
  public void close() {
    super.close();
  }

  @Override
  void closeDevice() {
    onReplaced();
    LidarJNI.c_Lidar_destroy();
  }

  /** Closes the port when it is open. */
  @Override
  void onReplaced() {
    if (scanning) {
      LidarJNI.c_Lidar_stop();
    }
    scanning = false;
  }

  // --- Reading ---------------------------------------------------------------------------------

  /**
   * Opens the port again after {@link #stop()}, and reading resumes into the tables as they
   * were. On a lidar already scanning the call changes nothing (the library prints so).
   */
  public void start() {
    whileOpen(() -> {
        LidarJNI.c_Lidar_start();
        scanning = true;
    });
  }

  /** Closes the port: reading pauses, and the tables keep their values until {@link #start()}. */
  public void stop() {
    whileOpen(() -> {
        LidarJNI.c_Lidar_stop();
        scanning = false;
    });
  }

  /**
   * Returns whether the lidar's packets keep arriving: true while one came within the last 100
   * ms (a lidar sends one every few milliseconds); false once stopped. Never waits.
   *
   * @return true while packets arrive
   */
  public boolean isConnected() {
    checkOpen();
    return LidarJNI.c_Lidar_isConnected();
  }

  /**
   * Returns whether the lidar was opened or {@link #start() started} and not {@link #stop()
   * stopped} since. This is what the robot program asked for: whether the port opened shows in
   * {@link #getData()} and the library's messages.
   *
   * @return true from opening or {@link #start()} until {@link #stop()}
   */
  public boolean isScanning() {
    return getWhileOpen(() -> scanning);
  }

  /**
   * Returns the latest sample of every degree, at once. A degree's entry changes whenever a
   * sample falls into it, so the tables mix samples of the current and earlier revolutions.
   *
   * @return both tables, {@value #DEGREES} values each
   */
  public ScanData getData() {
    checkOpen();
    ScanData scan = LidarJNI.c_Lidar_getTimedData();
    if (scan == null) {
      throw new IllegalStateException(description() + ": the tables could not be copied");
    }
    return scan;
  }

  // --- Filters ---------------------------------------------------------------------------------

  /**
   * Switches a filter on, and whichever was on before off. From now on the library keeps each
   * degree's latest {@value #HISTORY_LENGTH} distances and stores the filter's output over them
   * instead of the measured distance. Distances out of range enter the history as {@value
   * #NO_DISTANCE}.
   *
   * @param type the filter
   * @throws NullPointerException if {@code type} is null
   */
  public void enableFilter(FilterType type) {
    Objects.requireNonNull(type, "type");
    whileOpen(() -> {
        LidarJNI.c_Lidar_enableFilter(type.code(), true);
        filter = type;
    });
  }

  /** Switches the filter off: each degree stores its measured distances again. */
  public void disableFilters() {
    whileOpen(() -> {
        LidarJNI.c_Lidar_enableFilter(FilterType.CLUSTER.code(), false);
        filter = null;
    });
  }

  /**
   * Returns the filter that is on, or empty when none is.
   *
   * @return the filter, or empty
   */
  public Optional<FilterType> getFilter() {
    return getWhileOpen(() -> Optional.ofNullable(filter));
  }

  /**
   * Sets the cluster filter: for each of a degree's latest distances, oldest first, it gathers
   * that distance and the later ones within {@code toleranceMm} of it; the first group of at
   * least {@code minPoints} gives its mean. When no group is that large the newest distance
   * passes. The defaults are {@value #DEFAULT_CLUSTER_TOLERANCE_MM} mm and {@value
   * #DEFAULT_CLUSTER_MIN_POINTS}.
   *
   * @param toleranceMm the largest difference within a group, in millimetres, 0 or more
   * @param minPoints the fewest distances a group needs, 1 to {@value #HISTORY_LENGTH}
   * @throws IllegalArgumentException if an argument is out of range
   */
  public void configureCluster(float toleranceMm, int minPoints) {
    requireNotNegativeFinite(toleranceMm, "Cluster tolerance");
    requireInRange(minPoints, 1, HISTORY_LENGTH, "Cluster size");
    whileOpen(() -> LidarJNI.c_Lidar_clusterConfig(toleranceMm, minPoints));
  }

  /**
   * Sets the Kalman filter that every degree's state starts from, and starts every degree's
   * estimate again from 0. The defaults are {@value #DEFAULT_PROCESS_NOISE}, {@value
   * #DEFAULT_MEASUREMENT_NOISE} and {@value #DEFAULT_ERROR_COVARIANCE}. Each degree keeps an
   * estimate of its own.
   *
   * @param processNoise the process noise, 0 or more
   * @param measurementNoise the measurement noise, more than 0
   * @param errorCovariance the initial error covariance, 0 or more
   * @throws IllegalArgumentException if an argument is out of range or not a number
   */
  public void configureKalman(float processNoise, float measurementNoise, float errorCovariance) {
    requireNotNegativeFinite(processNoise, "Process noise");
    requireNotNegativeFinite(measurementNoise, "Measurement noise");
    if (measurementNoise == 0.0f) {
      throw new IllegalArgumentException("Measurement noise 0.0 is not positive");
    }
    requireNotNegativeFinite(errorCovariance, "Error covariance");
    whileOpen(() -> LidarJNI.c_Lidar_kalmanConfig(processNoise, measurementNoise, errorCovariance));
  }

  /**
   * Sets how many of a degree's latest distances the moving average takes; the default is
   * {@value #DEFAULT_WINDOW}.
   *
   * @param window the number of distances, 1 to {@value #HISTORY_LENGTH}
   * @throws IllegalArgumentException if {@code window} is out of range
   */
  public void setMovingAverageWindow(int window) {
    requireInRange(window, 1, HISTORY_LENGTH, "Moving average window");
    whileOpen(() -> LidarJNI.c_Lidar_movingAverageConfig(window));
  }

  /**
   * Sets how many of a degree's latest distances the median takes; the default is {@value
   * #DEFAULT_WINDOW}.
   *
   * @param window the number of distances, 1 to {@value #HISTORY_LENGTH}
   * @throws IllegalArgumentException if {@code window} is out of range
   */
  public void setMedianWindow(int window) {
    requireInRange(window, 1, HISTORY_LENGTH, "Median window");
    whileOpen(() -> LidarJNI.c_Lidar_medianConfig(window));
  }

  /**
   * Sets the jitter filter's threshold: a jump from a degree's previous distance larger than
   * this is held back for one sample, so a distance that stays at its new level passes on the
   * next sample. The default is {@value #DEFAULT_JITTER_THRESHOLD_MM} mm.
   *
   * @param thresholdMm the threshold in millimetres, 0 or more
   * @throws IllegalArgumentException if {@code thresholdMm} is negative or not a number
   */
  public void setJitterThreshold(float thresholdMm) {
    requireNotNegativeFinite(thresholdMm, "Jitter threshold");
    whileOpen(() -> LidarJNI.c_Lidar_jitterConfig(thresholdMm));
  }
}

package com.halvern.frc;

import com.halvern.frc.jni.LidarMiniJNI;
import java.util.Arrays;
import java.util.HexFormat;
import java.util.Objects;

/**
 * A LidarMini 360-degree scanning laser range finder on a USB serial port. While it scans, it
 * turns {@value #MIN_FREQUENCY_HZ} to {@value #MAX_FREQUENCY_HZ} times a second and measures
 * about 4,000 points a second, each an angle, a distance and an intensity.
 *
 * <p>Open a lidar with {@link #LidarMini(int)}, which finds its port by itself, and call {@link
 * #start()}; {@link #getData()} then returns the latest whole revolution at once, as often as the
 * robot program likes. Close the object (or use try-with-resources) when the lidar is no longer
 * needed: that stops reading and releases the port.
 *
 * <p>Opening takes about {@value #CREATE_MS} ms and starting about {@value #START_MS} ms, so do
 * both before the robot program's loop starts. {@link #getInfo()} and {@link #getHealth()} ask
 * the lidar and wait for its answer, so do not call them in every loop either.
 *
 * <p>Failures of the lidar never throw: the library prints a line saying what went wrong, and
 * the call answers an all-zero record or an empty revolution. Every method but {@link #close()}
 * and {@link #isClosed()} throws {@link IllegalStateException} once the lidar is closed.
 *
 * <p>Use a lidar from one thread, as a robot program's main loop does: the library does not
 * guard calls on one lidar against one another (it guards the revolutions its own scan thread
 * hands over).
 */
public final class LidarMini extends HandleDevice {
  /** The port selector of {@link #LidarMini(int)} that picks the first serial port found. */
  public static final int FIRST_PORT = Checks.SERIAL_FIRST_PORT;
  /** The port selector of {@link #LidarMini(int)} that picks the second serial port found. */
  public static final int SECOND_PORT = Checks.SERIAL_SECOND_PORT;
  /** The lowest scan frequency, in revolutions a second; also the frequency after opening. */
  public static final int MIN_FREQUENCY_HZ = 6;
  /** The highest scan frequency, in revolutions a second. */
  public static final int MAX_FREQUENCY_HZ = 12;
  /** About how long opening a lidar takes, in milliseconds. */
  public static final int CREATE_MS = 200;
  /** About how long {@link #start()} takes, in milliseconds. */
  public static final int START_MS = 300;
  /** The distance of a point the lidar could not measure. */
  public static final float MISSING_DISTANCE = -1.0f;
  /** The number of bytes in a lidar's serial number. */
  public static final int SERIAL_LENGTH = 16;

  /**
   * The lidar's identity.
   *
   * <p>A record whose fields are all 0 (equal to {@code new LidarInfo()}) means that the lidar
   * did not answer, or not in full.
   */
  public static class LidarInfo {
    /** The model number, 0 to 255. */
    public int model;
    /** The firmware version, 0 to 65535. */
    public int firmwareVersion;
    /** The hardware version, 0 to 255. */
    public int hardwareVersion;
    /**
     * The serial number: {@value LidarMini#SERIAL_LENGTH} bytes exactly as the lidar sent them,
     * not a text ending in a zero byte.
     */
    public byte[] serialnum;

    /** An identity with every number 0 and {@value LidarMini#SERIAL_LENGTH} zero serial bytes. */
    public LidarInfo() {
      serialnum = new byte[SERIAL_LENGTH];
    }

    /**
     * An identity with the given fields.
     *
     * @param model the model number
     * @param firmwareVersion the firmware version
     * @param hardwareVersion the hardware version
     * @param serialnum the serial number's {@value LidarMini#SERIAL_LENGTH} bytes, copied
     * @throws NullPointerException if {@code serialnum} is null
     * @throws IllegalArgumentException if {@code serialnum} is not {@value
     *     LidarMini#SERIAL_LENGTH} bytes long
     */
    public LidarInfo(int model, int firmwareVersion, int hardwareVersion, byte[] serialnum) {
      Objects.requireNonNull(serialnum, "serialnum");
      if (serialnum.length != SERIAL_LENGTH) {
        throw new IllegalArgumentException(
            "Serial number of " + serialnum.length + " bytes; it has " + SERIAL_LENGTH);
      }
      this.model = model;
      this.firmwareVersion = firmwareVersion;
      this.hardwareVersion = hardwareVersion;
      this.serialnum = serialnum.clone();
    }

    /** Two identities are equal when their numbers and all their serial bytes are. */
    @Override
    public boolean equals(Object other) {
      return other instanceof LidarInfo that && that.getClass() == getClass()
          && model == that.model
          && firmwareVersion == that.firmwareVersion
          && hardwareVersion == that.hardwareVersion
          && Arrays.equals(serialnum, that.serialnum);
    }

    /** A hash code consistent with {@link #equals(Object)}. */
    @Override
    public int hashCode() {
      return 31 * Objects.hash(model, firmwareVersion, hardwareVersion)
          + Arrays.hashCode(serialnum);
    }

    /**
     * For example {@code LidarInfo[model=40, firmwareVersion=261, hardwareVersion=2,
     * serialnum=48414c5645524e2d4c4d2d3030303432]}, the serial bytes in hexadecimal.
     */
    @Override
    public String toString() {
      return "LidarInfo[model=" + model
          + ", firmwareVersion=" + firmwareVersion
          + ", hardwareVersion=" + hardwareVersion
          + ", serialnum=" + (serialnum == null ? "null" : HexFormat.of().formatHex(serialnum))
          + "]";
    }
  }

  /**
   * The lidar's health as it reports it.
   *
   * <p>A lidar that did not answer gives both fields 0, the same as a lidar reporting status 0
   * without an error code; {@link LidarMini#getInfo()} tells whether the lidar answers at all.
   */
  public static class LidarHealth {
    /** The status, 0 to 255. */
    public int status;
    /** The error code, 0 to 65535. */
    public int errorCode;

    /** A health record with both fields 0. */
    public LidarHealth() {}

    /**
     * A health record with the given fields.
     *
     * @param status the status
     * @param errorCode the error code
     */
    public LidarHealth(int status, int errorCode) {
      this.status = status;
      this.errorCode = errorCode;
    }

    /** Two health records are equal when both fields are. */
    @Override
    public boolean equals(Object other) {
      return other instanceof LidarHealth that && that.getClass() == getClass()
          && status == that.status && errorCode == that.errorCode;
    }

    /** A hash code consistent with {@link #equals(Object)}. */
    @Override
    public int hashCode() {
      return 31 * status + errorCode;
    }

    /** For example {@code LidarHealth[status=0, errorCode=0]}. */
    @Override
    public String toString() {
      return "LidarHealth[status=" + status + ", errorCode=" + errorCode + "]";
    }
  }

  /**
   * One whole revolution: its points in the order the lidar measured them, point {@code i}
   * being {@code angle[i]}, {@code distance[i]} and {@code intensity[i]}. The three arrays are
   * equally long.
   *
   * <p>{@link LidarMini#getData()} returns a new object every time; its fields belong to the
   * caller.
   */
  public static class ScanData {
    /** The points' angles in degrees, from 0 up to (not including) 360. */
    public float[] angle;
    /**
     * The points' distances in metres, 0.05 to 12; {@value LidarMini#MISSING_DISTANCE} for a
     * point the lidar could not measure (it marked it invalid, or it was out of range).
     */
    public float[] distance;
    /** The points' intensities, the strength of their returns, 0 to 255. */
    public float[] intensity;
    /**
     * When the revolution began, in nanoseconds of the library's monotonic clock; 0 for an empty
     * revolution. Only differences between timestamps mean anything: a new value means a new
     * revolution.
     */
    public long timestamp;
    /**
     * When the revolution's first packet arrived, in microseconds on the robot's clock (the time
     * base of {@code Timer.getFPGATimestamp()}); 0 for an empty revolution.
     */
    public long firstPacketUs;
    /** When its last packet arrived, on the same clock; 0 for an empty revolution. */
    public long lastPacketUs;

    /** An empty revolution: timestamp 0 and no points. */
    public ScanData() {
      angle = new float[0];
      distance = new float[0];
      intensity = new float[0];
    }

    /**
     * A revolution with the given fields.
     *
     * @param timestamp when it began
     * @param angle the angles, copied
     * @param distance the distances, copied
     * @param intensity the intensities, copied
     * @throws NullPointerException if an array is null
     * @throws IllegalArgumentException if the arrays are not equally long
     */
    public ScanData(long timestamp, float[] angle, float[] distance, float[] intensity) {
      Objects.requireNonNull(angle, "angle");
      Objects.requireNonNull(distance, "distance");
      Objects.requireNonNull(intensity, "intensity");
      if (distance.length != angle.length || intensity.length != angle.length) {
        throw new IllegalArgumentException("Arrays of " + angle.length + " angles, "
            + distance.length + " distances and " + intensity.length + " intensities");
      }
      this.timestamp = timestamp;
      this.angle = angle.clone();
      this.distance = distance.clone();
      this.intensity = intensity.clone();
    }

    /**
     * Returns the number of points: the length of {@link #angle}.
     *
     * @return the number of points, 0 when the revolution is empty
     */
    public int size() {
      return angle.length;
    }

    /**
     * Two revolutions are equal when their timestamps and all their points are, comparing
     * values as {@link Float#equals}.
     */
    @Override
    public boolean equals(Object other) {
      return other instanceof ScanData that && that.getClass() == getClass()
          && timestamp == that.timestamp
          && Arrays.equals(angle, that.angle)
          && Arrays.equals(distance, that.distance)
          && Arrays.equals(intensity, that.intensity);
    }

    /** A hash code consistent with {@link #equals(Object)}. */
    @Override
    public int hashCode() {
      int hash = Long.hashCode(timestamp);
      hash = 31 * hash + Arrays.hashCode(angle);
      hash = 31 * hash + Arrays.hashCode(distance);
      return 31 * hash + Arrays.hashCode(intensity);
    }

    /**
     * The timestamp and the number of points, for example {@code ScanData[timestamp=81234567890,
     * points=667]}; a revolution's hundreds of values are left out.
     */
    @Override
    public String toString() {
      return "ScanData[timestamp=" + timestamp
          + ", points=" + (angle == null ? "null" : String.valueOf(angle.length)) + "]";
    }
  }

  private boolean scanning;

  /**
   * Opens a lidar on a USB serial port and tells it to stop scanning, in case an earlier program
   * left it scanning. This takes about {@value #CREATE_MS} ms.
   *
   * <p>The port is found by the library's device search: on Linux the {@code /dev/ttyUSB*} and
   * {@code /dev/ttyACM*} ports, on Windows the COM ports, ordered by path. When too few ports are
   * found it tries {@code /dev/ttyUSB0} or {@code /dev/ttyUSB1} ({@code \\.\COM3} or {@code
   * \\.\COM4} on Windows).
   *
   * @param port {@link #SECOND_PORT} (3) for the second port found; any other value, such as
   *     {@link #FIRST_PORT}, for the first
   * @throws IllegalStateException if the port could not be opened (the library prints why)
   */
  public LidarMini(int port) {
    super("LidarMini on port " + port);
    open(LidarMiniJNI.c_LidarMini_create(port));
  }

  /**
   * Stops reading and releases the port. Closing again does nothing.
   *
   * <p>Nothing is sent to the lidar: one that is scanning goes on turning until it is stopped
   * or opened again. Call {@link #stop()} first to stop it.
   */
  @Override
  public void close() {
    super.close();
  }

  @Override
  void destroy(long handle) {
    LidarMiniJNI.c_LidarMini_destroy(handle);
  }

  @Override
  void afterClose() {
    scanning = false;
  }

  // --- Scanning --------------------------------------------------------------------------------

  /**
   * Tells the lidar to scan and starts gathering its revolutions. This takes about {@value
   * #START_MS} ms; the first whole revolution follows within about half a second, once the next
   * revolution has begun.
   *
   * <p>A lidar that sends nothing (without power, or not a lidar) scans all the same: the
   * library prints a warning, and {@link #getData()} stays empty. On a lidar already scanning the
   * call changes nothing (the library prints so).
   */
  public void start() {
    LidarMiniJNI.c_LidarMini_start(openHandle());
    scanning = true;
  }

  /**
   * Tells the lidar to stop scanning and stops gathering. {@link #getData()} is empty from now
   * on, until the first whole revolution after the next {@link #start()}.
   */
  public void stop() {
    LidarMiniJNI.c_LidarMini_stop(openHandle());
    scanning = false;
  }

  /**
   * Returns whether {@link #start()} has been called since the lidar was opened or last {@link
   * #stop() stopped}. This is what the robot program asked for: whether the lidar streams shows
   * in {@link #getData()}.
   *
   * @return true from {@link #start()} until {@link #stop()}
   */
  public boolean isScanning() {
    openHandle();
    return scanning;
  }

  /**
   * Returns the latest whole revolution, at once. A revolution is handed over when the next one
   * begins, so the revolution being measured is never returned, and the same one is returned
   * again until the next is complete: compare {@linkplain ScanData#timestamp timestamps} to tell.
   *
   * @return the revolution; empty, with timestamp 0, while not scanning and until the first
   *     whole revolution after {@link #start()}
   */
  public ScanData getData() {
    return LidarMiniJNI.c_LidarMini_getDataTimed(openHandle());
  }

  /**
   * Returns whether the lidar's scan packets keep arriving: true while scanning and a packet
   * came within the last 100 ms (the lidar sends one about every 10 ms); false while not
   * scanning. Never waits.
   *
   * @return true while packets arrive
   */
  public boolean isConnected() {
    return LidarMiniJNI.c_LidarMini_isConnected(openHandle());
  }

  // --- Scan frequency --------------------------------------------------------------------------

  /**
   * Raises the scan frequency, up to {@value #MAX_FREQUENCY_HZ} Hz. The library counts the
   * frequency itself, from {@value #MIN_FREQUENCY_HZ} Hz at opening, and never reads it back
   * from the lidar. A step that would go above {@value #MAX_FREQUENCY_HZ} Hz is refused: the
   * library prints so and sends nothing. Faster revolutions hold fewer points.
   *
   * @param big true for a step of 1 Hz, false for 0.1 Hz
   */
  public void increaseFrequency(boolean big) {
    LidarMiniJNI.c_LidarMini_increaseFrequency(openHandle(), big);
  }

  /**
   * Lowers the scan frequency, down to {@value #MIN_FREQUENCY_HZ} Hz. As with {@link
   * #increaseFrequency(boolean)}, the library counts the frequency; a step that would go below
   * {@value #MIN_FREQUENCY_HZ} Hz is refused: the library prints so and sends nothing.
   *
   * @param big true for a step of 1 Hz, false for 0.1 Hz
   */
  public void decreaseFrequency(boolean big) {
    LidarMiniJNI.c_LidarMini_decreaseFrequency(openHandle(), big);
  }

  // --- Identity and health ---------------------------------------------------------------------

  /**
   * Asks the lidar for its identity and waits for the answer: about 2 s when the lidar does not
   * answer, up to about 4 s when it stops halfway.
   *
   * <p>Best called while not scanning: while the lidar scans, its scan packets compete with the
   * answer for the port, and the answer is often lost.
   *
   * @return the identity; every field 0 (equal to {@code new LidarInfo()}) when the lidar did not
   *     answer in full
   */
  public LidarInfo getInfo() {
    return LidarMiniJNI.c_LidarMini_getInfo(openHandle());
  }

  /**
   * Asks the lidar for its health and waits for the answer, as long as {@link #getInfo()} does.
   *
   * <p>Best called while not scanning, as {@link #getInfo()} is.
   *
   * @return the health; both fields 0 when the lidar did not answer in full, as when it reports
   *     status 0 without an error code
   */
  public LidarHealth getHealth() {
    return LidarMiniJNI.c_LidarMini_getHealth(openHandle());
  }
}

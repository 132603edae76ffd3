package com.halvern.frc;

import static com.halvern.frc.Checks.requireInRange;
import static com.halvern.frc.Checks.requireNotNegative;

import com.halvern.frc.jni.DystalJNI;
import java.util.Arrays;
import java.util.Objects;
import java.util.Optional;

/**
 * A Dystal multi-zone distance sensor, on the robot's CAN bus or on a USB serial port. One
 * reading holds up to {@value #MAX_DISTANCES} distances, one per zone of an 8x8 grid.
 *
 * <p>Open a CAN sensor with {@link #Dystal(int)} and a USB sensor with {@link #Dystal(String,
 * int)}; {@link #findDevicePath(int)} finds the port of a USB sensor. Close the object (or use
 * try-with-resources) when the sensor is no longer needed: that stops reading and releases the
 * port or the CAN session.
 *
 * <p>Readings: {@link #getData(int)} returns the newest reading with the time it was received,
 * and {@link #isConnected()} whether the sensor's readings keep arriving. Both return at once,
 * from what the library holds: a USB sensor's reader, and a CAN sensor's background gathering
 * (started when the object is made: a thread per sensor that reads the chunk frames as they
 * arrive), keep the newest reading there. {@link #getConfig(int)} waits for the sensor's reply:
 * it is not for the robot program's periodic loop. Distances are passed through in the sensor's
 * unit, millimetres.
 *
 * <p>An argument outside the range its method documents throws {@link IllegalArgumentException}
 * and sends nothing. Every method but {@link #close()} and {@link #isClosed()} throws {@link
 * IllegalStateException} once the sensor is closed.
 *
 * <p>Use a sensor from one thread, as a robot program's main loop does: the library does not
 * guard calls on one sensor against one another.
 */
public final class Dystal extends HandleDevice {
  /**
   * The CAN bus a device is opened on when its constructor names none. WPILib 2027's robot
   * controller has buses 0 to 5; WPILib 2026 has only bus 0.
   */
  public static final int DEFAULT_CAN_BUS = Checks.DEFAULT_CAN_BUS;
  /** The lowest CAN ID a sensor can have. */
  public static final int MIN_CAN_ID = 0;
  /** The highest CAN ID a sensor can have. */
  public static final int MAX_CAN_ID = 63;
  /** The most distances one reading holds: an 8x8 grid of zones. */
  public static final int MAX_DISTANCES = 64;
  /** The distance of a zone for which nothing was received. */
  public static final int MISSING_DISTANCE = -1;
  /**
   * How long the raw {@code c_Dystal_getData} gathers a CAN sensor's frames, in milliseconds, when
   * nothing gathers them in the background. This class gathers in the background: {@link
   * #getData(int)} never waits.
   */
  public static final int CAN_GATHER_MS = 24;
  /** A sensor silent for longer than this reads disconnected, in milliseconds. */
  public static final int CONNECTION_SILENCE_MS = 250;
  /** How long {@link #getConfig()} waits for a CAN sensor's reply, in milliseconds. */
  public static final int CONFIG_TIMEOUT_MS = 500;
  /** The port selector of {@link #findDevicePath(int)} that picks the first port found. */
  public static final int FIRST_PORT = Checks.SERIAL_FIRST_PORT;
  /** The port selector of {@link #findDevicePath(int)} that picks the second port found. */
  public static final int SECOND_PORT = Checks.SERIAL_SECOND_PORT;

  /** How a sensor is connected. */
  public enum Transport {
    /** On the robot's CAN bus. */
    CAN,
    /** On a USB serial port. */
    USB
  }

  /**
   * One reading: the distances of the sensor's zones, in the order the sensor sends them.
   *
   * <p>{@link Dystal#getData(int)} returns a new object every time; its fields belong to the
   * caller.
   */
  public static class ScanData {
    /**
     * The sequence number of the sensor's frame the distances come from, 0 to 255; it wraps
     * around from 255 to 0. 0 in an empty reading.
     */
    public int sequence;
    /**
     * The distances in millimetres, as many as the reading holds (empty before the first
     * reading). {@value Dystal#MISSING_DISTANCE} marks a zone for which nothing was received, or
     * that the sensor reported as 65535. The sensor sends 16-bit values, passed as signed: one
     * above 32767 reads negative (40000 reads -25536).
     */
    public int[] distance;
    /**
     * When the reading was received, in microseconds on the robot's clock (the time base of
     * {@code RobotController.getFPGATime()}): on CAN the stamp of the frame that completed it, on
     * USB the moment its last bytes arrived. 0 in an empty reading.
     */
    public long timestampUs;

    /** An empty reading: sequence 0 and no distances. */
    public ScanData() {
      distance = new int[0];
    }

    /**
     * A reading with the given fields.
     *
     * @param sequence the sequence number
     * @param distance the distances, copied
     * @throws NullPointerException if {@code distance} is null
     */
    public ScanData(int sequence, int... distance) {
      this.sequence = sequence;
      this.distance = Objects.requireNonNull(distance, "distance").clone();
    }

    /**
     * Two readings are equal when their sequences and all their distances are; the time they were
     * received is not compared.
     */
    @Override
    public boolean equals(Object other) {
      return other instanceof ScanData that && that.getClass() == getClass()
          && sequence == that.sequence && Arrays.equals(distance, that.distance);
    }

    /** A hash code consistent with {@link #equals(Object)}. */
    @Override
    public int hashCode() {
      return 31 * sequence + Arrays.hashCode(distance);
    }

    /** For example {@code ScanData[sequence=12, distance=[250, -1, 1200]]}. */
    @Override
    public String toString() {
      return "ScanData[sequence=" + sequence + ", distance=" + Arrays.toString(distance) + "]";
    }
  }

  /**
   * The sensor's configuration as it reports it.
   *
   * <p>A USB sensor reports only that distances are enabled: the library does not read its
   * reply's text, so an answering USB sensor has version and CAN ID 0, distances enabled, and
   * both CAN flags false.
   */
  public static class Config {
    /** The configuration's version, 0 to 255. */
    public int version;
    /** Whether the sensor measures distances. */
    public boolean distanceEnabled;
    /** Whether the sensor uses CAN FD. */
    public boolean canFdEnabled;
    /** Whether the sensor switches the bit rate within CAN FD frames. */
    public boolean canBrsEnabled;
    /** The CAN ID the sensor reports, 0 to 255. */
    public int canID;

    /** A configuration with every field 0 or false. */
    public Config() {}

    /**
     * A configuration with the given fields.
     *
     * @param version the version
     * @param distanceEnabled whether distances are enabled
     * @param canFdEnabled whether CAN FD is enabled
     * @param canBrsEnabled whether bit rate switching is enabled
     * @param canID the CAN ID
     */
    public Config(
        int version,
        boolean distanceEnabled,
        boolean canFdEnabled,
        boolean canBrsEnabled,
        int canID) {
      this.version = version;
      this.distanceEnabled = distanceEnabled;
      this.canFdEnabled = canFdEnabled;
      this.canBrsEnabled = canBrsEnabled;
      this.canID = canID;
    }

    /** Two configurations are equal when every field is. */
    @Override
    public boolean equals(Object other) {
      return other instanceof Config that && that.getClass() == getClass()
          && version == that.version
          && distanceEnabled == that.distanceEnabled
          && canFdEnabled == that.canFdEnabled
          && canBrsEnabled == that.canBrsEnabled
          && canID == that.canID;
    }

    /** A hash code consistent with {@link #equals(Object)}. */
    @Override
    public int hashCode() {
      return Objects.hash(version, distanceEnabled, canFdEnabled, canBrsEnabled, canID);
    }

    /**
     * For example {@code Config[version=3, distanceEnabled=true, canFdEnabled=false,
     * canBrsEnabled=false, canID=5]}.
     */
    @Override
    public String toString() {
      return "Config[version=" + version
          + ", distanceEnabled=" + distanceEnabled
          + ", canFdEnabled=" + canFdEnabled
          + ", canBrsEnabled=" + canBrsEnabled
          + ", canID=" + canID + "]";
    }
  }

  private final Transport transport;

  /**
   * Opens a sensor on the CAN bus and starts gathering its readings in the background.
   *
   * @param canId the sensor's CAN ID, {@value #MIN_CAN_ID} to {@value #MAX_CAN_ID}
   * @throws IllegalArgumentException if {@code canId} is out of range
   * @throws IllegalStateException if the library could not open the CAN bus (it prints why)
   */
  public Dystal(int canId) {
    this(canId, DEFAULT_CAN_BUS);
  }

  /**
   * Opens a sensor on one of the robot controller's CAN buses and starts gathering its readings in the background. Its frames
   * go over that bus only: sensors with the same CAN ID on two buses are two sensors.
   *
   * @param canId the sensor's CAN ID, {@value #MIN_CAN_ID} to {@value #MAX_CAN_ID}
   * @param bus the CAN bus the sensor is wired to: 0 to 5 on WPILib 2027, only 0 on WPILib 2026
   * @throws IllegalArgumentException if {@code canId} is out of range
   * @throws IllegalStateException if the library could not open the sensor, for example on a bus
   *     the platform does not have (it prints why)
   */
  public Dystal(int canId, int bus) {
    super(Checks.onCan("Dystal on CAN ID", requireInRange(canId, MIN_CAN_ID, MAX_CAN_ID, "CAN ID"),
        bus));
    this.transport = Transport.CAN;
    DystalJNI.c_Dystal_startGathering(open(DystalJNI.c_Dystal_createOnBus(bus, canId)));
  }

  /**
   * Opens a sensor on a USB serial port and switches it to binary output, the form the library
   * reads. This takes about 1.25 s against a sensor that is streaming (up to about 1.33 s), about
   * 0.32 s against a silent one, and never more than about 2 s, so open sensors before the robot
   * program's loop starts.
   *
   * @param path the port's device path, for example {@code "/dev/ttyUSB0"}; see {@link
   *     #findDevicePath(int)}
   * @param outputDataRate readings per second the sensor is to send, 1 or more; 0 keeps the
   *     sensor's own
   * @throws NullPointerException if {@code path} is null
   * @throws IllegalArgumentException if {@code outputDataRate} is negative
   * @throws IllegalStateException if the port could not be opened (the library prints why)
   */
  public Dystal(String path, int outputDataRate) {
    super("Dystal on " + Objects.requireNonNull(path, "path"));
    requireNotNegative(outputDataRate, "Output data rate");
    this.transport = Transport.USB;
    open(DystalJNI.c_Dystal_createUsb(path, outputDataRate));
  }

  /**
   * Finds the device path of a USB serial port: on Linux the {@code /dev/ttyUSB*} and {@code
   * /dev/ttyACM*} ports, on Windows the COM ports, ordered by path.
   *
   * @param port {@link #SECOND_PORT} (3) for the second port found; any other value, such as
   *     {@link #FIRST_PORT}, for the first
   * @return the path; when too few ports are found, {@code "/dev/ttyUSB0"} for the first port
   *     and {@code "/dev/ttyUSB1"} for the second ({@code "\\.\COM3"} and {@code "\\.\COM4"} on
   *     Windows), which may not exist
   */
  public static String findDevicePath(int port) {
    return DystalJNI.c_Dystal_findDevicePath(port);
  }

  /** Stops reading and releases the port or the CAN session. Closing again does nothing. */
  @Override
  public void close() {
    super.close();
  }

  @Override
  void destroy(long handle) {
    DystalJNI.c_Dystal_destroy(handle);
  }

  /**
   * Returns how the sensor is connected.
   *
   * @return {@link Transport#CAN} or {@link Transport#USB}
   */
  public Transport getTransport() {
    openHandle();
    return transport;
  }

  /**
   * Returns the CAN ID the sensor was opened with.
   *
   * @return {@value #MIN_CAN_ID} to {@value #MAX_CAN_ID}, or -1 for a USB sensor
   */
  public int getCanId() {
    return DystalJNI.c_Dystal_getCanID(openHandle());
  }

  /**
   * Returns the CAN bus the sensor was opened on.
   *
   * @return the bus, or -1 for a USB sensor
   */
  public int getCanBus() {
    return DystalJNI.c_Dystal_getCanBus(openHandle());
  }

  /**
   * Returns the newest reading with all its distances, up to {@value #MAX_DISTANCES}.
   *
   * @return the reading, as {@link #getData(int)} returns it
   */
  public ScanData getData() {
    return getData(MAX_DISTANCES);
  }

  /**
   * Returns the newest reading, at once, and again until a newer one arrives, with the time it
   * was received in {@link ScanData#timestampUs}.
   *
   * <p>On USB this is the latest frame the sensor sent; the {@linkplain ScanData#sequence
   * sequence} rises by one with every frame. On CAN it is the latest reading the background
   * gathering completed from the sensor's chunk frames; a zone whose chunk did not arrive reads
   * {@value #MISSING_DISTANCE}.
   *
   * @param count the most distances to return, 1 to {@value #MAX_DISTANCES}
   * @return the reading: its array holds at most {@code count} distances, and is empty (with
   *     sequence 0) when nothing was received
   * @throws IllegalArgumentException if {@code count} is out of range
   */
  public ScanData getData(int count) {
    requireInRange(count, 1, MAX_DISTANCES, "Distance count");
    return DystalJNI.c_Dystal_getLatest(openHandle(), count);
  }

  /**
   * Returns whether the sensor is connected, at once: true while its frames (CAN) or bytes (USB)
   * keep arriving; false before the first, and once it has been silent for more than {@value
   * #CONNECTION_SILENCE_MS} ms.
   *
   * @return whether the sensor's readings keep arriving
   */
  public boolean isConnected() {
    return DystalJNI.c_Dystal_isConnected(openHandle());
  }

  /**
   * Asks the sensor for its configuration, waiting up to {@value #CONFIG_TIMEOUT_MS} ms for its
   * reply.
   *
   * @return the configuration, as {@link #getConfig(int)} returns it
   */
  public Optional<Config> getConfig() {
    return getConfig(CONFIG_TIMEOUT_MS);
  }

  /**
   * Asks the sensor for its configuration.
   *
   * <p>The call waits up to {@code timeoutMs} for the sensor's reply: it is not for the robot
   * program's periodic loop. On USB no frames are read meanwhile, and the sensor reports only
   * that distances are enabled (see {@link Config}).
   *
   * @param timeoutMs the longest wait for the reply, in milliseconds, 0 or more; on USB 0 waits
   *     500 ms
   * @return the configuration, or empty when the sensor did not answer in time
   * @throws IllegalArgumentException if {@code timeoutMs} is negative
   */
  public Optional<Config> getConfig(int timeoutMs) {
    requireNotNegative(timeoutMs, "Timeout");
    return Optional.ofNullable(DystalJNI.c_Dystal_getConfig(openHandle(), timeoutMs));
  }
}

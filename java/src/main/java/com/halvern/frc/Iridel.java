package com.halvern.frc;

import static com.halvern.frc.Checks.requireInRange;

import com.halvern.frc.jni.IridelJNI;
import java.util.Objects;
import java.util.Optional;
import java.util.OptionalLong;

/**
 * An Iridel colour sensor, on the robot's CAN bus or on a USB serial port.
 *
 * <p>Open a CAN sensor with {@link #Iridel(int)} and a USB sensor with {@link #Iridel(String,
 * int)}; {@link #findDevicePath(int)} finds the port of a USB sensor. Close the object (or use
 * try-with-resources) when the sensor is no longer needed: that stops reading and releases the
 * port or the CAN session.
 *
 * <p>Readings: {@link #getColor()} returns the newest colour sample as x, y and z components,
 * with the time it was received, and {@link #isConnected()} whether the sensor's samples keep
 * arriving. Both return at once, from what the library holds: call them in every loop.
 * Settings: each setter returns true when the sensor accepted it. On CAN that means the sensor
 * confirmed the command; a setter waits up to {@value #REPLY_TIMEOUT_MS} ms for that and returns
 * false when the sensor does not answer: setters are not for the robot program's periodic
 * loop. On USB the library cannot hear a confirmation: true means the command was written.
 * Several settings exist on CAN only; on a USB sensor they throw {@link
 * UnsupportedOperationException} and send nothing.
 *
 * <p>An argument outside the range its method documents throws {@link IllegalArgumentException}
 * and sends nothing; values the method documents as clamped are sent clamped instead. Every
 * method but {@link #close()} throws {@link IllegalStateException} once the sensor is closed.
 *
 * <p>Use a sensor from one thread, as a robot program's main loop does: the library does not
 * guard calls on one sensor against one another.
 */
public final class Iridel extends HandleDevice {
  /**
   * The CAN bus a device is opened on when its constructor names none. WPILib 2027's robot
   * controller has buses 0 to 5; WPILib 2026 has only bus 0.
   */
  public static final int DEFAULT_CAN_BUS = Checks.DEFAULT_CAN_BUS;
  /** The lowest CAN ID a sensor can have. */
  public static final int MIN_CAN_ID = 0;
  /** The highest CAN ID a sensor can have. */
  public static final int MAX_CAN_ID = 63;
  /** The longest sample time, in milliseconds. */
  public static final int MAX_SAMPLE_TIME_MS = 65535;
  /** The highest brightness and status LED level; levels run from 0. */
  public static final int MAX_LEVEL = 100;
  /** The highest measure mode; modes run from 0. */
  public static final int MAX_MEASURE_MODE = 2;
  /** The measure mode that uses its parameter. */
  public static final int PARAMETER_MEASURE_MODE = 2;
  /** The highest configuration key; keys run from 0. */
  public static final int MAX_CONFIG_KEY = 255;
  /** How long a CAN setting waits for the sensor's confirmation, in milliseconds. */
  public static final int REPLY_TIMEOUT_MS = 500;
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

  /** The sensor's output formats, in the order of their numbers on the wire (RGB is 0). */
  public enum ColorFormat {
    /** Red, green, blue. */
    RGB,
    /** The sensor's raw channel values. */
    RAW,
    /** Standard RGB. */
    SRGB,
    /** A hexadecimal colour code. */
    HEX,
    /** CIE XYZ: what a USB sensor must output for {@link Iridel#getColor()} to read it. */
    XYZ
  }

  /**
   * One colour sample.
   *
   * <p>{@link Iridel#getColor()} returns a new object every time; its fields belong to the
   * caller.
   */
  public static class ColorData {
    /** The sample counter, 0 to 65535; it wraps around from 65535 to 0. */
    public int sequence;
    /**
     * The first component. On CAN the sensor sends each component in steps of 0.0001 from
     * -3.2768 to 3.2767; on USB as decimal text.
     */
    public float x;
    /** The second component, like {@link #x}. */
    public float y;
    /** The third component, like {@link #x}. */
    public float z;
    /**
     * When the sample was received, in microseconds on the robot's clock (the time base of
     * {@code RobotController.getFPGATime()}): on CAN the stamp of its colour frame, on USB the
     * moment its line arrived. 0 in a sample made by hand.
     */
    public long timestampUs;

    /** A sample with every field 0. */
    public ColorData() {}

    /**
     * A sample with the given fields.
     *
     * @param sequence the sample counter
     * @param x the first component
     * @param y the second component
     * @param z the third component
     */
    public ColorData(int sequence, float x, float y, float z) {
      this.sequence = sequence;
      this.x = x;
      this.y = y;
      this.z = z;
    }

    /**
     * Two samples are equal when their sequences and components are, comparing components as
     * {@link Float#equals}; the time they were received is not compared.
     */
    @Override
    public boolean equals(Object other) {
      return other instanceof ColorData that && that.getClass() == getClass()
          && sequence == that.sequence
          && Float.compare(x, that.x) == 0
          && Float.compare(y, that.y) == 0
          && Float.compare(z, that.z) == 0;
    }

    /** A hash code consistent with {@link #equals(Object)}. */
    @Override
    public int hashCode() {
      return Objects.hash(sequence, x, y, z);
    }

    /** For example {@code ColorData[sequence=12, x=0.25, y=0.5, z=0.75]}. */
    @Override
    public String toString() {
      return "ColorData[sequence=" + sequence + ", x=" + x + ", y=" + y + ", z=" + z + "]";
    }
  }

  private final Transport transport;

  /**
   * Opens a sensor on the CAN bus.
   *
   * @param canId the sensor's CAN ID, {@value #MIN_CAN_ID} to {@value #MAX_CAN_ID}
   * @throws IllegalArgumentException if {@code canId} is out of range
   * @throws IllegalStateException if the library could not open the CAN bus (it prints why)
   */
  public Iridel(int canId) {
    this(canId, DEFAULT_CAN_BUS);
  }

  /**
   * Opens a sensor on one of the robot controller's CAN buses. Its frames
   * go over that bus only: sensors with the same CAN ID on two buses are two sensors.
   *
   * @param canId the sensor's CAN ID, {@value #MIN_CAN_ID} to {@value #MAX_CAN_ID}
   * @param bus the CAN bus the sensor is wired to: 0 to 5 on WPILib 2027, only 0 on WPILib 2026
   * @throws IllegalArgumentException if {@code canId} is out of range
   * @throws IllegalStateException if the library could not open the sensor, for example on a bus
   *     the platform does not have (it prints why)
   */
  public Iridel(int canId, int bus) {
    super(Checks.onCan("Iridel on CAN ID", requireInRange(canId, MIN_CAN_ID, MAX_CAN_ID, "CAN ID"),
        bus));
    this.transport = Transport.CAN;
    open(IridelJNI.c_Iridel_createOnBus(bus, canId));
  }

  /**
   * Opens a sensor on a USB serial port and selects its XYZ output, the format {@link
   * #getColor()} reads on USB. The sensor's answers to these start-up commands are dropped, so
   * the first sample arrives with its next sample time.
   *
   * @param path the port's device path, for example {@code "/dev/ttyUSB0"}; see {@link
   *     #findDevicePath(int)}
   * @param sampleTimeMs the time between samples in milliseconds, 1 to {@value
   *     #MAX_SAMPLE_TIME_MS}; 0 keeps the sensor's own
   * @throws NullPointerException if {@code path} is null
   * @throws IllegalArgumentException if {@code sampleTimeMs} is out of range
   * @throws IllegalStateException if the port could not be opened (the library prints why)
   */
  public Iridel(String path, int sampleTimeMs) {
    super("Iridel on " + Objects.requireNonNull(path, "path"));
    requireSampleTime(sampleTimeMs);
    this.transport = Transport.USB;
    open(IridelJNI.c_Iridel_createUsb(path, sampleTimeMs));
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
    return IridelJNI.c_Iridel_findDevicePath(port);
  }

  /** Stops reading and releases the port or the CAN session. Closing again does nothing. */
  @Override
  public void close() {
    super.close();
  }

  @Override
  void destroy(long handle) {
    IridelJNI.c_Iridel_destroy(handle);
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
   * Returns the CAN ID the sensor was opened with; {@link #setCanId(int)} does not change it.
   *
   * @return {@value #MIN_CAN_ID} to {@value #MAX_CAN_ID}, or -1 for a USB sensor
   */
  public int getCanId() {
    return IridelJNI.c_Iridel_getCanID(openHandle());
  }

  /**
   * Returns the CAN bus the sensor was opened on.
   *
   * @return the bus, or -1 for a USB sensor
   */
  public int getCanBus() {
    return IridelJNI.c_Iridel_getCanBus(openHandle());
  }

  // --- Readings --------------------------------------------------------------------------------

  /**
   * Returns the newest colour sample, at once.
   *
   * <p>This is the latest sample the sensor sent (on USB its latest line, on CAN its latest
   * colour frame), returned again until a newer one arrives, with the time it was received in
   * {@link ColorData#timestampUs}. On USB the {@linkplain ColorData#sequence sequence} rises by
   * one with every sample; on CAN it is the sensor's own.
   *
   * @return the sample, or empty before the first sample arrived
   */
  public Optional<ColorData> getColor() {
    return Optional.ofNullable(IridelJNI.c_Iridel_getLatestColor(openHandle()));
  }

  /**
   * Returns whether the sensor is connected, at once: true while its colour frames (CAN) or
   * lines (USB) keep arriving; false before the first, and once it has been silent for longer
   * than four sample times (at least 100 ms, at most 250 ms; 250 ms until a sample time was given
   * at creation or through {@link #setSampleTime(int)}).
   *
   * @return whether the sensor's samples keep arriving
   */
  public boolean isConnected() {
    return IridelJNI.c_Iridel_isConnected(openHandle());
  }

  // --- Settings on both transports -------------------------------------------------------------

  /**
   * Selects the sensor's output format. A USB sensor opens in {@link ColorFormat#XYZ}, the only
   * format {@link #getColor()} reads on USB: after another, no new USB samples arrive.
   *
   * @param format the format
   * @return whether the sensor accepted it
   * @throws NullPointerException if {@code format} is null
   */
  public boolean setColorFormat(ColorFormat format) {
    Objects.requireNonNull(format, "format");
    return IridelJNI.c_Iridel_setColorFormat(openHandle(), format.ordinal());
  }

  /**
   * Sets the time between samples.
   *
   * @param milliseconds 0 to {@value #MAX_SAMPLE_TIME_MS}
   * @return whether the sensor accepted it
   * @throws IllegalArgumentException if {@code milliseconds} is out of range
   */
  public boolean setSampleTime(int milliseconds) {
    requireSampleTime(milliseconds);
    return IridelJNI.c_Iridel_setSampleTimeMs(openHandle(), milliseconds);
  }

  // --- Settings on CAN only --------------------------------------------------------------------

  /**
   * Sets the brightness of the sensor's light. CAN only.
   *
   * @param level 0 to {@value #MAX_LEVEL}; a value outside is clamped to that range
   * @return whether the sensor confirmed
   * @throws UnsupportedOperationException on a USB sensor
   */
  public boolean setBrightness(int level) {
    return IridelJNI.c_Iridel_setBrightness(canHandle("setBrightness"), level);
  }

  /**
   * Switches the sensor's status LED. CAN only.
   *
   * @param enable true to switch it on
   * @param level its brightness, 0 to {@value #MAX_LEVEL}; a value outside is clamped to that
   *     range
   * @return whether the sensor confirmed
   * @throws UnsupportedOperationException on a USB sensor
   */
  public boolean setStatusLed(boolean enable, int level) {
    return IridelJNI.c_Iridel_setStatusLed(canHandle("setStatusLed"), enable, level);
  }

  /**
   * Selects a measure mode without giving a parameter: modes 0 and 1 take none, and mode
   * {@value #PARAMETER_MEASURE_MODE} is sent with the parameter 0. CAN only.
   *
   * @param mode 0 to {@value #MAX_MEASURE_MODE}
   * @return whether the sensor confirmed
   * @throws IllegalArgumentException if {@code mode} is out of range
   * @throws UnsupportedOperationException on a USB sensor
   */
  public boolean setMeasureMode(int mode) {
    return setMeasureMode(mode, 0.0f);
  }

  /**
   * Selects the sensor's measure mode. CAN only.
   *
   * @param mode 0 to {@value #MAX_MEASURE_MODE}
   * @param parameter the mode's parameter, sent as a 32-bit float in mode {@value
   *     #PARAMETER_MEASURE_MODE} only
   * @return whether the sensor confirmed
   * @throws IllegalArgumentException if {@code mode} is out of range
   * @throws UnsupportedOperationException on a USB sensor
   */
  public boolean setMeasureMode(int mode, float parameter) {
    requireInRange(mode, 0, MAX_MEASURE_MODE, "Measure mode");
    return IridelJNI.c_Iridel_setMeasureMode(canHandle("setMeasureMode"), mode, parameter);
  }

  /**
   * Sends the sensor its Zmm value. CAN only.
   *
   * @param value sent unchanged as a 32-bit float
   * @return whether the sensor confirmed
   * @throws UnsupportedOperationException on a USB sensor
   */
  public boolean setZmm(float value) {
    return IridelJNI.c_Iridel_setZmm(canHandle("setZmm"), value);
  }

  /**
   * Switches the sensor's USB override. CAN only.
   *
   * @param on true to switch it on
   * @return whether the sensor confirmed
   * @throws UnsupportedOperationException on a USB sensor
   */
  public boolean setUsbOverride(boolean on) {
    return IridelJNI.c_Iridel_setUsbOverride(canHandle("setUsbOverride"), on);
  }

  /**
   * Gives the sensor a new CAN ID. CAN only. This object still reaches the sensor afterwards
   * (the sensor's messages do not carry its ID), and {@link #getCanId()} still returns the ID it
   * was opened with; open it with the new ID after the next restart.
   *
   * @param newId {@value #MIN_CAN_ID} to {@value #MAX_CAN_ID}
   * @return whether the sensor confirmed
   * @throws IllegalArgumentException if {@code newId} is out of range
   * @throws UnsupportedOperationException on a USB sensor
   */
  public boolean setCanId(int newId) {
    requireInRange(newId, MIN_CAN_ID, MAX_CAN_ID, "CAN ID");
    return IridelJNI.c_Iridel_setCanId(canHandle("setCanId"), newId);
  }

  /**
   * Reads one configuration value of the sensor. CAN only.
   *
   * @param key the value's key, 0 to {@value #MAX_CONFIG_KEY}
   * @return the value, 0 to 4294967295, or empty when the sensor does not answer within {@value
   *     #REPLY_TIMEOUT_MS} ms or reports a failure
   * @throws IllegalArgumentException if {@code key} is out of range
   * @throws UnsupportedOperationException on a USB sensor
   */
  public OptionalLong getConfig(int key) {
    requireInRange(key, 0, MAX_CONFIG_KEY, "Configuration key");
    long[] value = new long[1];
    return IridelJNI.c_Iridel_getConfig(canHandle("getConfig"), key, value)
        ? OptionalLong.of(value[0])
        : OptionalLong.empty();
  }

  // --- Helpers ---------------------------------------------------------------------------------

  private long canHandle(String operation) {
    long current = openHandle();
    if (transport != Transport.CAN) {
      throw new UnsupportedOperationException(
          operation + " needs a sensor on CAN; " + description() + " is on USB");
    }
    return current;
  }

  private static void requireSampleTime(int milliseconds) {
    requireInRange(milliseconds, 0, MAX_SAMPLE_TIME_MS, "Sample time");
  }
}

package com.halvern.frc;

import static com.halvern.frc.Checks.requireInRange;

import com.halvern.frc.jni.OrdexJNI;
import java.util.Optional;
import java.util.OptionalDouble;
import java.util.OptionalInt;

/**
 * An Ordex four-motor controller on the robot's CAN bus.
 *
 * <p>While the object is open the library tells the controller ten times a second whether the
 * robot is enabled; the controller runs its motors only while it hears "enabled". Close the
 * object (or use try-with-resources) when the controller is no longer needed: that stops the
 * heartbeat and releases the CAN device.
 *
 * <p>Motors and encoders are numbered 0 to 3. A number outside that range, and any other
 * argument outside the range its method documents, throws {@link IllegalArgumentException} and
 * sends nothing. Values the method documents as clamped are sent clamped instead. Readings come
 * from the newest message the controller sent; a reading it never sent reads 0 (the {@code
 * tryGet} methods tell the two apart). Every method but {@link #close()} throws {@link
 * IllegalStateException} once the controller is closed.
 *
 * <p>Every reading, the identity getters and {@link #isConnected()} return at once from what the
 * library holds, so a robot's periodic loop can call them every pass. Only {@link
 * #getSerialNumber()} waits for the controller (10 ms); it is not for the periodic loop. The
 * controller is asked for its identity in the background from construction; until it answers,
 * the identity getters give 0 or {@code ""} and their {@code tryGet} variants an empty
 * optional.
 *
 * <p>Use a program's controllers from one thread, as a robot program's main loop does: the
 * library does not guard calls on its controllers against one another.
 */
public final class Ordex extends HandleDevice {
  /** The lowest CAN device number a controller can have. */
  public static final int MIN_DEVICE_ID = 1;
  /** The highest CAN device number a controller can have. */
  public static final int MAX_DEVICE_ID = 63;
  /** The lowest motor PWM frequency, in hertz. */
  public static final int MIN_FREQUENCY = 0;
  /** The highest motor PWM frequency, in hertz. */
  public static final int MAX_FREQUENCY = 20000;
  /** Motors (and encoders, and limit-switch pairs) per controller, numbered from 0. */
  public static final int MOTOR_COUNT = 4;
  /** The highest PID type; types run from 0. */
  public static final int MAX_PID_TYPE = 2;
  /** The highest sensitivity; sensitivities run from 0. */
  public static final int MAX_SENSITIVITY = 10;
  /** How long, in milliseconds, the controller may send no status frame and read connected. */
  public static final int CONNECTION_SILENCE_MS = 100;

  /**
   * A reading with the moment its frame was received, in microseconds on the robot's clock (the
   * time base of {@code RobotController.getFPGATime()}). Both are 0 when the controller never
   * sent the reading.
   */
  public static final class Reading {
    /** The value, in the unit of the matching get method. */
    public final double value;
    /** When its frame was received, in microseconds on the robot's clock; 0 if never. */
    public final long timestampUs;

    Reading(double value, long timestampUs) {
      this.value = value;
      this.timestampUs = timestampUs;
    }
  }

  /** A limit switch's state with the moment its frame was received, as in {@link Reading}. */
  public static final class SwitchReading {
    /** Whether the switch is pressed; false if the controller never reported it. */
    public final boolean pressed;
    /** When its frame was received, in microseconds on the robot's clock; 0 if never. */
    public final long timestampUs;

    SwitchReading(boolean pressed, long timestampUs) {
      this.pressed = pressed;
      this.timestampUs = timestampUs;
    }
  }

  private static final int IDENTITY_NUMBERS = 6;
  private static final int IDENTITY_TEXTS = 2;

  private static final int MAX_UNSIGNED_BYTE = 0xFF;
  private static final int MAX_UNSIGNED_SHORT = 0xFFFF;
  private static final int MIN_TARGET_DISTANCE = -(1 << 23);
  private static final int MAX_TARGET_DISTANCE = (1 << 23) - 1;

  /**
   * The CAN bus a device is opened on when its constructor names none. WPILib 2027's robot
   * controller has buses 0 to 5; WPILib 2026 has only bus 0.
   */
  public static final int DEFAULT_CAN_BUS = Checks.DEFAULT_CAN_BUS;

  private final int deviceId;
  private final int bus;

  /**
   * Opens the controller with the given CAN device number and configures all four motors with
   * the given PWM frequency.
   *
   * @param deviceId the controller's CAN device number, {@value #MIN_DEVICE_ID} to {@value
   *     #MAX_DEVICE_ID}
   * @param frequency the motor PWM frequency in hertz, {@value #MIN_FREQUENCY} to {@value
   *     #MAX_FREQUENCY}
   * @throws IllegalArgumentException if {@code deviceId} or {@code frequency} is out of range
   * @throws IllegalStateException if the library could not open the CAN device (it prints why)
   */
  public Ordex(int deviceId, int frequency) {
    this(deviceId, frequency, DEFAULT_CAN_BUS);
  }

  /**
   * Opens the controller with the given CAN device number on one of the robot controller's CAN
   * buses and configures all four motors with the given PWM frequency. Everything sent to it or
   * read from it, its heartbeat included, goes over that bus: controllers with the same device
   * number on two buses are two controllers.
   *
   * @param deviceId the controller's CAN device number, {@value #MIN_DEVICE_ID} to {@value
   *     #MAX_DEVICE_ID}
   * @param frequency the motor PWM frequency in hertz, {@value #MIN_FREQUENCY} to {@value
   *     #MAX_FREQUENCY}
   * @param bus the CAN bus the controller is wired to: 0 to 5 on WPILib 2027, only 0 on WPILib
   *     2026
   * @throws IllegalArgumentException if {@code deviceId} or {@code frequency} is out of range
   * @throws IllegalStateException if the library could not open the CAN device, for example on a
   *     bus the platform does not have (it prints why)
   */
  public Ordex(int deviceId, int frequency, int bus) {
    super("Ordex on CAN device "
        + requireInRange(deviceId, MIN_DEVICE_ID, MAX_DEVICE_ID, "Device ID"));
    requireInRange(frequency, MIN_FREQUENCY, MAX_FREQUENCY, "Motor frequency");
    this.deviceId = deviceId;
    this.bus = bus;
    long created = open(OrdexJNI.c_Ordex_createOnBus(bus, deviceId, frequency),
        Checks.onCan("Ordex on CAN device", deviceId, bus));
    // The identity getters read what this fetch stores; it never holds up the caller.
    OrdexJNI.c_Ordex_requestIdentity(created);
  }

  /**
   * Stops the heartbeat and releases the CAN device. Motors stop once the controller no longer
   * hears the robot is enabled. Closing again does nothing.
   */
  @Override
  public void close() {
    super.close();
  }

  @Override
  void destroy(long handle) {
    OrdexJNI.c_Ordex_destroy(handle);
  }

  /**
   * Returns the CAN device number this controller was opened with.
   *
   * @return the device number, {@value #MIN_DEVICE_ID} to {@value #MAX_DEVICE_ID}
   */
  public int getDeviceId() {
    return deviceId;
  }

  /**
   * Returns the CAN bus this controller was opened on.
   *
   * @return the bus
   */
  public int getCanBus() {
    return bus;
  }

  // --- Identity --------------------------------------------------------------------------------

  /**
   * Returns the device number the controller reports of itself, once it has answered the
   * background identity request. Never waits.
   *
   * @return the reported device number, or 0 until the controller has answered
   */
  public int getReportedDeviceId() {
    return tryGetReportedDeviceId().orElse(0);
  }

  /**
   * Returns the device number the controller reports of itself. Never waits.
   *
   * @return the reported device number, or empty until the controller has answered
   */
  public OptionalInt tryGetReportedDeviceId() {
    int[] numbers = new int[IDENTITY_NUMBERS];
    return OrdexJNI.c_Ordex_tryGetIdentity(openHandle(), numbers, null)
        ? OptionalInt.of(numbers[0])
        : OptionalInt.empty();
  }

  /**
   * Returns the controller's firmware version once it has answered. Never waits.
   *
   * @return {@code "Firmware Version: [a.b.c]"}, or {@code ""} until the controller has answered
   */
  public String getFirmwareVersion() {
    return tryGetFirmwareVersion().orElse("");
  }

  /**
   * Returns the controller's firmware version. Never waits.
   *
   * @return {@code "Firmware Version: [a.b.c]"}, or empty until the controller has answered
   */
  public Optional<String> tryGetFirmwareVersion() {
    return identityText(0);
  }

  /**
   * Returns the controller's hardware kind and version once it has answered. Never waits.
   *
   * @return for example {@code "Hardware: Ordex Quad, Version: 3"}; {@code "No Hardware Found!"}
   *     for an unknown kind; {@code ""} until the controller has answered
   */
  public String getHardwareVersion() {
    return tryGetHardwareVersion().orElse("");
  }

  /**
   * Returns the controller's hardware kind and version, as {@link #getHardwareVersion()}. Never
   * waits.
   *
   * @return the hardware text, or empty until the controller has answered
   */
  public Optional<String> tryGetHardwareVersion() {
    return identityText(1);
  }

  /**
   * Returns whether the controller's status frames keep arriving. Never waits.
   *
   * @return true while they do; false once none arrived for more than {@value
   *     #CONNECTION_SILENCE_MS} ms (five of its 20 ms rounds)
   */
  public boolean isConnected() {
    return OrdexJNI.c_Ordex_isConnected(openHandle());
  }

  /**
   * Asks the controller for its serial number and waits 10 ms for it: not for the robot's
   * periodic loop.
   *
   * @return three groups of 8 uppercase hex digits joined by hyphens; a group that did not arrive
   *     in time reads {@code 00000000}
   */
  public String getSerialNumber() {
    return OrdexJNI.c_Ordex_getSerialNumber(openHandle());
  }

  /**
   * Returns the motor PWM frequency in hertz the controller reports, or 0 if it never did.
   *
   * @return the frequency in hertz, or 0
   */
  public int getReportedFrequency() {
    return OrdexJNI.c_Ordex_getFrequency(openHandle());
  }

  /**
   * Returns the controller's temperature in degrees Celsius (0 if it never reported it).
   *
   * @return degrees Celsius, to hundredths; 0 if the controller never reported it
   */
  public double getTemperature() {
    return OrdexJNI.c_Ordex_getControllerTemp(openHandle());
  }

  // --- Driving ---------------------------------------------------------------------------------

  /**
   * Drives a motor with a duty cycle.
   *
   * @param motor the motor, 0 to 3
   * @param speed the duty cycle from -1 (full reverse) to 1 (full forward), clamped to that range;
   *     0 brakes. The controller receives whole percent, so 0.005 becomes 0 percent forward.
   * @throws IllegalArgumentException if {@code motor} is out of range
   */
  public void setMotorSpeed(int motor, double speed) {
    OrdexJNI.c_Ordex_setMotorSpeed(openHandle(), requireMotor(motor), speed);
  }

  /**
   * Stops driving a motor.
   *
   * @param motor the motor, 0 to 3
   * @throws IllegalArgumentException if {@code motor} is out of range
   */
  public void disableMotor(int motor) {
    OrdexJNI.c_Ordex_disableMotor(openHandle(), requireMotor(motor));
  }

  /**
   * Sets the PWM frequency of one motor.
   *
   * @param motor the motor, 0 to 3
   * @param frequency the frequency in hertz, {@value #MIN_FREQUENCY} to {@value #MAX_FREQUENCY}
   * @throws IllegalArgumentException if an argument is out of range
   */
  public void configureMotor(int motor, int frequency) {
    requireInRange(frequency, MIN_FREQUENCY, MAX_FREQUENCY, "Motor frequency");
    OrdexJNI.c_Ordex_configureMotor(openHandle(), requireMotor(motor), frequency);
  }

  /**
   * Sets a motor's velocity target.
   *
   * @param motor the motor, 0 to 3
   * @param rpm the target in revolutions per minute; the controller receives hundredths of an
   *     RPM, rounded half away from zero, from a single-precision value
   * @throws IllegalArgumentException if {@code motor} is out of range
   */
  public void setTargetVelocity(int motor, double rpm) {
    OrdexJNI.c_Ordex_setTargetVelocity(openHandle(), requireMotor(motor), (float) rpm);
  }

  /**
   * Sets a motor's distance target.
   *
   * @param motor the motor, 0 to 3
   * @param counts the target in encoder counts, -8,388,608 to 8,388,607 (the controller receives
   *     24 bits)
   * @throws IllegalArgumentException if an argument is out of range
   */
  public void setTargetDistance(int motor, int counts) {
    requireInRange(counts, MIN_TARGET_DISTANCE, MAX_TARGET_DISTANCE, "Target distance");
    OrdexJNI.c_Ordex_setTargetDistance(openHandle(), requireMotor(motor), counts);
  }

  /**
   * Sets a motor's angle target.
   *
   * @param motor the motor, 0 to 3
   * @param degrees the target in degrees, clamped to 0 to 360 (NaN becomes 0); the controller
   *     receives whole hundredths of a degree
   * @throws IllegalArgumentException if {@code motor} is out of range
   */
  public void setTargetAngle(int motor, double degrees) {
    OrdexJNI.c_Ordex_setTargetAngle(openHandle(), requireMotor(motor), degrees);
  }

  /**
   * Tells a motor whether to hold its position when it reaches its target.
   *
   * @param motor the motor, 0 to 3
   * @param hold true to hold
   * @throws IllegalArgumentException if {@code motor} is out of range
   */
  public void setPositionHold(int motor, boolean hold) {
    OrdexJNI.c_Ordex_setPositionHold(openHandle(), requireMotor(motor), hold);
  }

  // --- Configuration ---------------------------------------------------------------------------

  /**
   * Sets the resolution of a motor's encoder.
   *
   * @param motor the motor, 0 to 3
   * @param countsPerRevolution 0 to 65535
   * @throws IllegalArgumentException if an argument is out of range
   */
  public void setEncoderResolution(int motor, int countsPerRevolution) {
    requireInRange(countsPerRevolution, 0, MAX_UNSIGNED_SHORT, "Encoder resolution");
    OrdexJNI.c_Ordex_setEncoderResolution(openHandle(), requireMotor(motor), countsPerRevolution);
  }

  /**
   * Sets a motor's current limit.
   *
   * @param motor the motor, 0 to 3
   * @param amperes the limit; a negative limit becomes 0. The controller receives whole
   *     hundredths of an ampere in 16 bits, so use at most 655.35 A.
   * @throws IllegalArgumentException if {@code motor} is out of range
   */
  public void setCurrentLimit(int motor, double amperes) {
    OrdexJNI.c_Ordex_setCurrentLimit(openHandle(), requireMotor(motor), (float) amperes);
  }

  /**
   * Sets a motor's current-limit mode.
   *
   * @param motor the motor, 0 to 3
   * @param mode 0 or 1
   * @throws IllegalArgumentException if an argument is out of range
   */
  public void setCurrentLimitMode(int motor, int mode) {
    requireInRange(mode, 0, 1, "Current limit mode");
    OrdexJNI.c_Ordex_setCurrentLimitMode(openHandle(), requireMotor(motor), mode);
  }

  /**
   * Sets how the controller stops its motors.
   *
   * @param mode the controller's stop-mode code, 0 to 255
   * @throws IllegalArgumentException if {@code mode} is out of range
   */
  public void setMotorStopMode(int mode) {
    requireInRange(mode, 0, MAX_UNSIGNED_BYTE, "Motor stop mode");
    OrdexJNI.c_Ordex_setMotorStopMode(openHandle(), mode);
  }

  /**
   * Sets the PID type of every motor.
   *
   * @param type 0 to {@value #MAX_PID_TYPE}
   * @throws IllegalArgumentException if {@code type} is out of range
   */
  public void setPIDType(int type) {
    requireInRange(type, 0, MAX_PID_TYPE, "PID type");
    OrdexJNI.c_Ordex_setPIDType(openHandle(), type);
  }

  /**
   * Sets the PID type of one motor.
   *
   * @param motor the motor, 0 to 3
   * @param type 0 to {@value #MAX_PID_TYPE}
   * @throws IllegalArgumentException if an argument is out of range
   */
  public void setMotorPIDType(int motor, int type) {
    requireInRange(type, 0, MAX_PID_TYPE, "PID type");
    OrdexJNI.c_Ordex_setMotorPIDType(openHandle(), requireMotor(motor), type);
  }

  /**
   * Sets a motor's sensitivity.
   *
   * @param motor the motor, 0 to 3
   * @param sensitivity 0 to {@value #MAX_SENSITIVITY}
   * @throws IllegalArgumentException if an argument is out of range
   */
  public void setSensitivity(int motor, int sensitivity) {
    requireInRange(sensitivity, 0, MAX_SENSITIVITY, "Sensitivity");
    OrdexJNI.c_Ordex_setSensitivity(openHandle(), requireMotor(motor), sensitivity);
  }

  /**
   * Sets the controller's CAN sensor delay (its {@code CANSensorOsDelay} setting).
   *
   * @param delay 0 to 65535 in the controller's units; values below 5 are raised to 5
   * @throws IllegalArgumentException if {@code delay} is out of range
   */
  public void setCanSensorDelay(int delay) {
    requireInRange(delay, 0, MAX_UNSIGNED_SHORT, "CAN sensor delay");
    OrdexJNI.c_Ordex_setCANSensorOsDelay(openHandle(), delay);
  }

  /** Asks the controller to tune the PID gains of every motor. */
  public void autotuneAll() {
    OrdexJNI.c_Ordex_autotuneAll(openHandle());
  }

  /**
   * Asks the controller to tune one motor's PID gains.
   *
   * @param motor the motor, 0 to 3
   * @throws IllegalArgumentException if {@code motor} is out of range
   */
  public void autotuneMotor(int motor) {
    OrdexJNI.c_Ordex_autotuneMotor(openHandle(), requireMotor(motor));
  }

  // --- Readings --------------------------------------------------------------------------------

  /**
   * Returns a motor's speed.
   *
   * @param motor the motor, 0 to 3
   * @return revolutions per minute, to hundredths; 0 if the controller never reported it
   * @throws IllegalArgumentException if {@code motor} is out of range
   */
  public double getRPM(int motor) {
    return OrdexJNI.c_Ordex_getRPM(openHandle(), requireMotor(motor));
  }

  /**
   * Returns a motor's speed if the controller ever reported it.
   *
   * @param motor the motor, 0 to 3
   * @return revolutions per minute, or empty
   * @throws IllegalArgumentException if {@code motor} is out of range
   */
  public OptionalDouble tryGetRPM(int motor) {
    double[] rpm = new double[1];
    return OrdexJNI.c_Ordex_tryGetRPM(openHandle(), requireMotor(motor), rpm)
        ? OptionalDouble.of(rpm[0])
        : OptionalDouble.empty();
  }

  /**
   * Returns a motor's target speed if the controller ever reported it.
   *
   * @param motor the motor, 0 to 3
   * @return revolutions per minute, or empty
   * @throws IllegalArgumentException if {@code motor} is out of range
   */
  public OptionalDouble tryGetTargetRPM(int motor) {
    double[] rpm = new double[1];
    return OrdexJNI.c_Ordex_tryGetTargetRPM(openHandle(), requireMotor(motor), rpm)
        ? OptionalDouble.of(rpm[0])
        : OptionalDouble.empty();
  }

  /**
   * Returns the target speeds of all four motors, indexed by motor, in revolutions per minute.
   *
   * @return the four targets, or empty unless the controller reported every one of them
   */
  public Optional<double[]> tryGetTargetRPMs() {
    return Optional.ofNullable(OrdexJNI.c_Ordex_getTargetRPMFromDevice(openHandle()));
  }

  /**
   * Returns one limit switch of a motor.
   *
   * @param motor the motor, 0 to 3
   * @param second false for the motor's first switch, true for its second
   * @return true while the controller reports the switch active; false if it never reported
   * @throws IllegalArgumentException if {@code motor} is out of range
   */
  public boolean getLimitSwitch(int motor, boolean second) {
    return OrdexJNI.c_Ordex_getLimitSwitch(openHandle(), requireMotor(motor), second);
  }

  /**
   * Returns a motor's Quorin position as the controller reports it, to hundredths.
   *
   * @param motor the motor, 0 to 3
   * @return 0 to 655.35; 0 if the controller never reported it
   * @throws IllegalArgumentException if {@code motor} is out of range
   */
  public double getQuorinPosition(int motor) {
    return OrdexJNI.c_Ordex_getQuorinPosition(openHandle(), requireMotor(motor));
  }

  /**
   * Sets the distance one count of an encoder stands for. The setting belongs to the encoder
   * number, not to a controller: it applies to that encoder of every controller. Each starts at
   * 1.
   *
   * @param encoder the encoder, 0 to 3
   * @param distancePerCount any unit per count; {@link #getEncoderDistance(int)} uses it
   * @throws IllegalArgumentException if {@code encoder} is out of range
   */
  public static void setEncoderDistancePerCount(int encoder, double distancePerCount) {
    // The library ignores the handle of this setting.
    OrdexJNI.c_Ordex_setEncoder(0, requireEncoder(encoder), distancePerCount);
  }

  /**
   * Returns an encoder's count times its distance per count.
   *
   * @param encoder the encoder, 0 to 3
   * @return the count times the distance per count; 0 if the controller never reported the count
   * @throws IllegalArgumentException if {@code encoder} is out of range
   */
  public double getEncoderDistance(int encoder) {
    return OrdexJNI.c_Ordex_getEncoderDistance(openHandle(), requireEncoder(encoder));
  }

  /**
   * Returns an encoder's count; 0 if the controller never reported it.
   *
   * @param encoder the encoder, 0 to 3
   * @return the count; 0 if the controller never reported it
   * @throws IllegalArgumentException if {@code encoder} is out of range
   */
  public int getEncoderCount(int encoder) {
    return OrdexJNI.c_Ordex_getEncoderCount(openHandle(), requireEncoder(encoder));
  }

  /**
   * Returns an encoder's count as a double, for code that works in doubles.
   *
   * @param encoder the encoder, 0 to 3
   * @return the count; 0 if the controller never reported it
   * @throws IllegalArgumentException if {@code encoder} is out of range
   */
  public double getEncoderRaw(int encoder) {
    return OrdexJNI.c_Ordex_getEncoderRaw(openHandle(), requireEncoder(encoder));
  }

  /**
   * Returns the speed of an encoder: the controller reports it as the speed of the motor with
   * the same number.
   *
   * @param encoder the encoder, 0 to 3
   * @return revolutions per minute; 0 if the controller never reported it
   * @throws IllegalArgumentException if {@code encoder} is out of range
   */
  public double getEncoderSpeed(int encoder) {
    return OrdexJNI.c_Ordex_getEncoderSpeed(openHandle(), requireEncoder(encoder));
  }

  // --- Timestamped readings: the value and when its frame arrived ------------------------------

  /**
   * Returns a motor's speed with the moment it arrived.
   *
   * @param motor the motor, 0 to 3
   * @return revolutions per minute and receive time; both 0 if never reported
   * @throws IllegalArgumentException if {@code motor} is out of range
   */
  public Reading getRPMTimestamped(int motor) {
    return timestamped(stamp -> OrdexJNI.c_Ordex_readRPM(openHandle(), requireMotor(motor), stamp));
  }

  /**
   * Returns a motor's target speed with the moment it arrived.
   *
   * @param motor the motor, 0 to 3
   * @return revolutions per minute and receive time; both 0 if never reported
   * @throws IllegalArgumentException if {@code motor} is out of range
   */
  public Reading getTargetRPMTimestamped(int motor) {
    return timestamped(
        stamp -> OrdexJNI.c_Ordex_readTargetRPM(openHandle(), requireMotor(motor), stamp));
  }

  /**
   * Returns an encoder's count with the moment it arrived.
   *
   * @param encoder the encoder, 0 to 3
   * @return the count and receive time; both 0 if never reported
   * @throws IllegalArgumentException if {@code encoder} is out of range
   */
  public Reading getEncoderCountTimestamped(int encoder) {
    return timestamped(
        stamp -> OrdexJNI.c_Ordex_readEncoderCount(openHandle(), requireEncoder(encoder), stamp));
  }

  /**
   * Returns an encoder's count times its distance per count, with the moment the count arrived.
   *
   * @param encoder the encoder, 0 to 3
   * @return the distance and receive time; both 0 if never reported
   * @throws IllegalArgumentException if {@code encoder} is out of range
   */
  public Reading getEncoderDistanceTimestamped(int encoder) {
    return timestamped(
        stamp -> OrdexJNI.c_Ordex_readEncoderDistance(openHandle(), requireEncoder(encoder), stamp));
  }

  /**
   * Returns the controller's temperature with the moment it arrived.
   *
   * @return degrees Celsius and receive time; both 0 if never reported
   */
  public Reading getTemperatureTimestamped() {
    return timestamped(stamp -> OrdexJNI.c_Ordex_readControllerTemp(openHandle(), stamp));
  }

  /**
   * Returns the motor PWM frequency the controller reports, with the moment it arrived.
   *
   * @return hertz and receive time; both 0 if never reported
   */
  public Reading getReportedFrequencyTimestamped() {
    return timestamped(stamp -> OrdexJNI.c_Ordex_readFrequency(openHandle(), stamp));
  }

  /**
   * Returns a motor's Quorin position with the moment it arrived.
   *
   * @param motor the motor, 0 to 3
   * @return 0 to 655.35 and receive time; both 0 if never reported
   * @throws IllegalArgumentException if {@code motor} is out of range
   */
  public Reading getQuorinPositionTimestamped(int motor) {
    return timestamped(
        stamp -> OrdexJNI.c_Ordex_readQuorinPosition(openHandle(), requireMotor(motor), stamp));
  }

  /**
   * Returns one limit switch of a motor with the moment its state arrived.
   *
   * @param motor the motor, 0 to 3
   * @param second false for the motor's first switch, true for its second
   * @return the state and receive time; false at time 0 if never reported
   * @throws IllegalArgumentException if {@code motor} is out of range
   */
  public SwitchReading getLimitSwitchTimestamped(int motor, boolean second) {
    long[] stamp = new long[1];
    boolean pressed =
        OrdexJNI.c_Ordex_readLimitSwitch(openHandle(), requireMotor(motor), second, stamp);
    return new SwitchReading(pressed, stamp[0]);
  }

  /**
   * Asks the controller to set an encoder's count to 0.
   *
   * @param encoder the encoder, 0 to 3
   * @throws IllegalArgumentException if {@code encoder} is out of range
   */
  public void resetEncoder(int encoder) {
    OrdexJNI.c_Ordex_resetEncoder(openHandle(), requireEncoder(encoder));
  }

  // --- Helpers ---------------------------------------------------------------------------------

  /** A read of the library's that stores when the value's frame arrived in {@code stamp[0]}. */
  private interface StampedRead {
    double read(long[] stamp);
  }

  private static Reading timestamped(StampedRead read) {
    long[] stamp = new long[1];
    double value = read.read(stamp);
    return new Reading(value, stamp[0]);
  }

  private Optional<String> identityText(int index) {
    String[] texts = new String[IDENTITY_TEXTS];
    return OrdexJNI.c_Ordex_tryGetIdentity(openHandle(), null, texts)
        ? Optional.of(texts[index])
        : Optional.empty();
  }

  private static int requireMotor(int motor) {
    return requireInRange(motor, 0, MOTOR_COUNT - 1, "Motor");
  }

  private static int requireEncoder(int encoder) {
    return requireInRange(encoder, 0, MOTOR_COUNT - 1, "Encoder");
  }
}

package com.halvern.frc.jni;

/**
 * The raw native methods of the Ordex motor controller: one per C function {@code c_Ordex_*} of
 * HalvernDriver, with the same name and meaning.
 *
 * <p>Robot programs normally use {@link com.halvern.frc.Ordex} instead. These methods check
 * nothing on the Java side and pass their arguments the way the library receives them:
 *
 * <ul>
 *   <li>A handle is the value {@link #c_Ordex_create} returned (0 means failure); only its low 32
 *       bits reach the library.
 *   <li>A motor or encoder number reaches the library as its low 8 bits read as a signed byte, so
 *       260 is motor 4 and 255 is motor -1.
 *   <li>Modes, types and the sensitivity pass their low 8 bits; the encoder resolution and the
 *       sensor delay their low 16 bits.
 *   <li>A setter given an argument outside the range it names sends nothing and prints nothing,
 *       unless its comment says the value is clamped or raised. Where only motor numbers above 3
 *       are rejected, a negative one is sent as its byte (-1 as 255).
 *   <li>A reading decodes the newest message of its kind the controller sent; one it never sent
 *       reads 0 (false for a limit switch). Only the {@code tryGet} methods and {@link
 *       #c_Ordex_getTargetRPMFromDevice} tell the two apart.
 * </ul>
 *
 * <p>Loading this class loads the native library {@code HalvernDriver} from {@code
 * java.library.path}; it throws {@link UnsatisfiedLinkError} when the library is not there.
 */
public final class OrdexJNI {
  static {
    NativeLibrary.load();
  }

  private OrdexJNI() {}

  /**
   * Creates a controller: opens its CAN device, sends the motor PWM frequency to its four motors
   * and starts telling it ten times a second whether the robot is enabled.
   *
   * @param deviceId the controller's CAN device number, 1 to 63
   * @param frequency the motor PWM frequency in hertz, 0 to 20000
   * @return the controller's handle, or 0 after the library printed why it failed on standard
   *     output (an argument out of range, or a CAN device that could not be opened)
   */
  public static native long c_Ordex_create(int deviceId, int frequency);

  /**
   * Creates a controller on one of the robot controller's CAN buses, as {@link #c_Ordex_create}
   * (which is this on bus 0); everything sent to it or read from it goes over that bus.
   *
   * @param bus the CAN bus: 0 to 5 on WPILib 2027, only 0 on WPILib 2026
   * @param deviceId the controller's CAN device number, 1 to 63
   * @param frequency the motor PWM frequency in hertz, 0 to 20000
   * @return the controller's handle, or 0 after the library printed why it failed on standard
   *     output (an argument out of range, a bus the platform does not have, or a CAN device that
   *     could not be opened)
   */
  public static native long c_Ordex_createOnBus(int bus, int deviceId, int frequency);

  /**
   * The CAN bus of a controller.
   *
   * @param handle the controller's handle
   * @return the bus it was created on, or -1 when the handle is not a live controller
   */
  public static native int c_Ordex_getCanBus(long handle);

  /**
   * Stops telling the controller whether the robot is enabled, forgets it and releases its CAN
   * device. Destroy every controller before the library is unloaded.
   *
   * @param handle the controller's handle
   */
  public static native void c_Ordex_destroy(long handle);

  /**
   * Returns the device number the controller reports of itself. The first identity call on a
   * handle asks the controller, waiting up to about 1 s; later ones are served from memory.
   *
   * @param handle the controller's handle
   * @return the reported device number, or 0 when the controller does not answer (the library
   *     prints a line on standard error, and the next identity call asks again)
   */
  public static native int c_Ordex_getID(long handle);

  /**
   * Returns the motor PWM frequency the controller reports.
   *
   * @param handle the controller's handle
   * @return the frequency in hertz, 0 to 65535
   */
  public static native int c_Ordex_getFrequency(long handle);

  /**
   * Returns the controller's firmware version, waiting like {@link #c_Ordex_getID}.
   *
   * @param handle the controller's handle
   * @return {@code "Firmware Version: [a.b.c]"}, or {@code "Firmware Version: (read failed)"}
   *     when the controller does not answer
   */
  public static native String c_Ordex_getFirmwareVersion(long handle);

  /**
   * Returns the controller's hardware kind and version, waiting like {@link #c_Ordex_getID}.
   *
   * @param handle the controller's handle
   * @return {@code "Hardware: Ordex Quad, Version: n"} or {@code "Hardware: Ordex Small, Version:
   *     n"}; {@code "No Hardware Found!"} for an unknown kind; {@code "Hardware: (read failed)"}
   *     when the controller does not answer
   */
  public static native String c_Ordex_getHardwareVersion(long handle);

  /**
   * Asks the controller for its serial number and waits 10 ms for it.
   *
   * @param handle the controller's handle
   * @return three groups of 8 uppercase hex digits joined by hyphens; a group that did not arrive
   *     in time reads {@code 00000000}
   */
  public static native String c_Ordex_getSerialNumber(long handle);

  /**
   * Returns the controller's temperature.
   *
   * @param handle the controller's handle
   * @return degrees Celsius, to hundredths
   */
  public static native double c_Ordex_getControllerTemp(long handle);

  /**
   * Drives a motor with a duty cycle, sent in whole percent.
   *
   * @param handle the controller's handle
   * @param motor the motor, 0 to 3
   * @param speed the duty cycle from -1 (full reverse) to 1 (full forward), clamped; 0 brakes
   */
  public static native void c_Ordex_setMotorSpeed(long handle, int motor, double speed);

  /**
   * Sends a motor PWM frequency to one motor.
   *
   * @param handle the controller's handle
   * @param motor the motor, 0 to 3; sent unchecked
   * @param frequency the frequency in hertz; its low 16 bits are sent
   */
  public static native void c_Ordex_configureMotor(long handle, int motor, int frequency);

  /**
   * Stops driving a motor.
   *
   * @param handle the controller's handle
   * @param motor the motor, 0 to 3; sent unchecked
   */
  public static native void c_Ordex_disableMotor(long handle, int motor);

  /**
   * Returns a motor's speed.
   *
   * @param handle the controller's handle
   * @param motor the motor, 0 to 3; any other number reads motor 0
   * @return revolutions per minute, to hundredths
   */
  public static native double c_Ordex_getRPM(long handle, int motor);

  /**
   * Returns one limit switch of a motor.
   *
   * @param handle the controller's handle
   * @param motor the motor, 0 to 3
   * @param direction false for the motor's first switch, true for its second
   * @return true while the controller reports the switch active; false for another motor
   */
  public static native boolean c_Ordex_getLimitSwitch(long handle, int motor, boolean direction);

  /**
   * Returns a motor's Quorin position as the controller reports it.
   *
   * @param handle the controller's handle
   * @param motor the motor, 0 to 3
   * @return 0 to 655.35, to hundredths; 0 for another motor, without reading
   */
  public static native double c_Ordex_getQuorinPosition(long handle, int motor);

  /**
   * Sets the distance one count of an encoder stands for, for that encoder of every controller;
   * nothing is sent. Each starts at 1.
   *
   * @param handle ignored
   * @param encoder the encoder, 0 to 3
   * @param distancePerCount any unit per count, used by {@link #c_Ordex_getEncoderDistance}
   */
  public static native void c_Ordex_setEncoder(long handle, int encoder, double distancePerCount);

  /**
   * Returns an encoder's count times its distance per count.
   *
   * @param handle the controller's handle
   * @param encoder the encoder, 0 to 3
   * @return the distance; 0 for another encoder
   */
  public static native double c_Ordex_getEncoderDistance(long handle, int encoder);

  /**
   * Asks the controller to set an encoder's count to 0.
   *
   * @param handle the controller's handle
   * @param encoder the encoder, 0 to 3; sent unchecked
   */
  public static native void c_Ordex_resetEncoder(long handle, int encoder);

  /**
   * Returns an encoder's count as a double.
   *
   * @param handle the controller's handle
   * @param encoder the encoder, 0 to 3; any other number reads encoder 0
   * @return the count
   */
  public static native double c_Ordex_getEncoderRaw(long handle, int encoder);

  /**
   * Returns the speed of an encoder: the controller reports it as the speed of the motor with
   * the same number.
   *
   * @param handle the controller's handle
   * @param encoder the encoder, 0 to 3; any other number reads encoder 0
   * @return revolutions per minute, to hundredths
   */
  public static native double c_Ordex_getEncoderSpeed(long handle, int encoder);

  /**
   * Returns an encoder's count.
   *
   * @param handle the controller's handle
   * @param encoder the encoder, 0 to 3; any other number reads encoder 0
   * @return the count
   */
  public static native int c_Ordex_getEncoderCount(long handle, int encoder);

  /**
   * Sets a motor's velocity target, sent in hundredths rounded half away from zero.
   *
   * @param handle the controller's handle
   * @param motor the motor; only numbers above 3 are rejected
   * @param velocity the target in revolutions per minute
   */
  public static native void c_Ordex_setTargetVelocity(long handle, int motor, float velocity);

  /**
   * Sets a motor's distance target.
   *
   * @param handle the controller's handle
   * @param motor the motor; only numbers above 3 are rejected
   * @param distance the target in encoder counts; its low 24 bits are sent
   */
  public static native void c_Ordex_setTargetDistance(long handle, int motor, int distance);

  /**
   * Sets a motor's angle target, sent in whole hundredths of a degree.
   *
   * @param handle the controller's handle
   * @param motor the motor; only numbers above 3 are rejected
   * @param angle the target in degrees, clamped to 0 to 360 (NaN becomes 0)
   */
  public static native void c_Ordex_setTargetAngle(long handle, int motor, double angle);

  /**
   * Tells a motor whether to hold its position when it reaches its target.
   *
   * @param handle the controller's handle
   * @param motor the motor; only numbers above 3 are rejected
   * @param hold true to hold
   */
  public static native void c_Ordex_setPositionHold(long handle, int motor, boolean hold);

  /**
   * Sets the resolution of a motor's encoder.
   *
   * @param handle the controller's handle
   * @param motor the motor; only numbers above 3 are rejected
   * @param resolution counts per revolution, 0 to 65535
   */
  public static native void c_Ordex_setEncoderResolution(long handle, int motor, int resolution);

  /**
   * Sets a motor's current limit, sent in whole hundredths of an ampere in 16 bits.
   *
   * @param handle the controller's handle
   * @param motor the motor; only numbers above 3 are rejected
   * @param limit the limit in amperes; a negative limit becomes 0
   */
  public static native void c_Ordex_setCurrentLimit(long handle, int motor, float limit);

  /**
   * Sets a motor's current-limit mode.
   *
   * @param handle the controller's handle
   * @param motor the motor; only numbers above 3 are rejected
   * @param mode 0 or 1; sent as 1 when its low 8 bits are nonzero
   */
  public static native void c_Ordex_setCurrentLimitMode(long handle, int motor, int mode);

  /**
   * Sets how the controller stops its motors.
   *
   * @param handle the controller's handle
   * @param mode the controller's stop-mode code, 0 to 255
   */
  public static native void c_Ordex_setMotorStopMode(long handle, int mode);

  /**
   * Sets the PID type of every motor.
   *
   * @param handle the controller's handle
   * @param type 0 to 2
   */
  public static native void c_Ordex_setPIDType(long handle, int type);

  /**
   * Sets the PID type of one motor.
   *
   * @param handle the controller's handle
   * @param motor the motor, 0 to 3
   * @param type 0 to 2
   */
  public static native void c_Ordex_setMotorPIDType(long handle, int motor, int type);

  /**
   * Asks the controller to tune the PID gains of every motor.
   *
   * @param handle the controller's handle
   */
  public static native void c_Ordex_autotuneAll(long handle);

  /**
   * Asks the controller to tune one motor's PID gains.
   *
   * @param handle the controller's handle
   * @param motor the motor, 0 to 3
   */
  public static native void c_Ordex_autotuneMotor(long handle, int motor);

  /**
   * Sets the controller's CAN sensor delay.
   *
   * @param handle the controller's handle
   * @param delay 0 to 65535 in the controller's units; values below 5 are raised to 5
   */
  public static native void c_Ordex_setCANSensorOsDelay(long handle, int delay);

  /**
   * Sets a motor's sensitivity.
   *
   * @param handle the controller's handle
   * @param motor the motor; only numbers above 3 are rejected
   * @param sensitivity 0 to 10
   */
  public static native void c_Ordex_setSensitivity(long handle, int motor, int sensitivity);

  /**
   * Stores the motor's speed in RPM in {@code out[0]} and returns true when the controller ever
   * reported it; returns false and leaves {@code out} untouched otherwise, or when {@code out} is
   * null.
   *
   * @param handle the controller's handle
   * @param motor the motor, 0 to 3; any other number reads motor 0
   * @param out an array of at least one element; an empty one makes the call throw {@link
   *     ArrayIndexOutOfBoundsException} when the speed is read
   * @return whether the speed was read into {@code out[0]}
   */
  public static native boolean c_Ordex_tryGetRPM(long handle, int motor, double[] out);

  /**
   * Like {@link #c_Ordex_tryGetRPM}, for the motor's target speed.
   *
   * @param handle the controller's handle
   * @param motor the motor, 0 to 3; another number returns false
   * @param out an array of at least one element, as for {@link #c_Ordex_tryGetRPM}
   * @return whether the target speed was read into {@code out[0]}
   */
  public static native boolean c_Ordex_tryGetTargetRPM(long handle, int motor, double[] out);

  /**
   * The target speeds of motors 0 to 3 in RPM, or null unless the controller reported all.
   *
   * @param handle the controller's handle
   * @return a new array of the four targets, indexed by motor; null when any is missing
   */
  public static native double[] c_Ordex_getTargetRPMFromDevice(long handle);

  // --- Calls that never wait ------------------------------------------------------------------

  /**
   * Starts asking the controller for its identity in the background, unless it is known or
   * already being asked; never waits. The fetch asks as {@link #c_Ordex_getID} does (eight
   * attempts, about 1 s), then once a second until the controller answers or is destroyed; it
   * prints nothing.
   *
   * @param handle the controller's handle
   * @return true when the identity is known or being fetched; false for an unknown handle
   */
  public static native boolean c_Ordex_requestIdentity(long handle);

  /**
   * The controller's identity, if it has answered; never waits and never asks.
   *
   * @param handle the controller's handle
   * @param numbers null, or at least 6 elements: receives the reported device number, firmware
   *     major, minor and patch, hardware kind (1 Ordex Quad, 2 Ordex Small) and hardware version
   * @param texts null, or at least 2 elements: receives the texts of {@link
   *     #c_Ordex_getFirmwareVersion} and {@link #c_Ordex_getHardwareVersion}
   * @return true when the identity is known and was stored; false, with the arrays untouched,
   *     until the controller answered (a too short array throws {@link
   *     ArrayIndexOutOfBoundsException} once it did)
   */
  public static native boolean c_Ordex_tryGetIdentity(long handle, int[] numbers, String[] texts);

  /**
   * True while the controller's status frames keep arriving: false once none arrived for more
   * than 100 ms on the robot's clock, and for an unknown handle. Never waits.
   *
   * @param handle the controller's handle
   * @return whether the controller is connected
   */
  public static native boolean c_Ordex_isConnected(long handle);

  /**
   * The timestamped readings. Each returns the value its get method returns, reading the newest
   * frame of its kind once, and stores in {@code timestampUs[0]} (when the array is not null)
   * when that frame was received, in microseconds on the robot's clock ({@code
   * RobotController.getFPGATime()}'s time base), or 0 when the controller never sent it. A
   * motor or encoder outside 0 to 3 reads 0 at time 0. None waits. An empty array throws {@link
   * ArrayIndexOutOfBoundsException}.
   *
   * @param handle the controller's handle
   * @param motor the motor, 0 to 3
   * @param timestampUs null, or an array whose element 0 receives the receive time
   * @return the motor's speed in RPM
   */
  public static native double c_Ordex_readRPM(long handle, int motor, long[] timestampUs);

  /**
   * The motor's target speed in RPM, timestamped as {@link #c_Ordex_readRPM}.
   *
   * @param handle the controller's handle
   * @param motor the motor, 0 to 3
   * @param timestampUs null, or an array whose element 0 receives the receive time
   * @return the target speed in RPM
   */
  public static native double c_Ordex_readTargetRPM(long handle, int motor, long[] timestampUs);

  /**
   * The encoder's count, timestamped as {@link #c_Ordex_readRPM}.
   *
   * @param handle the controller's handle
   * @param encoder the encoder, 0 to 3
   * @param timestampUs null, or an array whose element 0 receives the receive time
   * @return the count
   */
  public static native double c_Ordex_readEncoderCount(long handle, int encoder, long[] timestampUs);

  /**
   * The encoder's count times its distance per count, timestamped as {@link #c_Ordex_readRPM}.
   *
   * @param handle the controller's handle
   * @param encoder the encoder, 0 to 3
   * @param timestampUs null, or an array whose element 0 receives the receive time
   * @return the distance
   */
  public static native double c_Ordex_readEncoderDistance(
      long handle, int encoder, long[] timestampUs);

  /**
   * The controller's temperature in degrees Celsius, timestamped as {@link #c_Ordex_readRPM}.
   *
   * @param handle the controller's handle
   * @param timestampUs null, or an array whose element 0 receives the receive time
   * @return the temperature
   */
  public static native double c_Ordex_readControllerTemp(long handle, long[] timestampUs);

  /**
   * The motor PWM frequency in hertz the controller reports, timestamped as {@link
   * #c_Ordex_readRPM}.
   *
   * @param handle the controller's handle
   * @param timestampUs null, or an array whose element 0 receives the receive time
   * @return the frequency
   */
  public static native double c_Ordex_readFrequency(long handle, long[] timestampUs);

  /**
   * The motor's Quorin position, timestamped as {@link #c_Ordex_readRPM}.
   *
   * @param handle the controller's handle
   * @param motor the motor, 0 to 3
   * @param timestampUs null, or an array whose element 0 receives the receive time
   * @return the position, 0 to 655.35
   */
  public static native double c_Ordex_readQuorinPosition(long handle, int motor, long[] timestampUs);

  /**
   * One limit switch of the motor, timestamped as {@link #c_Ordex_readRPM}.
   *
   * @param handle the controller's handle
   * @param motor the motor, 0 to 3
   * @param direction false for the motor's first switch, true for its second
   * @param timestampUs null, or an array whose element 0 receives the receive time
   * @return whether the switch is pressed
   */
  public static native boolean c_Ordex_readLimitSwitch(
      long handle, int motor, boolean direction, long[] timestampUs);
}

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

  /** Returns the controller's handle, or 0 after the library printed why it failed. */
  public static native long c_Ordex_create(int deviceId, int frequency);

  public static native void c_Ordex_destroy(long handle);

  public static native int c_Ordex_getID(long handle);

  public static native int c_Ordex_getFrequency(long handle);

  public static native String c_Ordex_getFirmwareVersion(long handle);

  public static native String c_Ordex_getHardwareVersion(long handle);

  public static native String c_Ordex_getSerialNumber(long handle);

  public static native double c_Ordex_getControllerTemp(long handle);

  public static native void c_Ordex_setMotorSpeed(long handle, int motor, double speed);

  public static native void c_Ordex_configureMotor(long handle, int motor, int frequency);

  public static native void c_Ordex_disableMotor(long handle, int motor);

  public static native double c_Ordex_getRPM(long handle, int motor);

  public static native boolean c_Ordex_getLimitSwitch(long handle, int motor, boolean direction);

  public static native double c_Ordex_getQuorinPosition(long handle, int motor);

  public static native void c_Ordex_setEncoder(long handle, int encoder, double distancePerCount);

  public static native double c_Ordex_getEncoderDistance(long handle, int encoder);

  public static native void c_Ordex_resetEncoder(long handle, int encoder);

  public static native double c_Ordex_getEncoderRaw(long handle, int encoder);

  public static native double c_Ordex_getEncoderSpeed(long handle, int encoder);

  public static native int c_Ordex_getEncoderCount(long handle, int encoder);

  public static native void c_Ordex_setTargetVelocity(long handle, int motor, float velocity);

  public static native void c_Ordex_setTargetDistance(long handle, int motor, int distance);

  public static native void c_Ordex_setTargetAngle(long handle, int motor, double angle);

  public static native void c_Ordex_setPositionHold(long handle, int motor, boolean hold);

  public static native void c_Ordex_setEncoderResolution(long handle, int motor, int resolution);

  public static native void c_Ordex_setCurrentLimit(long handle, int motor, float limit);

  public static native void c_Ordex_setCurrentLimitMode(long handle, int motor, int mode);

  public static native void c_Ordex_setMotorStopMode(long handle, int mode);

  public static native void c_Ordex_setPIDType(long handle, int type);

  public static native void c_Ordex_setMotorPIDType(long handle, int motor, int type);

  public static native void c_Ordex_autotuneAll(long handle);

  public static native void c_Ordex_autotuneMotor(long handle, int motor);

  public static native void c_Ordex_setCANSensorOsDelay(long handle, int delay);

  public static native void c_Ordex_setSensitivity(long handle, int motor, int sensitivity);

  /**
   * Stores the motor's speed in RPM in {@code out[0]} and returns true when the controller ever
   * reported it; returns false and leaves {@code out} untouched otherwise, or when {@code out} is
   * null.
   */
  public static native boolean c_Ordex_tryGetRPM(long handle, int motor, double[] out);

  /** Like {@link #c_Ordex_tryGetRPM}, for the motor's target speed. */
  public static native boolean c_Ordex_tryGetTargetRPM(long handle, int motor, double[] out);

  /** The target speeds of motors 0 to 3 in RPM, or null unless the controller reported all. */
  public static native double[] c_Ordex_getTargetRPMFromDevice(long handle);
}

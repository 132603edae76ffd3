package com.halvern.frc.jni;

/**
 * The raw native methods of the four-input analog board on the robot controller's
 * expansion-port I2C bus: one per C function of HalvernDriver's analog board ({@code
 * c_initializeI2C}, {@code c_closeI2C}, {@code c_getRawValue}, {@code c_getVoltage}), with the
 * same name and meaning.
 *
 * <p>Robot programs normally use {@link com.halvern.frc.Ferix} instead. These methods check
 * nothing on the Java side and pass their arguments the way the library receives them:
 *
 * <ul>
 *   <li>The library drives one board, at I2C port 1 (the expansion port) and address 0x48, so no
 *       method takes a handle.
 *   <li>The reference voltage reaches the library in whole volts, truncated toward zero: 3.9
 *       becomes 3 and -0.5 becomes 0. NaN becomes 0, and a value beyond what an {@code int} holds
 *       becomes the nearest {@code int}.
 *   <li>A channel reaches the library as its low 8 bits: 256 reads input 0, 259 input 3, and -1
 *       (255) is no input.
 *   <li>Nothing throws or prints: a board that does not answer shows in the value {@link
 *       #c_initializeI2C} returns, and its readings are 0.
 * </ul>
 *
 * <p>{@link #c_getRawValue} and {@link #c_getVoltage} write the board's configuration, wait 1 ms
 * for its converter and read the result, so each blocks its caller for a little over 1 ms.
 * Readings from several threads are taken one after another, each returning its own input. For
 * a robot's periodic loop, {@link #c_Ferix_startConversions} starts a library thread that
 * converts the four inputs in turn; {@link #c_Ferix_getLatest} and {@link #c_Ferix_isConnected}
 * then answer at once from what it holds.
 *
 * <p>Loading this class loads the native library {@code HalvernDriver} from {@code
 * java.library.path}; it throws {@link UnsatisfiedLinkError} when the library is not there.
 */
public final class FerixJNI {
  static {
    NativeLibrary.load();
  }

  private FerixJNI() {}

  /**
   * Opens the I2C bus, stores the reference voltage that scales {@link #c_getVoltage} and checks
   * that the board answers. The bus stays open whatever the answer. May be called again, to
   * replace the reference voltage.
   *
   * @param referenceVoltage the reference voltage; the library keeps it in whole volts,
   *     truncated toward zero
   * @return true when the board answered a one-byte read at I2C port 1, address 0x48
   */
  public static native boolean c_initializeI2C(float referenceVoltage);

  /** Closes the I2C bus; the reference voltage is kept. Readings then return 0. */
  public static native void c_closeI2C();

  /**
   * Reads one input against ground as a 12-bit count: 1 mV a count from 0 to 4095 (an input
   * slightly below ground reads near 4095).
   *
   * @param channel the input, its low 8 bits taken: 0 to 3
   * @return the count; 0 for an input above 3 (the board is not asked), a read the board did
   *     not answer, or a closed bus
   */
  public static native int c_getRawValue(int channel);

  /**
   * Reads one input as {@link #c_getRawValue} does and scales the count by the reference voltage
   * / 2048, in single precision.
   *
   * @param channel the input, its low 8 bits taken: 0 to 3
   * @return the scaled reading; 0 whenever {@link #c_getRawValue} would return 0, and before the
   *     first {@link #c_initializeI2C}
   */
  public static native float c_getVoltage(int channel);

  /**
   * Starts the background conversions on a bus opened by {@link #c_initializeI2C}. Never waits.
   * {@link #c_initializeI2C} and {@link #c_closeI2C} stop them.
   *
   * @return true when conversions run; false before {@link #c_initializeI2C} or after {@link
   *     #c_closeI2C}
   */
  public static native boolean c_Ferix_startConversions();

  /**
   * Returns one input's latest background conversion. Never waits.
   *
   * @param channel the input, 0 to 3 (no low-8-bit wrapping: any other value has no reading)
   * @return a new reading; all zero (timestamp 0) when there is none
   */
  public static native com.halvern.frc.Ferix.Reading c_Ferix_getLatest(int channel);

  /**
   * Waits until every input has a background conversion, at most {@code timeoutMs}
   * milliseconds. Not for a robot's periodic loop.
   *
   * @param timeoutMs the longest wait in milliseconds
   * @return true when all four inputs have a conversion
   */
  public static native boolean c_Ferix_waitForConversions(int timeoutMs);

  /**
   * Returns whether background conversions are being answered: false once none has been for 100
   * ms, and while conversions are not running. Never waits.
   *
   * @return true while the board answers
   */
  public static native boolean c_Ferix_isConnected();
}

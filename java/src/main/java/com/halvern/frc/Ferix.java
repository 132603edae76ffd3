package com.halvern.frc;

import com.halvern.frc.jni.FerixJNI;

/**
 * The four-input analog board on the robot controller's expansion-port I2C bus (port {@value
 * #I2C_PORT}, address 0x48). Each input is read against ground as a 12-bit count, and as a
 * voltage scaled by the reference voltage (whole volts) given when the board is opened.
 *
 * <p>Opening a board with {@link #Ferix(int)} opens the bus, stores the reference voltage and
 * starts the library's background conversions: one library thread converts the four inputs in
 * turn (each about every 10 ms), and the constructor waits up to {@value
 * #FIRST_CONVERSIONS_WAIT_MS} ms for the first conversion of each. {@link #getRaw(int)}, {@link
 * #getVoltage(int)}, {@link #getReading(int)} and {@link #isConnected()} never wait: they return
 * the latest conversion the library holds, made for a robot's periodic loop. A board that does
 * not answer throws nothing: its readings are 0 (timestamp 0) and {@link #isConnected()} is
 * false; it is found again as soon as it answers.
 *
 * <p>The library drives one such board per program. Opening a second {@code Ferix} replaces the
 * first: the bus is opened again with the new reference voltage and the presence check runs
 * again, and the first object is closed (its methods throw). Closing the board closes the bus;
 * closing a board that a newer one replaced does nothing, so it cannot close the newer one's
 * bus.
 *
 * <p>Inputs are numbered 0 to 3. A channel outside that range throws {@link
 * IllegalArgumentException} and reads nothing (the native methods of {@link FerixJNI} would read
 * 0 instead, and take only a channel's low 8 bits). Every method but {@link #close()} and {@link
 * #isClosed()} throws {@link IllegalStateException} once the board is closed or replaced.
 *
 * <p>Readings may be made from any thread.
 */
public final class Ferix extends LibraryWideDevice {
  /** The number of inputs; they are numbered from 0. */
  public static final int CHANNELS = 4;
  /** The largest count {@link #getRaw(int)} returns; the smallest is 0. */
  public static final int MAX_RAW = 4095;
  /**
   * The count that reads as the reference voltage: {@link #getVoltage(int)} is {@link
   * #getRaw(int)} times the reference voltage / {@value #FULL_SCALE_COUNT}.
   */
  public static final int FULL_SCALE_COUNT = 2048;
  /** The robot controller's I2C port the board is on: the expansion (MXP) port. */
  public static final int I2C_PORT = 1;
  /** The board's 7-bit I2C address. */
  public static final int I2C_ADDRESS = 0x48;
  /** How long the constructor waits for the first conversion of every input, in milliseconds. */
  public static final int FIRST_CONVERSIONS_WAIT_MS = 100;

  /** One input's latest conversion; made by the library, all zero when there is none. */
  public static final class Reading {
    /** The count, 0 to {@value Ferix#MAX_RAW}; 0 when there is none. */
    public int raw;
    /** The count scaled by the reference voltage / {@value Ferix#FULL_SCALE_COUNT}. */
    public double volts;
    /**
     * When it was converted, in microseconds on the robot's clock (the time base of {@code
     * Timer.getFPGATimestamp()}); 0 when there is none.
     */
    public long timestampUs;

    /** An empty reading: no conversion. */
    public Reading() {}
  }

  private static final Holder BOARD = new Holder(); // the board the library drives

  private final int referenceVolts;

  /**
   * Opens the board: opens the I2C bus, stores the reference voltage and checks that the board
   * answers (see {@link #isConnected()}). The bus stays open whether it answered or not.
   *
   * <p>The library keeps the reference voltage in whole volts, so it is given as an {@code int}:
   * a board referenced to 3.3 V cannot be scaled exactly by the library; read {@link
   * #getRaw(int)} and scale it in the robot program instead.
   *
   * <p>A {@code Ferix} opened before, and not closed, is replaced: it is closed, and this board
   * takes over the bus.
   *
   * <p>Waits up to {@value #FIRST_CONVERSIONS_WAIT_MS} ms for the first conversions: not for a
   * robot's periodic loop.
   *
   * @param referenceVolts the reference voltage in volts, 1 or more
   * @throws IllegalArgumentException if {@code referenceVolts} is less than 1; nothing is opened
   *     or replaced then
   */
  public Ferix(int referenceVolts) {
    super(BOARD, "Analog board");
    if (referenceVolts < 1) {
      throw new IllegalArgumentException(
          "Reference voltage " + referenceVolts + " V is not positive");
    }
    this.referenceVolts = referenceVolts;
    takeOver(() -> {
      FerixJNI.c_initializeI2C(referenceVolts); // isConnected() follows the board from now on
      FerixJNI.c_Ferix_startConversions();
    });
    FerixJNI.c_Ferix_waitForConversions(FIRST_CONVERSIONS_WAIT_MS);
  }

  /**
   * Stops the background conversions and closes the I2C bus. Closing again, or closing a board
   * that a newer one replaced, does nothing. A reading that another thread began as the board
   * was being closed returns the latest conversion or 0.
   */
  @Override
  public void close() {
    super.close();
  }

  @Override
  void closeDevice() {
    FerixJNI.c_closeI2C();
  }

  /**
   * Returns whether the board answers: true while its conversions keep being acknowledged,
   * false once none has been for 100 ms. Never waits.
   *
   * @return true while the board answers
   */
  public boolean isConnected() {
    checkOpen();
    return FerixJNI.c_Ferix_isConnected();
  }

  /**
   * Returns the reference voltage the board was opened with, in volts.
   *
   * @return the reference voltage in volts, 1 or more
   */
  public int getReferenceVoltage() {
    return getWhileOpen(() -> referenceVolts);
  }

  /**
   * Returns one input's latest conversion, with its count, voltage and timestamp. Never waits.
   *
   * @param channel the input, 0 to 3
   * @return a new reading; all zero when there is none yet or the board did not answer its
   *     latest conversion
   * @throws IllegalArgumentException if {@code channel} is out of range
   */
  public Reading getReading(int channel) {
    requireChannel(channel);
    checkOpen();
    Reading reading = FerixJNI.c_Ferix_getLatest(channel);
    return reading != null ? reading : new Reading();
  }

  /**
   * Returns one input's latest conversion as a 12-bit count against ground. The board measures
   * 1 mV a count up to 2.047 V; an input slightly below ground reads near {@value #MAX_RAW}.
   * Never waits.
   *
   * @param channel the input, 0 to 3
   * @return the count, 0 to {@value #MAX_RAW}; 0 when there is none (see {@link
   *     #getReading(int)})
   * @throws IllegalArgumentException if {@code channel} is out of range
   */
  public int getRaw(int channel) {
    return getReading(channel).raw;
  }

  /**
   * Returns one input's latest conversion as {@link #getRaw(int)} does, scaled: the count times
   * the reference voltage / {@value #FULL_SCALE_COUNT}, worked out by the library in single
   * precision. Never waits.
   *
   * @param channel the input, 0 to 3
   * @return the scaled reading, 0 to {@value #MAX_RAW} / {@value #FULL_SCALE_COUNT} times the
   *     reference voltage; 0.0 when there is none
   * @throws IllegalArgumentException if {@code channel} is out of range
   */
  public double getVoltage(int channel) {
    return getReading(channel).volts;
  }

  private static void requireChannel(int channel) {
    Checks.requireInRange(channel, 0, CHANNELS - 1, "Channel");
  }
}

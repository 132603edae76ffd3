package com.halvern.frc;

import com.halvern.frc.jni.FerixJNI;

/**
 * The four-input analog board on the robot controller's expansion-port I2C bus (port {@value
 * #I2C_PORT}, address 0x48). Each input is read against ground as a 12-bit count, and as a
 * voltage scaled by the reference voltage (whole volts) given when the board is opened.
 *
 * <p>Opening a board with {@link #Ferix(int)} opens the bus, stores the reference voltage and
 * checks that the board answers; {@link #isConnected()} tells whether it did. A board that did
 * not answer throws nothing: its readings are 0, as is any reading the board does not answer
 * later. Every reading writes the board's configuration, waits 1 ms for its converter and reads
 * the result, so {@link #getRaw(int)} and {@link #getVoltage(int)} block their caller for a
 * little over 1 ms; keep that in mind before reading all four inputs in every loop of a robot
 * program.
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
 * <p>Readings may be made from any thread. The library takes them one after another, each
 * returning its own input, so a reading may wait for the others in progress.
 */
public final class Ferix implements AutoCloseable {
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

  private static final Object LOCK = new Object(); // guards current and every board's state
  private static Ferix current; // the board the library drives; null when it was closed

  private final int referenceVolts;
  private final boolean connected;
  private boolean closed;
  private boolean replaced;

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
   * @param referenceVolts the reference voltage in volts, 1 or more
   * @throws IllegalArgumentException if {@code referenceVolts} is less than 1; nothing is opened
   *     or replaced then
   */
  public Ferix(int referenceVolts) {
    if (referenceVolts < 1) {
      throw new IllegalArgumentException(
          "Reference voltage " + referenceVolts + " V is not positive");
    }
    this.referenceVolts = referenceVolts;
    synchronized (LOCK) {
      if (current != null) {
        current.closed = true;
        current.replaced = true;
      }
      this.connected = FerixJNI.c_initializeI2C(referenceVolts);
      current = this;
    }
  }

  /**
   * Closes the I2C bus. Closing again, or closing a board that a newer one replaced, does
   * nothing. A reading that another thread began as the board was being closed either
   * completes or returns 0.
   */
  @Override
  public void close() {
    synchronized (LOCK) {
      if (closed) {
        return;
      }
      FerixJNI.c_closeI2C();
      closed = true;
      current = null;
    }
  }

  /**
   * Returns true once {@link #close()} has been called or a newer {@code Ferix} replaced it.
   *
   * @return true if the board is closed or replaced, false while it is open
   */
  public boolean isClosed() {
    synchronized (LOCK) {
      return closed;
    }
  }

  /**
   * Returns whether the board answered when it was opened. The answer is not checked again: a
   * board that is unplugged later reads 0 (and one that was absent when opened is found by
   * opening a new {@code Ferix}).
   *
   * @return true if the board answered when it was opened
   */
  public boolean isConnected() {
    synchronized (LOCK) {
      requireOpen();
      return connected;
    }
  }

  /**
   * Returns the reference voltage the board was opened with, in volts.
   *
   * @return the reference voltage in volts, 1 or more
   */
  public int getReferenceVoltage() {
    synchronized (LOCK) {
      requireOpen();
      return referenceVolts;
    }
  }

  /**
   * Reads one input against ground as a 12-bit count. The board measures 1 mV a count up to
   * 2.047 V; an input slightly below ground reads near {@value #MAX_RAW}. Takes a little over 1
   * ms.
   *
   * @param channel the input, 0 to 3
   * @return the count, 0 to {@value #MAX_RAW}; 0 when the board did not answer
   * @throws IllegalArgumentException if {@code channel} is out of range
   */
  public int getRaw(int channel) {
    requireChannel(channel);
    synchronized (LOCK) {
      requireOpen();
    }
    return FerixJNI.c_getRawValue(channel);
  }

  /**
   * Reads one input as {@link #getRaw(int)} does, scaled: the count times the reference voltage
   * / {@value #FULL_SCALE_COUNT}, worked out by the library in single precision. Takes a little
   * over 1 ms.
   *
   * @param channel the input, 0 to 3
   * @return the scaled reading, 0 to {@value #MAX_RAW} / {@value #FULL_SCALE_COUNT} times the
   *     reference voltage; 0.0 when the board did not answer
   * @throws IllegalArgumentException if {@code channel} is out of range
   */
  public double getVoltage(int channel) {
    requireChannel(channel);
    synchronized (LOCK) {
      requireOpen();
    }
    return FerixJNI.c_getVoltage(channel);
  }

  /** The caller holds LOCK. */
  private void requireOpen() {
    if (closed) {
      throw new IllegalStateException(
          "Analog board " + (replaced ? "was replaced by a newer Ferix" : "is closed"));
    }
  }

  private static void requireChannel(int channel) {
    if (channel < 0 || channel >= CHANNELS) {
      throw new IllegalArgumentException(
          "Channel " + channel + " out of range [0;" + (CHANNELS - 1) + "]");
    }
  }
}

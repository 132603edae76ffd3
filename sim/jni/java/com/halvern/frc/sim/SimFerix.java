package com.halvern.frc.sim;

import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.HashMap;
import java.util.List;
import java.util.Map;

/**
 * A simulated four-input analog board on the HAL's I2C bus (sim/SimFerix.h): a 12-bit converter
 * with the board's register map, answering on one port from the moment it is made. Its inputs
 * start at 0 V. Its failures ({@link #setAbsent}, {@link #setWritesFail}, {@link #setReadsFail},
 * {@link #setI2CInitializeStatus}) are the stand-in HAL's faults on its port: on WPILib's HAL,
 * which has no faults, they are not there (UnsatisfiedLinkError).
 *
 * <p>Closing it unplugs it, unless a newer {@code SimFerix} took its port and address.
 * {@link SimBus#reset()} takes every board off the bus, this one included.
 */
public final class SimFerix extends NativeSimulator {
  /** The expansion-port bus, where the board is. */
  public static final int DEFAULT_PORT = 1;
  /** The board's address with its address pin to ground. */
  public static final int DEFAULT_ADDRESS = 0x48;
  /** The inputs, numbered from 0. */
  public static final int CHANNELS = 4;
  /** The configuration register after power-on. */
  public static final int POWER_ON_CONFIG = 0x8583;

  // The handle of the board attached last at each port and address ("port:address"), so that
  // closing one that a newer one replaced leaves the newer one attached. Guarded by the class.
  private static final Map<String, Long> ATTACHED = new HashMap<>();

  private final int port;
  private final int address;

  /** One transfer as it reached the converter. */
  public record Transfer(Kind kind, boolean failed, int count, long atNanos, byte[] bytes) {
    /** Which way the bytes went. */
    public enum Kind {
      /** The robot program wrote {@code bytes}. */
      WRITE,
      /** The robot program read: {@code bytes} are what the converter returned. */
      READ
    }

    /** The byte at {@code index} as an unsigned value. */
    public int u8(int index) {
      return Byte.toUnsignedInt(bytes[index]);
    }

    @Override
    public String toString() {
      return "Transfer[" + kind + (failed ? " failed" : "") + ", count=" + count + ", bytes="
          + Arrays.toString(bytes) + "]";
    }
  }

  /** Plugs in a board at {@link #DEFAULT_PORT} and {@link #DEFAULT_ADDRESS}. */
  public SimFerix() {
    this(DEFAULT_PORT, DEFAULT_ADDRESS);
  }

  /**
   * Plugs in a board at an I2C port and address, replacing any device there.
   *
   * @throws IllegalStateException if the port does not exist
   */
  public SimFerix(int port, int address) {
    super("simulated analog board", plugIn(port, address));
    this.port = port;
    this.address = address;
  }

  // Unplugs the board, unless a newer SimFerix took its port and address.
  @Override
  void beforeClose(long handle) {
    synchronized (SimFerix.class) {
      if (ATTACHED.remove(key(port, address), handle)) {
        detach(port, address);
      }
    }
  }

  /** Sets the voltage at an input (0 to 3) against ground, in volts; it may be negative. */
  public void setInputVoltage(int channel, double volts) {
    setInputVoltage(open(), channel(channel), volts);
  }

  /** The voltage at an input (0 to 3). */
  public double inputVoltage(int channel) {
    return inputVoltage(open(), channel(channel));
  }

  /** While absent, every transfer fails, as with no board on the bus. */
  public void setAbsent(boolean absent) {
    setAbsent(open(), absent);
  }

  /** While set, writes fail and leave the registers as they were. */
  public void setWritesFail(boolean fail) {
    setWritesFail(open(), fail);
  }

  /** While set, reads fail. */
  public void setReadsFail(boolean fail) {
    setReadsFail(open(), fail);
  }

  /** The configuration register, 0 to 0xFFFF. */
  public int configRegister() {
    return configRegister(open());
  }

  /** The conversion register as a read now would return it, 0 to 0xFFFF. */
  public int conversionRegister() {
    return conversionRegister(open());
  }

  /** Every transfer since the board was plugged in or {@link #clearTransfers()}, oldest first. */
  public List<Transfer> transfers() {
    ByteBuffer records = ByteBuffer.wrap(transferRecords(open())).order(ByteOrder.LITTLE_ENDIAN);
    List<Transfer> transfers = new ArrayList<>();
    while (records.hasRemaining()) {
      Transfer.Kind kind = records.get() == 1 ? Transfer.Kind.READ : Transfer.Kind.WRITE;
      boolean failed = records.get() == 1;
      int count = records.getInt();
      long atNanos = records.getLong();
      byte[] bytes = new byte[records.getInt()];
      records.get(bytes);
      transfers.add(new Transfer(kind, failed, count, atNanos, bytes));
    }
    return transfers;
  }

  /** The number of transfers {@link #transfers()} would return. */
  public int transferCount() {
    return transfers().size();
  }

  /** Forgets the transfers so far. */
  public void clearTransfers() {
    clearTransfers(open());
  }

  /** The 16-bit conversion-register value for a voltage under a configuration word. */
  public static int conversionFor(double volts, int config) {
    return convert(volts, config);
  }

  /** Whether the robot program has the I2C port (0 or 1) initialised and not closed. */
  public static native boolean i2cPortOpen(int port);

  /** HAL_InitializeI2C fails with this status while it is nonzero (until SimBus.reset). */
  public static native void setI2CInitializeStatus(int status);

  private static int channel(int channel) {
    if (channel < 0 || channel >= CHANNELS) {
      throw new IllegalArgumentException("no input " + channel);
    }
    return channel;
  }

  private static String key(int port, int address) {
    return port + ":" + address;
  }

  private static synchronized long plugIn(int port, int address) {
    long handle = attach(port, address);
    ATTACHED.put(key(port, address), handle);
    return handle;
  }

  private static native long attach(int port, int address);

  private static native void detach(int port, int address);

  private static native void setInputVoltage(long handle, int channel, double volts);

  private static native double inputVoltage(long handle, int channel);

  private static native void setAbsent(long handle, boolean absent);

  private static native void setWritesFail(long handle, boolean fail);

  private static native void setReadsFail(long handle, boolean fail);

  private static native int configRegister(long handle);

  private static native int conversionRegister(long handle);

  private static native byte[] transferRecords(long handle);

  private static native void clearTransfers(long handle);

  private static native int convert(double volts, int config);
}

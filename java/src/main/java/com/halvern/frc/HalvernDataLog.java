package com.halvern.frc;

import com.halvern.frc.jni.DataLogJNI;
import java.lang.reflect.InvocationTargetException;

/**
 * Logs every HalvernDriver device's signals into the robot program's WPILib data log
 * ({@code .wpilog}), next to what WPILib and the program log there:
 *
 * <pre>{@code
 * HalvernDataLog.start(DataLogManager.getLog());
 * }</pre>
 *
 * <p>Logging is off until {@link #start}, for the whole library. From then on, for every device
 * the program has, the library appends each new reading with the time it was measured on the
 * robot's clock, each command the program sends, each identity once known and each change of
 * connection status: one entry per signal, named {@code Halvern/<device>/<signal>} (for example
 * {@code Halvern/Ordex[5]/Motor 0/RPM}), of WPILib's entry types, with the unit in the entry's
 * metadata. The appends happen on the library's own threads where the readings arrive and never
 * wait on the file, so logging does not slow the robot's loop.
 *
 * <p>The log must stay open while the library logs into it: {@link #stop} before closing it
 * ({@code DataLogManager}'s log stays open for the program's life). Its methods may be called
 * from any thread.
 */
public final class HalvernDataLog {
  private HalvernDataLog() {}

  /**
   * Logs into WPILib's data log from now on; a log already set is stopped first, its entries
   * finished.
   *
   * @param dataLog WPILib's {@code edu.wpi.first.util.datalog.DataLog} (any of its writers), open
   * @throws IllegalArgumentException if {@code dataLog} is null, has no native handle (no public
   *     {@code getImpl()} returning a {@code long}) or is closed
   */
  public static void start(Object dataLog) {
    start(nativeHandle(dataLog));
  }

  /**
   * Logs into the WPILib data log behind a native handle from now on; a log already set is
   * stopped first, its entries finished.
   *
   * @param handle the data log's native handle, as WPILib's {@code DataLog.getImpl()} returns it
   *     (the {@code WPI_DataLog*} of WPILib's C API)
   * @throws IllegalArgumentException if {@code handle} is 0 (a closed log)
   */
  public static void start(long handle) {
    if (handle == 0) {
      throw new IllegalArgumentException("the data log is closed");
    }
    DataLogJNI.c_Halvern_startDataLog(handle);
  }

  /** Finishes every entry the library started in the log and logs nothing more. */
  public static void stop() {
    DataLogJNI.c_Halvern_stopDataLog();
  }

  /**
   * Returns whether the library logs.
   *
   * @return true from {@link #start} until {@link #stop}
   */
  public static boolean isOn() {
    return DataLogJNI.c_Halvern_isDataLogOn();
  }

  // WPILib's DataLog hands out its native handle through getImpl(); called by name, so that the
  // library needs no WPILib jar.
  private static long nativeHandle(Object dataLog) {
    if (dataLog == null) {
      throw new IllegalArgumentException("no data log");
    }
    Object handle;
    try {
      handle = dataLog.getClass().getMethod("getImpl").invoke(dataLog);
    } catch (NoSuchMethodException | IllegalAccessException e) {
      throw new IllegalArgumentException(
          dataLog.getClass().getName() + " is not a WPILib data log (no public getImpl())", e);
    } catch (InvocationTargetException e) {
      throw new IllegalArgumentException("the data log's getImpl() failed", e.getCause());
    }
    if (!(handle instanceof Long)) {
      throw new IllegalArgumentException(
          dataLog.getClass().getName() + ".getImpl() does not return a native handle");
    }
    return (Long) handle;
  }
}

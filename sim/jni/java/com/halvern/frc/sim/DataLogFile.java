package com.halvern.frc.sim;

/**
 * A WPILib data log written to a {@code .wpilog} file through WPILib's data log C API, for
 * simulations and tests that have no WPILib jar (with one, use WPILib's own {@code
 * DataLogWriter}). Hand {@link #handle()} to {@code HalvernDataLog.start(long)} to record the
 * library's signals into it, and play the file back with {@link SimLogPlayer}.
 *
 * <p>Stop the library's logging ({@code HalvernDataLog.stop()}) before closing: closing writes
 * out what is left, closes the file and frees the log, which the library must no longer use.
 */
public final class DataLogFile extends NativeSimulator {
  private final long log;

  /**
   * Creates (or replaces) the file and writes the data log's header.
   *
   * @param path the file's path
   * @throws IllegalStateException if the file cannot be written
   */
  public DataLogFile(String path) {
    this(create(path));
  }

  private DataLogFile(long handle) {
    super("data log file", handle);
    log = logHandle(handle);
  }

  /**
   * The data log's native handle, the {@code WPI_DataLog*} of WPILib's C API, as WPILib's Java
   * {@code DataLog.getImpl()} would give it.
   *
   * @throws IllegalStateException once closed
   */
  public long handle() {
    open();
    return log;
  }

  /**
   * Writes the records gathered so far to the file, so that a reader sees them.
   *
   * @throws IllegalStateException once closed
   */
  public void flush() {
    flush(open());
  }

  private static native long create(String path);

  private static native long logHandle(long handle);

  private static native void flush(long handle);
}

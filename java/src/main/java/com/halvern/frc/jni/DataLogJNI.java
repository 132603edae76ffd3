package com.halvern.frc.jni;

/**
 * The raw native methods of the library's data log switch: one per C function of HalvernDriver's
 * {@code halvern/DataLog.h}, with the same name and meaning.
 *
 * <p>Robot programs normally use {@link com.halvern.frc.HalvernDataLog} instead, which takes
 * WPILib's {@code DataLog} object and checks its handle. These methods check nothing: the handle
 * is the address of a WPILib data log that must stay open until {@link #c_Halvern_stopDataLog}.
 *
 * <p>Loading this class loads the native library {@code HalvernDriver} from {@code
 * java.library.path}; it throws {@link UnsatisfiedLinkError} when the library is not there.
 */
public final class DataLogJNI {
  static {
    NativeLibrary.load();
  }

  private DataLogJNI() {}

  /**
   * Logs every device's signals into a WPILib data log from now on; a log already set is
   * stopped first, its entries finished. The handle 0 stops logging.
   *
   * @param log the native handle of WPILib's data log ({@code DataLog.getImpl()} in Java, the
   *     {@code WPI_DataLog*} of WPILib's C API)
   */
  public static native void c_Halvern_startDataLog(long log);

  /** Finishes every entry the library started and logs nothing more. */
  public static native void c_Halvern_stopDataLog();

  /**
   * Returns whether a data log is set.
   *
   * @return true from {@link #c_Halvern_startDataLog} with a log until {@link
   *     #c_Halvern_stopDataLog}
   */
  public static native boolean c_Halvern_isDataLogOn();
}

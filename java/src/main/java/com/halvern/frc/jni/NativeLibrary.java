package com.halvern.frc.jni;

/** Loads HalvernDriver once for every class of native methods in this package. */
final class NativeLibrary {
  /** The library's name as {@link System#loadLibrary} takes it. */
  static final String NAME = "HalvernDriver";
  /** The Debug build's name: a robot project built for debugging has only this one. */
  static final String DEBUG_NAME = NAME + "d";

  private static boolean loaded;

  private NativeLibrary() {}

  /**
   * Loads the library from {@code java.library.path} unless it is loaded already: the release
   * library, or where there is none the Debug one.
   *
   * @throws UnsatisfiedLinkError when neither loads (the release library's error, the Debug
   *     one's suppressed in it)
   */
  static synchronized void load() {
    if (!loaded) {
      try {
        System.loadLibrary(NAME);
      } catch (UnsatisfiedLinkError release) {
        try {
          System.loadLibrary(DEBUG_NAME);
        } catch (UnsatisfiedLinkError debug) {
          release.addSuppressed(debug);
          throw release;
        }
      }
      loaded = true;
    }
  }
}

package com.halvern.frc.jni;

/**
 * Loads HalvernDriver once for every class of native methods in this package. A robot program
 * built for debugging has the Debug library under this same name.
 */
final class NativeLibrary {
  /** The library's name as {@link System#loadLibrary} takes it. */
  static final String NAME = "HalvernDriver";

  private static boolean loaded;

  private NativeLibrary() {}

  /**
   * Loads the library from {@code java.library.path} unless it is loaded already.
   *
   * @throws UnsatisfiedLinkError when it does not load
   */
  static synchronized void load() {
    if (!loaded) {
      System.loadLibrary(NAME);
      loaded = true;
    }
  }
}

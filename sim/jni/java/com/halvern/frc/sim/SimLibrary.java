package com.halvern.frc.sim;

/** Loads halvern_simjni once for every simulator class of this package. */
final class SimLibrary {
  private static boolean loaded;

  private SimLibrary() {}

  /** Loads the library from {@code java.library.path} unless it is loaded already. */
  static synchronized void load() {
    if (!loaded) {
      System.loadLibrary("halvern_simjni");
      loaded = true;
    }
  }
}

package com.halvern.frc.sim;

/**
 * A simulator that lives in halvern_simjni, owned by this object through its handle until
 * {@link #close}. Loading any simulator class loads the library.
 */
abstract class NativeSimulator implements AutoCloseable {
  static {
    SimLibrary.load();
  }

  private final String name;
  private long handle;

  /**
   * Takes ownership of a simulator just made.
   *
   * @param name what it is, for the message of a call after {@link #close}
   * @param handle its handle
   */
  NativeSimulator(String name, long handle) {
    this.name = name;
    this.handle = handle;
  }

  /** Unplugs and removes the simulator; closing again does nothing. */
  @Override
  public synchronized void close() {
    if (handle != 0) {
      beforeClose(handle);
      destroy(handle);
      handle = 0;
    }
  }

  /** What closing does first, while the simulator is still there; nothing unless overridden. */
  void beforeClose(long handle) {}

  /**
   * The handle of the simulator.
   *
   * @throws IllegalStateException once it is closed
   */
  final long open() {
    if (handle == 0) {
      throw new IllegalStateException(name + " closed");
    }
    return handle;
  }

  // Destroys the simulator behind a handle, whatever its type.
  private static native void destroy(long handle);
}

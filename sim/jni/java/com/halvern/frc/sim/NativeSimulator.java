package com.halvern.frc.sim;

import java.util.function.LongConsumer;

/**
 * A simulator that lives in halvern_simjni, owned by this object through its handle (the
 * simulator's address) until {@link #close}. Loading any simulator class loads the library.
 */
abstract class NativeSimulator implements AutoCloseable {
  static {
    SimLibrary.load();
  }

  private final String name;
  private final LongConsumer destroy;
  private long handle;

  /**
   * Takes ownership of a simulator just made.
   *
   * @param name what it is, for the message of a call after {@link #close}
   * @param handle its handle
   * @param destroy removes the simulator behind a handle
   */
  NativeSimulator(String name, long handle, LongConsumer destroy) {
    this.name = name;
    this.handle = handle;
    this.destroy = destroy;
  }

  /** Unplugs and removes the simulator; closing again does nothing. */
  @Override
  public synchronized void close() {
    if (handle != 0) {
      destroy.accept(handle);
      handle = 0;
    }
  }

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
}

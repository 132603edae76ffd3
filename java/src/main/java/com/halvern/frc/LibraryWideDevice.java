package com.halvern.frc;

import java.util.function.Supplier;

/**
 * What a device class shares of which the library holds one per program (the analog board, the
 * serial lidar, the mock driver station): a new object replaces the one before, which is then
 * closed; closing one that was replaced leaves its successor alone. Every object of a class shares
 * one {@link Holder}, whose monitor guards the objects' state.
 */
abstract class LibraryWideDevice implements AutoCloseable {
  /** One per class: which object the library's device belongs to. */
  static final class Holder {
    private LibraryWideDevice current; // null when it was closed
  }

  private final Holder holder;
  private final String description; // names the device in exception messages
  private boolean closed;
  private boolean replaced;

  LibraryWideDevice(Holder holder, String description) {
    this.holder = holder;
    this.description = description;
  }

  /**
   * Makes this object the one the library's device belongs to: the object before is closed as
   * replaced ({@link #onReplaced()}), then {@code open} opens the device; both under the lock.
   */
  final void takeOver(Runnable open) {
    synchronized (holder) {
      LibraryWideDevice before = holder.current;
      if (before != null) {
        before.onReplaced();
        before.closed = true;
        before.replaced = true;
      }
      open.run();
      holder.current = this;
    }
  }

  /** Called under the lock when a newer object takes the device over from this one. */
  void onReplaced() {}

  /** Closes the library's device; called under the lock, once, by the first {@link #close()}. */
  abstract void closeDevice();

  @Override
  public void close() {
    synchronized (holder) {
      if (closed) {
        return;
      }
      closeDevice();
      closed = true;
      holder.current = null;
    }
  }

  /**
   * Returns true once {@link #close()} has been called or a newer object of its class replaced
   * it.
   *
   * @return true if it is closed or replaced, false while it is open
   */
  public boolean isClosed() {
    synchronized (holder) {
      return closed;
    }
  }

  /** Runs {@code use} under the lock, once it checked the device is open. */
  final void whileOpen(Runnable use) {
    synchronized (holder) {
      requireOpen();
      use.run();
    }
  }

  /** Returns what {@code use} returns under the lock, once it checked the device is open. */
  final <T> T getWhileOpen(Supplier<T> use) {
    synchronized (holder) {
      requireOpen();
      return use.get();
    }
  }

  /** How the device is named in exception messages. */
  final String description() {
    return description;
  }

  /** Throws unless the device is open. */
  final void checkOpen() {
    synchronized (holder) {
      requireOpen();
    }
  }

  /** Throws unless the device is open; the caller holds the lock. */
  final void requireOpen() {
    if (closed) {
      throw new IllegalStateException(
          description
              + (replaced ? " was replaced by a newer " + getClass().getSimpleName() : " is closed"));
    }
  }
}

package com.halvern.frc;

/**
 * What a device class that owns a handle of the library shares: the handle, closed once, and the
 * {@link IllegalStateException} its methods throw once it is closed.
 */
abstract class HandleDevice implements AutoCloseable {
  private final String description; // names the device in exception messages
  private long handle; // 0 until opened and once closed

  HandleDevice(String description) {
    this.description = description;
  }

  /**
   * Takes over a handle the library just created.
   *
   * @param created the handle; 0 when the library could not open the device
   * @param named the device as the failure names it
   * @return the handle
   * @throws IllegalStateException "{@code <named> could not be initialized}" when it is 0
   */
  final long open(long created, String named) {
    if (created == 0) {
      throw new IllegalStateException(named + " could not be initialized");
    }
    handle = created;
    return created;
  }

  /** {@link #open(long, String)}, the failure naming the device as its other messages do. */
  final long open(long created) {
    return open(created, description);
  }

  /** Releases a handle of the library; called once, by the first {@link #close()}. */
  abstract void destroy(long handle);

  /** Called by the first {@link #close()}, after the handle was released. */
  void afterClose() {}

  @Override
  public void close() {
    if (handle != 0) {
      destroy(handle);
      handle = 0;
      afterClose();
    }
  }

  /**
   * Returns true once {@link #close()} has been called.
   *
   * @return true if the device is closed, false while it is open
   */
  public boolean isClosed() {
    return handle == 0;
  }

  /** The handle, for a method that uses the device. */
  final long openHandle() {
    long current = handle;
    if (current == 0) {
      throw new IllegalStateException(description + " is closed");
    }
    return current;
  }

  /** How the device is named in exception messages. */
  final String description() {
    return description;
  }
}

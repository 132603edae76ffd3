package com.halvern.frc.sim;

/**
 * A simulated Dystal distance sensor on the virtual CAN bus: it sends each reading as distance
 * chunk frames (three distances a frame) and answers configuration requests.
 */
public final class SimDystalCan extends NativeSimulator {
  /**
   * Attaches a sensor under a CAN ID. It reports version 3 with distances enabled and CAN FD and
   * bit rate switching off, and sends nothing until asked.
   */
  public SimDystalCan(int canId) {
    super("simulated sensor", create(canId));
  }

  /**
   * The distances of every reading from now on, up to 64. Each value's low 16 bits are sent, so
   * 40000 and 0xFFFF can be given as they are.
   */
  public void setDistances(int... distances) {
    setDistances(open(), distances);
  }

  /** Chunk indexes left out of every reading from now on, as a lossy bus would. */
  public void setMissingChunks(int... chunks) {
    setMissingChunks(open(), chunks);
  }

  /** Sends one reading now, with the next sequence number (it wraps at 255). */
  public void sendReading() {
    sendReading(open());
  }

  /** Sends one chunk frame as given; each distance's low 16 bits are sent. */
  public void sendChunk(int sequence, int chunk, int d0, int d1, int d2) {
    sendChunk(open(), sequence, chunk, d0, d1, d2);
  }

  /** The configuration the sensor reports from now on. */
  public void setConfig(
      int version, boolean distanceEnabled, boolean canFdEnabled, boolean canBrsEnabled) {
    setConfig(open(), version, distanceEnabled, canFdEnabled, canBrsEnabled);
  }

  /** Stops (or resumes) answering configuration requests. */
  public void setConfigSilent(boolean silent) {
    setConfigSilent(open(), silent);
  }

  /** The configuration requests the sensor received. */
  public int configRequests() {
    return configRequests(open());
  }

  /** The sequence number of the newest reading sent. */
  public int lastSequence() {
    return lastSequence(open());
  }

  private static native long create(int canId);

  private static native void setDistances(long handle, int[] distances);

  private static native void setMissingChunks(long handle, int[] chunks);

  private static native void sendReading(long handle);

  private static native void sendChunk(long handle, int sequence, int chunk, int d0, int d1, int d2);

  private static native void setConfig(long handle, int version, boolean distanceEnabled,
      boolean canFdEnabled, boolean canBrsEnabled);

  private static native void setConfigSilent(long handle, boolean silent);

  private static native int configRequests(long handle);

  private static native int lastSequence(long handle);
}

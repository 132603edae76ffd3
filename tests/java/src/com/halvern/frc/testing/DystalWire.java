package com.halvern.frc.testing;

import com.halvern.frc.sim.SimDystalUsb;
import java.util.Arrays;
import java.util.List;

/** The distance sensor's side of the bus and of its serial port, for the Dystal tests. */
public final class DystalWire {
  /** Distances a chunk frame carries. */
  public static final int DISTANCES_PER_CHUNK = 3;

  private DystalWire() {}

  /** {@code count} distinct distances: 100, 110, 120 and so on. */
  public static int[] ramp(int count) {
    int[] distances = new int[count];
    for (int zone = 0; zone < count; ++zone) {
      distances[zone] = 100 + 10 * zone;
    }
    return distances;
  }

  /** {@code distances} with the zones of the given chunks set to -1. */
  public static int[] withoutChunks(int[] distances, int... chunks) {
    int[] result = Arrays.copyOf(distances, distances.length);
    for (int chunk : chunks) {
      int first = chunk * DISTANCES_PER_CHUNK;
      Arrays.fill(result, first, Math.min(first + DISTANCES_PER_CHUNK, result.length), -1);
    }
    return result;
  }

  /** The lines the USB sensor received, once there are at least {@code count} (or 5 s passed). */
  public static List<String> waitForLines(SimDystalUsb sensor, int count) {
    return Waits.waitFor(sensor::receivedLines, lines -> lines.size() >= count);
  }
}

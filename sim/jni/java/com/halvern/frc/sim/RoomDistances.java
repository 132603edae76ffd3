package com.halvern.frc.sim;

import java.util.Arrays;

/** A simulated lidar's room as tests give it: one distance in millimetres a whole degree. */
final class RoomDistances {
  /** The degrees of a revolution, and so the distances of a room. */
  static final int DEGREES = 360;

  private RoomDistances() {}

  /**
   * Checks the number of distances given for a room.
   *
   * @throws IllegalArgumentException unless it is one per degree
   */
  static void checkCount(int distances) {
    if (distances != DEGREES) {
      throw new IllegalArgumentException("a room has one distance per degree");
    }
  }

  /** A room with the same distance at every angle. */
  static float[] uniform(float millimetres) {
    float[] room = new float[DEGREES];
    Arrays.fill(room, millimetres);
    return room;
  }

  /** A room with the same distance at every angle. */
  static int[] uniform(int millimetres) {
    int[] room = new int[DEGREES];
    Arrays.fill(room, millimetres);
    return room;
  }
}

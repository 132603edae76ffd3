package com.halvern.frc.testing;

/** The USB lidar's side of its serial port, for the LidarMini tests. */
public final class LidarMiniWire {
  // Command bytes of the requests: scanning; the frequency a tenth of a hertz or one hertz up or
  // down; the lidar's records.
  public static final int START_SCAN = 0x60, STOP_SCAN = 0x65;
  public static final int UP_TENTH = 0x09, DOWN_TENTH = 0x0A, UP_ONE = 0x0B, DOWN_ONE = 0x0C;
  public static final int GET_INFO = 0x90, GET_HEALTH = 0x92;

  private LidarMiniWire() {}
}

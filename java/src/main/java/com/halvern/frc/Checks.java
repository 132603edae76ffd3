package com.halvern.frc;

/**
 * The argument checks of the device classes, each throwing before anything is sent, and the
 * argument values several classes share.
 */
final class Checks {
  /** The CAN bus a device is opened on when its constructor names none: the one every platform
   *  has. */
  static final int DEFAULT_CAN_BUS = 0;
  /** The selector of the serial device search that picks the first port found. */
  static final int SERIAL_FIRST_PORT = 0;
  /** The selector of the serial device search that picks the second port found. */
  static final int SERIAL_SECOND_PORT = 3;

  private Checks() {}

  /**
   * Returns {@code value} when it lies within [{@code min}; {@code max}].
   *
   * @throws IllegalArgumentException "{@code <what> <value> out of range [<min>;<max>]}" otherwise
   */
  static int requireInRange(int value, int min, int max, String what) {
    if (value < min || value > max) {
      throw new IllegalArgumentException(
          what + " " + value + " out of range [" + min + ";" + max + "]");
    }
    return value;
  }

  /**
   * Returns {@code value} when it is 0 or more.
   *
   * @throws IllegalArgumentException "{@code <what> <value> is negative}" otherwise
   */
  static int requireNotNegative(int value, String what) {
    if (value < 0) {
      throw new IllegalArgumentException(what + " " + value + " is negative");
    }
    return value;
  }

  /**
   * Returns {@code value} when it is 0 or more and finite (NaN fails).
   *
   * @throws IllegalArgumentException "{@code <what> <value> is negative or not finite}" otherwise
   */
  static float requireNotNegativeFinite(float value, String what) {
    if (!(value >= 0.0f) || Float.isInfinite(value)) {
      throw new IllegalArgumentException(what + " " + value + " is negative or not finite");
    }
    return value;
  }

  /** How a CAN device is named in messages: the bus is named when it is not the default. */
  static String onCan(String family, int id, int bus) {
    return family + " " + id + (bus == DEFAULT_CAN_BUS ? "" : ", bus " + bus);
  }
}

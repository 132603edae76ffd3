package com.halvern.frc;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.params.provider.Arguments.arguments;

import java.util.stream.Stream;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

/**
 * The equality of the records the device classes return: equal field by field, never equal to
 * null, to another class, or to a subclass of their own. Needs no native library.
 */
class ValueClassesTest {
  private static final float[] ANGLES = new float[Lidar.DEGREES];
  private static final float[] DISTANCES = new float[Lidar.DEGREES];
  private static final byte[] SERIAL = new byte[LidarMini.SERIAL_LENGTH];

  /** For each record class: a record, an equal one made apart, one that differs, a subclass's. */
  static Stream<Arguments> records() {
    float[] three = {1.0f, 2.0f, 3.0f};
    float[] farther = {1.0f, 2.5f, 3.0f};
    return Stream.of(
        arguments(new Dystal.ScanData(7, 250, -1), new Dystal.ScanData(7, 250, -1),
            new Dystal.ScanData(7, 250, 0), new Dystal.ScanData(7, 250, -1) {}),
        arguments(new Dystal.Config(3, true, false, true, 5),
            new Dystal.Config(3, true, false, true, 5), new Dystal.Config(3, true, true, true, 5),
            new Dystal.Config(3, true, false, true, 5) {}),
        arguments(new Iridel.ColorData(9, 0.25f, Float.NaN, -0.75f),
            new Iridel.ColorData(9, 0.25f, Float.NaN, -0.75f),
            new Iridel.ColorData(9, 0.25f, 0.5f, -0.75f),
            new Iridel.ColorData(9, 0.25f, Float.NaN, -0.75f) {}),
        arguments(new Lidar.ScanData(ANGLES, DISTANCES), new Lidar.ScanData(ANGLES, DISTANCES),
            new Lidar.ScanData(), new Lidar.ScanData(ANGLES, DISTANCES) {}),
        arguments(new LidarMini.LidarInfo(40, 261, 2, SERIAL),
            new LidarMini.LidarInfo(40, 261, 2, SERIAL), new LidarMini.LidarInfo(40, 262, 2, SERIAL),
            new LidarMini.LidarInfo(40, 261, 2, SERIAL) {}),
        arguments(new LidarMini.LidarHealth(1, 7), new LidarMini.LidarHealth(1, 7),
            new LidarMini.LidarHealth(1, 8), new LidarMini.LidarHealth(1, 7) {}),
        arguments(new LidarMini.ScanData(5, three, three, three),
            new LidarMini.ScanData(5, three, three, three),
            new LidarMini.ScanData(5, three, farther, three),
            new LidarMini.ScanData(5, three, three, three) {}));
  }

  @ParameterizedTest(name = "{0}")
  @MethodSource("records")
  void recordsAreEqualFieldByFieldAndOnlyToTheirOwnClass(
      Object record, Object equal, Object different, Object subclassed) {
    assertAll(
        () -> assertEquals(record, record),
        () -> assertEquals(record, equal),
        () -> assertEquals(equal, record),
        () -> assertEquals(record.hashCode(), equal.hashCode()),
        () -> assertNotEquals(record, different),
        () -> assertNotEquals(different, record),
        () -> assertNotEquals(record, null),
        () -> assertNotEquals(record, new Object()),
        () -> assertNotEquals(record, subclassed),
        () -> assertNotEquals(subclassed, record));
  }
}

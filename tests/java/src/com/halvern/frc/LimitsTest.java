package com.halvern.frc;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.HashMap;
import java.util.Map;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import java.util.stream.Stream;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.function.Executable;

/**
 * The Java classes' limits against the ones the C headers declare, which the C face and the C++
 * classes use: read from the headers themselves (the build passes their folder as the system
 * property {@code halvern.headers}), so that no face can drift from the others. Needs no native
 * library.
 */
class LimitsTest {
  // An enumerator ("NAME = 12,") or a macro ("#define NAME 12") with an integer value.
  private static final Pattern CONSTANT =
      Pattern.compile("(?m)(?:^#define\\s+([A-Z][A-Z0-9_]*)\\s+(-?\\d+)\\b"
          + "|^\\s+([A-Z][A-Z0-9_]*)\\s*=\\s*(-?\\d+)\\s*,)");

  private static final Map<String, Integer> declared = new HashMap<>();

  @BeforeAll
  static void readHeaders() throws IOException {
    String folder = System.getProperty("halvern.headers");
    assertNotNull(folder, "the system property halvern.headers names the C headers' folder");
    try (Stream<Path> headers = Files.list(Path.of(folder))) {
      for (Path header : headers.filter(p -> p.toString().endsWith(".h")).toList()) {
        Matcher match = CONSTANT.matcher(Files.readString(header));
        while (match.find()) {
          String name = match.group(1) != null ? match.group(1) : match.group(3);
          String value = match.group(2) != null ? match.group(2) : match.group(4);
          declared.put(name, Integer.valueOf(value));
        }
      }
    }
  }

  private static Executable same(String cName, int javaValue) {
    return () -> {
      assertNotNull(declared.get(cName), cName + " is not declared in the C headers");
      assertEquals(declared.get(cName).intValue(), javaValue, cName);
    };
  }

  @Test
  void ordexLimits() {
    assertAll(
        same("ORDEX_MIN_DEVICE_ID", Ordex.MIN_DEVICE_ID),
        same("ORDEX_MAX_DEVICE_ID", Ordex.MAX_DEVICE_ID),
        same("ORDEX_MIN_FREQUENCY", Ordex.MIN_FREQUENCY),
        same("ORDEX_MAX_FREQUENCY", Ordex.MAX_FREQUENCY),
        same("ORDEX_MOTOR_COUNT", Ordex.MOTOR_COUNT),
        same("ORDEX_MAX_PID_TYPE", Ordex.MAX_PID_TYPE),
        same("ORDEX_MAX_SENSITIVITY", Ordex.MAX_SENSITIVITY));
  }

  @Test
  void sensorLimits() {
    assertAll(
        same("IRIDEL_MIN_CAN_ID", Iridel.MIN_CAN_ID),
        same("IRIDEL_MAX_CAN_ID", Iridel.MAX_CAN_ID),
        same("IRIDEL_MAX_SAMPLE_TIME_MS", Iridel.MAX_SAMPLE_TIME_MS),
        same("IRIDEL_MAX_LEVEL", Iridel.MAX_LEVEL),
        same("IRIDEL_MAX_MEASURE_MODE", Iridel.MAX_MEASURE_MODE),
        same("IRIDEL_MAX_MEASURE_MODE", Iridel.PARAMETER_MEASURE_MODE),
        same("IRIDEL_MAX_CONFIG_KEY", Iridel.MAX_CONFIG_KEY),
        same("SERIAL_FIRST_PORT", Iridel.FIRST_PORT),
        same("SERIAL_SECOND_PORT", Iridel.SECOND_PORT),
        same("DYSTAL_MIN_CAN_ID", Dystal.MIN_CAN_ID),
        same("DYSTAL_MAX_CAN_ID", Dystal.MAX_CAN_ID),
        same("DYSTAL_MAX_DISTANCES", Dystal.MAX_DISTANCES),
        same("SERIAL_FIRST_PORT", Dystal.FIRST_PORT),
        same("SERIAL_SECOND_PORT", Dystal.SECOND_PORT));
  }

  @Test
  void lidarLimits() {
    assertAll(
        same("LIDARMINI_MIN_FREQUENCY_HZ", LidarMini.MIN_FREQUENCY_HZ),
        same("LIDARMINI_MAX_FREQUENCY_HZ", LidarMini.MAX_FREQUENCY_HZ),
        same("SERIAL_FIRST_PORT", LidarMini.FIRST_PORT),
        same("SERIAL_SECOND_PORT", LidarMini.SECOND_PORT),
        same("LIDAR_DEGREES", Lidar.DEGREES),
        same("LIDAR_HISTORY_LENGTH", Lidar.HISTORY_LENGTH),
        same("LIDAR_FILTER_CLUSTER", Lidar.FilterType.CLUSTER.code()),
        same("LIDAR_FILTER_KALMAN", Lidar.FilterType.KALMAN.code()),
        same("LIDAR_FILTER_MOVING_AVERAGE", Lidar.FilterType.MOVING_AVERAGE.code()),
        same("LIDAR_FILTER_MEDIAN", Lidar.FilterType.MEDIAN.code()),
        same("LIDAR_FILTER_JITTER", Lidar.FilterType.JITTER.code()));
  }

  @Test
  void boardAndDriverStationLimits() {
    assertAll(
        same("FERIX_CHANNELS", Ferix.CHANNELS),
        same("FERIX_MAX_RAW", Ferix.MAX_RAW),
        same("FERIX_FULL_SCALE_COUNT", Ferix.FULL_SCALE_COUNT),
        same("MOCKDS_ROBOT_PORT", MockDS.ROBOT_PORT),
        same("MOCKDS_PERIOD_MS", MockDS.PERIOD_MS),
        same("MOCKDS_WARMUP_DATAGRAMS", MockDS.WARMUP_DATAGRAMS));
  }
}

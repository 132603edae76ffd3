package com.halvern.frc;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.params.provider.Arguments.arguments;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.HashMap;
import java.util.Map;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import java.util.stream.Stream;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

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

  /** Every Java limit with the name of the C constant it must equal. */
  static Stream<Arguments> limits() {
    return Stream.of(
        // The motor controller.
        arguments("ORDEX_MIN_DEVICE_ID", Ordex.MIN_DEVICE_ID),
        arguments("ORDEX_MAX_DEVICE_ID", Ordex.MAX_DEVICE_ID),
        arguments("ORDEX_MIN_FREQUENCY", Ordex.MIN_FREQUENCY),
        arguments("ORDEX_MAX_FREQUENCY", Ordex.MAX_FREQUENCY),
        arguments("ORDEX_MOTOR_COUNT", Ordex.MOTOR_COUNT),
        arguments("ORDEX_MAX_PID_TYPE", Ordex.MAX_PID_TYPE),
        arguments("ORDEX_MAX_SENSITIVITY", Ordex.MAX_SENSITIVITY),
        // The colour and distance sensors.
        arguments("IRIDEL_MIN_CAN_ID", Iridel.MIN_CAN_ID),
        arguments("IRIDEL_MAX_CAN_ID", Iridel.MAX_CAN_ID),
        arguments("IRIDEL_MAX_SAMPLE_TIME_MS", Iridel.MAX_SAMPLE_TIME_MS),
        arguments("IRIDEL_MAX_LEVEL", Iridel.MAX_LEVEL),
        arguments("IRIDEL_MAX_MEASURE_MODE", Iridel.MAX_MEASURE_MODE),
        arguments("IRIDEL_MAX_MEASURE_MODE", Iridel.PARAMETER_MEASURE_MODE),
        arguments("IRIDEL_MAX_CONFIG_KEY", Iridel.MAX_CONFIG_KEY),
        arguments("SERIAL_FIRST_PORT", Iridel.FIRST_PORT),
        arguments("SERIAL_SECOND_PORT", Iridel.SECOND_PORT),
        arguments("DYSTAL_MIN_CAN_ID", Dystal.MIN_CAN_ID),
        arguments("DYSTAL_MAX_CAN_ID", Dystal.MAX_CAN_ID),
        arguments("DYSTAL_MAX_DISTANCES", Dystal.MAX_DISTANCES),
        arguments("SERIAL_FIRST_PORT", Dystal.FIRST_PORT),
        arguments("SERIAL_SECOND_PORT", Dystal.SECOND_PORT),
        // The two lidars.
        arguments("LIDARMINI_MIN_FREQUENCY_HZ", LidarMini.MIN_FREQUENCY_HZ),
        arguments("LIDARMINI_MAX_FREQUENCY_HZ", LidarMini.MAX_FREQUENCY_HZ),
        arguments("SERIAL_FIRST_PORT", LidarMini.FIRST_PORT),
        arguments("SERIAL_SECOND_PORT", LidarMini.SECOND_PORT),
        arguments("LIDAR_DEGREES", Lidar.DEGREES),
        arguments("LIDAR_HISTORY_LENGTH", Lidar.HISTORY_LENGTH),
        arguments("LIDAR_FILTER_CLUSTER", Lidar.FilterType.CLUSTER.code()),
        arguments("LIDAR_FILTER_KALMAN", Lidar.FilterType.KALMAN.code()),
        arguments("LIDAR_FILTER_MOVING_AVERAGE", Lidar.FilterType.MOVING_AVERAGE.code()),
        arguments("LIDAR_FILTER_MEDIAN", Lidar.FilterType.MEDIAN.code()),
        arguments("LIDAR_FILTER_JITTER", Lidar.FilterType.JITTER.code()),
        // The analog board and the mock driver station.
        arguments("FERIX_CHANNELS", Ferix.CHANNELS),
        arguments("FERIX_MAX_RAW", Ferix.MAX_RAW),
        arguments("FERIX_FULL_SCALE_COUNT", Ferix.FULL_SCALE_COUNT),
        arguments("MOCKDS_ROBOT_PORT", MockDS.ROBOT_PORT),
        arguments("MOCKDS_PERIOD_MS", MockDS.PERIOD_MS),
        arguments("MOCKDS_WARMUP_DATAGRAMS", MockDS.WARMUP_DATAGRAMS));
  }

  @ParameterizedTest(name = "{0}")
  @MethodSource("limits")
  void theJavaLimitIsTheOneTheCHeadersDeclare(String cName, int javaValue) {
    assertNotNull(declared.get(cName), cName + " is not declared in the C headers");
    assertEquals(declared.get(cName).intValue(), javaValue, cName);
  }
}

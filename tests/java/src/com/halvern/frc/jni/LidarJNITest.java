package com.halvern.frc.jni;

import static com.halvern.frc.testing.Waits.waitFor;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertNotSame;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.halvern.frc.Lidar;
import com.halvern.frc.sim.SimBus;
import com.halvern.frc.sim.SimLidar;
import java.io.ByteArrayOutputStream;
import java.util.stream.Stream;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

/**
 * The serial lidar's native bindings in a real JVM against the real library, with packets pushed
 * onto the simulated onboard serial port: each case shows where a Java argument ends up, judged
 * by the distance the reader stores for one degree.
 *
 * <p>The library holds one lidar for the whole process, and this suite relies on running in a
 * JVM of its own (as the build runs every suite): its first calls come before any create.
 *
 * <p>Only on the stand-in HAL, whose serial ports the simulated robot feeds: WPILib's simulation
 * has no serial port.
 */
@Tag("standin")
class LidarJNITest {
  // Filter codes.
  static final int CLUSTER = 0;
  static final int KALMAN = 1;
  static final int MOVING_AVERAGE = 2;
  static final int MEDIAN = 3;
  static final int JITTER = 4;

  // Samples of 1000 to 1300 mm reported at 100.5 degrees are all seen in degree 93.
  static final int REPORTED_RAW = (int) (100.5 * 128);
  static final int DEGREE = 93;
  // The history every case sends to that degree, oldest first; the newest passes unfiltered.
  static final int[] HISTORY = {1100, 1000, 1300};
  static final float NEWEST = 1300.0f;

  static Lidar.ScanData beforeAnyCreate;
  static float unfilteredAfterFirstCreate;
  static float firstReadersMovingAverage;
  static int markers; // marker packets sent since the last create

  @BeforeAll
  static void useTheLibraryBeforeAnyCreate() {
    SimBus.reset();
    beforeAnyCreate = LidarJNI.c_Lidar_getData();
    LidarJNI.c_Lidar_movingAverageConfig(2); // kept for the first reader
    LidarJNI.c_Lidar_enableFilter(MOVING_AVERAGE, true); // switched off by create
    create();
    unfilteredAfterFirstCreate = pushHistory();
    LidarJNI.c_Lidar_enableFilter(MOVING_AVERAGE, true);
    firstReadersMovingAverage = pushHistory(); // histories grow only while a filter is on
    LidarJNI.c_Lidar_stop();
  }

  @BeforeEach
  void openTheOnboardPort() {
    SimBus.reset();
    create();
  }

  @AfterEach
  void closeThePort() {
    LidarJNI.c_Lidar_stop();
  }

  @Test
  void callsBeforeAnyCreateAreSafeAndSettingsWaitForTheFirstReader() {
    assertEquals(new Lidar.ScanData(), beforeAnyCreate);
    assertEquals(NEWEST, unfilteredAfterFirstCreate, "create left a filter on");
    assertEquals(1150.0f, firstReadersMovingAverage, "the window set before create was lost");
  }

  @Test
  void getDataReturnsANewScanDataOf360AnglesAnd360DistancesEveryCall() {
    Lidar.ScanData empty = LidarJNI.c_Lidar_getData();
    assertEquals(Lidar.ScanData.class, empty.getClass());
    assertEquals(Lidar.DEGREES, empty.angle.length);
    assertEquals(Lidar.DEGREES, empty.distance.length);
    assertEquals(new Lidar.ScanData(), empty, "a new reader starts empty");

    pushHistory();
    Lidar.ScanData scan = LidarJNI.c_Lidar_getData();
    Lidar.ScanData again = LidarJNI.c_Lidar_getData();
    assertEquals(Lidar.DEGREES, scan.angle.length);
    assertEquals(Lidar.DEGREES, scan.distance.length);
    assertNotSame(scan.angle, again.angle);
    assertNotSame(scan.distance, again.distance);
    assertEquals(scan, again);
    assertEquals(NEWEST, scan.distance[DEGREE]);
    assertTrue(scan.angle[DEGREE] > DEGREE && scan.angle[DEGREE] < DEGREE + 1, scan::toString);
  }

  @Test
  void destroyChangesNothingAndTheReaderReadsOn() {
    pushHistory();
    Lidar.ScanData before = LidarJNI.c_Lidar_getData();
    LidarJNI.c_Lidar_destroy();
    assertEquals(before, LidarJNI.c_Lidar_getData());
    assertTrue(SimBus.serialPortOpen(0));

    assertEquals(1200.0f, push(samples(1200)));
  }

  @Test
  void enablingAFilterSwitchesTheOthersOffAndFalseSwitchesAllOff() {
    LidarJNI.c_Lidar_enableFilter(MOVING_AVERAGE, true);
    LidarJNI.c_Lidar_enableFilter(JITTER, true);
    assertEquals(1000.0f, pushHistory(), "jitter alone holds back the jump to 1300");

    create();
    LidarJNI.c_Lidar_enableFilter(JITTER, true);
    LidarJNI.c_Lidar_enableFilter(MOVING_AVERAGE, false);
    assertEquals(NEWEST, pushHistory(), "a filter stayed on");

    create();
    LidarJNI.c_Lidar_enableFilter(MOVING_AVERAGE, true);
    LidarJNI.c_Lidar_enableFilter(7, true);
    LidarJNI.c_Lidar_enableFilter(-1, false);
    assertEquals(3400.0f / 3, pushHistory(), 0.01f, "an unknown type changed the filters");
  }

  @Test
  void createSwitchesEveryFilterOffAndRestoresEverySetting() {
    LidarJNI.c_Lidar_clusterConfig(150.0f, 2);
    LidarJNI.c_Lidar_movingAverageConfig(2);
    LidarJNI.c_Lidar_enableFilter(CLUSTER, true);

    create();
    assertEquals(NEWEST, pushHistory(), "the cluster filter stayed on");
    LidarJNI.c_Lidar_enableFilter(CLUSTER, true);
    // 50 mm and 5 values a group: three values form no group, and the newest passes.
    assertEquals(NEWEST, pushHistory(), "the cluster settings stayed");

    create();
    LidarJNI.c_Lidar_enableFilter(MOVING_AVERAGE, true);
    assertEquals(3400.0f / 3, pushHistory(), 0.01f, "the window stayed at 2");
  }

  /** A setting, the filter it belongs to, and what that filter makes of the history. */
  static Stream<Arguments> settings() {
    return Stream.of(
        Arguments.of("moving average of 2", (Runnable) () ->
            LidarJNI.c_Lidar_movingAverageConfig(2), MOVING_AVERAGE, 1150.0f),
        Arguments.of("moving average of 0", (Runnable) () ->
            LidarJNI.c_Lidar_movingAverageConfig(0), MOVING_AVERAGE, NEWEST),
        Arguments.of("moving average of 1000", (Runnable) () ->
            LidarJNI.c_Lidar_movingAverageConfig(1000), MOVING_AVERAGE, 3400.0f / 3),
        Arguments.of("median of 1", (Runnable) () ->
            LidarJNI.c_Lidar_medianConfig(1), MEDIAN, NEWEST),
        Arguments.of("median of 3", (Runnable) () ->
            LidarJNI.c_Lidar_medianConfig(3), MEDIAN, 1100.0f),
        Arguments.of("jitter of 350 mm", (Runnable) () ->
            LidarJNI.c_Lidar_jitterConfig(350.0f), JITTER, NEWEST),
        Arguments.of("cluster of 2 within 150 mm", (Runnable) () ->
            LidarJNI.c_Lidar_clusterConfig(150.0f, 2), CLUSTER, 1050.0f),
        Arguments.of("cluster of 3 within 150 mm", (Runnable) () ->
            LidarJNI.c_Lidar_clusterConfig(150.0f, 3), CLUSTER, NEWEST),
        Arguments.of("cluster of -1", (Runnable) () ->
            LidarJNI.c_Lidar_clusterConfig(1000.0f, -1), CLUSTER, NEWEST),
        // With no error covariance the estimate never leaves 0; with a large process noise and
        // a tiny measurement noise it follows every value.
        Arguments.of("Kalman without error covariance", (Runnable) () ->
            LidarJNI.c_Lidar_kalmanConfig(0.0f, 1.0f, 0.0f), KALMAN, 0.0f),
        Arguments.of("Kalman trusting every value", (Runnable) () ->
            LidarJNI.c_Lidar_kalmanConfig(1.0f, 1e-6f, 1.0f), KALMAN, NEWEST));
  }

  @ParameterizedTest(name = "{0}")
  @MethodSource("settings")
  void eachSettingReachesItsFilterInItsPlace(
      String name, Runnable configure, int filter, float expected) {
    configure.run();
    LidarJNI.c_Lidar_enableFilter(filter, true);
    assertEquals(expected, pushHistory(), 0.01f, name);
  }

  // --- The lidar's side of the port --------------------------------------------------------------

  static void create() {
    LidarJNI.c_Lidar_create(0);
    markers = 0;
  }

  /** Sends {@link #HISTORY} to {@link #DEGREE} in one packet; returns what the degree stores. */
  static float pushHistory() {
    return push(samples(HISTORY));
  }

  /** A packet of samples all reported at {@link #REPORTED_RAW}. */
  static byte[] samples(int... millimetres) {
    int[] words = new int[millimetres.length];
    for (int i = 0; i < words.length; ++i) {
      words[i] = millimetres[i] * 4;
    }
    return SimLidar.packet(false, REPORTED_RAW, REPORTED_RAW, words);
  }

  /**
   * Sends a packet and, behind it, a marker packet of 2000 mm into a degree not used since the
   * last create; once the marker shows (within 5 s), returns the distance of {@link #DEGREE}.
   */
  static float push(byte[] packet) {
    int reportedRaw = (int) ((200.5 + 10 * markers) * 128);
    int markerDegree = 193 + 10 * markers; // 2000 mm are seen 7.4 degrees early
    ++markers;
    ByteArrayOutputStream bytes = new ByteArrayOutputStream();
    bytes.writeBytes(packet);
    bytes.writeBytes(SimLidar.packet(false, reportedRaw, reportedRaw, 2000 * 4));
    SimBus.pushSerialBytes(0, bytes.toByteArray());
    Lidar.ScanData scan =
        waitFor(LidarJNI::c_Lidar_getData, s -> s.angle[markerDegree] != markerDegree);
    assertNotEquals((float) markerDegree, scan.angle[markerDegree], "nothing read within 5 s");
    return scan.distance[DEGREE];
  }
}

package com.halvern.frc;

import static com.halvern.frc.testing.Waits.sleep;
import static com.halvern.frc.testing.Waits.waitFor;
import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.halvern.frc.sim.SimBus;
import com.halvern.frc.sim.SimLidar;
import com.halvern.frc.testing.Silence;
import java.io.ByteArrayOutputStream;
import java.util.Arrays;
import java.util.Optional;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Nested;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.function.Executable;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.EnumSource;

/**
 * The robot programmer's serial lidar against the simulated robot's serial ports: packets pushed
 * byte for byte where a case needs exact values, and a simulated lidar streaming a room where it
 * needs whole revolutions.
 *
 * <p>Only on the stand-in HAL, whose serial ports the simulated robot feeds: WPILib's simulation
 * has no serial port.
 */
@Tag("standin")
class LidarTest {
  // Distances of 1000 to 1300 mm are seen about 7 degrees before the angle they are reported
  // at: reported at 100.5 degrees they all land in degree 93.
  static final int REPORTED_RAW = (int) (100.5 * 128);
  static final int DEGREE = 93;
  // The newest of the three samples that pushHistory() sends to DEGREE: 1100, 1000, 1300.
  static final float RAW = 1300.0f;

  Lidar lidar;
  SimLidar device;
  int markers; // marker packets sent to the lidar opened last

  @BeforeEach
  void resetTheRobot() {
    SimBus.reset();
  }

  @AfterEach
  void closeEverything() {
    if (lidar != null) {
      lidar.close();
    }
    if (device != null) {
      device.close();
    }
  }

  @Nested
  class Lifecycle {
    @Test
    void eachPortOpensItsOwnSerialPortAndANewLidarReplacesTheOldOne() {
      Lidar previous = null;
      for (Lidar.Port port : Lidar.Port.values()) {
        lidar = new Lidar(port);
        assertTrue(SimBus.serialPortOpen(port.value()), port::toString);
        // The reader sets the line up as it starts.
        assertEquals(Lidar.BAUD_RATE,
            waitFor(() -> SimBus.serialBaudRate(port.value()), baud -> baud == Lidar.BAUD_RATE),
            port::toString);
        assertTrue(lidar.isScanning());
        if (previous != null) {
          assertTrue(previous.isClosed());
          assertFalse(SimBus.serialPortOpen(port.value() - 1), "the replaced lidar's port");
          IllegalStateException replaced =
              assertThrows(IllegalStateException.class, previous::getData);
          assertTrue(replaced.getMessage().contains("replaced"), replaced.getMessage());
          previous.close(); // does nothing: the new lidar's port stays open
          assertTrue(SimBus.serialPortOpen(port.value()));
        }
        previous = lidar;
      }
    }

    @Test
    void closingStopsTheLidarOnceAndEveryCallThenThrows() {
      lidar = new Lidar(Lidar.Port.ONBOARD);
      lidar.close();
      assertFalse(SimBus.serialPortOpen(0));
      assertTrue(lidar.isClosed());
      lidar.close();

      Lidar closed = lidar;
      assertAll(
          closedThrows(closed::start),
          closedThrows(closed::stop),
          closedThrows(closed::isScanning),
          closedThrows(closed::getData),
          closedThrows(() -> closed.enableFilter(Lidar.FilterType.MEDIAN)),
          closedThrows(closed::disableFilters),
          closedThrows(closed::getFilter),
          closedThrows(() -> closed.configureCluster(50.0f, 5)),
          closedThrows(() -> closed.configureKalman(0.1f, 0.1f, 1.0f)),
          closedThrows(() -> closed.setMovingAverageWindow(5)),
          closedThrows(() -> closed.setMedianWindow(5)),
          closedThrows(() -> closed.setJitterThreshold(50.0f)));
      assertFalse(SimBus.serialPortOpen(0), "a call on the closed lidar reopened the port");
    }

    @Test
    void aRefusedPortThrowsNothingAndANewLidarOpensItOnceItIsFree() {
      SimBus.setSerialOpenStatus(-1234);
      Lidar refused = new Lidar(Lidar.Port.MXP);
      lidar = refused;
      assertFalse(SimBus.serialPortOpen(1));
      assertEquals(Lidar.DEGREES, lidar.getData().angle.length);

      SimBus.setSerialOpenStatus(0);
      lidar = new Lidar(Lidar.Port.MXP);
      assertTrue(refused.isClosed());
      assertTrue(SimBus.serialPortOpen(1));
      assertEquals(new Lidar.ScanData(), lidar.getData());
      push(1, sample(1000));
      assertEquals(1000.0f, lidar.getData().distance[DEGREE]);
    }

    @Test
    void stopFreezesTheTablesAndStartResumesReading() {
      lidar = new Lidar(Lidar.Port.ONBOARD);
      device = new SimLidar(0);
      device.setRoomDistance(2000.0f);
      assertEquals(Lidar.DEGREES, waitForRoom(2000.0f).inRangeCount());

      lidar.stop();
      assertFalse(lidar.isScanning());
      assertFalse(SimBus.serialPortOpen(0));
      sleep(50); // a packet read just before stop may still be stored
      Lidar.ScanData stopped = lidar.getData();
      device.setRoomDistance(3000.0f);
      sleep(300); // three revolutions of the simulated lidar
      assertEquals(stopped, lidar.getData(), "read while stopped");

      lidar.start();
      assertTrue(lidar.isScanning());
      assertTrue(SimBus.serialPortOpen(0));
      assertEquals(Lidar.DEGREES, waitForRoom(3000.0f).inRangeCount());
    }
  }

  @Nested
  class Scanning {
    @Test
    void samplesCarryTheirArrivalTimesAndTheConnectionFollowsThePackets() {
      lidar = new Lidar(Lidar.Port.ONBOARD);
      assertFalse(lidar.isConnected(), "no packet yet");
      assertEquals(0L, lidar.getData().firstPacketUs);
      device = new SimLidar(0);
      assertTrue(waitFor(lidar::isConnected, connected -> connected));
      Lidar.ScanData scan = waitFor(lidar::getData, s -> s.firstPacketUs > 0);
      assertTrue(scan.firstPacketUs <= scan.lastPacketUs);
      assertEquals(Lidar.DEGREES, scan.sampleUs.length);
      long newest = 0;
      for (long at : scan.sampleUs) {
        newest = Math.max(newest, at);
      }
      assertEquals(scan.lastPacketUs, newest);
      long seen = scan.lastPacketUs;
      assertTrue(waitFor(lidar::getData, s -> s.lastPacketUs > seen).lastPacketUs > seen);

      Silence.assertConnectionFollows(device::setSilent, lidar::isConnected);
      lidar.stop();
      assertFalse(lidar.isConnected());
    }

    @Test
    void beforeAnyPacketEveryDegreeHasItsOwnAngleAndNoDistance() {
      lidar = new Lidar(Lidar.Port.ONBOARD);
      Lidar.ScanData empty = lidar.getData();
      assertEquals(new Lidar.ScanData(), empty);
      assertEquals(Lidar.DEGREES, empty.distance.length);
      assertEquals(0, empty.inRangeCount());
      assertEquals(42.0f, empty.angle[42]);
      assertEquals(Lidar.NO_DISTANCE, empty.distance[42]);
    }

    @Test
    void aSampleLandsInTheDegreeOfItsCorrectedAngleAndOutOfRangeReadsNoDistance() {
      lidar = new Lidar(Lidar.Port.ONBOARD);
      push(0, sample(1000));
      Lidar.ScanData scan = lidar.getData();
      assertEquals(1000.0f, scan.distance[DEGREE]);
      assertTrue(scan.angle[DEGREE] > DEGREE && scan.angle[DEGREE] < DEGREE + 1, scan::toString);
      // Only the sample's degree and the marker's changed.
      assertEquals(2, scan.inRangeCount(), scan::toString);

      // 8000 mm is in range, 8001 mm is not; both are seen in degree 92.
      push(0, sample(8000));
      assertEquals(8000.0f, lidar.getData().distance[DEGREE - 1]);
      push(0, sample(8001));
      assertEquals(Lidar.NO_DISTANCE, lidar.getData().distance[DEGREE - 1]);
    }

    @Test
    void theRoomsWallsAppearAndFarWallsReadNoDistance() {
      float[] room = new float[SimLidar.DEGREES];
      Arrays.fill(room, 0, 180, 1500.0f);
      Arrays.fill(room, 180, 360, 9000.0f); // beyond the lidar's range
      lidar = new Lidar(Lidar.Port.ONBOARD);
      device = new SimLidar(0);
      device.setRoom(room);

      Lidar.ScanData scan = waitFor(lidar::getData, s -> wallsSeen(s, room));
      // Near the corners a sample's correction can move it across the corner.
      for (int degree = 0; degree < Lidar.DEGREES; ++degree) {
        String where = "degree " + degree + ": " + scan.angle[degree] + ", " + scan.distance[degree];
        assertTrue(scan.angle[degree] >= degree && scan.angle[degree] < degree + 1, where);
        if (degree >= 5 && degree <= 175) {
          assertEquals(1500.0f, scan.distance[degree], 1.0f, where);
        } else if (degree >= 185 && degree <= 355) {
          assertEquals(Lidar.NO_DISTANCE, scan.distance[degree], where);
          assertNotEquals((float) degree, scan.angle[degree], where + ": no sample arrived");
        }
      }
      assertTrue(device.revolutionsSent() >= 1);
    }

    /** Every wall degree away from the corners shows its wall, and the far side has samples. */
    boolean wallsSeen(Lidar.ScanData scan, float[] room) {
      for (int degree = 5; degree <= 355; ++degree) {
        boolean near = degree <= 175;
        boolean far = degree >= 185;
        if (near && Math.abs(scan.distance[degree] - room[degree]) > 1.0f) {
          return false;
        }
        if (far && scan.angle[degree] == degree) {
          return false;
        }
      }
      return true;
    }
  }

  @Nested
  class Filters {

    @BeforeEach
    void openWithKnownSettings() {
      lidar = new Lidar(Lidar.Port.ONBOARD);
      lidar.configureCluster(150.0f, 2);
      lidar.setMovingAverageWindow(Lidar.HISTORY_LENGTH);
      lidar.setMedianWindow(Lidar.HISTORY_LENGTH);
      lidar.setJitterThreshold(50.0f);
    }

    @ParameterizedTest
    @EnumSource(Lidar.FilterType.class)
    void eachFilterStoresItsOwnResultOverTheDegreesHistory(Lidar.FilterType type) {
      lidar.enableFilter(type);
      assertEquals(Optional.of(type), lidar.getFilter());
      float expected = switch (type) {
        case CLUSTER -> 1050.0f; // 1100 and 1000 lie within 150 of each other
        case KALMAN -> 1084.02f; // from the default state, run over the history three times
        case MOVING_AVERAGE -> 3400.0f / 3;
        case MEDIAN -> 1100.0f;
        case JITTER -> 1000.0f; // the jump to 1300 is held back
      };
      assertEquals(expected, pushHistory(), 0.05f, type::toString);
    }

    @Test
    void enablingAFilterSwitchesTheOneBeforeOffAndDisablingSwitchesAllOff() {
      lidar.enableFilter(Lidar.FilterType.JITTER);
      lidar.enableFilter(Lidar.FilterType.MEDIAN);
      assertEquals(Optional.of(Lidar.FilterType.MEDIAN), lidar.getFilter());
      assertEquals(1100.0f, pushHistory());

      lidar.disableFilters();
      assertEquals(Optional.empty(), lidar.getFilter());
      assertEquals(RAW, pushHistory());
    }

    @Test
    void aJumpThatStaysIsHeldBackForOneSampleOnly() {
      lidar.setJitterThreshold(99.0f);
      lidar.enableFilter(Lidar.FilterType.JITTER);
      assertEquals(1000.0f, distanceAfter(sample(1000, 1100)));
      assertEquals(1100.0f, distanceAfter(sample(1100)));
    }

    @Test
    void aNewLidarStartsWithoutAFilterAndWithDefaultSettings() {
      lidar.enableFilter(Lidar.FilterType.CLUSTER);
      lidar = new Lidar(Lidar.Port.ONBOARD);
      assertEquals(Optional.empty(), lidar.getFilter());
      assertEquals(RAW, pushHistory());

      lidar = new Lidar(Lidar.Port.ONBOARD);
      lidar.enableFilter(Lidar.FilterType.CLUSTER);
      // Tolerance 50 and 5 values a group: no group among three values, the newest passes.
      assertEquals(RAW, pushHistory());
    }

    float pushHistory() {
      return distanceAfter(sample(1100, 1000, 1300));
    }

    float distanceAfter(byte[] packet) {
      push(0, packet);
      return lidar.getData().distance[DEGREE];
    }
  }

  @Nested
  class ArgumentChecks {
    @BeforeEach
    void open() {
      lidar = new Lidar(Lidar.Port.ONBOARD);
    }

    @Test
    void settingsOutsideTheirRangesThrowAndTheLimitsAreAccepted() {
      assertAll(
          () -> assertThrows(NullPointerException.class, () -> new Lidar(null)),
          () -> assertThrows(NullPointerException.class, () -> lidar.enableFilter(null)),
          invalid(() -> lidar.setMovingAverageWindow(0)),
          invalid(() -> lidar.setMovingAverageWindow(Lidar.HISTORY_LENGTH + 1)),
          invalid(() -> lidar.setMedianWindow(-1)),
          invalid(() -> lidar.setMedianWindow(11)),
          invalid(() -> lidar.configureCluster(-0.5f, 5)),
          invalid(() -> lidar.configureCluster(Float.NaN, 5)),
          invalid(() -> lidar.configureCluster(50.0f, 0)),
          invalid(() -> lidar.configureCluster(50.0f, 11)),
          invalid(() -> lidar.configureKalman(-1e-6f, 0.1f, 1.0f)),
          invalid(() -> lidar.configureKalman(1e-5f, 0.0f, 1.0f)),
          invalid(() -> lidar.configureKalman(1e-5f, 0.1f, Float.POSITIVE_INFINITY)),
          invalid(() -> lidar.setJitterThreshold(-1.0f)),
          invalid(() -> lidar.setJitterThreshold(Float.NaN)));
      assertTrue(lidar.isScanning(), "new Lidar(null) replaced the open lidar");

      lidar.setMovingAverageWindow(1);
      lidar.setMovingAverageWindow(Lidar.HISTORY_LENGTH);
      lidar.setMedianWindow(1);
      lidar.setMedianWindow(Lidar.HISTORY_LENGTH);
      lidar.configureCluster(0.0f, 1);
      lidar.configureCluster(1000.0f, Lidar.HISTORY_LENGTH);
      lidar.configureKalman(0.0f, Float.MIN_VALUE, 0.0f);
      lidar.setJitterThreshold(0.0f);
    }

    @Test
    void scanDataTakesExactlyOneValueADegreeAndComparesByValue() {
      float[] angles = new Lidar.ScanData().angle;
      float[] distances = new float[Lidar.DEGREES];
      Lidar.ScanData scan = new Lidar.ScanData(angles, distances);
      distances[0] = 5.0f;
      assertEquals(0.0f, scan.distance[0], "the arrays are copied");
      assertEquals(new Lidar.ScanData(angles, new float[Lidar.DEGREES]), scan);
      assertEquals(scan.hashCode(), new Lidar.ScanData(angles, scan.distance).hashCode());
      assertNotEquals(new Lidar.ScanData(), scan);
      assertEquals("ScanData[degrees=360, inRange=360]", scan.toString());
      assertAll(
          invalid(() -> new Lidar.ScanData(new float[359], distances)),
          invalid(() -> new Lidar.ScanData(angles, new float[361])),
          () -> assertThrows(NullPointerException.class, () -> new Lidar.ScanData(null, distances)));
    }
  }

  // --- The lidar's side of the port --------------------------------------------------------------

  /** A packet of samples all reported at {@link #REPORTED_RAW}: they land in {@link #DEGREE}. */
  static byte[] sample(int... millimetres) {
    int[] words = new int[millimetres.length];
    for (int i = 0; i < words.length; ++i) {
      words[i] = millimetres[i] * 4;
    }
    return SimLidar.packet(false, REPORTED_RAW, REPORTED_RAW, words);
  }

  /**
   * Sends a packet and, behind it, a marker packet of 2000 mm into a degree not used before; the
   * packet has been stored once the marker shows (within 5 s).
   */
  void push(int port, byte[] packet) {
    int reportedRaw = (int) ((200.5 + 10 * (markers % 15)) * 128);
    int markerDegree = 193 + 10 * (markers % 15); // 2000 mm are seen 7.4 degrees early
    ++markers;
    ByteArrayOutputStream bytes = new ByteArrayOutputStream();
    bytes.writeBytes(packet);
    bytes.writeBytes(SimLidar.packet(false, reportedRaw, reportedRaw, 2000 * 4));
    float before = lidar.getData().angle[markerDegree];
    SimBus.pushSerialBytes(port, bytes.toByteArray());
    Lidar.ScanData scan = waitFor(lidar::getData, s -> s.angle[markerDegree] != before);
    assertNotEquals(before, scan.angle[markerDegree], "the lidar read nothing within 5 s");
  }

  /** Waits until every degree reads the distance, or 5 s passed; returns the last tables. */
  Lidar.ScanData waitForRoom(float millimetres) {
    return waitFor(lidar::getData, scan -> {
      for (float distance : scan.distance) {
        if (Math.abs(distance - millimetres) > 1.0f) {
          return false;
        }
      }
      return true;
    });
  }

  static Executable closedThrows(Executable call) {
    return () -> assertThrows(IllegalStateException.class, call);
  }

  static Executable invalid(Executable call) {
    return () -> assertThrows(IllegalArgumentException.class, call);
  }
}

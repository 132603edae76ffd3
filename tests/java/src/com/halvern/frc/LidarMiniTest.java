package com.halvern.frc;

import static com.halvern.frc.testing.LidarMiniWire.DOWN_TENTH;
import static com.halvern.frc.testing.LidarMiniWire.GET_HEALTH;
import static com.halvern.frc.testing.LidarMiniWire.START_SCAN;
import static com.halvern.frc.testing.LidarMiniWire.STOP_SCAN;
import static com.halvern.frc.testing.LidarMiniWire.UP_ONE;
import static com.halvern.frc.testing.LidarMiniWire.UP_TENTH;
import static com.halvern.frc.testing.Waits.sleep;
import static com.halvern.frc.testing.Waits.waitFor;
import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.halvern.frc.sim.SimLidarMini;
import com.halvern.frc.sim.SimSerialPorts;
import com.halvern.frc.testing.LidarMiniAsTheOnlySerialPort;
import com.halvern.frc.testing.Silence;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;
import java.util.List;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Nested;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.function.Executable;

/**
 * The robot programmer's lidar against a simulated lidar found by the device search: its life
 * cycle, what it reports, its revolutions and its frequency limits.
 */
class LidarMiniTest extends LidarMiniAsTheOnlySerialPort {
  @Nested
  class Lifecycle {
    @Test
    void openingThrowsIllegalStateWhenTheSelectedPortIsMissing() {
      IllegalStateException second =
          assertThrows(IllegalStateException.class, () -> new LidarMini(LidarMini.SECOND_PORT));
      assertTrue(second.getMessage().contains("port 3"), second.getMessage());

      SimSerialPorts.removeDevicePath(device.devicePath());
      assertThrows(IllegalStateException.class, () -> new LidarMini(LidarMini.FIRST_PORT));
      SimSerialPorts.addDevicePath(device.devicePath());
      assertEquals(List.of(), device.commands(), "nothing reached the listed lidar");
    }

    @Test
    void openingStopsALidarLeftScanningAndClosingTwiceFreesThePortOnce() {
      LidarMini lidar = new LidarMini(LidarMini.FIRST_PORT);
      assertFalse(lidar.isScanning());
      assertEquals(List.of(STOP_SCAN), waitForCommands(1));
      lidar.close();
      lidar.close();
      assertTrue(lidar.isClosed());
      // The port is free again.
      new LidarMini(LidarMini.FIRST_PORT).close();
      assertEquals(List.of(STOP_SCAN, STOP_SCAN), waitForCommands(2));
    }

    @Test
    void closingWhileScanningSendsNothingAndEveryCallThenThrows() {
      LidarMini lidar = new LidarMini(LidarMini.FIRST_PORT);
      lidar.start();
      assertEquals(List.of(STOP_SCAN, START_SCAN), waitForCommands(2));
      lidar.close();

      assertAll(
          closed(lidar::start),
          closed(lidar::stop),
          closed(lidar::isScanning),
          closed(lidar::getData),
          closed(lidar::getInfo),
          closed(lidar::getHealth),
          closed(() -> lidar.increaseFrequency(true)),
          closed(() -> lidar.decreaseFrequency(false)));
      // The next lidar's StopScan is the next command the lidar hears: closing and the calls
      // after it told it nothing.
      new LidarMini(LidarMini.FIRST_PORT).close();
      assertEquals(List.of(STOP_SCAN, START_SCAN, STOP_SCAN), waitForCommands(3),
          "the lidar was told more");
    }
  }

  @Nested
  class OpenLidar {
    LidarMini lidar;

    @BeforeEach
    void open() {
      lidar = new LidarMini(LidarMini.FIRST_PORT);
      waitForCommands(1);
    }

    @AfterEach
    void close() {
      lidar.close();
    }

    @Test
    void revolutionsCarryTheirPacketTimesAndTheConnectionFollowsThePackets() {
      assertFalse(lidar.isConnected(), "not scanning");
      lidar.start();
      assertTrue(waitFor(lidar::isConnected, connected -> connected));
      LidarMini.ScanData first = waitFor(lidar::getData, scan -> scan.firstPacketUs > 0);
      assertTrue(first.angle.length > 0);
      assertTrue(first.firstPacketUs <= first.lastPacketUs);
      LidarMini.ScanData next =
          waitFor(lidar::getData, scan -> scan.firstPacketUs > first.firstPacketUs);
      assertTrue(next.firstPacketUs >= first.lastPacketUs, "the next revolution follows");

      Silence.assertConnectionFollows(device::setSilent, lidar::isConnected);
      lidar.stop();
      assertFalse(lidar.isConnected());
      assertEquals(0L, lidar.getData().firstPacketUs);
    }

    @Test
    void identityAndHealthAreTheLidarsOwnReadAsUnsignedNumbers() {
      byte[] serial = "LM-\u00ff\u0080-0123456789".getBytes(StandardCharsets.ISO_8859_1);
      device.setIdentity(0xC8, 0x1234, 0x81, serial);
      device.setHealth(2, 0x8001);
      assertEquals(new LidarMini.LidarInfo(200, 4660, 129, serial), lidar.getInfo());
      assertEquals(new LidarMini.LidarHealth(2, 32769), lidar.getHealth());
    }

    @Test
    void aLidarThatDoesNotAnswerGivesAnAllZeroIdentityAndTheNextAnswerIsReadAgain() {
      device.setSilent(true);
      assertEquals(new LidarMini.LidarInfo(), lidar.getInfo());
      device.setSilent(false);
      device.setHealth(1, 7);
      assertEquals(new LidarMini.LidarHealth(1, 7), lidar.getHealth());
    }

    @Test
    void aRevolutionHoldsPlausiblePointsWithEachDistanceAtItsAngle() {
      // Walls 2 m away on one half of the circle, nothing to see on the other.
      int[] room = new int[SimLidarMini.DEGREES];
      Arrays.fill(room, 0, 180, 2000);
      device.setRoom(room);
      assertEquals(new LidarMini.ScanData(), lidar.getData(), "not scanning yet");
      lidar.start();
      assertTrue(lidar.isScanning());
      LidarMini.ScanData scan = waitForRevolution(0);

      assertTrue(scan.timestamp != 0, scan::toString);
      assertEquals(scan.size(), scan.distance.length);
      assertEquals(scan.size(), scan.intensity.length);
      // About 4,000 points a second at 6 revolutions a second.
      assertTrue(scan.size() > 300 && scan.size() < 1200, scan::toString);
      boolean[] sectorsSeen = new boolean[36];
      for (int i = 0; i < scan.size(); ++i) {
        float angle = scan.angle[i];
        float distance = scan.distance[i];
        String point = "point " + i + " at " + angle + " degrees: " + distance + " m";
        assertTrue(angle >= 0.0f && angle < 360.0f, point);
        assertTrue(scan.intensity[i] >= 0.0f && scan.intensity[i] <= 255.0f, point);
        if (angle > 5.0f && angle < 175.0f) {
          assertEquals(2.0f, distance, point);
        } else if (angle > 185.0f && angle < 355.0f) {
          assertEquals(LidarMini.MISSING_DISTANCE, distance, point);
        }
        sectorsSeen[(int) (angle / 10.0f)] = true;
      }
      for (int sector = 0; sector < sectorsSeen.length; ++sector) {
        assertTrue(sectorsSeen[sector], "no point from " + sector * 10 + " degrees on");
      }

      LidarMini.ScanData next = waitForRevolution(scan.timestamp);
      assertTrue(next.timestamp > scan.timestamp, next::toString);
    }

    @Test
    void stopDropsTheRevolutionAndTheNextStartGathersAfresh() {
      lidar.start();
      LidarMini.ScanData before = waitForRevolution(0);
      assertTrue(before.size() > 0, "no revolution within 5 s");

      lidar.stop();
      assertFalse(lidar.isScanning());
      assertEquals(new LidarMini.ScanData(), lidar.getData());
      assertFalse(waitFor(device::scanning, scanning -> !scanning), "the lidar still scans");

      lidar.start();
      assertEquals(new LidarMini.ScanData(), lidar.getData(), "a revolution from before stop");
      LidarMini.ScanData after = waitForRevolution(0);
      assertTrue(after.size() > 0, "no revolution within 5 s of the second start");
      assertTrue(after.timestamp > before.timestamp, after::toString);
      assertEquals(List.of(STOP_SCAN, START_SCAN, STOP_SCAN, START_SCAN), device.commands());
    }

    @Test
    void aSilentLidarScansWithoutRevolutionsUntilItStreams() {
      device.setSilent(true);
      lidar.start();
      assertTrue(lidar.isScanning());
      sleep(400); // more than two revolutions at 6 Hz
      assertEquals(new LidarMini.ScanData(), lidar.getData());

      device.setSilent(false);
      assertTrue(waitForRevolution(0).size() > 0, "no revolution once the lidar streams");
    }

    @Test
    void theFrequencyStaysWithinSixToTwelveHertz() {
      lidar.decreaseFrequency(false);
      lidar.decreaseFrequency(true);
      for (int step = 0; step < LidarMini.MAX_FREQUENCY_HZ - LidarMini.MIN_FREQUENCY_HZ; ++step) {
        lidar.increaseFrequency(true);
      }
      lidar.increaseFrequency(true);
      lidar.increaseFrequency(false);
      lidar.decreaseFrequency(false);
      lidar.increaseFrequency(false);

      assertEquals(List.of(STOP_SCAN, UP_ONE, UP_ONE, UP_ONE, UP_ONE, UP_ONE, UP_ONE,
          DOWN_TENTH, UP_TENTH), waitForCommands(9));
      // A health request after them is answered only once the lidar has read all before it:
      // nothing else was sent in between.
      lidar.getHealth();
      assertEquals(List.of(STOP_SCAN, UP_ONE, UP_ONE, UP_ONE, UP_ONE, UP_ONE, UP_ONE,
          DOWN_TENTH, UP_TENTH, GET_HEALTH), device.commands());
      assertEquals(12.0, device.frequencyHz(), 0.01);
    }

    @Test
    void fasterRevolutionsHoldFewerPoints() {
      lidar.start();
      LidarMini.ScanData slow = waitForRevolution(0);
      for (int step = 0; step < LidarMini.MAX_FREQUENCY_HZ - LidarMini.MIN_FREQUENCY_HZ; ++step) {
        lidar.increaseFrequency(true);
      }
      // Revolutions measured before the change may still be on their way.
      LidarMini.ScanData fast = waitFor(lidar::getData, scan -> scan.size() < slow.size() * 3 / 4);
      assertTrue(fast.size() < slow.size() * 3 / 4, slow + " then " + fast);
      assertTrue(fast.size() > slow.size() / 4, slow + " then " + fast);
      assertEquals(LidarMini.MAX_FREQUENCY_HZ, device.frequencyHz(), 0.01);
    }

    /** The first revolution with a timestamp other than {@code previous}, within 5 s. */
    LidarMini.ScanData waitForRevolution(long previous) {
      return waitFor(lidar::getData, scan -> scan.size() > 0 && scan.timestamp != previous);
    }
  }

  /** The commands the lidar received, once there are at least {@code count} (or 5 s passed). */
  List<Integer> waitForCommands(int count) {
    return waitFor(device::commands, commands -> commands.size() >= count);
  }

  static Executable closed(Executable call) {
    return () -> assertThrows(IllegalStateException.class, call);
  }
}

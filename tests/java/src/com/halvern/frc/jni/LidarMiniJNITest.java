package com.halvern.frc.jni;

import static com.halvern.frc.testing.LidarMiniWire.DOWN_ONE;
import static com.halvern.frc.testing.LidarMiniWire.DOWN_TENTH;
import static com.halvern.frc.testing.LidarMiniWire.GET_HEALTH;
import static com.halvern.frc.testing.LidarMiniWire.GET_INFO;
import static com.halvern.frc.testing.LidarMiniWire.START_SCAN;
import static com.halvern.frc.testing.LidarMiniWire.STOP_SCAN;
import static com.halvern.frc.testing.LidarMiniWire.UP_ONE;
import static com.halvern.frc.testing.LidarMiniWire.UP_TENTH;
import static com.halvern.frc.testing.Waits.waitFor;
import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNotSame;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.halvern.frc.LidarMini;
import com.halvern.frc.sim.SimSerialPorts;
import com.halvern.frc.testing.LidarMiniAsTheOnlySerialPort;
import java.util.List;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Nested;
import org.junit.jupiter.api.Test;

/**
 * The lidar's native bindings in a real JVM against the real library, with a simulated lidar
 * behind a pseudo-terminal as the only serial port: each case shows what a Java argument turns
 * into on the wire, or what the lidar's answer turns into in Java.
 */
class LidarMiniJNITest extends LidarMiniAsTheOnlySerialPort {
  @Test
  void creationFindsTheFirstPortForAnySelectorButThreeAndGivesZeroWithoutAPort() {
    assertEquals(0L, LidarMiniJNI.c_LidarMini_create(3), "one port is too few for the second");
    long handle = LidarMiniJNI.c_LidarMini_create(7);
    assertNotEquals(0L, handle);
    LidarMiniJNI.c_LidarMini_destroy(handle);

    SimSerialPorts.removeDevicePath(device.devicePath());
    assertEquals(0L, LidarMiniJNI.c_LidarMini_create(0));
    SimSerialPorts.addDevicePath(device.devicePath());
    assertEquals(List.of(STOP_SCAN), waitForCommands(1), "only the one lidar created was told");
  }

  @Nested
  class OpenLidar {
    long handle;

    @BeforeEach
    void open() {
      handle = LidarMiniJNI.c_LidarMini_create(0);
      assertNotEquals(0L, handle);
      waitForCommands(1);
    }

    @AfterEach
    void close() {
      LidarMiniJNI.c_LidarMini_destroy(handle);
    }

    @Test
    void aHandleOfZeroAnswersNullOrDoesNothingAndReachesNoLidar() {
      LidarMiniJNI.c_LidarMini_start(0);
      LidarMiniJNI.c_LidarMini_stop(0);
      LidarMiniJNI.c_LidarMini_increaseFrequency(0, true);
      LidarMiniJNI.c_LidarMini_decreaseFrequency(0, false);
      assertAll(
          () -> assertNull(LidarMiniJNI.c_LidarMini_getInfo(0)),
          () -> assertNull(LidarMiniJNI.c_LidarMini_getHealth(0)),
          () -> assertNull(LidarMiniJNI.c_LidarMini_getData(0)));
      LidarMiniJNI.c_LidarMini_destroy(0);

      // The live handle still works: handle 0 freed nothing. Its request, answered once the
      // lidar has read all before it, is the first after the StopScan of its creation.
      assertNotEquals(0, LidarMiniJNI.c_LidarMini_getInfo(handle).model);
      assertEquals(List.of(STOP_SCAN, GET_INFO), device.commands(), "the live lidar was told more");
      assertFalse(device.scanning());
    }

    @Test
    void identityAndHealthKeepEverySerialByteAndReadTheirNumbersAsUnsigned() {
      byte[] serial = {
        0, 1, 0x7F, (byte) 0x80, (byte) 0xFF, 0, 'H', 'L', 0, 0, (byte) 0xA5, 0x5A, (byte) 0xAA,
        0x55, (byte) 0xFE, 1
      };
      device.setIdentity(0xFF, 0xFFFF, 0x80, serial);
      device.setHealth(0xFF, 0xFFFE);

      LidarMini.LidarInfo info = LidarMiniJNI.c_LidarMini_getInfo(handle);
      assertNotNull(info);
      assertEquals(LidarMini.LidarInfo.class, info.getClass());
      assertArrayEquals(serial, info.serialnum);
      assertEquals(new LidarMini.LidarInfo(255, 65535, 128, serial), info);

      LidarMini.LidarHealth health = LidarMiniJNI.c_LidarMini_getHealth(handle);
      assertEquals(LidarMini.LidarHealth.class, health.getClass());
      assertEquals(new LidarMini.LidarHealth(255, 65534), health);
    }

    @Test
    void revolutionsArriveAsThreeEquallyLongArraysInANewObjectEachCall() {
      LidarMini.ScanData idle = LidarMiniJNI.c_LidarMini_getData(handle);
      assertEquals(LidarMini.ScanData.class, idle.getClass());
      assertEquals(new LidarMini.ScanData(), idle);

      LidarMiniJNI.c_LidarMini_start(handle);
      LidarMini.ScanData scan =
          waitFor(() -> LidarMiniJNI.c_LidarMini_getData(handle), s -> s.angle.length > 0);
      assertTrue(scan.angle.length > 0, "no revolution within 5 s");
      assertTrue(scan.timestamp != 0, scan::toString);
      assertEquals(scan.angle.length, scan.distance.length);
      assertEquals(scan.angle.length, scan.intensity.length);

      LidarMini.ScanData again = LidarMiniJNI.c_LidarMini_getData(handle);
      assertNotSame(scan, again);
      assertNotSame(scan.angle, again.angle);
      assertEquals(again.angle.length, again.distance.length);
      assertEquals(again.angle.length, again.intensity.length);

      LidarMiniJNI.c_LidarMini_stop(handle);
      assertEquals(new LidarMini.ScanData(), LidarMiniJNI.c_LidarMini_getData(handle));
      assertEquals(List.of(STOP_SCAN, START_SCAN, STOP_SCAN), waitForCommands(3));
    }

    @Test
    void eachBooleanPicksItsStepAndNothingIsSentBelowSixHertz() {
      LidarMiniJNI.c_LidarMini_increaseFrequency(handle, true); // 7 Hz
      LidarMiniJNI.c_LidarMini_increaseFrequency(handle, false); // 7.1 Hz
      LidarMiniJNI.c_LidarMini_decreaseFrequency(handle, false); // 7 Hz
      LidarMiniJNI.c_LidarMini_decreaseFrequency(handle, true); // 6 Hz
      LidarMiniJNI.c_LidarMini_decreaseFrequency(handle, true); // refused
      LidarMiniJNI.c_LidarMini_decreaseFrequency(handle, false); // refused

      assertEquals(List.of(STOP_SCAN, UP_ONE, UP_TENTH, DOWN_TENTH, DOWN_ONE), waitForCommands(5));
      // Answered once the lidar has read all before it: the refused steps sent nothing.
      LidarMiniJNI.c_LidarMini_getHealth(handle);
      assertEquals(List.of(STOP_SCAN, UP_ONE, UP_TENTH, DOWN_TENTH, DOWN_ONE, GET_HEALTH),
          device.commands());
      assertEquals(6.0, device.frequencyHz(), 0.01);
    }
  }

  /** The commands the lidar received, once there are at least {@code count} (or 5 s passed). */
  List<Integer> waitForCommands(int count) {
    return waitFor(device::commands, commands -> commands.size() >= count);
  }
}

package com.halvern.frc.jni;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.halvern.frc.testing.DriverStationReceiver;
import com.halvern.frc.testing.DriverStationReceiver.Control;
import java.util.List;
import org.junit.jupiter.api.AfterAll;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/**
 * The mock driver station's native methods in a real JVM against the real library, heard from
 * the robot program's end of the link (UDP 127.0.0.1 port 1110).
 *
 * <p>The library holds one mock driver station for the whole process, and this suite relies on
 * running in a JVM of its own (as the build runs every suite): its first calls come before any
 * create.
 */
class MockDSJNITest {
  static final int DISABLED = 0x00;
  static final int ENABLED_AUTONOMOUS = 0x06;
  static final int WARMUP = 50;

  static DriverStationReceiver robot;
  static boolean silentBeforeAnyCreate;
  static List<Control> firstCreate;

  @BeforeAll
  static void useTheLibraryBeforeAnyCreate() {
    robot = new DriverStationReceiver();
    MockDSJNI.c_MockDS_enable();
    MockDSJNI.c_MockDS_disable();
    MockDSJNI.c_MockDS_destroy();
    MockDSJNI.c_MockDS_enable(); // would enable the first instance if it were kept
    silentBeforeAnyCreate = robot.poll(200).isEmpty();
    firstCreate = robot.startFresh(MockDSJNI::c_MockDS_create, 3);
  }

  @AfterAll
  static void stopListening() {
    if (robot != null) {
      robot.close();
    }
  }

  @Test
  void callsBeforeAnyCreateDoNothingAndTheFirstCreateStartsDisabledAt0() {
    assertTrue(silentBeforeAnyCreate, "a datagram before any create");
    for (int i = 0; i < firstCreate.size(); ++i) {
      Control control = firstCreate.get(i);
      assertEquals(i, control.sequence(), control::toString);
      assertEquals(DISABLED, control.control(), "the enable before create was kept");
    }
  }

  @Test
  void everyDatagramIsSixBytesWithVersionControlRequestAndStation() {
    for (Control control : robot.startFresh(MockDSJNI::c_MockDS_create, 10)) {
      assertEquals(6, control.length(), control::toString);
      assertEquals(0x01, control.version(), control::toString);
      assertEquals(DISABLED, control.control(), control::toString);
      assertEquals(0x10, control.request(), control::toString);
      assertTrue(control.driverStationAttached(), control::toString);
      assertEquals(0x00, control.station(), control::toString);
    }
  }

  @Test
  void the51stEnabledDatagramIsTheFirstToSayEnabledAndAutonomous() {
    robot.startFresh(MockDSJNI::c_MockDS_create, 2);
    int enabledAfter = robot.lastBefore(MockDSJNI::c_MockDS_enable).sequence();
    List<Control> enabled = robot.next(WARMUP + 5);
    for (int i = 0; i < enabled.size(); ++i) {
      Control control = enabled.get(i);
      assertEquals(enabledAfter + 1 + i, control.sequence(), control::toString);
      int expected = i < WARMUP ? DISABLED : ENABLED_AUTONOMOUS;
      assertEquals(expected, control.control(), "enabled datagram " + (i + 1));
    }
    Control first = enabled.get(WARMUP);
    assertTrue(first.enabled() && first.autonomous() && first.driverStationAttached());

    // Warmed up: disable and enable act on the next datagram.
    Control disabledAfter = robot.lastBefore(MockDSJNI::c_MockDS_disable);
    Control next = robot.next();
    assertEquals(disabledAfter.sequence() + 1, next.sequence());
    assertEquals(DISABLED, next.control());
    Control enabledAgainAfter = robot.lastBefore(MockDSJNI::c_MockDS_enable);
    next = robot.next();
    assertEquals(enabledAgainAfter.sequence() + 1, next.sequence());
    assertEquals(ENABLED_AUTONOMOUS, next.control());
  }

  @Test
  void destroyDisablesAndTheSenderGoesOnUntilEnableOrTheNextCreate() {
    robot.startFresh(MockDSJNI::c_MockDS_create, 1);
    MockDSJNI.c_MockDS_enable();
    awaitEnabled();

    Control destroyedAfter = robot.lastBefore(MockDSJNI::c_MockDS_destroy);
    int sequence = destroyedAfter.sequence();
    for (Control control : robot.next(10)) {
      assertEquals(++sequence, control.sequence(), control::toString);
      assertEquals(DISABLED, control.control(), control::toString);
    }

    // destroy is disable: the same instance, warmed up, enables again at once.
    Control enabledAfter = robot.lastBefore(MockDSJNI::c_MockDS_enable);
    Control next = robot.next();
    assertEquals(enabledAfter.sequence() + 1, next.sequence());
    assertEquals(ENABLED_AUTONOMOUS, next.control());
    MockDSJNI.c_MockDS_destroy();
    MockDSJNI.c_MockDS_destroy(); // twice: still disabled, still sending
    robot.drain();
    robot.next(3).forEach(control -> assertFalse(control.enabled(), control::toString));
  }

  @Test
  void aSecondCreateIsAFreshInstanceAt0DisabledAndWarmingUpAgain() {
    robot.startFresh(MockDSJNI::c_MockDS_create, 1);
    MockDSJNI.c_MockDS_enable();
    awaitEnabled(); // this instance is warmed up and enabled

    List<Control> fresh = robot.startFresh(MockDSJNI::c_MockDS_create, 5);
    for (int i = 0; i < fresh.size(); ++i) {
      assertEquals(i, fresh.get(i).sequence(), fresh::toString);
      assertEquals(DISABLED, fresh.get(i).control(), "a new instance starts disabled");
    }
    int enabledAfter = robot.lastBefore(MockDSJNI::c_MockDS_enable).sequence();
    List<Control> enabled = robot.next(WARMUP + 1);
    for (int i = 0; i < WARMUP; ++i) {
      assertEquals(enabledAfter + 1 + i, enabled.get(i).sequence());
      assertEquals(DISABLED, enabled.get(i).control(), "the new instance warms up again");
    }
    assertEquals(ENABLED_AUTONOMOUS, enabled.get(WARMUP).control());
  }

  static Control awaitEnabled() {
    for (int i = 0; i < 75; ++i) {
      Control control = robot.next();
      if (control.enabled()) {
        return control;
      }
    }
    throw new AssertionError("not enabled within 75 datagrams");
  }
}

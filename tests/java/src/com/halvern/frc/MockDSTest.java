package com.halvern.frc;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;

import com.halvern.frc.testing.DriverStationReceiver;
import com.halvern.frc.testing.DriverStationReceiver.Control;
import java.util.List;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/**
 * The robot programmer's mock driver station, heard from the robot program's end of the link: a
 * UDP socket on 127.0.0.1 port 1110 reading control datagrams as a robot program does.
 *
 * <p>The library holds one mock driver station for the whole process, and its sender outlives a
 * closed {@code MockDS}: every case starts with a fresh one and skips the datagrams the one
 * before may still send.
 */
class MockDSTest {
  DriverStationReceiver robot;
  MockDS station;

  @BeforeEach
  void listenAsTheRobotProgram() {
    robot = new DriverStationReceiver();
  }

  @AfterEach
  void closeEverything() {
    if (station != null) {
      station.close();
    }
    robot.close();
  }

  @Test
  void aNewStationSaysDisabledEvery20MsCountingFrom0() {
    long beforeCreate = System.nanoTime();
    List<Control> first = robot.startFresh(() -> station = new MockDS(), 26);
    for (int i = 0; i < first.size(); ++i) {
      int sequence = i;
      Control control = first.get(i);
      String what = control.toString();
      assertAll(
          () -> assertEquals(sequence, control.sequence(), what),
          () -> assertEquals(MockDS.DATAGRAM_LENGTH, control.length(), what),
          () -> assertEquals(0x01, control.version(), what),
          () -> assertEquals(MockDS.CONTROL_DISABLED, control.control(), what),
          () -> assertEquals(0x10, control.request(), what),
          () -> assertEquals(0x00, control.station(), what),
          () -> assertFalse(control.enabled(), what),
          () -> assertTrue(control.driverStationAttached(), what));
    }
    assertFalse(station.isEnabled());
    // Missed slots are skipped, never caught up in a burst: datagram 25 cannot leave before 25
    // periods after the first, which leaves one period after the create at the earliest.
    long millis = (first.get(25).receivedNanos() - beforeCreate) / 1_000_000;
    assertTrue(millis >= 25 * MockDS.PERIOD_MS, "datagram 25 came " + millis + " ms after create");
  }

  @Test
  void theFirstEnableTakesEffectAfterFiftyEnabledDatagramsAndLaterOnesAtOnce() {
    int enabledAt = freshStationEnabledRightAfterADatagram();
    // Datagrams enabledAt + 1 to enabledAt + 50 were sent enabled but still say disabled.
    for (int sequence = enabledAt + 1; sequence <= enabledAt + MockDS.WARMUP_DATAGRAMS;
        ++sequence) {
      Control control = robot.next();
      assertEquals(sequence, control.sequence());
      assertEquals(MockDS.CONTROL_DISABLED, control.control(), control::toString);
    }
    Control first = robot.next();
    assertEquals(enabledAt + MockDS.WARMUP_DATAGRAMS + 1, first.sequence());
    assertEquals(MockDS.CONTROL_ENABLED_AUTONOMOUS, first.control(), first::toString);
    assertTrue(first.enabled() && first.autonomous() && first.driverStationAttached());
    for (Control control : robot.next(5)) {
      assertEquals(MockDS.CONTROL_ENABLED_AUTONOMOUS, control.control(), control::toString);
    }

    // The warm-up is over for this station's life: disabling and enabling act on the next
    // datagram.
    Control disabledAt = rightAfterADatagram(station::disable);
    Control next = robot.next();
    assertEquals(disabledAt.sequence() + 1, next.sequence());
    assertEquals(MockDS.CONTROL_DISABLED, next.control(), next::toString);
    assertFalse(station.isEnabled());

    Control reenabledAt = rightAfterADatagram(station::enable);
    next = robot.next();
    assertEquals(reenabledAt.sequence() + 1, next.sequence());
    assertEquals(MockDS.CONTROL_ENABLED_AUTONOMOUS, next.control(), next::toString);
    assertTrue(station.isEnabled());
  }

  @Test
  void theWarmUpCountsEnabledDatagramsOverTheStationsLifeAcrossADisable() {
    int enabledAt = freshStationEnabledRightAfterADatagram();
    List<Control> enabled = robot.next(20);
    assertEquals(enabledAt + 20, enabled.get(19).sequence());
    Control disabledAt = rightAfterADatagram(station::disable);
    int counted = disabledAt.sequence() - enabledAt; // enabled datagrams sent so far
    robot.next(10).forEach(control -> assertFalse(control.enabled(), control::toString));

    Control reenabledAt = rightAfterADatagram(station::enable);
    int left = MockDS.WARMUP_DATAGRAMS - counted;
    for (Control control : robot.next(left)) {
      assertEquals(MockDS.CONTROL_DISABLED, control.control(), control::toString);
    }
    Control first = robot.next();
    assertEquals(reenabledAt.sequence() + left + 1, first.sequence());
    assertEquals(MockDS.CONTROL_ENABLED_AUTONOMOUS, first.control(), first::toString);
  }

  @Test
  void closingDisablesTheRobotAndTheSenderGoesOnDisabled() {
    robot.startFresh(() -> station = new MockDS(), 1);
    station.enable();
    Control enabled = awaitEnabled();

    assertTrue(enabled.enabled());
    Control closedAfter = rightAfterADatagram(station::close);
    assertTrue(station.isClosed());
    station.close(); // again: nothing
    // The sender goes on, every datagram disabled and none missing.
    int sequence = closedAfter.sequence();
    for (Control control : robot.next(12)) {
      assertEquals(++sequence, control.sequence(), control::toString);
      assertEquals(MockDS.CONTROL_DISABLED, control.control(), control::toString);
      assertTrue(control.driverStationAttached());
    }

    MockDS closed = station;
    assertAll(
        () -> assertThrows(IllegalStateException.class, closed::enable),
        () -> assertThrows(IllegalStateException.class, closed::disable),
        () -> assertThrows(IllegalStateException.class, closed::isEnabled));
    robot.next(3).forEach(control -> assertFalse(control.enabled(), control::toString));
  }

  @Test
  void aSecondStationReplacesTheFirstStartingAt0AndWarmingUpAgain() {
    robot.startFresh(() -> station = new MockDS(), 1);
    station.enable();
    awaitEnabled(); // the first station's warm-up is over

    MockDS first = station;
    List<Control> fresh = robot.startFresh(() -> station = new MockDS(), 5);
    for (int i = 0; i < fresh.size(); ++i) {
      assertEquals(i, fresh.get(i).sequence(), fresh::toString);
      assertFalse(fresh.get(i).enabled(), "a new station starts disabled");
    }
    assertTrue(first.isClosed());
    IllegalStateException replaced = assertThrows(IllegalStateException.class, first::enable);
    assertTrue(replaced.getMessage().contains("replaced"), replaced.getMessage());

    int enabledAt = enableRightAfterADatagram();
    List<Control> warmUp = robot.next(MockDS.WARMUP_DATAGRAMS + 1);
    for (int i = 0; i < MockDS.WARMUP_DATAGRAMS; ++i) {
      assertEquals(enabledAt + 1 + i, warmUp.get(i).sequence());
      assertFalse(warmUp.get(i).enabled(), "the new station warms up again");
    }
    assertTrue(warmUp.get(MockDS.WARMUP_DATAGRAMS).enabled());

    first.close(); // the replaced station's close leaves the new one enabled
    assertTrue(station.isEnabled());
    robot.drain();
    robot.next(3).forEach(control -> assertTrue(control.enabled(), control::toString));
  }

  // --- Helpers ---------------------------------------------------------------------------------

  /** Makes a fresh station and enables it; returns the number of the last datagram before. */
  int freshStationEnabledRightAfterADatagram() {
    robot.startFresh(() -> station = new MockDS(), 2);
    return enableRightAfterADatagram();
  }

  /** Enables the station; returns the number of the last datagram sent before. */
  int enableRightAfterADatagram() {
    return rightAfterADatagram(station::enable).sequence();
  }

  /** Runs the action between two datagrams; returns the last datagram sent before it. */
  Control rightAfterADatagram(Runnable action) {
    return robot.lastBefore(action);
  }

  /** The first enabled datagram, within 1.5 s of the first enable. */
  Control awaitEnabled() {
    for (int i = 0; i < 75; ++i) {
      Control control = robot.next();
      if (control.enabled()) {
        return control;
      }
    }
    return fail("not enabled within 75 datagrams");
  }
}

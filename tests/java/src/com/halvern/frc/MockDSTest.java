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
    Call enable = freshStationEnabledRightAfterADatagram();
    // Datagrams enabledAt + 1 to enabledAt + 50 were sent enabled but still say disabled: the
    // 51st picked after the enable is the first to say enabled.
    for (int sequence = enable.lastBefore() + 1;
        sequence <= enable.lastBefore() + MockDS.WARMUP_DATAGRAMS; ++sequence) {
      Control control = robot.next();
      assertEquals(sequence, control.sequence());
      assertEquals(MockDS.CONTROL_DISABLED, control.control(), control::toString);
    }
    Control first = firstShowing(enable, MockDS.WARMUP_DATAGRAMS,
        MockDS.CONTROL_ENABLED_AUTONOMOUS, MockDS.CONTROL_DISABLED);
    assertTrue(first.enabled() && first.autonomous() && first.driverStationAttached());
    for (Control control : robot.next(5)) {
      assertEquals(MockDS.CONTROL_ENABLED_AUTONOMOUS, control.control(), control::toString);
    }

    // The warm-up is over for this station's life: disabling and enabling act on the next
    // datagram picked.
    Call disable = rightAfterADatagram(station::disable);
    firstShowing(disable, 0, MockDS.CONTROL_DISABLED, MockDS.CONTROL_ENABLED_AUTONOMOUS);
    assertFalse(station.isEnabled());

    Call reenable = rightAfterADatagram(station::enable);
    firstShowing(reenable, 0, MockDS.CONTROL_ENABLED_AUTONOMOUS, MockDS.CONTROL_DISABLED);
    assertTrue(station.isEnabled());
  }

  @Test
  void theWarmUpCountsEnabledDatagramsOverTheStationsLifeAcrossADisable() {
    Call enable = freshStationEnabledRightAfterADatagram();
    List<Control> enabled = robot.next(20);
    assertEquals(enable.lastBefore() + 20, enabled.get(19).sequence());
    Call disable = rightAfterADatagram(station::disable);
    robot.next(10).forEach(control -> assertFalse(control.enabled(), control::toString));

    // Enabled datagrams picked before the disable: from the first picked after the enable to the
    // last before the first picked after the disable; each end known to within the calls' bounds.
    int leastCounted = (disable.lastBefore() + 1) - enable.latestFirstAfter();
    int mostCounted = disable.latestFirstAfter() - (enable.lastBefore() + 1);
    Call reenable = rightAfterADatagram(station::enable);
    // What is left of the warm-up, not a fresh one: the first enabled datagram comes that many
    // datagrams after the first picked after the enable.
    Control first = nextShowing(MockDS.CONTROL_ENABLED_AUTONOMOUS, MockDS.CONTROL_DISABLED,
        reenable.latestFirstAfter() + MockDS.WARMUP_DATAGRAMS - leastCounted);
    assertTrue(first.sequence()
            >= reenable.lastBefore() + 1 + MockDS.WARMUP_DATAGRAMS - mostCounted,
        first::toString);
  }

  @Test
  void closingDisablesTheRobotAndTheSenderGoesOnDisabled() {
    robot.startFresh(() -> station = new MockDS(), 1);
    station.enable();
    Control enabled = awaitEnabled();

    assertTrue(enabled.enabled());
    Call close = rightAfterADatagram(station::close);
    assertTrue(station.isClosed());
    station.close(); // again: nothing
    Control first =
        firstShowing(close, 0, MockDS.CONTROL_DISABLED, MockDS.CONTROL_ENABLED_AUTONOMOUS);
    // The sender goes on, every datagram disabled and none missing.
    int sequence = first.sequence();
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

    Call enable = rightAfterADatagram(station::enable);
    List<Control> warmUp = robot.next(MockDS.WARMUP_DATAGRAMS);
    for (int i = 0; i < MockDS.WARMUP_DATAGRAMS; ++i) {
      assertEquals(enable.lastBefore() + 1 + i, warmUp.get(i).sequence());
      assertFalse(warmUp.get(i).enabled(), "the new station warms up again");
    }
    firstShowing(enable, MockDS.WARMUP_DATAGRAMS, MockDS.CONTROL_ENABLED_AUTONOMOUS,
        MockDS.CONTROL_DISABLED);

    first.close(); // the replaced station's close leaves the new one enabled
    assertTrue(station.isEnabled());
    robot.drain();
    robot.next(3).forEach(control -> assertTrue(control.enabled(), control::toString));
  }

  // --- Helpers ---------------------------------------------------------------------------------

  /**
   * Where a call fell among the datagrams: {@code lastBefore} was received before it returned, so
   * it and every one before it were picked without it; the first picked after it is at most
   * {@code latestFirstAfter}, the most the station can have picked by the time it returned.
   */
  record Call(int lastBefore, int latestFirstAfter) {}

  /** Makes a fresh station and enables it right after a datagram. */
  Call freshStationEnabledRightAfterADatagram() {
    robot.startFresh(() -> station = new MockDS(), 2);
    return rightAfterADatagram(station::enable);
  }

  /** Runs the action right after a datagram arrives; see {@link Call}. */
  Call rightAfterADatagram(Runnable action) {
    int lastBefore = robot.lastBefore(action).sequence();
    return new Call(lastBefore, Math.max(lastBefore + 1, robot.mostPickedBy(System.nanoTime())));
  }

  /**
   * The first datagram from here on whose control byte is {@code wanted}, {@code delay}
   * datagrams after the first one picked after {@code call}: every one before it says {@code
   * before}, and it comes no earlier than {@code delay} datagrams after the last one received
   * before the call returned, and no later than the call allows.
   */
  Control firstShowing(Call call, int delay, int wanted, int before) {
    Control first = nextShowing(wanted, before, call.latestFirstAfter() + delay);
    assertTrue(first.sequence() >= call.lastBefore() + 1 + delay, first::toString);
    return first;
  }

  /**
   * The next datagram whose control byte is {@code wanted}, no later than sequence number {@code
   * latest}; each one before it follows the one before and says {@code before}.
   */
  Control nextShowing(int wanted, int before, int latest) {
    while (true) {
      Control control = robot.next();
      if (control.control() == wanted) {
        assertTrue(control.sequence() <= latest,
            () -> control + " is later than " + latest + ", the latest the call allows");
        return control;
      }
      assertEquals(before, control.control(), control::toString);
      assertTrue(control.sequence() < latest,
          () -> String.format("datagram %d still says 0x%02X", control.sequence(), before));
    }
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

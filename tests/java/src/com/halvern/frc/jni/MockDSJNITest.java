package com.halvern.frc.jni;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;

import com.halvern.frc.testing.DriverStationReceiver;
import com.halvern.frc.testing.DriverStationReceiver.Control;
import java.util.ArrayList;
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
 *
 * <p>The sender picks each datagram's control byte just before sending it, on its own thread, so
 * the datagram that goes out around an enable or a disable may have been picked either side of
 * the call. The cases therefore find the first datagram that shows the new state and check it
 * lies within the datagrams that could be the first ones picked after the call.
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
    // Past the warm-up, where a kept enable would show.
    firstCreate = robot.startFresh(MockDSJNI::c_MockDS_create, WARMUP + 5);
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
    Heard heard = new Heard(robot.startFresh(MockDSJNI::c_MockDS_create, 2));
    expectWarmUp(heard, heard.around(MockDSJNI::c_MockDS_enable));

    // Warmed up: disable and enable act on the next datagram picked.
    heard.firstShowing(heard.around(MockDSJNI::c_MockDS_disable), DISABLED, ENABLED_AUTONOMOUS, 0);
    heard.expectAll(3, DISABLED);
    heard.firstShowing(heard.around(MockDSJNI::c_MockDS_enable), ENABLED_AUTONOMOUS, DISABLED, 0);
    heard.expectAll(3, ENABLED_AUTONOMOUS);
  }

  @Test
  void destroyDisablesAndTheSenderGoesOnUntilEnableOrTheNextCreate() {
    Heard heard = new Heard(robot.startFresh(MockDSJNI::c_MockDS_create, 1));
    MockDSJNI.c_MockDS_enable();
    heard.awaitEnabled();

    heard.firstShowing(heard.around(MockDSJNI::c_MockDS_destroy), DISABLED, ENABLED_AUTONOMOUS, 0);
    heard.expectAll(10, DISABLED);

    // destroy is disable: the same instance, warmed up, enables again at once.
    heard.firstShowing(heard.around(MockDSJNI::c_MockDS_enable), ENABLED_AUTONOMOUS, DISABLED, 0);
    Around destroyedTwice = heard.around(() -> {
      MockDSJNI.c_MockDS_destroy();
      MockDSJNI.c_MockDS_destroy(); // twice: still disabled, still sending
    });
    heard.firstShowing(destroyedTwice, DISABLED, ENABLED_AUTONOMOUS, 0);
    heard.next(3).forEach(control -> assertFalse(control.enabled(), control::toString));
  }

  @Test
  void aSecondCreateIsAFreshInstanceAt0DisabledAndWarmingUpAgain() {
    Heard first = new Heard(robot.startFresh(MockDSJNI::c_MockDS_create, 1));
    MockDSJNI.c_MockDS_enable();
    first.awaitEnabled(); // this instance is warmed up and enabled

    List<Control> fresh = robot.startFresh(MockDSJNI::c_MockDS_create, 5);
    for (int i = 0; i < fresh.size(); ++i) {
      assertEquals(i, fresh.get(i).sequence(), fresh::toString);
      assertEquals(DISABLED, fresh.get(i).control(), "a new instance starts disabled");
    }
    Heard second = new Heard(fresh);
    expectWarmUp(second, second.around(MockDSJNI::c_MockDS_enable));
  }

  /**
   * After an enable, the 51st datagram picked enabled is the first to say enabled, in autonomous
   * and with a driver station attached, and the ones after it say so too.
   */
  static void expectWarmUp(Heard heard, Around enable) {
    Control first = heard.firstShowing(enable, ENABLED_AUTONOMOUS, DISABLED, WARMUP);
    assertTrue(first.sequence() >= enable.lastBefore() + 1 + WARMUP,
        "only " + (first.sequence() - enable.lastBefore() - 1) + " datagrams after "
            + enable.lastBefore() + " said disabled: " + first);
    assertTrue(first.enabled() && first.autonomous() && first.driverStationAttached());
    heard.expectAll(5, ENABLED_AUTONOMOUS);
  }

  /**
   * Where a call fell among the datagrams. Datagram {@code lastBefore} was received before the
   * call, so it and every one before it were picked without it. Once the datagrams waiting after
   * the call ({@code waiting}) are read, at most one more can have been picked before it (picked,
   * not yet sent): the first picked after the call is at most {@code latestFirstAfter}.
   */
  record Around(int lastBefore, List<Control> waiting) {
    int latestFirstAfter() {
      return lastBefore + waiting.size() + 2;
    }
  }

  /** One instance's datagrams as they are read, each checked to follow the one before. */
  static final class Heard {
    private int last;

    /**
     * After the datagrams {@link DriverStationReceiver#startFresh} returned. The instance the
     * create replaced was joined before the create returned, but its last datagram may still
     * wait behind the fresh instance's first ones: what is waiting now and does not continue the
     * fresh sequence is skipped.
     */
    Heard(List<Control> fresh) {
      last = fresh.get(fresh.size() - 1).sequence();
      for (Control control : robot.drain()) {
        if (control.sequence() == ((last + 1) & 0xFFFF)) {
          last = control.sequence();
        }
      }
    }

    Control next() {
      return follow(robot.next());
    }

    List<Control> next(int count) {
      List<Control> received = new ArrayList<>(count);
      for (int i = 0; i < count; ++i) {
        received.add(next());
      }
      return received;
    }

    /** Runs {@code action} right after a datagram arrives; see {@link Around}. */
    Around around(Runnable action) {
      robot.drain().forEach(this::follow);
      int lastBefore = next().sequence();
      action.run();
      List<Control> waiting = robot.drain();
      waiting.forEach(this::follow);
      return new Around(lastBefore, waiting);
    }

    /**
     * The first datagram after {@code call} whose control byte is {@code wanted}; every one
     * before it says {@code before}. It must be among the datagrams that can be the first picked
     * after the call, or, {@code delay} datagrams later.
     */
    Control firstShowing(Around call, int wanted, int before, int delay) {
      int latest = call.latestFirstAfter() + delay;
      List<Control> pending = new ArrayList<>(call.waiting());
      for (int i = 0; ; ++i) {
        Control control = i < pending.size() ? pending.get(i) : next();
        if (control.control() == wanted) {
          return control;
        }
        assertEquals(before, control.control(), control::toString);
        if (control.sequence() >= latest) {
          fail(String.format("datagram %d still says 0x%02X; the call came after datagram %d",
              control.sequence(), before, call.lastBefore()));
        }
      }
    }

    /** The next {@code count} datagrams all have the control byte {@code control}. */
    void expectAll(int count, int control) {
      for (Control received : next(count)) {
        assertEquals(control, received.control(), received::toString);
      }
    }

    Control awaitEnabled() {
      for (int i = 0; i < WARMUP + 25; ++i) {
        Control control = next();
        if (control.enabled()) {
          return control;
        }
      }
      throw new AssertionError("not enabled within " + (WARMUP + 25) + " datagrams");
    }

    private Control follow(Control control) {
      assertEquals((last + 1) & 0xFFFF, control.sequence(), control::toString);
      last = control.sequence();
      return control;
    }
  }
}

package com.halvern.frc;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.halvern.frc.sim.SimBus;
import java.util.List;
import java.util.function.Consumer;
import java.util.stream.Stream;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.function.Executable;

/**
 * The life cycle of a sensor that opens on the CAN bus or on a USB serial port, the same for every
 * such sensor: a nested class of the sensor's suite extends it and says how to open and use one.
 */
abstract class CanOrUsbSensorLifecycle<S extends HandleDevice> {
  static final int CAN_ID = 12;

  /** Opens the sensor on CAN, as its constructor with a CAN ID does. */
  abstract S openOnCan(int canId);

  /** Opens the sensor on a USB serial port, with its rate argument. */
  abstract S openOnUsb(String path, int rate);

  abstract int canIdOf(S sensor);

  abstract boolean isOnCan(S sensor); // by the transport the sensor reports

  /** Calls that each use the sensor: once it is closed, every one throws. */
  abstract Stream<Executable> usesOf(S sensor);

  /** Runs {@code use} with the device path of a simulated USB sensor, unplugged afterwards. */
  abstract void withSimulatedUsbSensor(Consumer<String> use);

  @Test
  void canIdsOutsideZeroToSixtyThreeThrowAndOpenNothingButTheEdgesOpen() {
    int sessions = SimBus.openStreamSessionCount();
    assertAll(
        () -> assertThrows(IllegalArgumentException.class, () -> openOnCan(-1)),
        () -> assertThrows(IllegalArgumentException.class, () -> openOnCan(64)));
    assertEquals(sessions, SimBus.openStreamSessionCount());
    try (S lowest = openOnCan(0);
        S highest = openOnCan(63)) {
      assertEquals(0, canIdOf(lowest));
      assertEquals(63, canIdOf(highest));
      assertTrue(isOnCan(highest));
    }
  }

  @Test
  @Tag("standin") // the stand-in HAL's HAL_CAN_OpenStreamSession fault
  void aRefusedCanSessionThrowsIllegalState() {
    SimBus.setStreamOpenStatus(-44088);
    IllegalStateException refused =
        assertThrows(IllegalStateException.class, () -> openOnCan(CAN_ID));
    assertTrue(refused.getMessage().contains("CAN ID " + CAN_ID), refused.getMessage());
  }

  @Test
  void badUsbArgumentsThrowBeforeAnyPortIsOpened() {
    assertAll(
        () -> assertThrows(NullPointerException.class, () -> openOnUsb(null, 10)),
        () -> assertThrows(IllegalArgumentException.class, () -> openOnUsb("/dev/null", -1)),
        () -> assertThrows(IllegalStateException.class,
            () -> openOnUsb("/dev/halvern-no-such-port", 10)));
  }

  @Test
  void closeReleasesTheCanSessionOnceAndThenEveryCallThrows() {
    int sessions = SimBus.openStreamSessionCount();
    S sensor = openOnCan(CAN_ID);
    assertEquals(sessions + 1, SimBus.openStreamSessionCount());
    sensor.close();
    assertTrue(sensor.isClosed());
    assertEquals(sessions, SimBus.openStreamSessionCount());
    sensor.close();
    assertEquals(sessions, SimBus.openStreamSessionCount());

    assertAll(usesOf(sensor).map(CanOrUsbSensorLifecycle::throwsClosed));
    assertEquals(List.of(), SimBus.sentFrames(0, 0));
  }

  @Test
  void closingAUsbSensorTwiceFreesItOnce() {
    withSimulatedUsbSensor(path -> {
      S sensor = openOnUsb(path, 0);
      sensor.close();
      sensor.close();
      assertAll(usesOf(sensor).map(CanOrUsbSensorLifecycle::throwsClosed));
      // The port is free again.
      openOnUsb(path, 0).close();
    });
  }

  private static Executable throwsClosed(Executable use) {
    return () -> assertThrows(IllegalStateException.class, use);
  }
}

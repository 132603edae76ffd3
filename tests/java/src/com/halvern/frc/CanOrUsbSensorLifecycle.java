package com.halvern.frc;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.halvern.frc.sim.SimBus;
import java.util.List;
import java.util.function.BiFunction;
import java.util.function.Function;
import java.util.function.IntFunction;
import java.util.function.Predicate;
import java.util.function.Supplier;
import java.util.function.ToIntFunction;
import java.util.stream.Stream;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.function.Executable;

/**
 * The life cycle of a sensor that opens on the CAN bus or on a USB serial port, the same for every
 * such sensor: a nested class of the sensor's suite extends it, saying how to open and use one.
 */
abstract class CanOrUsbSensorLifecycle<S extends HandleDevice, U extends AutoCloseable> {
  static final int CAN_ID = 12;

  private final IntFunction<S> openOnCan;
  private final BiFunction<String, Integer, S> openOnUsb; // a path and the rate argument
  private final ToIntFunction<S> canIdOf;
  private final Predicate<S> isOnCan; // by the transport the sensor reports
  private final Supplier<U> simulatedUsbSensor;
  private final Function<U, String> devicePathOf;

  CanOrUsbSensorLifecycle(IntFunction<S> openOnCan, BiFunction<String, Integer, S> openOnUsb,
      ToIntFunction<S> canIdOf, Predicate<S> isOnCan, Supplier<U> simulatedUsbSensor,
      Function<U, String> devicePathOf) {
    this.openOnCan = openOnCan;
    this.openOnUsb = openOnUsb;
    this.canIdOf = canIdOf;
    this.isOnCan = isOnCan;
    this.simulatedUsbSensor = simulatedUsbSensor;
    this.devicePathOf = devicePathOf;
  }

  /** Calls that each use the sensor: once it is closed, every one throws. */
  abstract Stream<Executable> usesOf(S sensor);

  @Test
  void canIdsOutsideZeroToSixtyThreeThrowAndOpenNothingButTheEdgesOpen() {
    int sessions = SimBus.openStreamSessionCount();
    assertAll(
        () -> assertThrows(IllegalArgumentException.class, () -> openOnCan.apply(-1)),
        () -> assertThrows(IllegalArgumentException.class, () -> openOnCan.apply(64)));
    assertEquals(sessions, SimBus.openStreamSessionCount());
    try (S lowest = openOnCan.apply(0);
        S highest = openOnCan.apply(63)) {
      assertEquals(0, canIdOf.applyAsInt(lowest));
      assertEquals(63, canIdOf.applyAsInt(highest));
      assertTrue(isOnCan.test(highest));
    }
  }

  @Test
  @Tag("standin") // the stand-in HAL's HAL_CAN_OpenStreamSession fault
  void aRefusedCanSessionThrowsIllegalState() {
    SimBus.setStreamOpenStatus(-44088);
    IllegalStateException refused =
        assertThrows(IllegalStateException.class, () -> openOnCan.apply(CAN_ID));
    assertTrue(refused.getMessage().contains("CAN ID " + CAN_ID), refused.getMessage());
  }

  @Test
  void badUsbArgumentsThrowBeforeAnyPortIsOpened() {
    assertAll(
        () -> assertThrows(NullPointerException.class, () -> openOnUsb.apply(null, 10)),
        () -> assertThrows(IllegalArgumentException.class, () -> openOnUsb.apply("/dev/null", -1)),
        () -> assertThrows(IllegalStateException.class,
            () -> openOnUsb.apply("/dev/halvern-no-such-port", 10)));
  }

  @Test
  void closeReleasesTheCanSessionOnceAndThenEveryCallThrows() {
    int sessions = SimBus.openStreamSessionCount();
    S sensor = openOnCan.apply(CAN_ID);
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
  void closingAUsbSensorTwiceFreesItOnce() throws Exception {
    U device = simulatedUsbSensor.get();
    try {
      S sensor = openOnUsb.apply(devicePathOf.apply(device), 0);
      sensor.close();
      sensor.close();
      assertAll(usesOf(sensor).map(CanOrUsbSensorLifecycle::throwsClosed));
      // The port is free again.
      openOnUsb.apply(devicePathOf.apply(device), 0).close();
    } finally {
      device.close();
    }
  }

  private static Executable throwsClosed(Executable use) {
    return () -> assertThrows(IllegalStateException.class, use);
  }
}

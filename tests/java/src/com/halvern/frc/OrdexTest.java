package com.halvern.frc;

import static com.halvern.frc.testing.OrdexWire.commandsSentTo;
import static com.halvern.frc.testing.OrdexWire.onlySent;
import static com.halvern.frc.testing.OrdexWire.payload;
import static com.halvern.frc.testing.OrdexWire.reply;
import static com.halvern.frc.testing.OrdexWire.replyInt32;
import static com.halvern.frc.testing.OrdexWire.sent;
import static com.halvern.frc.testing.Waits.waitFor;
import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.halvern.frc.sim.SimBus;
import com.halvern.frc.testing.FreshSimBus;
import com.halvern.frc.testing.OrdexWire;
import java.util.List;
import java.util.Optional;
import java.util.OptionalDouble;
import java.util.OptionalInt;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Nested;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.extension.ExtendWith;
import org.junit.jupiter.api.function.Executable;

/** The robot programmer's class: its life cycle, argument checks and optional readings. */
@ExtendWith(FreshSimBus.class)
class OrdexTest {
  static final int DEVICE = 9;

  @Nested
  class Lifecycle {
    @Test
    void outOfRangeArgumentsThrowIllegalArgumentAndSendNothingButTheEdgesAreAccepted() {
      assertAll(
          () -> assertThrows(IllegalArgumentException.class, () -> new Ordex(0, 1000)),
          () -> assertThrows(IllegalArgumentException.class, () -> new Ordex(64, 1000)),
          () -> assertThrows(IllegalArgumentException.class, () -> new Ordex(DEVICE, -1)),
          () -> assertThrows(IllegalArgumentException.class, () -> new Ordex(DEVICE, 20001)));
      assertTrue(SimBus.sentFrames(0, 0).isEmpty());
      new Ordex(Ordex.MAX_DEVICE_ID, Ordex.MAX_FREQUENCY).close();
      new Ordex(Ordex.MIN_DEVICE_ID, Ordex.MIN_FREQUENCY).close();
    }

    @Test
    @Tag("standin") // counts the stand-in HAL's open CAN handles
    void outOfRangeArgumentsOpenNoCanHandle() {
      int open = SimBus.openCanHandleCount();
      assertAll(
          () -> assertThrows(IllegalArgumentException.class, () -> new Ordex(0, 1000)),
          () -> assertThrows(IllegalArgumentException.class, () -> new Ordex(64, 1000)),
          () -> assertThrows(IllegalArgumentException.class, () -> new Ordex(DEVICE, -1)),
          () -> assertThrows(IllegalArgumentException.class, () -> new Ordex(DEVICE, 20001)));
      assertEquals(open, SimBus.openCanHandleCount());
    }

    @Test
    @Tag("standin") // the stand-in HAL's HAL_InitializeCAN fault
    void aRefusedCanDeviceThrowsIllegalState() {
      SimBus.setInitializeCanStatus(-1);
      IllegalStateException refused =
          assertThrows(IllegalStateException.class, () -> new Ordex(DEVICE, 1000));
      assertTrue(refused.getMessage().contains("device " + DEVICE), refused.getMessage());
    }

    @Test
    void closeStopsItsHeartbeatAndClosingAgainDoesNothing() {
      Ordex ordex = new Ordex(DEVICE, 1000);
      assertTrue(waitFor(() -> !sent(OrdexWire.DISABLED_HEARTBEAT, DEVICE).isEmpty()),
          "heartbeat while open");

      ordex.close();
      assertTrue(ordex.isClosed());
      ordex.close();
      assertTrue(ordex.isClosed());

      SimBus.clearSentFrames();
      // The heartbeat loop, started afresh for another controller, serves it two rounds: none
      // for the closed one.
      Ordex other = new Ordex(DEVICE + 1, 1000);
      try {
        assertTrue(waitFor(() -> sent(OrdexWire.DISABLED_HEARTBEAT, DEVICE + 1).size() >= 2));
      } finally {
        other.close();
      }
      assertTrue(sent(OrdexWire.DISABLED_HEARTBEAT, DEVICE).isEmpty(), "no heartbeat once closed");
    }

    @Test
    @Tag("standin") // counts the stand-in HAL's open CAN handles
    void closeReleasesTheCanHandleOnce() {
      int open = SimBus.openCanHandleCount();
      Ordex ordex = new Ordex(DEVICE, 1000);
      assertEquals(open + 1, SimBus.openCanHandleCount());
      ordex.close();
      assertEquals(open, SimBus.openCanHandleCount());
      ordex.close();
      assertEquals(open, SimBus.openCanHandleCount());
    }

    @Test
    void aClosedControllerRefusesEveryCall() {
      Ordex ordex = new Ordex(DEVICE, 1000);
      ordex.close();
      SimBus.clearSentFrames();
      assertAll(
          () -> assertThrows(IllegalStateException.class, () -> ordex.setMotorSpeed(0, 0.5)),
          () -> assertThrows(IllegalStateException.class, () -> ordex.getRPM(0)),
          () -> assertThrows(IllegalStateException.class, ordex::getFirmwareVersion),
          () -> assertThrows(IllegalStateException.class, ordex::tryGetFirmwareVersion),
          () -> assertThrows(IllegalStateException.class, ordex::isConnected),
          () -> assertThrows(IllegalStateException.class, () -> ordex.getRPMTimestamped(0)));
      assertTrue(SimBus.sentFrames(0, 0).isEmpty());
    }
  }

  @Nested
  class OpenController {
    Ordex ordex;

    @BeforeEach
    void open() {
      ordex = new Ordex(DEVICE, 1000);
      SimBus.clearSentFrames();
    }

    @AfterEach
    void close() {
      ordex.close();
    }

    @Test
    void motorNumbersOutsideZeroToThreeThrowInsteadOfWrappingAround() {
      for (int motor : new int[] {-1, 4, 256}) {
        assertAll(
            "motor " + motor,
            rejects(() -> ordex.setMotorSpeed(motor, 0.5)),
            rejects(() -> ordex.setTargetVelocity(motor, 10.0)),
            rejects(() -> ordex.getLimitSwitch(motor, false)),
            rejects(() -> ordex.tryGetRPM(motor)),
            rejects(() -> ordex.resetEncoder(motor)));
      }
      assertEquals(List.of(), commandsSentTo(DEVICE));
    }

    @Test
    void settingsOutsideTheirRangesThrow() {
      assertAll(
          rejects(() -> ordex.configureMotor(0, 20001)),
          rejects(() -> ordex.setSensitivity(0, 11)),
          rejects(() -> ordex.setPIDType(3)),
          rejects(() -> ordex.setMotorPIDType(0, -1)),
          rejects(() -> ordex.setEncoderResolution(0, 65536)),
          rejects(() -> ordex.setCanSensorDelay(-1)),
          rejects(() -> ordex.setCurrentLimitMode(0, 2)),
          rejects(() -> ordex.setMotorStopMode(256)),
          rejects(() -> ordex.setTargetDistance(0, 1 << 23)));
      assertEquals(List.of(), commandsSentTo(DEVICE));
    }

    @Test
    void settingsInRangeReachTheController() {
      ordex.setTargetDistance(2, -(1 << 23));
      ordex.setTargetVelocity(1, 1.5);
      ordex.setCanSensorDelay(65535);
      assertArrayEquals(payload(2, 0, 0, 0x80), onlySent(OrdexWire.TARGET_DISTANCE, DEVICE));
      assertArrayEquals(payload(1, 150), onlySent(OrdexWire.TARGET_VELOCITY, DEVICE));
      assertArrayEquals(payload(0xFF, 0xFF), onlySent(OrdexWire.CAN_SENSOR_OS_DELAY, DEVICE));
    }

    @Test
    void tryGetRpmIsEmptyUntilTheControllerReports() {
      assertEquals(OptionalDouble.empty(), ordex.tryGetRPM(3));
      assertEquals(OptionalDouble.empty(), ordex.tryGetTargetRPM(3));
      replyInt32(OrdexWire.MOTOR_RPM + 3, DEVICE, 0);
      replyInt32(OrdexWire.TARGET_RPM + 3, DEVICE, 4321);
      assertEquals(OptionalDouble.of(0.0), ordex.tryGetRPM(3));
      assertEquals(OptionalDouble.of(43.21), ordex.tryGetTargetRPM(3));
    }

    @Test
    void targetRpmsArePresentOnlyWhenAllFourWereReported() {
      for (int motor = 0; motor < 3; ++motor) {
        replyInt32(OrdexWire.TARGET_RPM + motor, DEVICE, 100 * motor);
      }
      assertTrue(ordex.tryGetTargetRPMs().isEmpty());
      replyInt32(OrdexWire.TARGET_RPM + 3, DEVICE, 300);
      assertArrayEquals(new double[] {0.0, 1.0, 2.0, 3.0}, ordex.tryGetTargetRPMs().orElseThrow(), 1e-9);
    }

    @Test
    void encoderDistancePerCountAppliesToEveryController() {
      try (Ordex other = new Ordex(DEVICE + 1, 1000)) {
        replyInt32(OrdexWire.ENCODER_COUNT + 2, DEVICE, 10);
        replyInt32(OrdexWire.ENCODER_COUNT + 2, DEVICE + 1, -4);
        Ordex.setEncoderDistancePerCount(2, 0.5);
        assertEquals(5.0, ordex.getEncoderDistance(2), 1e-9);
        assertEquals(-2.0, other.getEncoderDistance(2), 1e-9);
      } finally {
        Ordex.setEncoderDistancePerCount(2, 1.0);
      }
    }
  }

  @Nested
  class WithoutWaiting {
    Ordex ordex;

    @BeforeEach
    void open() {
      ordex = new Ordex(DEVICE, 1000);
    }

    @AfterEach
    void close() {
      ordex.close();
    }

    @Test
    void identityIsEmptyUntilTheControllerAnswersTheBackgroundRequest() {
      assertTrue(waitFor(() -> !sent(OrdexWire.IDENTITY_REQUEST, DEVICE).isEmpty()));
      assertAll(
          () -> assertEquals(0, ordex.getReportedDeviceId()),
          () -> assertEquals("", ordex.getFirmwareVersion()),
          () -> assertEquals("", ordex.getHardwareVersion()),
          () -> assertEquals(OptionalInt.empty(), ordex.tryGetReportedDeviceId()),
          () -> assertEquals(Optional.empty(), ordex.tryGetFirmwareVersion()),
          () -> assertEquals(Optional.empty(), ordex.tryGetHardwareVersion()));

      reply(OrdexWire.IDENTITY_REPLY, DEVICE, DEVICE, 3, 0, 12, 1, 7, 0, 0);
      assertTrue(waitFor(() -> ordex.tryGetReportedDeviceId().isPresent()));
      assertEquals(DEVICE, ordex.getReportedDeviceId());
      assertEquals(Optional.of("Firmware Version: [3.0.12]"), ordex.tryGetFirmwareVersion());
      assertEquals("Hardware: Ordex Quad, Version: 7", ordex.getHardwareVersion());
    }

    @Test
    void readingsCarryTheirFramesReceiveTimes() {
      assertEquals(0L, ordex.getRPMTimestamped(1).timestampUs);
      assertEquals(0.0, ordex.getRPMTimestamped(1).value);

      long sentFirst = System.nanoTime();
      replyInt32(OrdexWire.MOTOR_RPM + 1, DEVICE, 12345);
      long sentFirstBy = System.nanoTime();
      Ordex.Reading first = ordex.getRPMTimestamped(1);
      assertEquals(123.45, first.value, 1e-9);
      assertTrue(first.timestampUs > 0);

      // A later frame, at least 20 ms on: its stamp moved on by as much as the sends did.
      assertTrue(waitFor(() -> System.nanoTime() - sentFirstBy >= 20_000_000L));
      long sentSecond = System.nanoTime();
      replyInt32(OrdexWire.MOTOR_RPM + 1, DEVICE, -500);
      long sentSecondBy = System.nanoTime();
      Ordex.Reading second = ordex.getRPMTimestamped(1);
      assertEquals(-5.0, second.value, 1e-9);
      long movedUs = second.timestampUs - first.timestampUs;
      assertTrue(movedUs >= (sentSecond - sentFirstBy) / 1000 - 1000, () -> "moved " + movedUs);
      assertTrue(movedUs <= (sentSecondBy - sentFirst) / 1000 + 1000, () -> "moved " + movedUs);

      reply(OrdexWire.CONTROLLER_TEMP, DEVICE, 36, 25, 0, 0, 0, 0, 0, 0);
      reply(OrdexWire.LIMIT_SWITCHES, DEVICE, 0, 0, 0, 1, 0, 0, 0, 0);
      replyInt32(OrdexWire.ENCODER_COUNT + 2, DEVICE, 400);
      replyInt32(OrdexWire.TARGET_RPM, DEVICE, 1000);
      replyInt32(OrdexWire.FREQUENCY_STATUS, DEVICE, 15000);
      reply(OrdexWire.QUORIN_POSITIONS, DEVICE, 0, 0, 0, 0, 0, 0, 0x39, 0x30);
      Ordex.Reading temperature = ordex.getTemperatureTimestamped();
      Ordex.SwitchReading pressed = ordex.getLimitSwitchTimestamped(1, true);
      assertAll(
          () -> assertEquals(36.25, temperature.value, 1e-9),
          () -> assertTrue(temperature.timestampUs >= second.timestampUs),
          () -> assertTrue(pressed.pressed),
          () -> assertEquals(temperature.timestampUs, pressed.timestampUs, 1000),
          () -> assertFalse(ordex.getLimitSwitchTimestamped(1, false).pressed),
          () -> assertEquals(400.0, ordex.getEncoderCountTimestamped(2).value),
          () -> assertEquals(400.0, ordex.getEncoderDistanceTimestamped(2).value, 1e-9),
          () -> assertEquals(10.0, ordex.getTargetRPMTimestamped(0).value, 1e-9),
          () -> assertEquals(15000.0, ordex.getReportedFrequencyTimestamped().value),
          () -> assertEquals(123.45, ordex.getQuorinPositionTimestamped(3).value, 1e-9),
          () -> assertTrue(ordex.getQuorinPositionTimestamped(3).timestampUs > 0),
          rejects(() -> ordex.getRPMTimestamped(4)),
          rejects(() -> ordex.getLimitSwitchTimestamped(-1, false)));
    }

    @Test
    void connectedWhileStatusFramesArriveAndNotOnceTheyStop() {
      assertFalse(ordex.isConnected(), "nothing arrived yet");
      // The controller keeps sending while the test waits for it to count.
      assertTrue(waitFor(() -> {
        reply(OrdexWire.CONTROLLER_TEMP, DEVICE, 30, 0, 0, 0, 0, 0, 0, 0);
        return ordex.isConnected();
      }));
      assertTrue(waitFor(() -> !ordex.isConnected()), "silent longer than the limit");
      long newest = ordex.getTemperatureTimestamped().timestampUs;
      assertTrue(newest > 0);
      assertTrue(waitFor(() -> {
        reply(OrdexWire.CONTROLLER_TEMP, DEVICE, 31, 0, 0, 0, 0, 0, 0, 0);
        return ordex.isConnected();
      }), "resumed");
      assertTrue(ordex.getTemperatureTimestamped().timestampUs > newest);
    }
  }

  static Executable rejects(Executable call) {
    return () -> assertThrows(IllegalArgumentException.class, call);
  }
}

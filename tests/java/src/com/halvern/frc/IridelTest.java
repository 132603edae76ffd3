package com.halvern.frc;

import static com.halvern.frc.testing.IridelWire.lastPayload;
import static com.halvern.frc.testing.IridelWire.sendColorFrame;
import static com.halvern.frc.testing.IridelWire.waitForLines;
import static com.halvern.frc.testing.Waits.sleep;
import static com.halvern.frc.testing.Waits.waitFor;
import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.halvern.frc.sim.SimIridelCan;
import com.halvern.frc.sim.SimIridelUsb;
import com.halvern.frc.sim.SimSerialPorts;
import com.halvern.frc.testing.FreshSimBus;
import com.halvern.frc.testing.HostSerialPorts;
import com.halvern.frc.testing.IridelWire;
import java.util.List;
import java.util.Optional;
import java.util.OptionalLong;
import java.util.stream.Stream;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Nested;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.extension.ExtendWith;
import org.junit.jupiter.api.function.Executable;

/** The robot programmer's colour sensor: its life cycle, argument checks and transports. */
@ExtendWith(FreshSimBus.class)
class IridelTest {
  static final int CAN_ID = 12;

  @Nested
  class Lifecycle extends CanOrUsbSensorLifecycle<Iridel, SimIridelUsb> {
    Lifecycle() {
      super(Iridel::new, Iridel::new, Iridel::getCanId,
          iridel -> iridel.getTransport() == Iridel.Transport.CAN,
          SimIridelUsb::new, SimIridelUsb::devicePath);
    }

    @Override
    Stream<Executable> usesOf(Iridel iridel) {
      return Stream.of(iridel::getColor, () -> iridel.setBrightness(10),
          () -> iridel.setSampleTime(10), iridel::getCanId);
    }

    @Test
    void aSampleTimeAboveTheLimitThrowsBeforeAnyPortIsOpened() {
      assertThrows(IllegalArgumentException.class, () -> new Iridel("/dev/null", 65536));
    }
  }

  @Nested
  class CanSensor {
    SimIridelCan sensor;
    Iridel iridel;

    @BeforeEach
    void open() {
      sensor = new SimIridelCan();
      iridel = new Iridel(CAN_ID);
    }

    @AfterEach
    void close() {
      iridel.close();
      sensor.close();
    }

    @Test
    void getColorIsEmptyUntilAFrameArrivedThenKeepsTheLatest() {
      assertEquals(Optional.empty(), iridel.getColor());
      assertFalse(iridel.isConnected());
      sendColorFrame(9, 2500, 5000, -7500);
      Iridel.ColorData first = iridel.getColor().orElseThrow();
      assertEquals(new Iridel.ColorData(9, 0.25f, 0.5f, -0.75f), first);
      Iridel.ColorData again = iridel.getColor().orElseThrow();
      assertEquals(first, again, "the latest sample stays");
      assertEquals(first.timestampUs, again.timestampUs);

      sendColorFrame(10, 0, 0, 0);
      Iridel.ColorData newer = iridel.getColor().orElseThrow();
      assertEquals(10, newer.sequence);
      assertTrue(newer.timestampUs >= first.timestampUs);
    }

    // Whether the sensor reads connected while it sends frames (sent until it does, so that a
    // stall of a loaded machine between sending and looking cannot fail it).
    boolean connectedWhileSending() {
      return waitFor(() -> {
        sendColorFrame(1, 0, 0, 0);
        return iridel.isConnected();
      }, connected -> connected);
    }

    @Test
    void theConnectionFollowsTheColourFrames() {
      assertTrue(connectedWhileSending());
      assertFalse(waitFor(iridel::isConnected, connected -> !connected), "silent");
      assertTrue(connectedWhileSending(), "resumed");
    }

    @Test
    void argumentsOutsideTheirRangesThrowAndSendNothing() {
      assertAll(
          rejects(() -> iridel.setCanId(64)),
          rejects(() -> iridel.setCanId(-1)),
          rejects(() -> iridel.getConfig(256)),
          rejects(() -> iridel.getConfig(-1)),
          rejects(() -> iridel.setMeasureMode(3)),
          rejects(() -> iridel.setMeasureMode(-1, 1.0f)),
          rejects(() -> iridel.setSampleTime(65536)),
          rejects(() -> iridel.setSampleTime(-1)),
          () -> assertThrows(NullPointerException.class, () -> iridel.setColorFormat(null)));
      assertEquals(List.of(), sensor.commands());
    }

    @Test
    void settingsReachTheSensorAsTheyAreDocumented() {
      assertTrue(iridel.setColorFormat(Iridel.ColorFormat.XYZ));
      assertArrayEquals(new int[] {4}, lastPayload(sensor, IridelWire.COLOR_FORMAT));
      assertTrue(iridel.setColorFormat(Iridel.ColorFormat.RGB));
      assertArrayEquals(new int[] {0}, lastPayload(sensor, IridelWire.COLOR_FORMAT));
      assertTrue(iridel.setMeasureMode(1));
      assertArrayEquals(new int[] {1, 0}, lastPayload(sensor, IridelWire.MEASURE_MODE));
      assertTrue(iridel.setBrightness(150));
      assertArrayEquals(new int[] {100}, lastPayload(sensor, IridelWire.BRIGHTNESS));
      assertTrue(iridel.setSampleTime(Iridel.MAX_SAMPLE_TIME_MS));
      assertArrayEquals(new int[] {0xFF, 0xFF}, lastPayload(sensor, IridelWire.SAMPLE_TIME));
      assertTrue(iridel.setCanId(Iridel.MAX_CAN_ID));
      assertEquals(CAN_ID, iridel.getCanId());
    }

    @Test
    void configValuesArePresentOnlyWhenTheSensorReportsSuccess() {
      sensor.setConfigValue(4_000_000_000L);
      assertEquals(OptionalLong.of(4_000_000_000L), iridel.getConfig(Iridel.MAX_CONFIG_KEY));
      assertArrayEquals(new int[] {255}, lastPayload(sensor, IridelWire.GET_CONFIG));

      sensor.setReplyStatus(1);
      assertEquals(OptionalLong.empty(), iridel.getConfig(1));
      assertFalse(iridel.setZmm(1.0f));
    }

    @Test
    void settingsAreConfirmedWhileColourFramesKeepArriving() {
      // More frames than the library queues between two commands, as a sensor streaming
      // colour sends while the robot program is busy elsewhere.
      for (int sequence = 0; sequence < 40; ++sequence) {
        sendColorFrame(sequence, 0, 0, 0);
      }
      assertTrue(iridel.setStatusLed(true, 20));
      assertArrayEquals(new int[] {1, 20}, lastPayload(sensor, IridelWire.STATUS_LED));
      assertEquals(39, iridel.getColor().orElseThrow().sequence);
    }
  }

  @Nested
  class UsbSensor {
    SimIridelUsb device;
    Iridel iridel;

    @BeforeEach
    void open() {
      device = new SimIridelUsb();
      device.setSilent(true);
      iridel = new Iridel(device.devicePath(), 25);
    }

    @AfterEach
    void close() {
      iridel.close();
      device.close();
    }

    @Test
    void opensWithXyzOutputAndTheSampleTimeAndNoCanId() {
      assertEquals(List.of("COLORFORMAT,XYZ", "SAMPLETIME,25"), waitForLines(device, 2));
      assertEquals(Iridel.Transport.USB, iridel.getTransport());
      assertEquals(-1, iridel.getCanId());
    }

    @Test
    void canOnlyOperationsThrowUnsupportedAndWriteNothing() {
      waitForLines(device, 2);
      assertAll(
          unsupported(() -> iridel.setBrightness(10)),
          unsupported(() -> iridel.setStatusLed(true, 10)),
          unsupported(() -> iridel.setMeasureMode(0)),
          unsupported(() -> iridel.setZmm(1.0f)),
          unsupported(() -> iridel.setUsbOverride(true)),
          unsupported(() -> iridel.setCanId(3)),
          unsupported(() -> iridel.getConfig(1)));
      // None of them wrote a line: the next line the sensor gets is one written afterwards.
      assertTrue(iridel.setColorFormat(Iridel.ColorFormat.XYZ));
      assertEquals(List.of("COLORFORMAT,XYZ", "SAMPLETIME,25", "COLORFORMAT,XYZ"),
          waitForLines(device, 3));
    }

    @Test
    void settingsOnBothTransportsAreWrittenAsText() {
      assertTrue(iridel.setSampleTime(40));
      assertTrue(iridel.setColorFormat(Iridel.ColorFormat.XYZ));
      assertEquals(List.of("COLORFORMAT,XYZ", "SAMPLETIME,25", "SAMPLETIME,40", "COLORFORMAT,XYZ"),
          waitForLines(device, 4));
    }

    @Test
    void getColorIsEmptyUntilTheFirstSampleThenKeepsTheLatest() {
      sleep(100);
      assertEquals(Optional.empty(), iridel.getColor());
      device.setColor(0.125f, 0.25f, 0.5f);
      device.setSilent(false);
      Optional<Iridel.ColorData> first = waitFor(iridel::getColor, Optional::isPresent);
      assertTrue(first.isPresent(), "no sample within 5 s");
      assertEquals(0.125f, first.get().x);
      assertEquals(0.5f, first.get().z);
      device.setSilent(true);
      assertFalse(waitFor(iridel::isConnected, connected -> !connected), "silent");
      assertTrue(iridel.getColor().isPresent(), "the latest sample stays");
    }
  }

  @Test
  void aSimulatedSensorFoundByTheDeviceSearchOpens() {
    HostSerialPorts.assumeNone();
    try (SimIridelUsb device = new SimIridelUsb()) {
      SimSerialPorts.addDevicePath(device.devicePath());
      try (Iridel iridel = new Iridel(Iridel.findDevicePath(Iridel.FIRST_PORT), 10)) {
        assertEquals(device.devicePath(), Iridel.findDevicePath(Iridel.FIRST_PORT));
        assertEquals("/dev/ttyUSB1", Iridel.findDevicePath(Iridel.SECOND_PORT));
        assertTrue(waitFor(iridel::getColor, Optional::isPresent).isPresent());
      } finally {
        SimSerialPorts.removeDevicePath(device.devicePath());
      }
    }
  }

  static Executable rejects(Executable call) {
    return () -> assertThrows(IllegalArgumentException.class, call);
  }

  static Executable unsupported(Executable call) {
    return () -> assertThrows(UnsupportedOperationException.class, call);
  }
}

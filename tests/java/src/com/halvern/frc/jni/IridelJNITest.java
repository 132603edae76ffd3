package com.halvern.frc.jni;

import static com.halvern.frc.testing.IridelWire.lastPayload;
import static com.halvern.frc.testing.IridelWire.sendColorFrame;
import static com.halvern.frc.testing.Waits.sleep;
import static com.halvern.frc.testing.Waits.waitFor;
import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.halvern.frc.Iridel;
import com.halvern.frc.sim.SimBus;
import com.halvern.frc.sim.SimIridelCan;
import com.halvern.frc.sim.SimIridelUsb;
import com.halvern.frc.sim.SimSerialPorts;
import com.halvern.frc.testing.FreshSimBus;
import com.halvern.frc.testing.HostSerialPorts;
import com.halvern.frc.testing.IridelWire;
import java.util.List;
import java.util.Objects;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Nested;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.extension.ExtendWith;

/**
 * The colour sensor's native bindings in a real JVM against the real library, with simulated
 * sensors on the CAN bus and behind pseudo-terminals: each case shows what a Java argument turns
 * into on the wire, or what a sensor message turns into in Java.
 */
@ExtendWith(FreshSimBus.class)
class IridelJNITest {
  static final int CAN_ID = 7;

  @Nested
  class CanSensor {
    SimIridelCan sensor;
    long handle;

    @BeforeEach
    void open() {
      sensor = new SimIridelCan();
      handle = IridelJNI.c_Iridel_create(CAN_ID);
      assertNotEquals(0L, handle);
    }

    @AfterEach
    void close() {
      IridelJNI.c_Iridel_destroy(handle);
      sensor.close();
    }

    @Test
    void aHandleOfZeroAnswersFalseNullOrMinusOneAndReachesNoSensor() {
      sendColorFrame(1, 100, 200, 300);
      long[] out = {42L};
      assertAll(
          () -> assertNull(IridelJNI.c_Iridel_getColor(0)),
          () -> assertFalse(IridelJNI.c_Iridel_setColorFormat(0, 4)),
          () -> assertFalse(IridelJNI.c_Iridel_setSampleTimeMs(0, 50)),
          () -> assertFalse(IridelJNI.c_Iridel_setBrightness(0, 50)),
          () -> assertFalse(IridelJNI.c_Iridel_setStatusLed(0, true, 50)),
          () -> assertFalse(IridelJNI.c_Iridel_setMeasureMode(0, 2, 1.5f)),
          () -> assertFalse(IridelJNI.c_Iridel_setZmm(0, 1.5f)),
          () -> assertFalse(IridelJNI.c_Iridel_setUsbOverride(0, true)),
          () -> assertFalse(IridelJNI.c_Iridel_setCanId(0, 3)),
          () -> assertFalse(IridelJNI.c_Iridel_getConfig(0, 1, out)),
          () -> assertEquals(-1, IridelJNI.c_Iridel_getCanID(0)),
          () -> assertEquals(-1, IridelJNI.c_Iridel_getTransport(0)));
      IridelJNI.c_Iridel_destroy(0);

      assertEquals(42L, out[0]);
      assertEquals(List.of(), SimBus.sentFrames(0, 0), "nothing sent on the bus");
      assertEquals(List.of(), sensor.commands());
      // The colour frame is still there for the live handle: handle 0 did not read it.
      assertNotNull(IridelJNI.c_Iridel_getColor(handle));
    }

    @Test
    void creationReturnsTheAddressAndRefusesAnIdOutsideZeroToSixtyThree() {
      assertEquals(CAN_ID, IridelJNI.c_Iridel_getCanID(handle));
      assertEquals(0, IridelJNI.c_Iridel_getTransport(handle));
      assertEquals(0L, IridelJNI.c_Iridel_create(64));
      assertEquals(0L, IridelJNI.c_Iridel_create(-1));
    }

    @Test
    void aColourFrameArrivesOnceScaledByTenThousandWithAnUnsignedSequence() {
      assertNull(IridelJNI.c_Iridel_getColor(handle), "no frame yet");
      sendColorFrame(0xFFFF, -10000, 0, 10000);
      Iridel.ColorData color = IridelJNI.c_Iridel_getColor(handle);
      assertNotNull(color);
      assertEquals(new Iridel.ColorData(65535, -1.0f, 0.0f, 1.0f), color);
      assertNull(IridelJNI.c_Iridel_getColor(handle), "the frame was returned already");

      sendColorFrame(2, 1, -1, 32767);
      assertEquals(new Iridel.ColorData(2, 0.0001f, -0.0001f, 3.2767f),
          IridelJNI.c_Iridel_getColor(handle));
    }

    @Test
    void theLatestSampleStaysAndTakesNoFrameFromTheOnceRead() {
      assertNull(IridelJNI.c_Iridel_getLatestColor(0L));
      assertFalse(IridelJNI.c_Iridel_isConnected(0L));
      assertNull(IridelJNI.c_Iridel_getLatestColor(handle), "no frame yet");
      sendColorFrame(7, 2500, 0, -2500);
      Iridel.ColorData latest = IridelJNI.c_Iridel_getLatestColor(handle);
      assertEquals(new Iridel.ColorData(7, 0.25f, 0.0f, -0.25f), latest);
      assertEquals(latest.timestampUs, IridelJNI.c_Iridel_getLatestColor(handle).timestampUs);
      assertEquals(new Iridel.ColorData(7, 0.25f, 0.0f, -0.25f),
          IridelJNI.c_Iridel_getColor(handle), "the once read still gets the frame");
      assertNull(IridelJNI.c_Iridel_getColor(handle));
      assertNotNull(IridelJNI.c_Iridel_getLatestColor(handle));
    }

    @Test
    void everyCommandCarriesItsJavaArguments() {
      // A float or int passed in the wrong shape would arrive as other bytes.
      assertTrue(IridelJNI.c_Iridel_setMeasureMode(handle, 2, 1.5f));
      assertArrayEquals(new int[] {2, 0, 0x00, 0x00, 0xC0, 0x3F}, lastPayload(sensor, IridelWire.MEASURE_MODE));
      assertTrue(IridelJNI.c_Iridel_setZmm(handle, -2.5f));
      assertArrayEquals(new int[] {0x00, 0x00, 0x20, 0xC0}, lastPayload(sensor, IridelWire.ZMM));
      assertTrue(IridelJNI.c_Iridel_setCanId(handle, 0x01020304));
      assertArrayEquals(new int[] {4, 3, 2, 1}, lastPayload(sensor, IridelWire.CAN_ID));
      assertTrue(IridelJNI.c_Iridel_setSampleTimeMs(handle, 1234));
      assertArrayEquals(new int[] {0xD2, 0x04}, lastPayload(sensor, IridelWire.SAMPLE_TIME));
      assertTrue(IridelJNI.c_Iridel_setColorFormat(handle, 3));
      assertArrayEquals(new int[] {3}, lastPayload(sensor, IridelWire.COLOR_FORMAT));
      assertTrue(IridelJNI.c_Iridel_setBrightness(handle, 55));
      assertArrayEquals(new int[] {55}, lastPayload(sensor, IridelWire.BRIGHTNESS));
      assertEquals(CAN_ID, IridelJNI.c_Iridel_getCanID(handle), "the handle keeps its own ID");
    }

    @Test
    void booleansAreSentAsOneAndZero() {
      assertTrue(IridelJNI.c_Iridel_setStatusLed(handle, true, 40));
      assertArrayEquals(new int[] {1, 40}, lastPayload(sensor, IridelWire.STATUS_LED));
      assertTrue(IridelJNI.c_Iridel_setStatusLed(handle, false, 40));
      assertArrayEquals(new int[] {0, 40}, lastPayload(sensor, IridelWire.STATUS_LED));
      assertTrue(IridelJNI.c_Iridel_setUsbOverride(handle, true));
      assertArrayEquals(new int[] {1}, lastPayload(sensor, IridelWire.USB_OVERRIDE));
      assertTrue(IridelJNI.c_Iridel_setUsbOverride(handle, false));
      assertArrayEquals(new int[] {0}, lastPayload(sensor, IridelWire.USB_OVERRIDE));
    }

    @Test
    void aConfigValueAboveTwoToTheThirtyOneStaysPositive() {
      sensor.setConfigValue(4_000_000_000L);
      long[] out = {-1L, -2L};
      assertTrue(IridelJNI.c_Iridel_getConfig(handle, 5, out));
      assertArrayEquals(new long[] {4_000_000_000L, -2L}, out);
      assertArrayEquals(new int[] {5}, lastPayload(sensor, IridelWire.GET_CONFIG));

      sensor.setConfigValue(0xFFFF_FFFFL);
      assertTrue(IridelJNI.c_Iridel_getConfig(handle, 6, out));
      assertEquals(4_294_967_295L, out[0]);
    }

    @Test
    void aNullArrayOrAFailedReplyReturnsFalseAndStoresNothing() {
      sensor.setConfigValue(77);
      assertFalse(IridelJNI.c_Iridel_getConfig(handle, 1, null));
      assertEquals(List.of(), sensor.commands(), "a null array sends nothing");

      sensor.setReplyStatus(3);
      long[] out = {-5L};
      assertFalse(IridelJNI.c_Iridel_getConfig(handle, 1, out));
      assertArrayEquals(new long[] {-5L}, out, "a failed reply's value stays in the library");
      assertFalse(IridelJNI.c_Iridel_setBrightness(handle, 10));
    }

    @Test
    void aConfigValueForAnEmptyArrayThrowsInJava() {
      assertThrows(ArrayIndexOutOfBoundsException.class,
          () -> IridelJNI.c_Iridel_getConfig(handle, 1, new long[0]));
    }
  }

  @Nested
  class UsbSensor {
    @Test
    void aNullOrMissingPathGivesZero() {
      assertEquals(0L, IridelJNI.c_Iridel_createUsb(null, 50));
      assertEquals(0L, IridelJNI.c_Iridel_createUsb("/dev/halvern-no-such-port", 50));
    }

    @Test
    void getColorIsNullBeforeTheFirstSampleAndThenAColorData() {
      try (SimIridelUsb device = new SimIridelUsb()) {
        device.setSilent(true);
        long handle = IridelJNI.c_Iridel_createUsb(device.devicePath(), 10);
        assertNotEquals(0L, handle);
        try {
          assertEquals(-1, IridelJNI.c_Iridel_getCanID(handle));
          assertEquals(1, IridelJNI.c_Iridel_getTransport(handle));
          sleep(100);
          assertNull(IridelJNI.c_Iridel_getColor(handle));

          device.setSilent(false);
          Iridel.ColorData color = waitFor(() -> IridelJNI.c_Iridel_getColor(handle), Objects::nonNull);
          assertNotNull(color, "no sample within 5 s");
          assertEquals(Iridel.ColorData.class, color.getClass());
          assertTrue(color.sequence >= 1, color::toString);
          assertEquals(new Iridel.ColorData(color.sequence, 0.25f, 0.5f, 0.75f), color);
          // Each call returns a new object; the latest sample is kept until the next arrives.
          Iridel.ColorData again = IridelJNI.c_Iridel_getColor(handle);
          assertNotNull(again);
          assertTrue(again != color && again.sequence >= color.sequence);
        } finally {
          IridelJNI.c_Iridel_destroy(handle);
        }
      }
    }
  }

  @Nested
  class DevicePaths {
    static final String FIRST_ADDED = "/dev/pts/halvern-test-a";
    static final String SECOND_ADDED = "/dev/pts/halvern-test-b";

    @BeforeEach
    void requireAHostWithoutSerialPorts() {
      HostSerialPorts.assumeNone();
    }

    @AfterEach
    void removeAddedPaths() {
      SimSerialPorts.removeDevicePath(FIRST_ADDED);
      SimSerialPorts.removeDevicePath(SECOND_ADDED);
    }

    @Test
    void withoutPortsTheFallbacksNameTheFirstAndSecondUsbPort() {
      assertAll(
          () -> assertEquals("/dev/ttyUSB0", IridelJNI.c_Iridel_findDevicePath(0)),
          () -> assertEquals("/dev/ttyUSB1", IridelJNI.c_Iridel_findDevicePath(3)),
          () -> assertEquals("/dev/ttyUSB0", IridelJNI.c_Iridel_findDevicePath(2)),
          () -> assertEquals("/dev/ttyUSB0", IridelJNI.c_Iridel_findDevicePath(-1)));
    }

    @Test
    void addedPathsAreFoundInPathOrderAndSelectorThreePicksTheSecond() {
      SimSerialPorts.addDevicePath(SECOND_ADDED);
      assertEquals(SECOND_ADDED, IridelJNI.c_Iridel_findDevicePath(0));
      assertEquals("/dev/ttyUSB1", IridelJNI.c_Iridel_findDevicePath(3), "one port is too few");

      SimSerialPorts.addDevicePath(FIRST_ADDED);
      assertEquals(FIRST_ADDED, IridelJNI.c_Iridel_findDevicePath(0));
      assertEquals(FIRST_ADDED, IridelJNI.c_Iridel_findDevicePath(4));
      assertEquals(SECOND_ADDED, IridelJNI.c_Iridel_findDevicePath(3));

      SimSerialPorts.removeDevicePath(FIRST_ADDED);
      assertEquals(SECOND_ADDED, IridelJNI.c_Iridel_findDevicePath(0));
    }
  }
}

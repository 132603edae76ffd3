package com.halvern.frc.jni;

import static com.halvern.frc.testing.DystalWire.ramp;
import static com.halvern.frc.testing.Waits.sleep;
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

import com.halvern.frc.Dystal;
import com.halvern.frc.sim.SimBus;
import com.halvern.frc.sim.SimDystalCan;
import com.halvern.frc.sim.SimDystalUsb;
import com.halvern.frc.testing.FreshSimBus;
import com.halvern.frc.testing.HostSerialPorts;
import java.util.List;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Nested;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.extension.ExtendWith;

/**
 * The distance sensor's native bindings in a real JVM against the real library, with simulated
 * sensors on the CAN bus and behind pseudo-terminals: each case shows what a sensor message
 * turns into in Java.
 */
@ExtendWith(FreshSimBus.class)
class DystalJNITest {
  static final int CAN_ID = 7;

  @Nested
  class CanSensor {
    SimDystalCan sensor;
    long handle;

    @BeforeEach
    void open() {
      sensor = new SimDystalCan(CAN_ID);
      handle = DystalJNI.c_Dystal_create(CAN_ID);
      assertNotEquals(0L, handle);
    }

    @AfterEach
    void close() {
      DystalJNI.c_Dystal_destroy(handle);
      sensor.close();
    }

    @Test
    void aHandleOfZeroAnswersNullOrMinusOneAndReachesNoSensor() {
      sensor.sendReading();
      assertAll(
          () -> assertNull(DystalJNI.c_Dystal_getData(0, Dystal.MAX_DISTANCES)),
          () -> assertNull(DystalJNI.c_Dystal_getConfig(0, 10)),
          () -> assertEquals(-1, DystalJNI.c_Dystal_getCanID(0)),
          () -> assertEquals(-1, DystalJNI.c_Dystal_getTransport(0)));
      DystalJNI.c_Dystal_destroy(0);

      assertEquals(List.of(), SimBus.sentFrames(0, 0), "nothing sent on the bus");
      assertEquals(0, sensor.configRequests());
      // The reading is still there for the live handle: handle 0 did not read it.
      assertEquals(Dystal.MAX_DISTANCES, DystalJNI.c_Dystal_getData(handle, 64).distance.length);
    }

    @Test
    void creationReturnsTheAddressAndRefusesAnIdOutsideZeroToSixtyThree() {
      assertEquals(CAN_ID, DystalJNI.c_Dystal_getCanID(handle));
      assertEquals(0, DystalJNI.c_Dystal_getTransport(handle));
      assertEquals(0L, DystalJNI.c_Dystal_create(64));
      assertEquals(0L, DystalJNI.c_Dystal_create(-1));
    }

    @Test
    void aCountOfZeroOrLessGivesAnEmptyReadingAndLeavesTheChunksWaiting() {
      sensor.setDistances(ramp(6));
      sensor.sendReading();
      for (int count : new int[] {0, -5}) {
        Dystal.ScanData empty = DystalJNI.c_Dystal_getData(handle, count);
        assertNotNull(empty);
        assertEquals(0, empty.sequence);
        assertArrayEquals(new int[0], empty.distance);
      }
      assertEquals(new Dystal.ScanData(sensor.lastSequence(), ramp(6)),
          DystalJNI.c_Dystal_getData(handle, 6));
    }

    @Test
    void theBackgroundReadingCarriesItsStampAndTheGatheringCallReturnsItToo() {
      assertFalse(DystalJNI.c_Dystal_startGathering(0L));
      assertFalse(DystalJNI.c_Dystal_isConnected(0L));
      assertNull(DystalJNI.c_Dystal_getLatest(0L, 64));
      Dystal.ScanData none = DystalJNI.c_Dystal_getLatest(handle, 64);
      assertEquals(0, none.distance.length);
      assertEquals(0L, none.timestampUs);
      assertTrue(DystalJNI.c_Dystal_startGathering(handle));

      sensor.setDistances(ramp(6));
      sensor.setMissingChunks(1);
      sensor.sendReading();
      int sequence = sensor.lastSequence();
      Dystal.ScanData latest =
          waitFor(() -> DystalJNI.c_Dystal_getLatest(handle, 64), r -> r.sequence == sequence);
      assertArrayEquals(new int[] {100, 110, 120}, latest.distance, latest::toString);
      // The gathering call gives the background's reading; it has no stamp field to fill.
      Dystal.ScanData gathered = DystalJNI.c_Dystal_getData(handle, 64);
      assertEquals(latest, gathered);
      assertEquals(0L, gathered.timestampUs);
    }

    @Test
    void aCountAboveSixtyFourGivesSixtyFour() {
      sensor.setDistances(ramp(Dystal.MAX_DISTANCES));
      sensor.sendReading();
      assertArrayEquals(ramp(Dystal.MAX_DISTANCES),
          DystalJNI.c_Dystal_getData(handle, 1000).distance);
    }

    @Test
    void sixteenBitDistancesAreSignExtendedAndTheSequenceIsUnsigned() {
      sensor.sendChunk(250, 0, 0x9C40, 0xFFFF, 0x7FFF);
      sensor.sendChunk(250, 1, 0x8000, 0, 1);
      Dystal.ScanData scan = DystalJNI.c_Dystal_getData(handle, 6);
      assertEquals(Dystal.ScanData.class, scan.getClass());
      assertEquals(new Dystal.ScanData(250, -25536, -1, 32767, -32768, 0, 1), scan);
    }

    @Test
    void eachConfigurationFlagLandsInItsOwnField() {
      sensor.setConfig(255, false, true, false);
      assertEquals(new Dystal.Config(255, false, true, false, CAN_ID),
          DystalJNI.c_Dystal_getConfig(handle, 100));
      sensor.setConfig(1, true, false, true);
      Dystal.Config config = DystalJNI.c_Dystal_getConfig(handle, 100);
      assertEquals(new Dystal.Config(1, true, false, true, CAN_ID), config);
      assertEquals(Dystal.Config.class, config.getClass());

      sensor.setConfigSilent(true);
      assertNull(DystalJNI.c_Dystal_getConfig(handle, 20));
    }
  }

  @Nested
  class UsbSensor {
    @Test
    void aNullOrMissingPathGivesZero() {
      assertEquals(0L, DystalJNI.c_Dystal_createUsb(null, 10));
      assertEquals(0L, DystalJNI.c_Dystal_createUsb("/dev/halvern-no-such-port", 10));
    }

    @Test
    void readingsConfigurationAndIdentityOfAUsbSensor() {
      try (SimDystalUsb device = new SimDystalUsb()) {
        device.setSilent(true);
        long handle = DystalJNI.c_Dystal_createUsb(device.devicePath(), 20);
        assertNotEquals(0L, handle);
        try {
          assertEquals(-1, DystalJNI.c_Dystal_getCanID(handle));
          assertEquals(1, DystalJNI.c_Dystal_getTransport(handle));
          assertEquals(new Dystal.Config(0, true, false, false, 0),
              DystalJNI.c_Dystal_getConfig(handle, 200));

          sleep(100);
          assertEquals(new Dystal.ScanData(), DystalJNI.c_Dystal_getData(handle, 8));
          device.setDistances(40000, 0xFFFF, 7);
          device.setSilent(false);
          Dystal.ScanData scan =
              waitFor(() -> DystalJNI.c_Dystal_getData(handle, 8), s -> s.distance.length > 0);
          assertArrayEquals(new int[] {-25536, -1, 7}, scan.distance, scan::toString);
          // Each call returns a new object, with a new array.
          Dystal.ScanData again = DystalJNI.c_Dystal_getData(handle, 8);
          assertNotSame(scan, again);
          assertNotSame(scan.distance, again.distance);
        } finally {
          DystalJNI.c_Dystal_destroy(handle);
        }
      }
    }
  }

  @Test
  void withoutPortsTheFallbacksNameTheFirstAndSecondUsbPort() {
    HostSerialPorts.assumeNone();
    assertEquals("/dev/ttyUSB0", DystalJNI.c_Dystal_findDevicePath(0));
    assertEquals("/dev/ttyUSB1", DystalJNI.c_Dystal_findDevicePath(3));
  }
}

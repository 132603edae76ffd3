package com.halvern.frc.jni;

import static com.halvern.frc.testing.OrdexWire.onlySent;
import static com.halvern.frc.testing.OrdexWire.payload;
import static com.halvern.frc.testing.OrdexWire.reply;
import static com.halvern.frc.testing.OrdexWire.replyInt32;
import static com.halvern.frc.testing.OrdexWire.sent;
import static com.halvern.frc.testing.Waits.waitFor;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.halvern.frc.sim.SimBus;
import com.halvern.frc.testing.OrdexWire;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Nested;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;

/**
 * The native bindings in a real JVM against the real library on the simulated bus: each case
 * shows what a Java argument turns into on the wire, or what a controller message turns into in
 * Java.
 */
class OrdexJNITest {
  static final int DEVICE = 5;
  static final int OTHER_DEVICE = 6;

  long handle;

  @BeforeEach
  void createController() {
    SimBus.reset();
    handle = OrdexJNI.c_Ordex_create(DEVICE, 15000);
    assertNotEquals(0L, handle);
    SimBus.clearSentFrames();
  }

  @AfterEach
  void destroyController() {
    OrdexJNI.c_Ordex_destroy(handle);
    SimBus.reset();
  }

  @Nested
  class Handles {
    @Test
    void createReturnsTheHandleAsAPositiveLongAndRefusalAsZero() {
      assertTrue(handle > 0 && handle <= Integer.MAX_VALUE, () -> "handle " + handle);
      assertEquals(0L, OrdexJNI.c_Ordex_create(0, 15000));
      assertEquals(0L, OrdexJNI.c_Ordex_create(DEVICE, 20001));
    }

    @Test
    void onlyTheLowThirtyTwoBitsOfAHandleReachTheLibrary() {
      long other = OrdexJNI.c_Ordex_create(OTHER_DEVICE, 1000);
      SimBus.clearSentFrames();
      OrdexJNI.c_Ordex_setMotorSpeed(handle | (1L << 32), 0, 0.5);
      OrdexJNI.c_Ordex_setMotorSpeed(other | 0xFFFF_FFFF_0000_0000L, 1, -0.25);
      assertArrayEquals(payload(0, 50, 1, 0), onlySent(OrdexWire.MOTOR_SPEED, DEVICE));
      assertArrayEquals(payload(1, 25, 0, 1), onlySent(OrdexWire.MOTOR_SPEED, OTHER_DEVICE));
      assertTrue(sent(OrdexWire.MOTOR_SPEED, 0).isEmpty(), "nothing for an unknown handle");

      OrdexJNI.c_Ordex_destroy(other | (0x7FL << 40));
      SimBus.clearSentFrames();
      OrdexJNI.c_Ordex_setMotorSpeed(other, 1, -0.25);
      assertTrue(sent(OrdexWire.MOTOR_SPEED, OTHER_DEVICE).isEmpty(), "the controller destroyed");
    }

    @Test
    @Tag("standin") // counts the stand-in HAL's open CAN handles
    void destroyThroughAHandleWithHighBitsReleasesItsCanHandle() {
      long other = OrdexJNI.c_Ordex_create(OTHER_DEVICE, 1000);
      int open = SimBus.openCanHandleCount();
      OrdexJNI.c_Ordex_destroy(other | (0x7FL << 40));
      assertEquals(open - 1, SimBus.openCanHandleCount());
    }
  }

  @Nested
  class ChannelNumbers {
    @Test
    void aMotorNumberIsItsLowByte() {
      OrdexJNI.c_Ordex_setMotorSpeed(handle, 256 + 2, 1.0);
      assertArrayEquals(payload(2, 100, 1, 0), onlySent(OrdexWire.MOTOR_SPEED, DEVICE));

      replyInt32(OrdexWire.MOTOR_RPM + 1, DEVICE, 12345);
      assertEquals(123.45, OrdexJNI.c_Ordex_getRPM(handle, 0x7FFF_FF01), 1e-9);
    }

    @Test
    void motor260IsMotor4() {
      // Motor 4 drives nothing, and a reading for it comes from motor 0's message.
      OrdexJNI.c_Ordex_setMotorSpeed(handle, 260, 0.5);
      assertTrue(sent(OrdexWire.MOTOR_SPEED, DEVICE).isEmpty());

      replyInt32(OrdexWire.MOTOR_RPM, DEVICE, 98765);
      replyInt32(OrdexWire.MOTOR_RPM + 3, DEVICE, 111);
      double[] rpm = {-1.0};
      assertTrue(OrdexJNI.c_Ordex_tryGetRPM(handle, 260, rpm));
      assertEquals(987.65, rpm[0], 1e-9);
    }

    @Test
    void motor255IsMotorMinusOne() {
      OrdexJNI.c_Ordex_setTargetVelocity(handle, 255, 1.5f);
      assertArrayEquals(payload(255, 150, 0, 0, 0), onlySent(OrdexWire.TARGET_VELOCITY, DEVICE));
      SimBus.clearSentFrames();
      OrdexJNI.c_Ordex_setTargetVelocity(handle, 4, 1.5f);
      assertTrue(sent(OrdexWire.TARGET_VELOCITY, DEVICE).isEmpty(), "motor 4 is above 3");
    }
  }

  @Nested
  class NarrowedSettings {
    @Test
    void byteSettingsPassTheirLowEightBits() {
      OrdexJNI.c_Ordex_setSensitivity(handle, 1, 256 + 3);
      OrdexJNI.c_Ordex_setCurrentLimitMode(handle, 2, 256);
      OrdexJNI.c_Ordex_setMotorStopMode(handle, 256 + 0x2A);
      OrdexJNI.c_Ordex_setPIDType(handle, 256 + 2);
      assertArrayEquals(payload(1, 3), onlySent(OrdexWire.SENSITIVITY, DEVICE));
      assertArrayEquals(payload(2, 0), onlySent(OrdexWire.CURRENT_LIMIT_MODE, DEVICE));
      assertArrayEquals(payload(0x2A), onlySent(OrdexWire.MOTOR_STOP_MODE, DEVICE));
      assertArrayEquals(payload(255, 2, 195), onlySent(OrdexWire.PID_TYPE, DEVICE));
    }

    @Test
    void motorPidTypePassesTheLowBitsOfBoth() {
      OrdexJNI.c_Ordex_setMotorPIDType(handle, 256 + 3, 256 + 1);
      assertArrayEquals(payload(3, 1, 195), onlySent(OrdexWire.PID_TYPE, DEVICE));
    }

    @Test
    void sixteenBitSettingsPassTheirLowSixteenBits() {
      OrdexJNI.c_Ordex_setEncoderResolution(handle, 0, 0x10000 + 300);
      OrdexJNI.c_Ordex_setCANSensorOsDelay(handle, 0x30000 + 7);
      assertArrayEquals(payload(0, 300 & 0xFF, 300 >> 8), onlySent(OrdexWire.ENCODER_RESOLUTION, DEVICE));
      assertArrayEquals(payload(7, 0), onlySent(OrdexWire.CAN_SENSOR_OS_DELAY, DEVICE));
    }
  }

  @Nested
  class WholeValues {
    @Test
    void targetDistancePassesAllBitsTheWireCarries() {
      OrdexJNI.c_Ordex_setTargetDistance(handle, 1, 0x123456);
      assertArrayEquals(payload(1, 0x56, 0x34, 0x12), onlySent(OrdexWire.TARGET_DISTANCE, DEVICE));
    }

    @Test
    void floatsAndDoublesPassUnchanged() {
      OrdexJNI.c_Ordex_setTargetVelocity(handle, 0, -2.25f);
      OrdexJNI.c_Ordex_setCurrentLimit(handle, 1, 12.5f);
      OrdexJNI.c_Ordex_setTargetAngle(handle, 2, 123.45);
      OrdexJNI.c_Ordex_setMotorSpeed(handle, 3, -0.37);
      assertArrayEquals(payload(0, 0x1F, 0xFF, 0xFF, 0xFF), onlySent(OrdexWire.TARGET_VELOCITY, DEVICE));
      assertArrayEquals(payload(1, 1250 & 0xFF, 1250 >> 8), onlySent(OrdexWire.CURRENT_LIMIT, DEVICE));
      assertArrayEquals(payload(2, 12345 & 0xFF, 12345 >> 8), onlySent(OrdexWire.TARGET_ANGLE, DEVICE));
      assertArrayEquals(payload(3, 37, 0, 1), onlySent(OrdexWire.MOTOR_SPEED, DEVICE));
    }

    @Test
    void commandsReachTheirMotor() {
      OrdexJNI.c_Ordex_configureMotor(handle, 2, 15000);
      OrdexJNI.c_Ordex_disableMotor(handle, 2);
      OrdexJNI.c_Ordex_resetEncoder(handle, 256 + 3);
      OrdexJNI.c_Ordex_autotuneMotor(handle, 1);
      OrdexJNI.c_Ordex_autotuneAll(handle);
      assertArrayEquals(payload(2, 0x98, 0x3A), onlySent(OrdexWire.CONFIGURE_MOTOR, DEVICE));
      assertArrayEquals(payload(2), onlySent(OrdexWire.DISABLE_MOTOR, DEVICE));
      assertArrayEquals(payload(3), onlySent(OrdexWire.RESET_ENCODER, DEVICE));
      assertArrayEquals(payload(1), onlySent(OrdexWire.AUTOTUNE_MOTOR, DEVICE));
      assertArrayEquals(payload(), onlySent(OrdexWire.AUTOTUNE_ALL, DEVICE));
    }
  }

  @Nested
  class Booleans {
    @Test
    void positionHoldSendsTheFlag() {
      OrdexJNI.c_Ordex_setPositionHold(handle, 3, true);
      assertArrayEquals(payload(3, 1), onlySent(OrdexWire.POSITION_HOLD, DEVICE));
      SimBus.clearSentFrames();
      OrdexJNI.c_Ordex_setPositionHold(handle, 3, false);
      assertArrayEquals(payload(3, 0), onlySent(OrdexWire.POSITION_HOLD, DEVICE));
    }

    @Test
    void limitSwitchDirectionFalseReadsTheFirstByteOfTheMotorAndTrueTheSecond() {
      reply(OrdexWire.LIMIT_SWITCHES, DEVICE, 0, 0, 0, 1, 0, 0, 0, 0); // motor 1, second
      assertTrue(OrdexJNI.c_Ordex_getLimitSwitch(handle, 1, true));
      assertFalse(OrdexJNI.c_Ordex_getLimitSwitch(handle, 1, false));
      assertFalse(OrdexJNI.c_Ordex_getLimitSwitch(handle, 2, false));

      reply(OrdexWire.LIMIT_SWITCHES, DEVICE, 0, 0, 0, 0, 0, 0, 7, 0); // motor 3, first
      assertTrue(OrdexJNI.c_Ordex_getLimitSwitch(handle, 3, false));
      assertFalse(OrdexJNI.c_Ordex_getLimitSwitch(handle, 3, true));
      assertFalse(OrdexJNI.c_Ordex_getLimitSwitch(handle, 255, false), "motor -1 has no switch");
    }
  }

  @Nested
  class OptionalReadings {
    @Test
    void aNullArrayOrAFailedReadReturnsFalse() {
      replyInt32(OrdexWire.MOTOR_RPM, DEVICE, 100);
      assertFalse(OrdexJNI.c_Ordex_tryGetRPM(handle, 0, null));
      assertFalse(OrdexJNI.c_Ordex_tryGetTargetRPM(handle, 0, null));

      double[] out = {-7.0, -8.0};
      assertFalse(OrdexJNI.c_Ordex_tryGetRPM(handle, 2, out));
      assertFalse(OrdexJNI.c_Ordex_tryGetTargetRPM(handle, 2, out));
      assertArrayEquals(new double[] {-7.0, -8.0}, out);
    }

    @Test
    void aSuccessfulReadFillsOnlyTheFirstElement() {
      replyInt32(OrdexWire.MOTOR_RPM + 2, DEVICE, -150075);
      replyInt32(OrdexWire.TARGET_RPM + 1, DEVICE, 250000);
      double[] rpm = {0.0, 9.0};
      assertTrue(OrdexJNI.c_Ordex_tryGetRPM(handle, 2, rpm));
      assertArrayEquals(new double[] {-1500.75, 9.0}, rpm, 1e-9);
      assertTrue(OrdexJNI.c_Ordex_tryGetTargetRPM(handle, 1, rpm));
      assertEquals(2500.0, rpm[0], 1e-9);
    }

    @Test
    void aSuccessfulReadIntoAnEmptyArrayThrowsInJava() {
      replyInt32(OrdexWire.MOTOR_RPM, DEVICE, 100);
      assertThrows(ArrayIndexOutOfBoundsException.class,
          () -> OrdexJNI.c_Ordex_tryGetRPM(handle, 0, new double[0]));
    }

    @Test
    void targetRpmsFromTheDeviceNeedAllFourMotors() {
      assertNull(OrdexJNI.c_Ordex_getTargetRPMFromDevice(handle));
      for (int motor = 0; motor < 3; ++motor) {
        replyInt32(OrdexWire.TARGET_RPM + motor, DEVICE, (motor + 1) * 1000);
      }
      assertNull(OrdexJNI.c_Ordex_getTargetRPMFromDevice(handle), "motor 3 never reported");
      replyInt32(OrdexWire.TARGET_RPM + 3, DEVICE, -50);
      assertArrayEquals(new double[] {10.0, 20.0, 30.0, -0.5},
          OrdexJNI.c_Ordex_getTargetRPMFromDevice(handle), 1e-9);
    }
  }

  @Nested
  class Readings {
    @Test
    void identityStrings() {
      reply(OrdexWire.IDENTITY_REPLY, DEVICE, 42, 2, 1, 7, 2, 9, 0, 0);
      assertEquals("Firmware Version: [2.1.7]", OrdexJNI.c_Ordex_getFirmwareVersion(handle));
      assertEquals("Hardware: Ordex Small, Version: 9", OrdexJNI.c_Ordex_getHardwareVersion(handle));
      assertEquals(42, OrdexJNI.c_Ordex_getID(handle));
    }

    @Test
    void serialNumber() {
      replyInt32(OrdexWire.SERIAL_WORD_1, DEVICE, 0x0012ABCD);
      replyInt32(OrdexWire.SERIAL_WORD_1 + 1, DEVICE, 0);
      replyInt32(OrdexWire.SERIAL_WORD_1 + 2, DEVICE, 0xFFFFFFFF);
      assertEquals("0012ABCD-00000000-FFFFFFFF", OrdexJNI.c_Ordex_getSerialNumber(handle));
    }

    @Test
    void controllerStatus() {
      reply(OrdexWire.FREQUENCY_STATUS, DEVICE, 0x98, 0x3A, 0, 0, 0, 0, 0, 0);
      reply(OrdexWire.CONTROLLER_TEMP, DEVICE, 36, 75, 0, 0, 0, 0, 0, 0);
      assertEquals(15000, OrdexJNI.c_Ordex_getFrequency(handle));
      assertEquals(36.75, OrdexJNI.c_Ordex_getControllerTemp(handle), 1e-9);
    }

    @Test
    void motorAndEncoderReadings() {
      replyInt32(OrdexWire.MOTOR_RPM + 3, DEVICE, 123456);
      reply(OrdexWire.QUORIN_POSITIONS, DEVICE, 0, 0, 12345 & 0xFF, 12345 >> 8, 0, 0, 0, 0);
      replyInt32(OrdexWire.ENCODER_COUNT + 1, DEVICE, 400);
      replyInt32(OrdexWire.ENCODER_COUNT + 2, DEVICE, -42);
      assertEquals(-42, OrdexJNI.c_Ordex_getEncoderCount(handle, 512 + 2));
      assertEquals(-42.0, OrdexJNI.c_Ordex_getEncoderRaw(handle, 2));
      assertEquals(1234.56, OrdexJNI.c_Ordex_getEncoderSpeed(handle, 3), 1e-9);
      assertEquals(123.45, OrdexJNI.c_Ordex_getQuorinPosition(handle, 1), 1e-9);
      OrdexJNI.c_Ordex_setEncoder(handle, 1, 0.25);
      try {
        assertEquals(100.0, OrdexJNI.c_Ordex_getEncoderDistance(handle, 1), 1e-9);
      } finally {
        OrdexJNI.c_Ordex_setEncoder(handle, 1, 1.0); // the scale is shared by every controller
      }
    }
  }

  @Nested
  class WithoutWaiting {
    @Test
    void identityFromTheBackgroundFetchFillsTheGivenArrays() {
      assertFalse(OrdexJNI.c_Ordex_requestIdentity(0));
      assertFalse(OrdexJNI.c_Ordex_tryGetIdentity(handle, new int[6], new String[2]));
      reply(OrdexWire.IDENTITY_REPLY, DEVICE, 42, 2, 1, 7, 2, 9, 0, 0);
      assertTrue(OrdexJNI.c_Ordex_requestIdentity(handle | (1L << 32)));
      assertTrue(waitFor(() -> OrdexJNI.c_Ordex_tryGetIdentity(handle, null, null)));

      int[] numbers = new int[7];
      numbers[6] = -1;
      String[] texts = new String[2];
      assertTrue(OrdexJNI.c_Ordex_tryGetIdentity(handle, numbers, texts));
      assertArrayEquals(new int[] {42, 2, 1, 7, 2, 9, -1}, numbers);
      assertArrayEquals(
          new String[] {"Firmware Version: [2.1.7]", "Hardware: Ordex Small, Version: 9"}, texts);
      assertThrows(
          ArrayIndexOutOfBoundsException.class,
          () -> OrdexJNI.c_Ordex_tryGetIdentity(handle, new int[5], null));
      assertThrows(
          ArrayIndexOutOfBoundsException.class,
          () -> OrdexJNI.c_Ordex_tryGetIdentity(handle, null, new String[1]));
      assertEquals(42, OrdexJNI.c_Ordex_getID(handle)); // served from the same cache
      assertEquals(1, sent(4, DEVICE).size(), "asked once");
    }

    @Test
    void readingsStoreTheirReceiveTimeWhenGivenAnArray() {
      replyInt32(OrdexWire.MOTOR_RPM + 2, DEVICE, -1000);
      long[] stamp = {-1};
      assertEquals(-10.0, OrdexJNI.c_Ordex_readRPM(handle, 2, stamp), 1e-9);
      assertTrue(stamp[0] > 0);
      assertEquals(-10.0, OrdexJNI.c_Ordex_readRPM(handle, 256 + 2, null), 1e-9);
      assertThrows(
          ArrayIndexOutOfBoundsException.class, () -> OrdexJNI.c_Ordex_readRPM(handle, 2, new long[0]));

      // Motor 260 is motor 4: nothing is read (the plain getter would read motor 0's speed).
      replyInt32(OrdexWire.MOTOR_RPM, DEVICE, 100);
      long[] none = {-1};
      assertEquals(0.0, OrdexJNI.c_Ordex_readRPM(handle, 260, none));
      assertEquals(0L, none[0]);

      reply(OrdexWire.LIMIT_SWITCHES, DEVICE, 0, 1, 0, 0, 0, 0, 0, 0);
      long[] switchStamp = {0};
      assertTrue(OrdexJNI.c_Ordex_readLimitSwitch(handle, 0, true, switchStamp));
      assertFalse(OrdexJNI.c_Ordex_readLimitSwitch(handle, 0, false, null));
      assertTrue(switchStamp[0] >= stamp[0]);
      long[] never = {-1};
      assertEquals(0.0, OrdexJNI.c_Ordex_readTargetRPM(handle, 1, never));
      assertEquals(0L, never[0]);
      assertEquals(0.0, OrdexJNI.c_Ordex_readControllerTemp(handle, never));
      assertEquals(0.0, OrdexJNI.c_Ordex_readFrequency(handle, never));
      assertEquals(0.0, OrdexJNI.c_Ordex_readEncoderCount(handle, 0, never));
      assertEquals(0.0, OrdexJNI.c_Ordex_readEncoderDistance(handle, 0, never));
      assertEquals(0.0, OrdexJNI.c_Ordex_readQuorinPosition(handle, 0, never));
      assertEquals(0L, never[0]);
    }

    @Test
    void connectionOfAnUnknownOrSilentController() {
      assertFalse(OrdexJNI.c_Ordex_isConnected(0));
      assertFalse(OrdexJNI.c_Ordex_isConnected(handle));
      assertTrue(waitFor(() -> {
        reply(OrdexWire.CONTROLLER_TEMP, DEVICE, 30, 0, 0, 0, 0, 0, 0, 0);
        return OrdexJNI.c_Ordex_isConnected(handle | (1L << 40));
      }));
    }
  }
}

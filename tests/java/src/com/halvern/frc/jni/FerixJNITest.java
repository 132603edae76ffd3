package com.halvern.frc.jni;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.halvern.frc.sim.SimBus;
import com.halvern.frc.sim.SimFerix;
import com.halvern.frc.sim.SimFerix.Transfer;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.Callable;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/**
 * The analog board's native bindings in a real JVM against the real library, with a simulated
 * board on the stand-in HAL's I2C bus: each case shows where a Java argument ends up.
 *
 * <p>The inputs are set to voltages the converter counts exactly (1 mV a count at the library's
 * +-2.048 V range), so that counts and voltages compare exactly. The library holds one board for
 * the whole process, and this suite relies on running in a JVM of its own: its first calls come
 * before any initialisation.
 */
class FerixJNITest {
  static final int PORT = 1;
  // Input i reads COUNTS[i]: 0.128, 0.256, 0.512 and 1.024 V.
  static final int[] COUNTS = {128, 256, 512, 1024};

  static int rawBeforeInitialize;
  static float voltsBeforeInitialize;
  static int transfersBeforeInitialize;

  SimFerix board;

  @BeforeAll
  static void readBeforeAnyInitialize() {
    SimBus.reset();
    try (SimFerix early = new SimFerix()) {
      setInputs(early);
      rawBeforeInitialize = FerixJNI.c_getRawValue(3);
      voltsBeforeInitialize = FerixJNI.c_getVoltage(3);
      transfersBeforeInitialize = early.transferCount();
    }
  }

  @BeforeEach
  void plugInTheBoard() {
    SimBus.reset();
    board = new SimFerix();
    setInputs(board);
  }

  @AfterEach
  void unplugTheBoard() {
    board.close();
  }

  @Test
  void beforeAnyInitializeVoltagesAre0() {
    assertEquals(0.0f, voltsBeforeInitialize, "no reference voltage yet");
  }

  // The stand-in HAL refuses transfers on a port nobody opened; WPILib's simulation hands them to
  // the board all the same.
  @Test
  @Tag("standin")
  void beforeAnyInitializeReadingsAre0AndNothingReachesTheUnopenedBus() {
    assertEquals(0, rawBeforeInitialize);
    assertEquals(0, transfersBeforeInitialize, "the bus was used before it was opened");
  }

  @Test
  void initializeOpensTheBusAndReturnsWhetherTheBoardAnswered() {
    assertTrue(FerixJNI.c_initializeI2C(5.0f));
    assertTrue(SimFerix.i2cPortOpen(PORT));
    List<Transfer> check = board.transfers();
    assertEquals(1, check.size(), check::toString);
    assertEquals(Transfer.Kind.READ, check.get(0).kind());
    assertEquals(1, check.get(0).count(), "a one-byte read checks presence");

    // No board simulated at all: as in WPILib's simulation, nothing answers and nothing fails,
    // so nothing fills the reading either.
    board.close();
    FerixJNI.c_initializeI2C(5.0f);
    assertEquals(0, FerixJNI.c_getRawValue(0));
    board = new SimFerix(); // plugged in later: read without initialising again
    setInputs(board);
    assertEquals(COUNTS[0], FerixJNI.c_getRawValue(0));
  }

  @Test
  @Tag("standin") // the stand-in HAL's absent board
  void initializeReportsAnAbsentBoardAndKeepsTheBusOpen() {
    board.setAbsent(true);
    assertFalse(FerixJNI.c_initializeI2C(5.0f));
    assertTrue(SimFerix.i2cPortOpen(PORT), "the bus stays open when the board did not answer");
    board.setAbsent(false);
    assertTrue(FerixJNI.c_initializeI2C(5.0f));
  }

  @Test
  @Tag("standin") // the stand-in HAL's HAL_InitializeI2C fault
  void aBusThatCannotBeOpenedReportsNoBoard() {
    FerixJNI.c_closeI2C();
    SimFerix.setI2CInitializeStatus(-1);
    assertFalse(FerixJNI.c_initializeI2C(5.0f));
    assertFalse(SimFerix.i2cPortOpen(PORT));
    assertEquals(0, FerixJNI.c_getRawValue(1));
    SimFerix.setI2CInitializeStatus(0);
    assertTrue(FerixJNI.c_initializeI2C(5.0f));
    assertEquals(COUNTS[1], FerixJNI.c_getRawValue(1));
  }

  @Test
  void eachChannelReadsItsOwnInputAsACountAndAsAScaledVoltage() {
    assertTrue(FerixJNI.c_initializeI2C(4.0f));
    for (int channel = 0; channel < 4; ++channel) {
      assertEquals(COUNTS[channel], FerixJNI.c_getRawValue(channel), "input " + channel);
      // count x 4 / 2048
      assertEquals(COUNTS[channel] / 512.0f, FerixJNI.c_getVoltage(channel), "input " + channel);
    }
  }

  @ParameterizedTest(name = "reference {0} V scales as {1} V")
  @CsvSource({
      "3.9, 3", "3.0, 3", "4.99, 4", "0.9, 0", "-0.5, 0", "-1.5, -1", "NaN, 0",
      // beyond an int: the nearest int, 2^31 - 1 (2^31 as a float) and -2^31
      "1e10, 2147483648", "-1e10, -2147483648"})
  void theReferenceVoltageIsTruncatedTowardZeroToWholeVolts(float given, float wholeVolts) {
    FerixJNI.c_initializeI2C(given);
    // 1.024 V reads 1024, which scales to half the reference.
    assertEquals(wholeVolts / 2.0f, FerixJNI.c_getVoltage(3));
    assertEquals(1024, FerixJNI.c_getRawValue(3), "the reference voltage changed the count");
  }

  @ParameterizedTest(name = "channel {0} reads input {1}")
  @CsvSource({
      "256, 0", "259, 3", "257, 1", "-256, 0", "-2147483648, 0", "2147483395, 3",
      "4, -1", "260, -1", "255, -1", "-1, -1", "2147483647, -1"})
  void onlyTheLow8BitsOfTheChannelCount(int channel, int input) {
    FerixJNI.c_initializeI2C(4.0f);
    board.clearTransfers();
    if (input < 0) {
      assertEquals(0, FerixJNI.c_getRawValue(channel));
      assertEquals(0.0f, FerixJNI.c_getVoltage(channel));
      assertEquals(0, board.transferCount(), "a channel above 3 reached the bus");
    } else {
      assertEquals(COUNTS[input], FerixJNI.c_getRawValue(channel));
      assertEquals(COUNTS[input] / 512.0f, FerixJNI.c_getVoltage(channel));
      assertEquals(0xC480 + 0x1000 * input, board.configRegister() & 0xFFFF | 0x8000);
    }
  }

  @Test
  void aReadingConfiguresWaitsAMillisecondPointsAtTheResultAndReadsTwoBytes() {
    FerixJNI.c_initializeI2C(4.0f);
    board.clearTransfers();
    assertEquals(COUNTS[3], FerixJNI.c_getRawValue(3));
    List<Transfer> transfers = board.transfers();
    assertEquals(3, transfers.size(), transfers::toString);
    // Start a conversion of input 3 against ground, +-2.048 V, continuous, 1600 per second.
    assertEquals(Transfer.Kind.WRITE, transfers.get(0).kind());
    assertArrayEquals(new byte[] {0x01, (byte) 0xF4, (byte) 0x80}, transfers.get(0).bytes());
    assertEquals(Transfer.Kind.WRITE, transfers.get(1).kind());
    assertArrayEquals(new byte[] {0x00, 0x00}, transfers.get(1).bytes());
    assertEquals(Transfer.Kind.READ, transfers.get(2).kind());
    assertEquals(2, transfers.get(2).count());
    long waitedNanos = transfers.get(1).atNanos() - transfers.get(0).atNanos();
    assertTrue(waitedNanos >= TimeUnit.MILLISECONDS.toNanos(1), waitedNanos + " ns");
  }

  @Test
  void countsCoverTheWholeTwelveBitsAndNegativeInputsReadHigh() {
    FerixJNI.c_initializeI2C(2.0f);
    board.setInputVoltage(0, 3.0); // beyond the range: the largest positive count
    board.setInputVoltage(1, -0.256); // two's complement: 4096 - 256
    board.setInputVoltage(2, 0.0);
    assertEquals(2047, FerixJNI.c_getRawValue(0));
    assertEquals(3840, FerixJNI.c_getRawValue(1));
    assertEquals(3840 * (2.0f / 2048.0f), FerixJNI.c_getVoltage(1));
    assertEquals(0, FerixJNI.c_getRawValue(2));
  }

  @Test
  @Tag("standin") // the stand-in HAL's faults on the board's port
  void aReadingTheBoardDoesNotAnswerIs0NeverAnEarlierReading() {
    assertTrue(FerixJNI.c_initializeI2C(4.0f));
    assertEquals(COUNTS[2], FerixJNI.c_getRawValue(2));
    board.setReadsFail(true);
    assertEquals(0, FerixJNI.c_getRawValue(2));
    assertEquals(0.0f, FerixJNI.c_getVoltage(2));
    board.setReadsFail(false);
    assertEquals(COUNTS[2], FerixJNI.c_getRawValue(2));

    board.setAbsent(true);
    assertEquals(0, FerixJNI.c_getRawValue(2));
    assertEquals(0.0f, FerixJNI.c_getVoltage(2));
    board.setAbsent(false);
    assertEquals(COUNTS[2] / 512.0f, FerixJNI.c_getVoltage(2));
  }

  @Test
  void closeClosesTheBusKeepsTheReferenceAndInitializeOpensItAgain() {
    assertTrue(FerixJNI.c_initializeI2C(4.0f));
    FerixJNI.c_closeI2C();
    assertFalse(SimFerix.i2cPortOpen(PORT));
    FerixJNI.c_closeI2C(); // again: nothing
    assertFalse(SimFerix.i2cPortOpen(PORT));

    assertTrue(FerixJNI.c_initializeI2C(4.0f));
    assertTrue(SimFerix.i2cPortOpen(PORT));
    assertEquals(2.0f, FerixJNI.c_getVoltage(3));
  }

  // The stand-in HAL refuses transfers on a closed port; WPILib's simulation hands them to the
  // board all the same.
  @Test
  @Tag("standin")
  void readingsOnTheClosedBusAre0AndReachNothing() {
    assertTrue(FerixJNI.c_initializeI2C(4.0f));
    FerixJNI.c_closeI2C();
    board.clearTransfers();
    assertEquals(0, FerixJNI.c_getRawValue(3));
    assertEquals(0.0f, FerixJNI.c_getVoltage(3));
    assertEquals(0, board.transferCount(), "a transfer on the closed bus");
  }

  @Test
  void readingsFromSeveralThreadsEachReturnTheirOwnInput() throws Exception {
    FerixJNI.c_initializeI2C(4.0f);
    board.clearTransfers();
    final int readings = 25;
    ExecutorService threads = Executors.newFixedThreadPool(4);
    try {
      CountDownLatch start = new CountDownLatch(1);
      List<Future<List<Integer>>> results = new ArrayList<>();
      for (int channel = 0; channel < 4; ++channel) {
        int input = channel;
        Callable<List<Integer>> reader = () -> {
          start.await();
          List<Integer> counts = new ArrayList<>();
          for (int i = 0; i < readings; ++i) {
            counts.add(i % 2 == 0 ? FerixJNI.c_getRawValue(input)
                : Math.round(FerixJNI.c_getVoltage(input) * 512.0f));
          }
          return counts;
        };
        results.add(threads.submit(reader));
      }
      start.countDown();
      for (int channel = 0; channel < 4; ++channel) {
        for (int count : results.get(channel).get(30, TimeUnit.SECONDS)) {
          assertEquals(COUNTS[channel], count, "input " + channel);
        }
      }
    } finally {
      threads.shutdownNow();
    }
    // One reading after another: configuration, pointer, result, never interleaved.
    List<Transfer> transfers = board.transfers();
    assertEquals(4 * readings * 3, transfers.size());
    for (int i = 0; i < transfers.size(); i += 3) {
      assertEquals(3, transfers.get(i).bytes().length, transfers.get(i)::toString);
      assertEquals(0x01, transfers.get(i).u8(0), transfers.get(i)::toString);
      assertEquals(2, transfers.get(i + 1).bytes().length, transfers.get(i + 1)::toString);
      assertEquals(Transfer.Kind.READ, transfers.get(i + 2).kind());
      int input = (transfers.get(i).u8(1) >> 4) & 0x3;
      int count = (transfers.get(i + 2).u8(0) << 4) | (transfers.get(i + 2).u8(1) >> 4);
      assertEquals(COUNTS[input], count, "reading " + i / 3);
    }
  }

  static void setInputs(SimFerix board) {
    for (int channel = 0; channel < 4; ++channel) {
      board.setInputVoltage(channel, COUNTS[channel] / 1000.0);
    }
  }

  @Test
  void backgroundConversionsStartOnlyOnAnOpenBusAndGiveTimestampedReadings() {
    FerixJNI.c_closeI2C();
    assertFalse(FerixJNI.c_Ferix_startConversions(), "the bus is closed");
    assertTrue(FerixJNI.c_initializeI2C(4.0f));
    com.halvern.frc.Ferix.Reading none = FerixJNI.c_Ferix_getLatest(0);
    assertEquals(0, none.raw);
    assertEquals(0L, none.timestampUs);
    assertFalse(FerixJNI.c_Ferix_isConnected());

    assertTrue(FerixJNI.c_Ferix_startConversions());
    assertTrue(FerixJNI.c_Ferix_waitForConversions(2000));
    for (int channel = 0; channel < 4; ++channel) {
      com.halvern.frc.Ferix.Reading reading = FerixJNI.c_Ferix_getLatest(channel);
      assertEquals(COUNTS[channel], reading.raw, "input " + channel);
      assertEquals(COUNTS[channel] / 512.0, reading.volts, "input " + channel);
      assertTrue(reading.timestampUs > 0);
    }
    assertTrue(FerixJNI.c_Ferix_isConnected());
    // No low-8-bit wrapping for the new reading: 256 is no input.
    assertEquals(0L, FerixJNI.c_Ferix_getLatest(256).timestampUs);
    assertEquals(0L, FerixJNI.c_Ferix_getLatest(-1).timestampUs);

    FerixJNI.c_closeI2C();
    assertEquals(0L, FerixJNI.c_Ferix_getLatest(0).timestampUs);
    assertFalse(FerixJNI.c_Ferix_isConnected());
  }
}

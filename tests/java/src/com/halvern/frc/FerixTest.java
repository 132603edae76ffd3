package com.halvern.frc;

import static com.halvern.frc.testing.Waits.waitFor;
import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.halvern.frc.sim.SimBus;
import com.halvern.frc.sim.SimFerix;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.Callable;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.function.Executable;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/**
 * The robot programmer's analog board against a simulated board on the HAL's I2C bus.
 * The inputs are set to voltages the converter counts exactly (1 mV a count), so that counts and
 * voltages compare exactly.
 */
class FerixTest {
  // Input i reads COUNTS[i]: 0.128, 0.256, 0.512 and 1.024 V.
  static final int[] COUNTS = {128, 256, 512, 1024};

  Ferix ferix;
  SimFerix board;

  @BeforeEach
  void plugInTheBoard() {
    SimBus.reset();
    board = new SimFerix();
    for (int channel = 0; channel < Ferix.CHANNELS; ++channel) {
      board.setInputVoltage(channel, COUNTS[channel] / 1000.0);
    }
  }

  /**
   * Waits, with a generous limit, until the board has a conversion of every input: the
   * constructor's own wait (100 ms) is one a loaded machine can outlast.
   */
  static Ferix converted(Ferix opened) {
    waitFor(() -> {
      for (int channel = 0; channel < Ferix.CHANNELS; ++channel) {
        if (opened.getReading(channel).timestampUs == 0) {
          return false;
        }
      }
      return true;
    }, done -> done);
    return opened;
  }

  @AfterEach
  void closeEverything() {
    if (ferix != null) {
      ferix.close();
    }
    board.close();
  }

  @Test
  void openingFindsTheBoardAndEachInputReadsAsACountAndInVolts() {
    ferix = converted(new Ferix(5));
    assertTrue(ferix.isConnected());
    assertEquals(5, ferix.getReferenceVoltage());
    assertTrue(SimFerix.i2cPortOpen(Ferix.I2C_PORT));
    for (int channel = 0; channel < Ferix.CHANNELS; ++channel) {
      assertEquals(COUNTS[channel], ferix.getRaw(channel), "input " + channel);
      assertEquals(COUNTS[channel] * 5.0 / Ferix.FULL_SCALE_COUNT, ferix.getVoltage(channel),
          "input " + channel);
    }
  }

  @Test
  void theWholeRangeOfCountsAndNegativeInputsReadHigh() {
    ferix = new Ferix(2);
    board.setInputVoltage(0, 3.0); // beyond the board's range
    board.setInputVoltage(1, -0.256);
    board.setInputVoltage(2, 0.0);
    // The background conversions take the new voltages within a few milliseconds.
    waitFor(() -> ferix.getRaw(0) == 2047 && ferix.getRaw(1) == 3840 && ferix.getRaw(2) == 0,
        done -> done);
    assertEquals(2047, ferix.getRaw(0));
    assertEquals(3840, ferix.getRaw(1));
    assertEquals(3.75, ferix.getVoltage(1));
    assertEquals(0, ferix.getRaw(2));
    assertEquals(0.0, ferix.getVoltage(2));
  }

  @Test
  @Tag("standin") // the stand-in HAL's absent board
  void anAbsentBoardThrowsNothingAndReads0() {
    board.setAbsent(true);
    ferix = new Ferix(5);
    assertFalse(ferix.isConnected());
    assertTrue(SimFerix.i2cPortOpen(Ferix.I2C_PORT), "the bus stays open");
    assertEquals(0, ferix.getRaw(3));
    assertEquals(0.0, ferix.getVoltage(3));

    board.setAbsent(false); // plugged in later: it reads, and reads connected from then on
    assertEquals(COUNTS[3], (int) waitFor(() -> ferix.getRaw(3), raw -> raw == COUNTS[3]));
    assertTrue(waitFor(ferix::isConnected, connected -> connected));
    ferix = new Ferix(5);
    assertTrue(ferix.isConnected());
  }

  @Test
  @Tag("standin") // the stand-in HAL's read fault
  void aReadingTheBoardDoesNotAnswerIs0() {
    ferix = converted(new Ferix(4));
    assertEquals(COUNTS[1], ferix.getRaw(1));
    board.setReadsFail(true);
    waitFor(() -> ferix.getRaw(1), raw -> raw == 0); // once its next conversion goes unanswered
    assertEquals(0, ferix.getRaw(1));
    assertEquals(0.0, ferix.getVoltage(1));
    assertEquals(0L, ferix.getReading(1).timestampUs);
    assertFalse(waitFor(ferix::isConnected, connected -> !connected));
    board.setReadsFail(false);
    assertEquals(COUNTS[1] / 512.0,
        (double) waitFor(() -> ferix.getVoltage(1), volts -> volts == COUNTS[1] / 512.0));
  }

  @ParameterizedTest
  @ValueSource(ints = {-1, 4, 256, 259, Integer.MIN_VALUE, Integer.MAX_VALUE})
  void aChannelOutside0To3ThrowsAndReadsNothing(int channel) {
    ferix = new Ferix(5);
    board.clearTransfers();
    assertAll(
        () -> assertThrows(IllegalArgumentException.class, () -> ferix.getRaw(channel)),
        () -> assertThrows(IllegalArgumentException.class, () -> ferix.getVoltage(channel)));
    // The background conversions keep the bus busy; none of its readings is for another input.
    for (SimFerix.Transfer transfer : board.transfers()) {
      if (transfer.count() == 3) {
        int input = ((transfer.u8(1) >> 4) & 0x7) - 4;
        assertTrue(input >= 0 && input < Ferix.CHANNELS, transfer.toString());
      }
    }
  }

  @ParameterizedTest
  @ValueSource(ints = {0, -5, Integer.MIN_VALUE})
  void aReferenceVoltageBelow1ThrowsAndReplacesNothing(int volts) {
    ferix = converted(new Ferix(4));
    assertThrows(IllegalArgumentException.class, () -> new Ferix(volts));
    assertFalse(ferix.isClosed());
    assertEquals(2.0, ferix.getVoltage(3), "the reference voltage changed");
  }

  @Test
  void aSecondBoardReplacesTheFirstWithItsOwnReferenceVoltage() {
    Ferix first = new Ferix(4);
    ferix = first;
    ferix = converted(new Ferix(2));
    assertTrue(first.isClosed());
    IllegalStateException replaced = assertThrows(IllegalStateException.class, first::isConnected);
    assertTrue(replaced.getMessage().contains("replaced"), replaced.getMessage());
    assertEquals(1.0, ferix.getVoltage(3));

    first.close(); // does nothing: the new board's bus stays open
    assertTrue(SimFerix.i2cPortOpen(Ferix.I2C_PORT));
    assertEquals(COUNTS[3], ferix.getRaw(3));
  }

  @Test
  void closingClosesTheBusOnceAndEveryCallThenThrows() {
    ferix = new Ferix(5);
    ferix.close();
    assertTrue(ferix.isClosed());
    assertFalse(SimFerix.i2cPortOpen(Ferix.I2C_PORT));
    ferix.close();

    Ferix closed = ferix;
    board.clearTransfers();
    assertAll(
        closedThrows(closed::isConnected),
        closedThrows(closed::getReferenceVoltage),
        closedThrows(() -> closed.getRaw(0)),
        closedThrows(() -> closed.getVoltage(0)));
    assertEquals(0, board.transferCount());

    try (Ferix reopened = converted(new Ferix(5))) {
      assertTrue(reopened.isConnected());
      assertEquals(COUNTS[0], reopened.getRaw(0));
    }
    assertFalse(SimFerix.i2cPortOpen(Ferix.I2C_PORT));
  }

  @Test
  void readingsFromSeveralThreadsEachReturnTheirOwnInput() throws Exception {
    ferix = new Ferix(4);
    ExecutorService threads = Executors.newFixedThreadPool(Ferix.CHANNELS);
    try {
      CountDownLatch start = new CountDownLatch(1);
      List<Future<List<Double>>> results = new ArrayList<>();
      for (int channel = 0; channel < Ferix.CHANNELS; ++channel) {
        int input = channel;
        Callable<List<Double>> reader = () -> {
          start.await();
          List<Double> volts = new ArrayList<>();
          for (int i = 0; i < 20; ++i) {
            volts.add(i % 2 == 0 ? ferix.getVoltage(input) : ferix.getRaw(input) / 512.0);
          }
          return volts;
        };
        results.add(threads.submit(reader));
      }
      start.countDown();
      for (int channel = 0; channel < Ferix.CHANNELS; ++channel) {
        for (double volts : results.get(channel).get(30, TimeUnit.SECONDS)) {
          assertEquals(COUNTS[channel] / 512.0, volts, "input " + channel);
        }
      }
    } finally {
      threads.shutdownNow();
    }
  }

  @Test
  void readingsAreTimestampedOnTheRobotClockAndKeepComing() {
    ferix = new Ferix(4);
    assertTrue(ferix.isConnected());
    Ferix.Reading first = ferix.getReading(2);
    assertEquals(COUNTS[2], first.raw);
    assertEquals(COUNTS[2] / 512.0, first.volts);
    assertTrue(first.timestampUs > 0, "timestamped");
    Ferix.Reading later = waitFor(() -> ferix.getReading(2), r -> r.timestampUs > first.timestampUs);
    assertTrue(later.timestampUs > first.timestampUs, "a newer conversion followed");
    board.setInputVoltage(2, 0.3);
    assertEquals(300, (int) waitFor(() -> ferix.getRaw(2), raw -> raw == 300));
  }

  static Executable closedThrows(Executable call) {
    return () -> assertThrows(IllegalStateException.class, call);
  }
}

package com.halvern.frc;

import static com.halvern.frc.testing.Waits.waitFor;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.halvern.frc.sim.DataLogFile;
import com.halvern.frc.sim.SimBus;
import com.halvern.frc.sim.SimFerix;
import com.halvern.frc.sim.SimLogPlayer;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/**
 * A run recorded from Java into a data log and replayed into a fresh simulator: the analog
 * board's input stepping through counts, read by the library, plays back into a new simulated
 * board, where the library reads the same counts again.
 */
class ReplayTest {
  // Input 0's counts in the recorded run (the board counts 1 mV a count).
  static final int[] STEPS = {100, 700, 300};
  static final String BOARD = "Ferix[1,72]";

  @TempDir Path dir;
  Path log;

  @BeforeEach
  void recordARun() {
    SimBus.reset();
    log = dir.resolve("board.wpilog");
    try (DataLogFile file = new DataLogFile(log.toString()); SimFerix board = new SimFerix()) {
      board.setInputVoltage(0, STEPS[0] / 1000.0);
      HalvernDataLog.start(file.handle());
      try (Ferix ferix = new Ferix(5)) {
        for (int count : STEPS) {
          board.setInputVoltage(0, count / 1000.0);
          assertTrue(waitFor(() -> ferix.getRaw(0) == count), "the library read " + count);
        }
        // Logging ends before the board is closed, whose closing the log would hold as a drop
        // that a replay plays too, silencing the fresh board right after the last count.
        HalvernDataLog.stop();
      }
    }
  }

  @AfterEach
  void stopLogging() {
    HalvernDataLog.stop();
  }

  @Test
  void theRecordedCountsPlayIntoAFreshBoardWhereTheLibraryReadsThemAgain() {
    try (SimLogPlayer player = new SimLogPlayer(log.toString()); SimFerix fresh = new SimFerix()) {
      assertEquals("", player.error());
      assertTrue(player.devices().contains(BOARD), player.devices().toString());
      assertTrue(player.signals(BOARD).contains("Input 0/Raw"), player.signals(BOARD).toString());
      player.attach(fresh);

      // Stepped through the recording's time: the fresh board takes each recorded count.
      List<Integer> fed = new ArrayList<>();
      Ferix ferix = null;
      try {
        for (long t = player.firstMicros(); !player.finished(); t += 1000) {
          player.playUntil(t);
          int count = (int) Math.round(fresh.inputVoltage(0) * 1000);
          // A fresh board's inputs are at 0 until the first readings are fed.
          if (count != 0 && (fed.isEmpty() || fed.get(fed.size() - 1) != count)) {
            fed.add(count);
            if (ferix == null) {
              ferix = new Ferix(5);
            }
            Ferix reading = ferix;
            assertTrue(waitFor(() -> reading.getRaw(0) == count), "the library read " + count);
          }
        }
      } finally {
        if (ferix != null) {
          ferix.close();
        }
      }
      assertEquals(List.of(STEPS[0], STEPS[1], STEPS[2]), fed);
    }
  }

  @Test
  void playingOnItsThreadFollowsTheRobotsClockToTheEnd() {
    try (SimLogPlayer player = new SimLogPlayer(log.toString()); SimFerix fresh = new SimFerix()) {
      player.attach(fresh);
      player.start();
      assertTrue(waitFor(player::finished), "played to the end");
      assertTrue(player.clockOffsetMicros() < 0, "recorded before now, on the same clock");
      assertEquals(STEPS[2], (int) Math.round(fresh.inputVoltage(0) * 1000));
      player.stop();
    }
  }
}

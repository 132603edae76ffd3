package com.halvern.frc;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.halvern.frc.sim.DataLogFile;
import com.halvern.frc.sim.SimLogPlayer;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/**
 * The library's data log switch from Java, handed WPILib's Java data log (its native handle,
 * which {@code getImpl()} gives) or a handle, and the simulators' data log file and player that
 * Java tests record and replay with.
 */
class HalvernDataLogTest {
  @TempDir Path dir;

  /** Stands for WPILib's Java DataLog: the native handle behind a public getImpl(). */
  public static final class WpilibShapedLog {
    private final long impl;

    WpilibShapedLog(long impl) {
      this.impl = impl;
    }

    /** The native handle, as WPILib's DataLog.getImpl() returns it (0 once closed). */
    public long getImpl() {
      return impl;
    }
  }

  /** A getImpl() that fails, as a log failing in its own code would. */
  public static final class FailingLog {
    /** Always throws. */
    public long getImpl() {
      throw new IllegalStateException("broken");
    }
  }

  /** A getImpl() of another type: not a WPILib data log. */
  public static final class NamedLikeALog {
    /** No handle. */
    public String getImpl() {
      return "log";
    }
  }

  @AfterEach
  void stopLogging() {
    HalvernDataLog.stop();
  }

  @Test
  void logsIntoWpilibsDataLogOrAHandleUntilStopped() throws Exception {
    Path path = dir.resolve("switch.wpilog");
    try (DataLogFile file = new DataLogFile(path.toString())) {
      assertNotEquals(0, file.handle());
      assertFalse(HalvernDataLog.isOn(), "off until started");
      HalvernDataLog.start(new WpilibShapedLog(file.handle()));
      assertTrue(HalvernDataLog.isOn());
      HalvernDataLog.start(file.handle()); // again: the log set is stopped first
      assertTrue(HalvernDataLog.isOn());
      HalvernDataLog.stop();
      assertFalse(HalvernDataLog.isOn());
      HalvernDataLog.stop(); // stopping again does nothing
      assertFalse(HalvernDataLog.isOn());
      file.flush();
    }
    assertTrue(Files.size(path) > 0, "the file has its header");
    try (SimLogPlayer player = new SimLogPlayer(path.toString())) {
      assertEquals("", player.error(), "a well-formed log");
      assertEquals(List.of(), player.devices(), "no device was there to log");
      assertEquals(0, player.playUntil(Long.MAX_VALUE));
      assertTrue(player.finished());
    }
  }

  @Test
  void refusesWhatIsNoOpenDataLogAndKeepsTheLogSet() {
    try (DataLogFile file = new DataLogFile(dir.resolve("kept.wpilog").toString())) {
      HalvernDataLog.start(file.handle());
      assertAll(
          () -> assertThrows(IllegalArgumentException.class, () -> HalvernDataLog.start(null)),
          () -> assertThrows(IllegalArgumentException.class,
              () -> HalvernDataLog.start(new Object())),
          () -> assertThrows(IllegalArgumentException.class,
              () -> HalvernDataLog.start(new NamedLikeALog())),
          () -> assertThrows(IllegalArgumentException.class,
              () -> HalvernDataLog.start(new FailingLog())),
          () -> assertThrows(IllegalArgumentException.class,
              () -> HalvernDataLog.start(new WpilibShapedLog(0))),
          () -> assertThrows(IllegalArgumentException.class, () -> HalvernDataLog.start(0L)));
      assertTrue(HalvernDataLog.isOn(), "a refused log leaves the one set");
      HalvernDataLog.stop();
    }
  }

  @Test
  void aFileThatCannotBeWrittenOrReadSaysSo() {
    String unwritable = dir.resolve("no such folder").resolve("x.wpilog").toString();
    assertThrows(IllegalStateException.class, () -> new DataLogFile(unwritable));

    DataLogFile closed = new DataLogFile(dir.resolve("closed.wpilog").toString());
    closed.close();
    closed.close(); // closing again does nothing
    assertThrows(IllegalStateException.class, closed::handle);

    try (SimLogPlayer player = new SimLogPlayer(dir.resolve("absent.wpilog").toString())) {
      assertNotEquals("", player.error());
      assertEquals(List.of(), player.devices());
      assertEquals(List.of(), player.signals("Ordex[5]"));
      assertEquals(0, player.playUntil(Long.MAX_VALUE));
    }
  }
}

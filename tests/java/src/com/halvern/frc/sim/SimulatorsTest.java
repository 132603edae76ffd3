package com.halvern.frc.sim;

import static com.halvern.frc.testing.Waits.waitFor;
import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertDoesNotThrow;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.halvern.frc.Ferix;
import com.halvern.frc.testing.FreshSimBus;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.extension.ExtendWith;
import org.junit.jupiter.api.function.Executable;

/**
 * The simulators' own promises to the tests that use them: each owns its native simulator until
 * it is closed and refuses every call after, a room holds one distance per degree, and closing
 * an analog board a newer one replaced leaves the newer one on the bus.
 */
@ExtendWith(FreshSimBus.class)
class SimulatorsTest {
  /** Closes each simulator twice, then expects every call given for it to throw what it says. */
  static void assertClosedRefuses(String message, AutoCloseable simulator, Executable... calls)
      throws Exception {
    simulator.close();
    assertDoesNotThrow(simulator::close, "closing again");
    for (Executable call : calls) {
      IllegalStateException refused = assertThrows(IllegalStateException.class, call);
      assertEquals(message, refused.getMessage());
    }
  }

  @Test
  void aClosedSimulatorClosesAgainQuietlyAndRefusesEveryCall() throws Exception {
    SimDystalCan dystalCan = new SimDystalCan(7);
    SimDystalUsb dystalUsb = new SimDystalUsb();
    SimIridelCan iridelCan = new SimIridelCan();
    SimIridelUsb iridelUsb = new SimIridelUsb();
    SimLidarMini lidarMini = new SimLidarMini();
    SimFerix ferix = new SimFerix();
    // Each answers while open.
    assertAll(
        () -> assertEquals(0, dystalCan.configRequests()),
        () -> assertFalse(dystalUsb.devicePath().isEmpty()),
        () -> assertTrue(iridelCan.commands().isEmpty()),
        () -> assertTrue(iridelUsb.receivedLines().isEmpty()),
        () -> assertTrue(lidarMini.commands().isEmpty()),
        () -> assertEquals(SimFerix.POWER_ON_CONFIG, ferix.configRegister()));

    assertClosedRefuses("simulated sensor closed", dystalCan, dystalCan::configRequests,
        () -> dystalCan.setDistances(1, 2, 3), dystalCan::sendReading);
    assertClosedRefuses("simulated sensor closed", dystalUsb, dystalUsb::devicePath,
        dystalUsb::receivedLines, () -> dystalUsb.setSilent(true));
    assertClosedRefuses("simulated sensor closed", iridelCan, iridelCan::commands,
        () -> iridelCan.setReplies(SimIridelCan.Replies.SILENT));
    assertClosedRefuses("simulated sensor closed", iridelUsb, iridelUsb::devicePath,
        () -> iridelUsb.setColor(0.1f, 0.2f, 0.3f));
    assertClosedRefuses("simulated lidar closed", lidarMini, lidarMini::devicePath,
        lidarMini::commands, () -> lidarMini.setRoomDistance(1000));
    assertClosedRefuses("simulated analog board closed", ferix, ferix::configRegister,
        ferix::transfers, () -> ferix.setInputVoltage(0, 1.0));
  }

  @Test
  @Tag("standin") // the serial lidar streams on the stand-in HAL's serial ports
  void aClosedSerialLidarClosesAgainQuietlyAndRefusesEveryCall() throws Exception {
    SimLidar lidar = new SimLidar(0);
    assertDoesNotThrow(lidar::revolutionsSent, "open");
    assertClosedRefuses("simulated lidar closed", lidar, lidar::revolutionsSent,
        () -> lidar.setSilent(true), () -> lidar.setRoomDistance(1000.0f));
  }

  @Test
  void aLidarMiniRoomHoldsOneDistancePerDegree() {
    try (SimLidarMini lidar = new SimLidarMini()) {
      assertAll(
          () -> assertThrows(IllegalArgumentException.class,
              () -> lidar.setRoom(new int[SimLidarMini.DEGREES - 1])),
          () -> assertThrows(IllegalArgumentException.class,
              () -> lidar.setRoom(new int[SimLidarMini.DEGREES + 1])),
          () -> assertThrows(IllegalArgumentException.class, () -> lidar.setRoom()),
          () -> assertThrows(NullPointerException.class, () -> lidar.setRoom((int[]) null)),
          () -> assertDoesNotThrow(() -> lidar.setRoom(new int[SimLidarMini.DEGREES])));
    }
    SimLidarMini closed = new SimLidarMini();
    closed.close();
    // The room is checked before the simulator is needed.
    assertThrows(IllegalArgumentException.class, () -> closed.setRoom(new int[1]));
  }

  @Test
  @Tag("standin") // the serial lidar streams on the stand-in HAL's serial ports
  void aSerialLidarRoomHoldsOneDistancePerDegree() {
    try (SimLidar lidar = new SimLidar(0)) {
      assertAll(
          () -> assertThrows(IllegalArgumentException.class,
              () -> lidar.setRoom(new float[SimLidar.DEGREES - 1])),
          () -> assertThrows(IllegalArgumentException.class, () -> lidar.setRoom()),
          () -> assertThrows(NullPointerException.class, () -> lidar.setRoom((float[]) null)),
          () -> assertDoesNotThrow(() -> lidar.setRoom(new float[SimLidar.DEGREES])));
    }
  }

  @Test
  void closingABoardThatANewerOneReplacedLeavesTheNewerOneOnTheBus() {
    SimFerix older = new SimFerix();
    SimFerix newer = new SimFerix();
    try (newer) {
      newer.setInputVoltage(2, 0.512);
      older.close();
      try (Ferix ferix = new Ferix(5)) {
        // 0.512 V reads 512 counts only from the newer board: the older one read 0 V.
        assertEquals(512, (int) waitFor(() -> ferix.getRaw(2), raw -> raw == 512));
        assertTrue(newer.transferCount() > 0, "the newer board answered");
      }
    }
  }
}

package com.halvern.frc;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.halvern.frc.jni.DystalJNI;
import com.halvern.frc.jni.IridelJNI;
import com.halvern.frc.jni.OrdexJNI;
import com.halvern.frc.sim.SimBus;
import com.halvern.frc.testing.FreshSimBus;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.extension.ExtendWith;
import org.junit.jupiter.api.function.Executable;

/** The CAN devices' classes opened on a bus: bus 0 by default, a bus the platform lacks refused. */
@ExtendWith(FreshSimBus.class)
class CanBusTest {
  /** No platform has this bus (WPILib 2027 has 0 to 5, WPILib 2026 only 0). */
  static final int MISSING_BUS = 6;

  private static void assertRefused(Executable open, String message) {
    IllegalStateException refused = assertThrows(IllegalStateException.class, open);
    assertEquals(message, refused.getMessage());
  }

  @Test
  void aBusThePlatformLacksIsRefusedWithNothingSent() {
    assertAll(
        () -> assertRefused(() -> new Ordex(9, 1000, MISSING_BUS),
            "Ordex on CAN device 9, bus 6 could not be initialized"),
        () -> assertRefused(() -> new Iridel(3, MISSING_BUS),
            "Iridel on CAN ID 3, bus 6 could not be initialized"),
        () -> assertRefused(() -> new Dystal(7, -1),
            "Dystal on CAN ID 7, bus -1 could not be initialized"),
        () -> assertEquals(0, OrdexJNI.c_Ordex_createOnBus(MISSING_BUS, 9, 1000)),
        () -> assertEquals(0, IridelJNI.c_Iridel_createOnBus(MISSING_BUS, 3)),
        () -> assertEquals(0, DystalJNI.c_Dystal_createOnBus(MISSING_BUS, 7)));
    assertTrue(SimBus.sentFrames(0, 0).isEmpty());
    // The device number is still checked first, by the class itself.
    assertThrows(IllegalArgumentException.class, () -> new Ordex(64, 1000, MISSING_BUS));
  }

  @Test
  @Tag("standin") // the stand-in HAL, like WPILib 2026, has bus 0 only; it counts open handles
  void onTheStandInEveryBusButZeroIsRefused() {
    int open = SimBus.openCanHandleCount();
    assertAll(
        () -> assertRefused(() -> new Ordex(9, 1000, 1),
            "Ordex on CAN device 9, bus 1 could not be initialized"),
        () -> assertRefused(() -> new Iridel(3, 2),
            "Iridel on CAN ID 3, bus 2 could not be initialized"),
        () -> assertRefused(() -> new Dystal(7, 5),
            "Dystal on CAN ID 7, bus 5 could not be initialized"));
    assertEquals(open, SimBus.openCanHandleCount());
    assertTrue(SimBus.sentFrames(0, 0).isEmpty());
  }

  @Test
  void devicesOpenOnBusZeroByDefault() {
    try (Ordex ordex = new Ordex(9, 1000);
        Iridel colour = new Iridel(3);
        Dystal distance = new Dystal(7, Dystal.DEFAULT_CAN_BUS)) {
      assertEquals(0, ordex.getCanBus());
      assertEquals(0, colour.getCanBus());
      assertEquals(0, distance.getCanBus());
      assertEquals(7, distance.getCanId());
    }
    assertEquals(-1, OrdexJNI.c_Ordex_getCanBus(0));
    assertEquals(-1, IridelJNI.c_Iridel_getCanBus(0));
    assertEquals(-1, DystalJNI.c_Dystal_getCanBus(0));
  }
}

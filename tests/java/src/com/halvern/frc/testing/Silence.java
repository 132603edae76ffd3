package com.halvern.frc.testing;

import static com.halvern.frc.testing.Waits.waitFor;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.function.BooleanSupplier;
import java.util.function.Consumer;

/** A simulated device falling silent and resuming, as the library's connection flag sees it. */
public final class Silence {
  private Silence() {}

  /**
   * Silences a streaming device and lets it resume: {@code connected} must turn false once the
   * silence limit has passed, and true again once the device streams.
   */
  public static void assertConnectionFollows(Consumer<Boolean> setSilent, BooleanSupplier connected) {
    setSilent.accept(true);
    assertFalse(waitFor(connected::getAsBoolean, isConnected -> !isConnected), "silenced");
    setSilent.accept(false);
    assertTrue(waitFor(connected), "resumed");
  }
}

package com.halvern.frc.testing;

import java.util.function.BooleanSupplier;
import java.util.function.Predicate;
import java.util.function.Supplier;

/**
 * Waiting in the Java tests: every wait polls for the event it waits on, so a loaded machine
 * makes a case slower but never fails it; the limit only bounds a failure.
 */
public final class Waits {
  private static final long WAIT_MILLIS = 5000;
  private static final long POLL_MILLIS = 2;

  private Waits() {}

  /** Reads until the reading satisfies {@code done}, for up to 5 s; returns the last reading. */
  public static <T> T waitFor(Supplier<T> read, Predicate<T> done) {
    long deadline = System.nanoTime() + WAIT_MILLIS * 1_000_000L;
    T value = read.get();
    while (!done.test(value) && System.nanoTime() < deadline) {
      sleep(POLL_MILLIS);
      value = read.get();
    }
    return value;
  }

  /** Polls {@code condition} until it holds or 5 s pass; returns whether it held. */
  public static boolean waitFor(BooleanSupplier condition) {
    return waitFor(condition::getAsBoolean, held -> held);
  }

  /** Sleeps without a checked exception. */
  public static void sleep(long millis) {
    try {
      Thread.sleep(millis);
    } catch (InterruptedException interrupted) {
      Thread.currentThread().interrupt();
      throw new IllegalStateException(interrupted);
    }
  }
}

package com.halvern.frc.testing;

import com.halvern.frc.sim.SimBus;
import org.junit.jupiter.api.extension.AfterEachCallback;
import org.junit.jupiter.api.extension.BeforeEachCallback;
import org.junit.jupiter.api.extension.ExtensionContext;

/**
 * Resets the simulated CAN bus before and after every case of a class that names it in
 * {@code @ExtendWith}: each case starts without the devices, faults and counts another left.
 */
public final class FreshSimBus implements BeforeEachCallback, AfterEachCallback {
  @Override
  public void beforeEach(ExtensionContext context) {
    SimBus.reset();
  }

  @Override
  public void afterEach(ExtensionContext context) {
    SimBus.reset();
  }
}

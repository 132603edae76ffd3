package com.halvern.frc.testing;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;

import com.halvern.frc.sim.SimBus;
import com.halvern.frc.sim.SimIridelCan;
import com.halvern.frc.sim.SimIridelUsb;
import java.util.List;

/** The colour sensor's side of the bus and of its serial port, for the Iridel tests. */
public final class IridelWire {
  // Command codes: commands go to 0x04090500 + code.
  public static final int MEASURE_MODE = 18;
  public static final int COLOR_FORMAT = 19;
  public static final int SAMPLE_TIME = 20;
  public static final int BRIGHTNESS = 21;
  public static final int USB_OVERRIDE = 22;
  public static final int STATUS_LED = 23;
  public static final int CAN_ID = 24;
  public static final int ZMM = 25;
  public static final int GET_CONFIG = 26;

  public static final int COLOR_FRAME_ID = 0x04090540;

  private IridelWire() {}

  /** The sensor sends a colour frame: sequence, then x, y and z as raw int16 (x 10000). */
  public static void sendColorFrame(int sequence, int rawX, int rawY, int rawZ) {
    SimBus.transmitToRobot(COLOR_FRAME_ID,
        sequence, sequence >>> 8, rawX, rawX >>> 8, rawY, rawY >>> 8, rawZ, rawZ >>> 8);
  }

  /** The data bytes of the sensor's newest command, which must have this code. */
  public static int[] lastPayload(SimIridelCan sensor, int code) {
    List<SimIridelCan.Command> commands = sensor.commands();
    assertFalse(commands.isEmpty(), "the sensor received no command");
    SimIridelCan.Command last = commands.get(commands.size() - 1);
    assertEquals(code, last.code(), () -> "newest command " + last);
    return last.payload();
  }

  /** The lines the USB sensor received, once there are at least {@code count} (or 5 s passed). */
  public static List<String> waitForLines(SimIridelUsb sensor, int count) {
    return Waits.waitFor(sensor::receivedLines, lines -> lines.size() >= count);
  }
}

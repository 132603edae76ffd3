package com.halvern.frc.testing;

import static org.junit.jupiter.api.Assertions.assertEquals;

import com.halvern.frc.sim.SimBus;
import com.halvern.frc.sim.SimBus.Frame;
import java.util.List;

/** The Ordex controller's side of the bus: message identifiers, replies and sent payloads. */
public final class OrdexWire {
  // API numbers of the messages the tests send or inspect.
  public static final int MOTOR_SPEED = 2;
  public static final int DISABLE_MOTOR = 3;
  public static final int IDENTITY_REQUEST = 4;
  public static final int IDENTITY_REPLY = 5;
  public static final int SERIAL_WORD_1 = 7;
  public static final int CONFIGURE_MOTOR = 10;
  public static final int FREQUENCY_STATUS = 12;
  public static final int RESET_ENCODER = 13;
  public static final int CURRENT_LIMIT = 14;
  public static final int MOTOR_STOP_MODE = 15;
  public static final int TARGET_VELOCITY = 16;
  public static final int TARGET_DISTANCE = 17;
  public static final int ENCODER_RESOLUTION = 18;
  public static final int CURRENT_LIMIT_MODE = 19;
  public static final int PID_TYPE = 20;
  public static final int AUTOTUNE_ALL = 21;
  public static final int SENSITIVITY = 22;
  public static final int TARGET_ANGLE = 23;
  public static final int POSITION_HOLD = 24;
  public static final int CAN_SENSOR_OS_DELAY = 26;
  public static final int AUTOTUNE_MOTOR = 27;
  public static final int QUORIN_POSITIONS = 36;
  public static final int ENCODER_COUNT = 37; // encoders 0-3: 37-40
  public static final int MOTOR_RPM = 41; // motors 0-3: 41-44
  public static final int LIMIT_SWITCHES = 45;
  public static final int CONTROLLER_TEMP = 47;
  public static final int TARGET_RPM = 48; // motors 0-3: 48-51
  public static final int DISABLED_HEARTBEAT = 0;
  public static final int ENABLED_HEARTBEAT = 1;

  private static final int MESSAGE_ID_BASE = 0x020C0000;

  private OrdexWire() {}

  /** The identifier of message {@code api} to or from {@code device}. */
  public static int id(int api, int device) {
    return MESSAGE_ID_BASE + api * 64 + device;
  }

  /** The controller sends an int32 (little-endian) in bytes 0 to 3. */
  public static void replyInt32(int api, int device, int value) {
    SimBus.transmitToRobot(id(api, device), value, value >>> 8, value >>> 16, value >>> 24, 0, 0, 0, 0);
  }

  /** The controller sends a frame of unsigned byte values. */
  public static void reply(int api, int device, int... bytes) {
    SimBus.transmitToRobot(id(api, device), bytes);
  }

  public static List<Frame> sent(int api, int device) {
    return SimBus.sentFrames(id(api, device));
  }

  /**
   * Every frame sent to {@code device} but what the library sends on its own (heartbeats and
   * the background identity requests), oldest first.
   */
  public static List<Frame> commandsSentTo(int device) {
    return SimBus.sentFrames(id(0, device), 0x1FFF003F).stream()
        .filter(frame -> ((frame.id() >>> 6) & 0x3FF) > ENABLED_HEARTBEAT)
        .filter(frame -> ((frame.id() >>> 6) & 0x3FF) != IDENTITY_REQUEST)
        .toList();
  }

  /** The one frame of message {@code api} sent to {@code device}, as unsigned byte values. */
  public static int[] onlySent(int api, int device) {
    List<Frame> frames = sent(api, device);
    assertEquals(1, frames.size(), () -> "frames of API " + api + " to device " + device + ": " + frames);
    Frame frame = frames.get(0);
    int[] bytes = new int[frame.data().length];
    for (int i = 0; i < bytes.length; ++i) {
      bytes[i] = frame.u8(i);
    }
    return bytes;
  }

  /** An 8-byte payload from its leading unsigned byte values, the rest 0. */
  public static int[] payload(int... leading) {
    int[] bytes = new int[8];
    System.arraycopy(leading, 0, bytes, 0, leading.length);
    return bytes;
  }
}

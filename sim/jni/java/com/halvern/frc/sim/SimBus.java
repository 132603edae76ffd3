package com.halvern.frc.sim;

import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Objects;

/**
 * The simulated robot behind the HAL, for Java tests: the CAN frames the robot program sent,
 * frames that devices send to it, the robot's enabled state, and its serial ports.
 *
 * <p>Loading this class loads the native library {@code halvern_simjni}, which shares the one
 * simulation of the process with HalvernDriver and initialises the HAL. The HAL's faults, the
 * counts of open CAN handles and the serial ports ({@link #setInitializeCanStatus},
 * {@link #openCanHandleCount}, {@link #setStreamOpenStatus}, {@link #pushSerialBytes},
 * {@link #setSerialOpenStatus}, {@link #serialPortOpen}, {@link #serialBaudRate}) are the stand-in
 * HAL's own controls: on WPILib's HAL they are not there (UnsatisfiedLinkError).
 */
public final class SimBus {
  /** Compares every bit of a 29-bit identifier. */
  public static final int EXACT_ID = 0x1FFFFFFF;

  private static final int RECORD_SIZE = 16;
  private static final int MAX_FRAME_LENGTH = 8;
  private static final int SERIAL_PORTS = 4;

  static {
    SimLibrary.load();
  }

  private SimBus() {}

  /** A CAN frame the robot program sent. */
  public record Frame(int id, byte[] data) {
    /** The byte at {@code index} as an unsigned value. */
    public int u8(int index) {
      return Byte.toUnsignedInt(data[index]);
    }

    @Override
    public String toString() {
      return String.format("Frame[id=0x%08X, data=%s]", id, Arrays.toString(data));
    }
  }

  /** Robot disabled, no frames received or sent, no serial bytes waiting, no faults. */
  public static native void reset();

  public static native void setSystemActive(boolean enabled);

  /** HAL_InitializeCAN fails with this status while it is nonzero. */
  public static native void setInitializeCanStatus(int status);

  /** CAN handles initialised and not yet cleaned. */
  public static native int openCanHandleCount();

  /** HAL_CAN_OpenStreamSession fails with this status while it is nonzero. */
  public static native void setStreamOpenStatus(int status);

  /** CAN stream sessions open. */
  public static native int openStreamSessionCount();

  public static native void clearSentFrames();

  /** Frames the robot program sent whose identifier matches {@code id} under {@code mask}. */
  public static List<Frame> sentFrames(int id, int mask) {
    ByteBuffer records = ByteBuffer.wrap(sentFrameRecords(id, mask)).order(ByteOrder.LITTLE_ENDIAN);
    List<Frame> frames = new ArrayList<>();
    while (records.remaining() >= RECORD_SIZE) {
      int frameId = records.getInt();
      int length = Byte.toUnsignedInt(records.get());
      records.position(records.position() + 3);
      byte[] data = new byte[MAX_FRAME_LENGTH];
      records.get(data);
      frames.add(new Frame(frameId, Arrays.copyOf(data, length)));
    }
    return frames;
  }

  /** Frames the robot program sent with exactly this identifier. */
  public static List<Frame> sentFrames(int id) {
    return sentFrames(id, EXACT_ID);
  }

  /** A device sends a frame of at most 8 bytes to the robot program. */
  public static void transmitToRobot(int id, byte[] data) {
    Objects.requireNonNull(data, "data");
    if (data.length > MAX_FRAME_LENGTH) {
      throw new IllegalArgumentException("a CAN frame carries at most 8 bytes");
    }
    transmit(id, data);
  }

  /** A device sends a frame given as unsigned byte values 0 to 255. */
  public static void transmitToRobot(int id, int... bytes) {
    byte[] data = new byte[bytes.length];
    for (int i = 0; i < bytes.length; ++i) {
      data[i] = (byte) bytes[i];
    }
    transmitToRobot(id, data);
  }

  /** A device sends bytes to the robot program on a serial port (HAL_SerialPort 0 to 3). */
  public static void pushSerialBytes(int port, byte[] bytes) {
    Objects.requireNonNull(bytes, "bytes");
    pushSerial(serialPort(port), bytes);
  }

  /** HAL_InitializeSerialPort fails with this status while it is nonzero. */
  public static native void setSerialOpenStatus(int status);

  /** Whether the serial port (0 to 3) is open. */
  public static boolean serialPortOpen(int port) {
    return serialOpen(serialPort(port));
  }

  /** The baud rate the robot program set on the serial port (0 to 3); 9600 until it sets one. */
  public static int serialBaudRate(int port) {
    return serialBaud(serialPort(port));
  }

  private static int serialPort(int port) {
    if (port < 0 || port >= SERIAL_PORTS) {
      throw new IllegalArgumentException("no serial port " + port);
    }
    return port;
  }

  private static native byte[] sentFrameRecords(int id, int mask);

  private static native void transmit(int id, byte[] data);

  private static native void pushSerial(int port, byte[] bytes);

  private static native boolean serialOpen(int port);

  private static native int serialBaud(int port);
}

package com.halvern.frc.sim;

import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

/**
 * A simulated Iridel colour sensor on the virtual CAN bus: it records the commands the robot
 * program sends, answers each one, and sends colour frames on request.
 */
public final class SimIridelCan extends NativeSimulator {
  /** How the sensor answers commands. */
  public enum Replies {
    /** Replies to each command with the configured status and value. */
    ANSWER,
    /** Never replies. */
    SILENT,
    /** Replies naming another command code. */
    OTHER_CODE
  }

  /** A command the sensor received: its code and its data bytes as unsigned values. */
  public record Command(int code, int[] payload) {
    @Override
    public String toString() {
      return "Command[code=" + code + ", payload=" + Arrays.toString(payload) + "]";
    }
  }

  /** Attaches a sensor that answers every command with status 0 and value 0. */
  public SimIridelCan() {
    super("simulated sensor", create());
  }

  /** Selects how the sensor answers from now on. */
  public void setReplies(Replies replies) {
    setReplies(open(), replies.ordinal());
  }

  /** The status byte of every reply from now on; 0 means success. */
  public void setReplyStatus(int status) {
    setReplyStatus(open(), status);
  }

  /** The value, 0 to 4294967295, that replies to "get config" carry from now on. */
  public void setConfigValue(long value) {
    setConfigValue(open(), (int) value);
  }

  /** Sends one colour frame now; each component is sent as round(component x 10000). */
  public void sendColor(int sequence, float x, float y, float z) {
    sendColor(open(), sequence, x, y, z);
  }

  /** Every command the sensor received, oldest first. */
  public List<Command> commands() {
    int[] records = commandRecords(open());
    List<Command> commands = new ArrayList<>();
    for (int at = 0; at + 1 < records.length; ) {
      int code = records[at];
      int length = records[at + 1];
      commands.add(new Command(code, Arrays.copyOfRange(records, at + 2, at + 2 + length)));
      at += 2 + length;
    }
    return commands;
  }

  private static native long create();

  private static native void setReplies(long handle, int replies);

  private static native void setReplyStatus(long handle, int status);

  private static native void setConfigValue(long handle, int value);

  private static native void sendColor(long handle, int sequence, float x, float y, float z);

  // Per command: its code, its length, then its data bytes.
  private static native int[] commandRecords(long handle);
}

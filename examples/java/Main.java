import com.halvern.frc.MockDS;
import java.io.IOException;
import java.net.DatagramPacket;
import java.net.DatagramSocket;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.net.SocketTimeoutException;

/**
 * A mock driver station enabling a simulated robot program, using only halvern.jar and the native
 * library. The program's side of the link is a UDP socket on 127.0.0.1 port 1110, where a robot
 * program hears its driver station. The station is enabled at once: the program must hear
 * "disabled" through the one-second warm-up, then "enabled" (autonomous). Prints what it hears and
 * exits with 1 if it is not that.
 */
public final class Main {
  private static final int PROTOCOL_VERSION = 0x01;
  private static final int STATION_ATTACHED = 0x10;
  private static final int RED_1 = 0x00;

  private Main() {}

  public static void main(String[] args) throws IOException {
    int status;
    InetSocketAddress robotAddress =
        new InetSocketAddress(InetAddress.getByName(MockDS.ROBOT_ADDRESS), MockDS.ROBOT_PORT);
    try (DatagramSocket robot = new DatagramSocket(robotAddress)) {
      robot.setSoTimeout(500);
      status = run(robot);
    } catch (java.net.BindException e) {
      System.err.println("FAIL: cannot listen on " + robotAddress + " (in use?): " + e.getMessage());
      status = 1;
    }
    System.exit(status);
  }

  private static int run(DatagramSocket robot) throws IOException {
    MockDS station = new MockDS();
    station.enable();
    long enabledAt = System.nanoTime();
    System.out.println("Mock driver station made and enabled; listening as the robot program");

    int disabled = 0;  // datagrams saying "disabled" before the first saying "enabled"
    int enabled = 0;   // datagrams saying "enabled" since
    int previousSequence = -1;
    double firstEnabledSeconds = -1;
    byte[] buffer = new byte[64];
    while (enabled < 25) {  // half a second of being enabled
      DatagramPacket packet = new DatagramPacket(buffer, buffer.length);
      try {
        robot.receive(packet);
      } catch (SocketTimeoutException e) {
        System.err.println("FAIL: no datagram for half a second");
        return 1;
      }
      double seconds = (System.nanoTime() - enabledAt) / 1e9;
      byte[] d = packet.getData();
      if (packet.getLength() != MockDS.DATAGRAM_LENGTH || d[2] != PROTOCOL_VERSION
          || d[4] != STATION_ATTACHED || d[5] != RED_1) {
        System.err.printf("FAIL: malformed datagram of %d bytes%n", packet.getLength());
        return 1;
      }
      int sequence = (d[0] & 0xFF) << 8 | (d[1] & 0xFF);
      if (previousSequence >= 0 && sequence != ((previousSequence + 1) & 0xFFFF)) {
        System.err.printf("FAIL: sequence %d after %d%n", sequence, previousSequence);
        return 1;
      }
      previousSequence = sequence;
      int control = d[3] & 0xFF;
      if (control == MockDS.CONTROL_DISABLED && enabled == 0) {
        if (disabled == 0 || disabled % 10 == 0) {
          System.out.printf("%5.2f s  datagram %3d: robot disabled (warm-up)%n", seconds, sequence);
        }
        ++disabled;
      } else if (control == MockDS.CONTROL_ENABLED_AUTONOMOUS) {
        if (enabled == 0) {
          firstEnabledSeconds = seconds;
          System.out.printf("%5.2f s  datagram %3d: robot enabled (autonomous)%n", seconds, sequence);
        }
        ++enabled;
      } else {
        System.err.printf("FAIL: control byte 0x%02x at %.2f s, after %d enabled datagrams%n",
            control, seconds, enabled);
        return 1;
      }
    }
    station.close();

    System.out.printf("Disabled for %d datagrams (%.2f s) after the enable, then enabled for %d%n",
        disabled, firstEnabledSeconds, enabled);
    // The warm-up is the first 50 datagrams sent enabled; one or two may have gone out before
    // the enable, disabled as well.
    if (disabled < MockDS.WARMUP_DATAGRAMS || disabled > MockDS.WARMUP_DATAGRAMS + 5) {
      System.err.printf("FAIL: expected a warm-up of %d disabled datagrams%n",
          MockDS.WARMUP_DATAGRAMS);
      return 1;
    }
    System.out.println("OK: disabled through the one-second warm-up, enabled after");
    return 0;
  }
}

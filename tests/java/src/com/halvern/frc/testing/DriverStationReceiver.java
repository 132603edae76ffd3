package com.halvern.frc.testing;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;

import java.io.IOException;
import java.io.UncheckedIOException;
import java.net.DatagramPacket;
import java.net.DatagramSocket;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.net.SocketTimeoutException;
import java.util.ArrayDeque;
import java.util.ArrayList;
import java.util.Deque;
import java.util.List;
import java.util.Optional;

/**
 * The robot program's end of the driver-station link, for the mock driver station's tests: a UDP
 * socket bound to 127.0.0.1 port 1110 that reads control datagrams as a robot program's
 * simulation does. Datagrams shorter than 6 bytes are ignored, the protocol version is not
 * checked, control bit 0x04 means enabled and 0x02 autonomous, and a request byte with any of its
 * upper four bits set means a driver station is attached.
 *
 * <p>Only one socket can be bound to the port: every CTest test using it carries RESOURCE_LOCK
 * udp_1110.
 */
public final class DriverStationReceiver implements AutoCloseable {
  public static final int PORT = 1110;
  /** How long a datagram may take before a test gives up; it only bounds a failure. */
  public static final int TIMEOUT_MILLIS = 5000;
  /** The mock driver station's period. */
  public static final long PERIOD_NANOS = 20_000_000L;
  /** Room for the sender's clock, which counts whole microseconds. */
  private static final long CLOCK_ROOM_NANOS = 1_000_000L;

  /** One control datagram as the robot program reads it. */
  public record Control(
      int sequence, int version, int control, int request, int station, int length,
      long receivedNanos) {
    public boolean enabled() {
      return (control & 0x04) != 0;
    }

    public boolean autonomous() {
      return (control & 0x02) != 0;
    }

    public boolean driverStationAttached() {
      return (request & 0xF0) != 0;
    }
  }

  private final DatagramSocket socket;
  private final byte[] buffer = new byte[1500];
  /** Datagrams already read that the next reads give first (see {@link #lastBefore}). */
  private final Deque<Control> readAgain = new ArrayDeque<>();
  private long startedNanos;

  /** Binds the socket; fails the test if the port is taken. */
  public DriverStationReceiver() {
    try {
      DatagramSocket bound = new DatagramSocket(null);
      bound.setReuseAddress(false);
      bound.bind(new InetSocketAddress(InetAddress.getByName("127.0.0.1"), PORT));
      socket = bound;
    } catch (IOException error) {
      throw new UncheckedIOException("could not bind 127.0.0.1:" + PORT, error);
    }
  }

  @Override
  public void close() {
    socket.close();
  }

  /** The next control datagram within {@code timeoutMillis}, or empty. */
  public Optional<Control> poll(int timeoutMillis) {
    if (!readAgain.isEmpty()) {
      return Optional.of(readAgain.removeFirst());
    }
    long deadline = System.nanoTime() + timeoutMillis * 1_000_000L;
    try {
      while (true) {
        long left = (deadline - System.nanoTime()) / 1_000_000L;
        socket.setSoTimeout((int) Math.max(1, left));
        DatagramPacket packet = new DatagramPacket(buffer, buffer.length);
        try {
          socket.receive(packet);
        } catch (SocketTimeoutException timeout) {
          return Optional.empty();
        }
        long now = System.nanoTime();
        if (packet.getLength() < 6) {
          continue; // a robot program ignores it
        }
        byte[] data = packet.getData();
        return Optional.of(new Control(
            (Byte.toUnsignedInt(data[0]) << 8) | Byte.toUnsignedInt(data[1]),
            Byte.toUnsignedInt(data[2]), Byte.toUnsignedInt(data[3]),
            Byte.toUnsignedInt(data[4]), Byte.toUnsignedInt(data[5]), packet.getLength(), now));
      }
    } catch (IOException error) {
      throw new UncheckedIOException(error);
    }
  }

  /** The next control datagram; fails the test if none comes within a second. */
  public Control next() {
    return poll(TIMEOUT_MILLIS).orElseGet(() -> fail("no datagram within " + TIMEOUT_MILLIS + " ms"));
  }

  /** The next {@code count} control datagrams. */
  public List<Control> next(int count) {
    List<Control> received = new ArrayList<>(count);
    for (int i = 0; i < count; ++i) {
      received.add(next());
    }
    return received;
  }

  /** Every datagram already waiting, oldest first. */
  public List<Control> drain() {
    List<Control> waiting = new ArrayList<>();
    for (Optional<Control> control = poll(1); control.isPresent(); control = poll(1)) {
      waiting.add(control.get());
    }
    return waiting;
  }

  /** Datagrams that do not come within {@code millis}; fails the test if one comes. */
  public void expectSilence(int millis) {
    poll(millis).ifPresent(control -> fail("a datagram arrived: " + control));
  }

  /**
   * Runs {@code create}, which makes a fresh mock driver station, and returns the first {@code
   * count} datagrams received after it that do not belong to an instance made before. That one
   * stops during the create; what it sent until then (however long the create took) may arrive
   * behind the fresh instance's first datagrams, continuing its own count, and is skipped. Anything
   * else is returned, for the caller to check: the fresh instance's datagrams should count 0, 1, 2
   * and so on.
   */
  public List<Control> startFresh(Runnable create, int count) {
    List<Control> before = drain();
    int lastOld = before.isEmpty() ? -1 : before.get(before.size() - 1).sequence();
    startedNanos = System.nanoTime();
    create.run();
    List<Control> fresh = new ArrayList<>(count);
    while (fresh.size() < count) {
      Control control = next();
      boolean continuesFresh = control.sequence() == fresh.size();
      boolean continuesOld = lastOld >= 0
          ? control.sequence() == ((lastOld + 1) & 0xFFFF)
          : true; // an instance that sent nothing since we bound
      if (!continuesFresh && continuesOld) {
        lastOld = control.sequence();
      } else {
        fresh.add(control);
      }
    }
    return fresh;
  }

  /**
   * The most datagrams the instance made by the last {@link #startFresh} can have picked its
   * control byte for by {@code nanos} (on {@link System#nanoTime}), however the machine scheduled
   * it: datagram k waits for its slot, k + 1 periods after the instance started at the earliest. A
   * call made before {@code nanos} therefore shows in a datagram whose sequence number is at most
   * this.
   */
  public int mostPickedBy(long nanos) {
    return (int) Math.max(0, (nanos - startedNanos + CLOCK_ROOM_NANOS) / PERIOD_NANOS);
  }

  /**
   * Runs {@code action} right after a datagram arrives and returns that datagram, the last one
   * received before the action began: it and every one before it were picked without the action.
   * The datagrams already waiting once the action returned, which must continue the sequence, are
   * left for the next reads: however late this thread ran, each of them may have been picked
   * either side of the action. {@link #mostPickedBy} bounds the first one picked after it.
   */
  public Control lastBefore(Runnable action) {
    drain();
    Control before = next();
    action.run();
    Control last = before;
    for (Control control : drain()) {
      assertEquals((last.sequence() + 1) & 0xFFFF, control.sequence(), control::toString);
      last = control;
      readAgain.addLast(control);
    }
    return before;
  }
}

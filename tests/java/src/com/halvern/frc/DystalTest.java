package com.halvern.frc;

import static com.halvern.frc.testing.DystalWire.ramp;
import static com.halvern.frc.testing.DystalWire.waitForLines;
import static com.halvern.frc.testing.DystalWire.withoutChunks;
import static com.halvern.frc.testing.Waits.sleep;
import static com.halvern.frc.testing.Waits.waitFor;
import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.halvern.frc.sim.SimBus;
import com.halvern.frc.sim.SimDystalCan;
import com.halvern.frc.sim.SimDystalUsb;
import com.halvern.frc.testing.FreshSimBus;
import com.halvern.frc.testing.Silence;
import java.util.Arrays;
import java.util.List;
import java.util.Optional;
import java.util.stream.Stream;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Nested;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.extension.ExtendWith;
import org.junit.jupiter.api.function.Executable;

/** The robot programmer's distance sensor: its life cycle, argument checks and transports. */
@ExtendWith(FreshSimBus.class)
class DystalTest {
  static final int CAN_ID = 12;

  @Nested
  class Lifecycle extends CanOrUsbSensorLifecycle<Dystal, SimDystalUsb> {
    Lifecycle() {
      super(Dystal::new, Dystal::new, Dystal::getCanId,
          dystal -> dystal.getTransport() == Dystal.Transport.CAN,
          SimDystalUsb::new, SimDystalUsb::devicePath);
    }

    @Override
    Stream<Executable> usesOf(Dystal dystal) {
      return Stream.of(dystal::getData, () -> dystal.getData(1), () -> dystal.getData(8),
          dystal::getConfig, dystal::getCanId, dystal::getTransport);
    }
  }

  @Nested
  class CanSensor {
    SimDystalCan sensor;
    Dystal dystal;

    @BeforeEach
    void open() {
      sensor = new SimDystalCan(CAN_ID);
      dystal = new Dystal(CAN_ID);
    }

    @AfterEach
    void close() {
      dystal.close();
      sensor.close();
    }

    // The reading the background gathering completed for the sensor's newest sequence.
    Dystal.ScanData newestReading(int count) {
      int sequence = sensor.lastSequence();
      return waitFor(() -> dystal.getData(count), scan -> scan.sequence == sequence);
    }

    @Test
    void zonesOfLostChunksReadMinusOneAndTheOthersKeepTheirPlaces() {
      int[] distances = ramp(Dystal.MAX_DISTANCES);
      sensor.setDistances(distances);
      sensor.setMissingChunks(1, 10);
      sensor.sendReading();
      Dystal.ScanData scan = newestReading(Dystal.MAX_DISTANCES);
      assertEquals(sensor.lastSequence(), scan.sequence);
      assertArrayEquals(withoutChunks(distances, 1, 10), scan.distance, scan::toString);
    }

    @Test
    void aReadingOfSixteenZonesGivesSixteenDistancesAndACountCutsTheReading() {
      sensor.setDistances(ramp(16));
      sensor.sendReading();
      assertArrayEquals(ramp(16), newestReading(Dystal.MAX_DISTANCES).distance);

      sensor.setDistances(ramp(Dystal.MAX_DISTANCES));
      sensor.sendReading();
      assertArrayEquals(ramp(5), newestReading(5).distance);
    }

    @Test
    void withoutChunksTheReadingIsEmptyAndTheSensorDisconnected() {
      Dystal.ScanData none = dystal.getData();
      assertEquals(new Dystal.ScanData(), none);
      assertEquals(0L, none.timestampUs);
      assertFalse(dystal.isConnected());
    }

    @Test
    void readingsCarryRisingTimestampsAndTheConnectionFollowsTheSensor() {
      sensor.sendReading();
      Dystal.ScanData first = newestReading(Dystal.MAX_DISTANCES);
      assertEquals(first, dystal.getData(), "the same reading until a newer one");
      assertEquals(first.timestampUs, dystal.getData().timestampUs);

      // Silent: disconnected once the silence limit has passed.
      assertFalse(waitFor(dystal::isConnected, connected -> !connected));

      // Readings sent until the sensor reads connected: a stall of a loaded machine between
      // sending and looking cannot fail it.
      assertTrue(waitFor(() -> {
        sensor.sendReading();
        return dystal.isConnected();
      }, connected -> connected), "connected again once it resumed");
      Dystal.ScanData second = newestReading(Dystal.MAX_DISTANCES);
      assertTrue(second.timestampUs > first.timestampUs,
          first.timestampUs + " then " + second.timestampUs);
    }

    @Test
    void argumentsOutsideTheirRangesThrowAndSendNothing() {
      assertAll(
          rejects(() -> dystal.getData(0)),
          rejects(() -> dystal.getData(-1)),
          rejects(() -> dystal.getData(Dystal.MAX_DISTANCES + 1)),
          rejects(() -> dystal.getConfig(-1)));
      assertEquals(0, sensor.configRequests());
      assertEquals(List.of(), SimBus.sentFrames(0, 0));
    }

    @Test
    void theConfigurationCarriesEveryFieldTheSensorReports() {
      sensor.setConfig(7, false, true, true);
      assertEquals(Optional.of(new Dystal.Config(7, false, true, true, CAN_ID)),
          dystal.getConfig());
      sensor.setConfig(200, true, false, false);
      assertEquals(Optional.of(new Dystal.Config(200, true, false, false, CAN_ID)),
          dystal.getConfig(100));
      assertEquals(2, sensor.configRequests());
    }

    @Test
    void theConfigurationIsEmptyWhenTheSensorDoesNotAnswer() {
      sensor.setConfigSilent(true);
      assertEquals(Optional.empty(), dystal.getConfig(50));
      assertEquals(1, sensor.configRequests());
      sensor.setConfigSilent(false);
      assertTrue(dystal.getConfig().isPresent());
    }
  }

  @Nested
  class UsbSensor {
    SimDystalUsb device;
    Dystal dystal;

    @BeforeEach
    void open() {
      device = new SimDystalUsb();
      device.setSilent(true);
      dystal = new Dystal(device.devicePath(), 10);
    }

    @AfterEach
    void close() {
      dystal.close();
      device.close();
    }

    @Test
    void opensInBinaryOutputAtTheOutputDataRateAndHasNoCanId() {
      assertEquals(List.of("GETCONFIG", "VERBOSE,0", "DATAFORMAT,BIN", "ODR,10"),
          waitForLines(device, 4));
      assertEquals(10, device.outputDataRate());
      assertEquals(Dystal.Transport.USB, dystal.getTransport());
      assertEquals(-1, dystal.getCanId());
    }

    @Test
    void anOutputDataRateOfZeroKeepsTheSensorsOwn() {
      try (SimDystalUsb other = new SimDystalUsb()) {
        int own = other.outputDataRate();
        new Dystal(other.devicePath(), 0).close();
        // No rate line: the next line the sensor gets is the next opening's first.
        new Dystal(other.devicePath(), 0).close();
        assertEquals(List.of("GETCONFIG", "VERBOSE,0", "DATAFORMAT,BIN", "GETCONFIG"),
            waitForLines(other, 4).subList(0, 4));
        assertEquals(own, other.outputDataRate());
      }
    }

    @Test
    void theReadingIsEmptyUntilTheFirstFrameThenTheLatestIsReturnedAgain() {
      sleep(100);
      assertEquals(new Dystal.ScanData(), dystal.getData());
      int[] distances = ramp(Dystal.MAX_DISTANCES);
      device.setDistances(distances);
      device.setSilent(false);
      Dystal.ScanData first = waitFor(dystal::getData, scan -> scan.distance.length > 0);
      assertArrayEquals(distances, first.distance, first::toString);
      assertArrayEquals(Arrays.copyOf(distances, 8), dystal.getData(8).distance);

      device.setSilent(true);
      int last = device.lastSequence(); // the newest frame there will be once silent
      Dystal.ScanData kept = waitFor(dystal::getData, scan -> scan.sequence == last);
      assertEquals(last, kept.sequence);
      assertEquals(kept, dystal.getData(), "the latest frame stays until a newer one");
    }

    @Test
    void framesCarryRisingTimestampsAndTheConnectionFollowsTheSensor() {
      // Silent since it answered the start-up commands.
      assertFalse(waitFor(dystal::isConnected, connected -> !connected), "silent from creation");
      device.setSilent(false);
      Dystal.ScanData first = waitFor(dystal::getData, scan -> scan.distance.length > 0);
      assertTrue(first.timestampUs > 0, first::toString);
      int firstSequence = first.sequence;
      Dystal.ScanData later = waitFor(dystal::getData, scan -> scan.sequence != firstSequence);
      assertTrue(later.timestampUs > first.timestampUs);
      assertTrue(waitFor(dystal::isConnected, connected -> connected));

      Silence.assertConnectionFollows(device::setSilent, dystal::isConnected);
    }

    @Test
    void aFrameOfSixteenZonesGivesSixteenDistances() {
      device.setDistances(ramp(16));
      device.setSilent(false);
      Dystal.ScanData scan = waitFor(dystal::getData, reading -> reading.distance.length > 0);
      assertArrayEquals(ramp(16), scan.distance, scan::toString);
    }

    @Test
    void theConfigurationSaysOnlyThatDistancesAreEnabled() {
      assertEquals(Optional.of(new Dystal.Config(0, true, false, false, 0)), dystal.getConfig());
      assertTrue(device.receivedLines().stream().filter("GETCONFIG"::equals).count() >= 2,
          device.receivedLines()::toString);
    }

    @Test
    void aSensorThatDoesNotAnswerGivesNoConfigurationEvenWhileItStreams() {
      device.setConfigSilent(true);
      assertEquals(Optional.empty(), dystal.getConfig(100), "silent sensor");
      device.setSilent(false);
      assertEquals(Optional.empty(), dystal.getConfig(300), "streaming but not answering");
    }

    @Test
    void readingsGoOnAfterTheConfigurationWasRead() {
      device.setSilent(false);
      waitFor(dystal::getData, scan -> scan.distance.length > 0);
      assertTrue(dystal.getConfig().isPresent());
      int before = dystal.getData().sequence;
      Dystal.ScanData later = waitFor(dystal::getData, scan -> scan.sequence != before);
      assertNotEquals(before, later.sequence, "no frame read after the configuration");
    }
  }

  static Executable rejects(Executable call) {
    return () -> assertThrows(IllegalArgumentException.class, call);
  }
}

#include "ferix/FerixBoard.h"

#include <algorithm>
#include <array>
#include <span>
#include <system_error>
#include <thread>

#include "core/HalPlatform.h"

namespace halvern::ferix {
namespace {

static_assert(kI2CPort == platform::kExpansionI2CPort);

// Outcomes of a read (the codes of the library's error table; none is printed or leaves the
// library).
constexpr int32_t kReadCountOutOfRange = 2010;
constexpr int32_t kReadBufferNull = 2011;
constexpr int32_t kReadSucceeded = 0;
constexpr int32_t kReadFailed = -1;

/** Reads `count` bytes from the board, with no register pointer written first. */
int32_t readBytes(int32_t count, uint8_t* buffer) {
  if (count < 1) {
    return kReadCountOutOfRange;
  }
  if (buffer == nullptr) {
    return kReadBufferNull;
  }
  return platform::i2cRead(kI2CPort, kDeviceAddress,
                           std::span(buffer, static_cast<std::size_t>(count))) < 0
             ? kReadFailed
             : kReadSucceeded;
}

/** True when the board took the bytes. */
bool writeBytes(std::span<const uint8_t> bytes) {
  return platform::i2cWrite(kI2CPort, kDeviceAddress, bytes) >= 0;
}

// What a read leaves in bytes nothing drove: the idle bus reads high. A converter's result
// always has its low four bits clear, so a result with any of them set was never answered.
constexpr uint8_t kIdleBusByte = 0xFF;
constexpr uint8_t kUnusedResultBits = 0x0F;

}  // namespace

FerixBoard::~FerixBoard() {
  const std::scoped_lock lock(lifecycleMutex);
  stopConversions();
}

bool FerixBoard::initialize(int referenceVolts) {
  const std::scoped_lock lifecycle(lifecycleMutex);
  stopConversions();
  const std::scoped_lock lock(readingMutex);
  referenceVoltage = static_cast<float>(referenceVolts);
  log.referenceVoltageSet(static_cast<double>(referenceVoltage), platform::robotTimeMicros());
  settings = kBoardSettings;
  int32_t status = 0;
  // A port that did not open shows in the presence check.
  platform::i2cInitialize(kI2CPort, status);
  busOpen = true;
  return checkPresence();
}

void FerixBoard::close() {
  const std::scoped_lock lifecycle(lifecycleMutex);
  stopConversions();
  busOpen = false;
  const std::scoped_lock lock(readingMutex);
  platform::i2cClose(kI2CPort);
}

bool FerixBoard::startConversions() {
  const std::scoped_lock lifecycle(lifecycleMutex);
  if (!busOpen) {
    return false;
  }
  if (!converter) {
    log.conversionsStarted(platform::robotTimeMicros());
    try {
      converter = std::make_unique<FerixConverter>(
          [this](uint8_t channel) { convertInBackground(channel); });
    } catch (const std::system_error&) {
      return false;  // no thread: readings stay as they were, none
    }
  }
  return true;
}

void FerixBoard::stopConversions() {
  if (converter) {
    converter.reset();  // joins; its last conversion has completed
    log.conversionsStopped(platform::robotTimeMicros());
  }
  forgetReadings();
}

void FerixBoard::forgetReadings() {
  {
    const std::scoped_lock lock(latestMutex);
    readings.fill(FerixReading{});
  }
  monitor.reset();
}

bool FerixBoard::latest(uint8_t channel, FerixReading& out) const {
  out = FerixReading{};
  if (channel >= kChannelCount) {
    return false;
  }
  const std::scoped_lock lock(latestMutex);
  out = readings.at(channel);
  return out.timestampUs != 0;
}

bool FerixBoard::waitForConversions(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(latestMutex);
  return converted.wait_for(lock, timeout, [this] {
    return std::all_of(readings.begin(), readings.end(),
                       [](const FerixReading& reading) { return reading.timestampUs != 0; });
  });
}

bool FerixBoard::connected() const { return monitor.connected(); }

void FerixBoard::convertInBackground(uint8_t channel) {
  FerixReading reading{};
  {
    const std::scoped_lock lock(readingMutex);
    // Bytes nothing drove read as the idle bus, never as a plausible count.
    std::array<uint8_t, 2> result{kIdleBusByte, kIdleBusByte};
    const bool transferred = convert(channel, result);
    const int64_t arrived = platform::robotTimeMicros();
    if (transferred && (result[1] & kUnusedResultBits) == 0) {
      const int raw = decodeConversion(result[0], result[1]);
      reading = FerixReading{.raw = raw,
                             .volts = countToVolts(raw, referenceVoltage),
                             .timestampUs = std::max<int64_t>(arrived, 1)};
      monitor.noteTraffic(reading.timestampUs);
    }
  }
  if (reading.timestampUs != 0) {
    log.converted(channel, reading);
  } else {
    log.unanswered(platform::robotTimeMicros());
  }
  {
    // An unanswered conversion leaves no reading: the last one is no longer the input's.
    const std::scoped_lock lock(latestMutex);
    readings.at(channel) = reading;
  }
  converted.notify_all();
}

int FerixBoard::readRaw(uint8_t channel) { return readNow(channel).raw; }

float FerixBoard::readVolts(uint8_t channel) { return readNow(channel).volts; }

FerixReading FerixBoard::readNow(uint8_t channel) {
  FerixReading reading{};
  if (channel >= kChannelCount) {
    return reading;
  }
  bool answered = false;
  {
    const std::scoped_lock lock(readingMutex);
    std::array<uint8_t, 2> result{};
    // A failed reading gives 0, never stale bytes.
    if (convert(channel, result)) {
      reading.raw = decodeConversion(result[0], result[1]);
      reading.timestampUs = std::max<int64_t>(platform::robotTimeMicros(), 1);
      // The idle bus is returned as it reads, but logged as no reading, as in the background.
      answered = (result[1] & kUnusedResultBits) == 0;
    }
    reading.volts = countToVolts(reading.raw, referenceVoltage);
  }
  if (answered) {
    log.read(channel, reading);
  }
  return reading;
}

bool FerixBoard::checkPresence() {
  std::array<uint8_t, 1> answer{};
  // Answered: "I2C device is connected" (2002); otherwise "I2C device not connected" (2001).
  return readBytes(static_cast<int32_t>(answer.size()), answer.data()) == kReadSucceeded;
}

bool FerixBoard::convert(uint8_t channel, std::array<uint8_t, 2>& result) {
  // Every transfer is made whatever the one before gave, so the bus sees the same sequence.
  const bool configured = writeBytes(configWrite(configWord(channel, settings)));
  std::this_thread::sleep_for(kConversionWait);
  const bool pointed = writeBytes(kConversionPointerWrite);
  const bool received =
      readBytes(static_cast<int32_t>(result.size()), result.data()) == kReadSucceeded;
  // Without the configuration the converter still holds another input's conversion, and
  // without the pointer the bytes are another register's: neither is this input's reading.
  // With nothing received there is no reading at all.
  return configured && pointed && received;
}

}  // namespace halvern::ferix

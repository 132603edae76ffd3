#include "ferix/FerixBoard.h"

#include <array>
#include <span>
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

}  // namespace

bool FerixBoard::initialize(int referenceVolts) {
  std::scoped_lock lock(readingMutex);
  referenceVoltage = static_cast<float>(referenceVolts);
  settings = kBoardSettings;
  int32_t status = 0;
  // A port that did not open shows in the presence check.
  platform::i2cInitialize(kI2CPort, status);
  return checkPresence();
}

void FerixBoard::close() {
  std::scoped_lock lock(readingMutex);
  platform::i2cClose(kI2CPort);
}

int FerixBoard::readRaw(uint8_t channel) {
  std::scoped_lock lock(readingMutex);
  return readChannel(channel);
}

float FerixBoard::readVolts(uint8_t channel) {
  std::scoped_lock lock(readingMutex);
  return countToVolts(readChannel(channel), referenceVoltage);
}

bool FerixBoard::checkPresence() {
  std::array<uint8_t, 1> answer{};
  // Answered: "I2C device is connected" (2002); otherwise "I2C device not connected" (2001).
  return readBytes(static_cast<int32_t>(answer.size()), answer.data()) == kReadSucceeded;
}

int FerixBoard::readChannel(uint8_t channel) {
  if (channel >= kChannelCount) {
    return 0;
  }
  // Every transfer is made whatever the one before gave, so the bus sees the same sequence.
  const bool configured = writeBytes(configWrite(configWord(channel, settings)));
  std::this_thread::sleep_for(kConversionWait);
  const bool pointed = writeBytes(kConversionPointerWrite);
  std::array<uint8_t, 2> result{};
  const bool received =
      readBytes(static_cast<int32_t>(result.size()), result.data()) == kReadSucceeded;
  // Without the configuration the converter still holds another input's conversion, and
  // without the pointer the bytes are another register's: neither is this input's reading.
  // With nothing received there is no reading at all. Each gives 0, never stale bytes.
  if (!configured || !pointed || !received) {
    return 0;
  }
  return decodeConversion(result[0], result[1]);
}

}  // namespace halvern::ferix

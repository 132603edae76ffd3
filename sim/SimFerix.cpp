#include "SimFerix.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <utility>

#include "SimHal.h"

namespace halvern::sim {

namespace {

constexpr uint8_t kConversionRegister = 0;
constexpr uint8_t kConfigRegister = 1;
constexpr uint8_t kLowThresholdRegister = 2;
constexpr uint8_t kPointerMask = 0x03;  // the pointer register's two address bits

constexpr uint16_t kStartOrIdle = 0x8000;  // bit 15: write 1 to start; reads 1 while idle
constexpr uint16_t kSingleShot = 0x0100;   // bit 8

constexpr int kMaxCount = 2047;
constexpr int kMinCount = -2048;
constexpr double kFullScaleCount = 2048.0;

/** Full-scale range in volts, by bits 11 to 9. */
constexpr std::array<double, 8> kFullScaleVolts{6.144, 4.096, 2.048, 1.024,
                                                0.512, 0.256, 0.256, 0.256};
/** Samples per second, by bits 7 to 5. */
constexpr std::array<int64_t, 8> kSamplesPerSecond{128, 250, 490, 920, 1600, 2400, 3300, 3300};

double fullScaleVolts(uint16_t config) { return kFullScaleVolts.at((config >> 9U) & 0x7U); }

std::chrono::nanoseconds samplePeriod(uint16_t config) {
  constexpr int64_t kNanosecondsPerSecond = 1'000'000'000;
  return std::chrono::nanoseconds(kNanosecondsPerSecond /
                                  kSamplesPerSecond.at((config >> 5U) & 0x7U));
}

bool continuousMode(uint16_t config) { return (config & kSingleShot) == 0; }

}  // namespace

std::shared_ptr<SimFerixConverter> SimFerixConverter::attach(int32_t port, int32_t address) {
  return std::make_shared<SimFerixConverter>(port, address);
}

SimFerixConverter::SimFerixConverter(int32_t port, int32_t address)
    : port_(port), address_(address) {
  startSimulation();
  simDevice_ = simhal::SimDevice(simDeviceName().c_str());
  if (simDevice_) {
    for (std::size_t channel = 0; channel < voltageValues_.size(); ++channel) {
      voltageValues_.at(channel) = simDevice_.CreateDouble(
          ("Voltage " + std::to_string(channel)).c_str(), simhal::kInput, 0.0);
    }
  }
  readCallback_ = HALSIM_RegisterI2CReadCallback(port, &SimFerixConverter::onRead, this);
  writeCallback_ = HALSIM_RegisterI2CWriteCallback(port, &SimFerixConverter::onWrite, this);
}

SimFerixConverter::~SimFerixConverter() { unplug(); }

void SimFerixConverter::unplug() {
  const std::scoped_lock lock(plugMutex_);
  if (writeCallback_ != 0) {
    HALSIM_CancelI2CWriteCallback(port_, std::exchange(writeCallback_, 0));
  }
  if (readCallback_ != 0) {
    HALSIM_CancelI2CReadCallback(port_, std::exchange(readCallback_, 0));
  }
}

std::string SimFerixConverter::simDeviceName() const {
  return "Ferix[" + std::to_string(port_) + "," + std::to_string(address_) + "]";
}

void SimFerixConverter::onWrite(const char* /*name*/, void* param, const unsigned char* buffer,
                                unsigned int count) {
  static_cast<SimFerixConverter*>(param)->write(std::span(buffer, count));
}

void SimFerixConverter::onRead(const char* /*name*/, void* param, unsigned char* buffer,
                               unsigned int count) {
  static_cast<SimFerixConverter*>(param)->read(std::span(buffer, count));
}

void SimFerixConverter::takeFedVoltages() const {
  if (!simDevice_) {
    return;
  }
  for (std::size_t channel = 0; channel < inputs_.size(); ++channel) {
    if (const double fed = voltageValues_.at(channel).Get(); fed != voltagesWritten_.at(channel)) {
      inputs_.at(channel) = fed;
      voltagesWritten_.at(channel) = fed;
    }
  }
}

void SimFerixConverter::showVoltages() {
  if (!simDevice_) {
    return;
  }
  for (std::size_t channel = 0; channel < inputs_.size(); ++channel) {
    voltagesWritten_.at(channel) = inputs_.at(channel);
    voltageValues_.at(channel).Set(inputs_.at(channel));
  }
}

void SimFerixConverter::setInputVoltage(int channel, double volts) {
  if (channel < 0 || static_cast<std::size_t>(channel) >= inputs_.size()) {
    throw std::out_of_range("no converter input " + std::to_string(channel));
  }
  const std::scoped_lock lock(mutex_);
  // A conversion already due was taken with the voltage as it was.
  takeFedVoltages();
  settle(simNow());
  inputs_.at(static_cast<std::size_t>(channel)) = volts;
  showVoltages();
}

double SimFerixConverter::inputVoltage(int channel) const {
  if (channel < 0 || static_cast<std::size_t>(channel) >= inputs_.size()) {
    throw std::out_of_range("no converter input " + std::to_string(channel));
  }
  const std::scoped_lock lock(mutex_);
  return inputs_.at(static_cast<std::size_t>(channel));
}

uint16_t SimFerixConverter::configRegister() const {
  const std::scoped_lock lock(mutex_);
  takeFedVoltages();
  settle(simNow());
  return configAsRead();
}

uint16_t SimFerixConverter::conversionRegister() const {
  const std::scoped_lock lock(mutex_);
  takeFedVoltages();
  settle(simNow());
  return conversion_;
}

std::vector<SimFerixConverter::Transfer> SimFerixConverter::transfers() const {
  const std::scoped_lock lock(mutex_);
  return transfers_;
}

void SimFerixConverter::clearTransfers() {
  const std::scoped_lock lock(mutex_);
  transfers_.clear();
}

uint16_t SimFerixConverter::convert(double volts, uint16_t config) {
  if (std::isnan(volts)) {
    return 0;
  }
  // To the nearest count: the full-scale ranges are not exact in binary, so 1 V over 2.048 V
  // comes out a hair below 1000 counts.
  const double count = std::clamp(std::round(volts / fullScaleVolts(config) * kFullScaleCount),
                                  static_cast<double>(kMinCount), static_cast<double>(kMaxCount));
  const auto twelveBits = static_cast<uint16_t>(static_cast<int>(count) & 0x0FFF);
  return static_cast<uint16_t>(twelveBits << 4U);
}

int32_t SimFerixConverter::write(std::span<const uint8_t> data) {
  const std::scoped_lock lock(mutex_);
  const auto now = simNow();  // under the lock, so transfers are recorded in time order
  record(Transfer{.kind = Transfer::Kind::Write,
                  .bytes = {data.begin(), data.end()},
                  .count = static_cast<int32_t>(data.size()),
                  .at = now,
                  .atHalMicros = simhal::halMicros()});
  takeFedVoltages();
  if (data.empty()) {
    return 0;  // the address alone: acknowledged, nothing changes
  }
  settle(now);
  pointer_ = static_cast<uint8_t>(data[0] & kPointerMask);
  // Two bytes (the pointer and one more) only move the pointer: a register takes a whole word.
  if (data.size() >= 3) {
    const auto word = static_cast<uint16_t>((data[1] << 8U) | data[2]);
    if (pointer_ == kConfigRegister) {
      // Bit 15 is not stored: it reads as the converter's state. A conversion not yet complete
      // is abandoned; in single-shot mode a word with bit 15 clear starts none.
      config_ = static_cast<uint16_t>(word | kStartOrIdle);
      converting_ = continuousMode(word) || (word & kStartOrIdle) != 0;
      if (converting_) {
        conversionDue_ = now + samplePeriod(word);
      }
    } else if (pointer_ >= kLowThresholdRegister) {
      thresholds_.at(static_cast<std::size_t>(pointer_ - kLowThresholdRegister)) = word;
    }
    // The conversion register cannot be written.
  }
  return static_cast<int32_t>(data.size());
}

int32_t SimFerixConverter::read(std::span<uint8_t> buffer) {
  const std::scoped_lock lock(mutex_);
  const auto now = simNow();  // under the lock, so transfers are recorded in time order
  Transfer transfer{.kind = Transfer::Kind::Read,
                    .bytes = {},
                    .count = static_cast<int32_t>(buffer.size()),
                    .at = now,
                    .atHalMicros = 0};
  takeFedVoltages();
  settle(now);
  uint16_t value = 0;
  if (pointer_ == kConversionRegister) {
    value = conversion_;
  } else if (pointer_ == kConfigRegister) {
    value = configAsRead();
  } else {
    value = thresholds_.at(static_cast<std::size_t>(pointer_ - kLowThresholdRegister));
  }
  // Most significant byte first; a longer read repeats the register.
  for (std::size_t i = 0; i < buffer.size(); ++i) {
    buffer[i] = static_cast<uint8_t>(i % 2 == 0 ? value >> 8U : value & 0xFFU);
  }
  transfer.bytes.assign(buffer.begin(), buffer.end());
  transfer.atHalMicros = simhal::halMicros();  // the moment the bytes were handed over
  record(std::move(transfer));
  return static_cast<int32_t>(buffer.size());
}

void SimFerixConverter::settle(SimTime now) const {
  if (now < conversionDue_) {
    return;
  }
  // Single shot: the one conversion completes. Continuous: once the first conversion after the
  // configuration is due, the register follows the input (as it is at the moment of asking).
  if (converting_ || continuousMode(config_)) {
    conversion_ = convert(selectedVoltage(config_), config_);
    converting_ = false;
  }
}

uint16_t SimFerixConverter::configAsRead() const {
  return converting_ ? static_cast<uint16_t>(config_ & ~kStartOrIdle) : config_;
}

double SimFerixConverter::selectedVoltage(uint16_t config) const {
  const unsigned mux = (config >> 12U) & 0x7U;
  switch (mux) {
    case 0:
      return inputs_[0] - inputs_[1];
    case 1:
      return inputs_[0] - inputs_[3];
    case 2:
      return inputs_[1] - inputs_[3];
    case 3:
      return inputs_[2] - inputs_[3];
    default:
      return inputs_.at(mux - 4);
  }
}

void SimFerixConverter::record(Transfer transfer) { transfers_.push_back(std::move(transfer)); }

}  // namespace halvern::sim

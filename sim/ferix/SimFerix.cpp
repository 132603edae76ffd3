#include "SimFerix.h"

#include <stdexcept>
#include <string>
#include <utility>

#include "SimHal.h"
#include "common/FedValue.h"
#include "ferix/ConverterRegisters.h"

namespace halvern::sim {

namespace conv = converter;

namespace {
// What a read gets that nothing answers: the bus's pull-ups hold every bit high.
constexpr uint16_t kIdleBus = 0xFFFF;
}  // namespace

struct SimFerixConverter::Values {
  simhal::SimDevice device;
  std::array<FedValue<simhal::SimDouble, double>, 4> voltages;
};

std::shared_ptr<SimFerixConverter> SimFerixConverter::attach(int32_t port, int32_t address) {
  return std::make_shared<SimFerixConverter>(port, address);
}

SimFerixConverter::SimFerixConverter(int32_t port, int32_t address)
    : port_(port), address_(address), values_(std::make_unique<Values>()) {
  startSimulation();
  values_->device = simhal::SimDevice(simDeviceName().c_str());
  if (values_->device) {
    for (std::size_t channel = 0; channel < values_->voltages.size(); ++channel) {
      values_->voltages.at(channel) = {
          values_->device.CreateDouble(("Voltage " + std::to_string(channel)).c_str(),
                                       simhal::kInput, 0.0),
          0.0};
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

void SimFerixConverter::setSilent(bool silent) {
  const std::scoped_lock lock(mutex_);
  silent_ = silent;
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
  for (std::size_t channel = 0; channel < inputs_.size(); ++channel) {
    if (const auto fed = values_->voltages.at(channel).takeFed()) {
      inputs_.at(channel) = *fed;
    }
  }
}

void SimFerixConverter::showVoltages() {
  for (std::size_t channel = 0; channel < inputs_.size(); ++channel) {
    values_->voltages.at(channel).show(inputs_.at(channel));
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

void SimFerixConverter::setInputCount(int channel, int raw) {
  constexpr int kCountRange = 4096;  // 12 bits
  constexpr int kFirstNegative = 2048;
  const int wrapped = raw & (kCountRange - 1);
  const int count = wrapped >= kFirstNegative ? wrapped - kCountRange : wrapped;
  uint16_t config = 0;
  {
    const std::scoped_lock lock(mutex_);
    config = config_;
  }
  setInputVoltage(channel, conv::countVoltage(count, config));
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
  return conv::convert(volts, config);
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
  pointer_ = static_cast<uint8_t>(data[0] & conv::kPointerMask);
  // Two bytes (the pointer and one more) only move the pointer: a register takes a whole word.
  if (data.size() >= 3) {
    const uint16_t word = ferix::registerWord(data[1], data[2]);
    if (pointer_ == conv::kConfigRegister) {
      // Bit 15 is not stored: it reads as the converter's state. A conversion not yet complete
      // is abandoned; in single-shot mode a word with bit 15 clear starts none.
      config_ = static_cast<uint16_t>(word | conv::kStartOrIdle);
      converting_ = conv::continuousMode(word) || (word & conv::kStartOrIdle) != 0;
      if (converting_) {
        conversionDue_ = now + conv::samplePeriod(word);
      }
    } else if (pointer_ >= conv::kLowThresholdRegister) {
      thresholds_.at(static_cast<std::size_t>(pointer_ - conv::kLowThresholdRegister)) = word;
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
  if (silent_) {
    value = kIdleBus;
  } else if (pointer_ == conv::kConversionRegister) {
    value = conversion_;
  } else if (pointer_ == conv::kConfigRegister) {
    value = configAsRead();
  } else {
    value = thresholds_.at(static_cast<std::size_t>(pointer_ - conv::kLowThresholdRegister));
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
  if (converting_ || conv::continuousMode(config_)) {
    conversion_ = conv::convert(conv::selectedVoltage(inputs_, config_), config_);
    converting_ = false;
  }
}

uint16_t SimFerixConverter::configAsRead() const {
  return converting_ ? static_cast<uint16_t>(config_ & ~conv::kStartOrIdle) : config_;
}

void SimFerixConverter::record(Transfer transfer) { transfers_.push_back(std::move(transfer)); }

}  // namespace halvern::sim

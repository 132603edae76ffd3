#include "ferix/BoardLog.h"

#include <chrono>

#include "ferix/FerixBoard.h"
#include "ferix/FerixLogSignals.h"
#include "ferix/FerixProtocol.h"

namespace halvern::ferix {
namespace {

using datalog::EntryType;
namespace name = logged;

const std::string& device() {
  static const std::string board = logged::deviceName(kI2CPort, kDeviceAddress);
  return board;
}

constexpr int64_t kSilenceUs =
    std::chrono::duration_cast<std::chrono::microseconds>(kConnectionSilence).count();

}  // namespace

BoardLog::Input::Input(int input)
    : raw(device(), name::inputSignal(input, name::kRaw), EntryType::kInt64, "counts"),
      voltage(device(), name::inputSignal(input, name::kVoltage), EntryType::kDouble, "V") {}

BoardLog::BoardLog()
    : referenceVoltage(device(), name::kReferenceVoltage, EntryType::kDouble, "V"),
      connected(device(), name::kConnected, EntryType::kBoolean) {
  for (std::size_t input = 0; input < inputs.size(); ++input) {
    inputs.at(input) = std::make_unique<Input>(static_cast<int>(input));
  }
}

void BoardLog::referenceVoltageSet(double volts, int64_t robotMicros) {
  referenceVoltage.append(volts, robotMicros);
}

void BoardLog::conversionsStarted(int64_t robotMicros) { lastAnsweredUs = robotMicros; }

void BoardLog::read(uint8_t channel, const FerixReading& reading) {
  Input& input = *inputs.at(channel);
  input.raw.append(static_cast<int64_t>(reading.raw), reading.timestampUs);
  input.voltage.append(static_cast<double>(reading.volts), reading.timestampUs);
}

void BoardLog::converted(uint8_t channel, const FerixReading& reading) {
  const int64_t at = reading.timestampUs;
  read(channel, reading);
  // A silence longer than the limit between two answers was a drop, however short.
  if (at - lastAnsweredUs > kSilenceUs) {
    connected.appendChange(false, lastAnsweredUs + kSilenceUs);
  }
  connected.appendChange(true, at);
  lastAnsweredUs = std::max(lastAnsweredUs, at);
}

void BoardLog::unanswered(int64_t robotMicros) {
  if (robotMicros - lastAnsweredUs > kSilenceUs) {
    // Disconnected since the silence allowed ran out, not since this conversion noticed it.
    connected.appendChange(false, lastAnsweredUs + kSilenceUs);
  }
}

void BoardLog::conversionsStopped(int64_t robotMicros) { connected.appendChange(false, robotMicros); }

}  // namespace halvern::ferix

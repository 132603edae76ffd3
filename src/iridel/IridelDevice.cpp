#include "iridel/IridelDevice.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <span>
#include <thread>

#include "core/HalPlatform.h"

namespace halvern::iridel {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kStartupSettleTime = std::chrono::milliseconds(50);
constexpr auto kReplyPollInterval = std::chrono::milliseconds(2);
constexpr uint8_t kNoReplyStatus = 2;

}  // namespace

std::unique_ptr<IridelDevice> IridelDevice::createCan(int canId, int32_t bus) {
  return createOnCan<IridelDevice>(canId, bus, kTag, {kStreamId, kStreamMask, kStreamDepth});
}

std::unique_ptr<IridelDevice> IridelDevice::createUsb(const char* path, int sampleTimeMs) {
  std::unique_ptr<IridelDevice> device = createOnUsb<IridelDevice>(path, kBaudRate, kTag);
  if (device == nullptr) {
    return nullptr;
  }
  serial::WriteSerialLine(device->port.handle(), colorFormatLine("XYZ"));
  if (sampleTimeMs > 0) {
    serial::WriteSerialLine(device->port.handle(), sampleTimeLine(sampleTimeMs));
    device->noteSampleTime(sampleTimeMs);
  }
  // Drop what the sensor answered to the start-up commands before reading samples.
  std::this_thread::sleep_for(kStartupSettleTime);
  serial::PurgeSerialInput(device->port.handle());
  device->startReader();
  return device;
}

IridelDevice::~IridelDevice() {
  stopReader();  // before the port closes and before the sample goes
  port.reset();
  stream.close();
}

ColorData IridelDevice::getColor() {
  if (onUsb()) {
    const std::lock_guard lock(sampleMutex);
    return sample;
  }
  if (!stream.isOpen()) {
    return ColorData{};
  }
  pollCanSample();
  const std::lock_guard lock(sampleMutex);
  if (!sampleUnreadByGetColor) {
    return ColorData{};
  }
  sampleUnreadByGetColor = false;
  return sample;
}

Reading IridelDevice::getLatestColor() {
  if (!onUsb()) {
    pollCanSample();
  }
  const std::lock_guard lock(sampleMutex);
  if (!sample.valid) {
    return Reading{};
  }
  return Reading{.sequence = sample.sequence,
                 .x = sample.x,
                 .y = sample.y,
                 .z = sample.z,
                 .valid = true,
                 .timestampUs = sampleTimestampUs};
}

bool IridelDevice::isConnected() {
  if (!onUsb()) {
    pollCanSample();
  }
  const int64_t now = platform::robotTimeMicros();
  // The monitor applies the longest silence; the sensor's own, from its sample time, may be
  // shorter.
  return connection.connectedAt(now) && now - connection.lastTrafficMicros() <= silenceUs.load();
}

void IridelDevice::pollCanSample() {
  if (!stream.isOpen()) {
    return;
  }
  platform::CanFrame frame;
  if (platform::canReceive(canBus, kColorFrameId, kExactMask, frame) != 0) {
    return;
  }
  const auto stampUs = static_cast<int64_t>(frame.timestampUs);
  connection.noteTraffic(stampUs);
  const ColorData color = decodeColorFrame(frame.data.data(), frame.length);
  const std::lock_guard lock(sampleMutex);
  if (!color.valid) {
    // A short frame: getColor reports it as no sample, as the newest frame; the held sample
    // stays the newest valid one.
    sampleUnreadByGetColor = false;
    return;
  }
  sample = color;
  sampleTimestampUs = stampUs;
  sampleUnreadByGetColor = true;
}

void IridelDevice::noteSampleTime(int milliseconds) {
  silenceUs.store(connectionSilence(milliseconds).count());
}

bool IridelDevice::setColorFormat(int format) {
  const auto name = colorFormatName(format);
  if (!name) {
    return false;
  }
  if (onUsb()) {
    return serial::WriteSerialLine(port.handle(), colorFormatLine(*name));
  }
  return sendCommand(Command::ColorFormat, *colorFormatPayload(format), nullptr, kReplyTimeoutMs);
}

bool IridelDevice::setSampleTimeMs(int milliseconds) {
  const bool set = onUsb() ? serial::WriteSerialLine(
                                 port.handle(), sampleTimeLine(clampSampleTimeMs(milliseconds)))
                           : sendCommand(Command::SampleTime, sampleTimePayload(milliseconds),
                                         nullptr, kReplyTimeoutMs);
  if (set) {
    noteSampleTime(milliseconds);
  }
  return set;
}

bool IridelDevice::setBrightness(int level) {
  return !onUsb() &&
         sendCommand(Command::Brightness, brightnessPayload(level), nullptr, kReplyTimeoutMs);
}

bool IridelDevice::setStatusLed(bool enable, int level) {
  return !onUsb() &&
         sendCommand(Command::StatusLed, statusLedPayload(enable, level), nullptr, kReplyTimeoutMs);
}

bool IridelDevice::setMeasureMode(int mode, float parameter) {
  if (onUsb()) {
    return false;
  }
  const auto payload = measureModePayload(mode, parameter);
  return payload && sendCommand(Command::MeasureMode, *payload, nullptr, kReplyTimeoutMs);
}

bool IridelDevice::setZmm(float value) {
  return !onUsb() && sendCommand(Command::Zmm, zmmPayload(value), nullptr, kReplyTimeoutMs);
}

bool IridelDevice::setUsbOverride(bool on) {
  return !onUsb() &&
         sendCommand(Command::UsbOverride, usbOverridePayload(on), nullptr, kReplyTimeoutMs);
}

bool IridelDevice::setCanId(int newId) {
  return !onUsb() && sendCommand(Command::CanId, canIdPayload(newId), nullptr, kReplyTimeoutMs);
}

bool IridelDevice::getConfig(int key, uint32_t* value) {
  if (value == nullptr || onUsb()) {
    return false;
  }
  return sendCommand(Command::GetConfig, getConfigPayload(key), value, kReplyTimeoutMs);
}

bool IridelDevice::sendCommand(Command command, const CommandPayload& payload, uint32_t* value,
                               int timeoutMs) {
  if (!stream.isOpen() || payload.length == 0 || payload.length > 8) {
    return false;
  }
  if (platform::canSend(canBus, commandId(command),
                        std::span(payload.bytes.data(), payload.length)) != 0) {
    return false;
  }
  uint8_t replyStatus = kNoReplyStatus;
  uint32_t replyValue = 0;
  if (!awaitReply(static_cast<uint8_t>(command), &replyValue, &replyStatus, timeoutMs)) {
    return false;
  }
  if (value != nullptr) {
    *value = replyValue;  // delivered even when the status reports a failure
  }
  return replyStatus == 0;
}

bool IridelDevice::awaitReply(uint8_t code, uint32_t* value, uint8_t* status, int timeoutMs) {
  if (!stream.isOpen()) {
    return false;
  }
  const auto timeout = std::chrono::milliseconds(std::max(timeoutMs, 0));
  const auto start = Clock::now();
  std::array<platform::CanFrame, kStreamDepth> messages{};
  while (true) {
    uint32_t count = 0;
    const int32_t readStatus = platform::canReadStream(stream.handle(), messages, count);
    // An overrun is a warning: the frames read are valid, the oldest ones were dropped.
    if (readStatus == 0 || readStatus == platform::kCanStreamOverrun) {
      for (uint32_t i = 0; i < count && i < kStreamDepth; ++i) {
        const auto& message = messages.at(i);
        if (isSensorFrame(message.messageId)) {
          connection.noteTraffic(static_cast<int64_t>(message.timestampUs));
        }
        if (const auto reply =
                matchReply(message.messageId, message.data.data(), message.length, code)) {
          if (status != nullptr) {
            *status = reply->status;
          }
          if (value != nullptr) {
            *value = reply->value;
          }
          return true;
        }
      }
    }
    if (Clock::now() - start >= timeout) {
      return false;
    }
    std::this_thread::sleep_for(kReplyPollInterval);
  }
}

void IridelDevice::onBytesReceived(const uint8_t* bytes, std::size_t count, int64_t arrivedUs) {
  lineBuffer.feed(bytes, count,
                  [this, arrivedUs](std::string_view line) { handleLine(line, arrivedUs); });
}

void IridelDevice::handleLine(std::string_view line, int64_t arrivedUs) {
  const auto components = parseColorLine(line);
  if (!components) {
    return;
  }
  const std::lock_guard lock(sampleMutex);
  sample.x = (*components)[0];
  sample.y = (*components)[1];
  sample.z = (*components)[2];
  ++usbSequence;  // wraps at 16 bits
  sample.sequence = usbSequence;
  sample.valid = true;
  sampleTimestampUs = arrivedUs;
}

}  // namespace halvern::iridel

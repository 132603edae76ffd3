#include "iridel/IridelDevice.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <map>
#include <span>
#include <string>
#include <thread>

#include "core/DataLogSink.h"
#include "core/HalPlatform.h"
#include "iridel/IridelSignals.h"

namespace halvern::iridel {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kStartupSettleTime = std::chrono::milliseconds(50);
constexpr auto kReplyPollInterval = std::chrono::milliseconds(2);
constexpr uint8_t kNoReplyStatus = 2;
constexpr int kMaxLevel = 100;

int64_t now() { return platform::robotTimeMicros(); }

}  // namespace

using datalog::EntryType;
using datalog::LogSignal;

struct IridelDevice::Signals {
  explicit Signals(std::string deviceName)
      : device(std::move(deviceName)),
        sequence(device, signals::kSequence, EntryType::kInt64),
        x(device, signals::kX, EntryType::kDouble),
        y(device, signals::kY, EntryType::kDouble),
        z(device, signals::kZ, EntryType::kDouble),
        connected(device, signals::kConnected, EntryType::kBoolean),
        colorFormat(device, signals::kColorFormat, EntryType::kString),
        sampleTime(device, signals::kSampleTime, EntryType::kInt64, "ms"),
        brightness(device, signals::kBrightness, EntryType::kInt64, "%"),
        statusLed(device, signals::kStatusLed, EntryType::kBoolean),
        statusLedLevel(device, signals::kStatusLedLevel, EntryType::kInt64, "%"),
        measureMode(device, signals::kMeasureMode, EntryType::kInt64),
        measureModeParameter(device, signals::kMeasureModeParameter, EntryType::kDouble),
        zmm(device, signals::kZmm, EntryType::kDouble),
        usbOverride(device, signals::kUsbOverride, EntryType::kBoolean),
        canId(device, signals::kCanId, EntryType::kInt64) {}

  /** The signal of a configuration key, made on its first answer. */
  LogSignal& config(int key) {
    const std::lock_guard lock(configMutex);
    auto& signal = configByKey[key];
    if (!signal) {
      signal = std::make_unique<LogSignal>(device, signals::configSignal(key), EntryType::kInt64);
    }
    return *signal;
  }

  const std::string device;
  LogSignal sequence, x, y, z, connected;
  LogSignal colorFormat, sampleTime, brightness, statusLed, statusLedLevel, measureMode,
      measureModeParameter, zmm, usbOverride, canId;
  std::mutex configMutex;
  std::map<int, std::unique_ptr<LogSignal>> configByKey;
};

IridelDevice::IridelDevice(TransportKind kind, uint8_t deviceCanId, int32_t deviceCanBus)
    : DualTransportDevice(kind, deviceCanId, deviceCanBus) {}

std::unique_ptr<IridelDevice> IridelDevice::createCan(int canId, int32_t bus) {
  auto device = createOnCan<IridelDevice>(canId, bus, kTag, {kStreamId, kStreamMask, kStreamDepth});
  if (device != nullptr) {
    device->logs = std::make_unique<Signals>(datalog::canDeviceName(signals::kFamily, canId, bus));
    device->pollingInBackground();
  }
  return device;
}

std::unique_ptr<IridelDevice> IridelDevice::createUsb(const char* path, int sampleTimeMs) {
  std::unique_ptr<IridelDevice> device = createOnUsb<IridelDevice>(path, kBaudRate, kTag);
  if (device == nullptr) {
    return nullptr;
  }
  device->logs = std::make_unique<Signals>(datalog::portDeviceName(signals::kFamily, path));
  constexpr std::string_view kStartFormat = "XYZ";
  if (serial::WriteSerialLine(device->port.handle(), colorFormatLine(kStartFormat))) {
    device->logs->colorFormat.append(kStartFormat, now());
  }
  if (sampleTimeMs > 0) {
    if (serial::WriteSerialLine(device->port.handle(), sampleTimeLine(sampleTimeMs))) {
      device->logs->sampleTime.append(int64_t{clampSampleTimeMs(sampleTimeMs)}, now());
    }
    device->noteSampleTime(sampleTimeMs);
  }
  // Drop what the sensor answered to the start-up commands before reading samples.
  std::this_thread::sleep_for(kStartupSettleTime);
  serial::PurgeSerialInput(device->port.handle());
  device->startReader();
  return device;
}

IridelDevice::~IridelDevice() {
  poller = std::jthread();  // stops and joins it, before the sessions close
  colorFrames.close();
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
  if (!pollingInBackground()) {
    pollCanSample();
  }
  const std::lock_guard lock(sampleMutex);
  if (!sampleUnreadByGetColor) {
    return ColorData{};
  }
  sampleUnreadByGetColor = false;
  return sample;
}

Reading IridelDevice::getLatestColor() {
  if (!onUsb() && !pollingInBackground()) {
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
  if (!onUsb() && !pollingInBackground()) {
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
  takeColorFrame(frame);
}

void IridelDevice::takeColorFrame(const platform::CanFrame& frame) {
  const auto stampUs = static_cast<int64_t>(frame.timestampUs);
  // Judged at the frame's own time, a silence before it and its end are logged when they were,
  // however late the frame is taken.
  const bool logging = datalog::dataLogActive();
  if (logging) {
    logConnection(stampUs);
  }
  connection.noteTraffic(stampUs);
  if (logging) {
    logConnection(stampUs);
  }
  const ColorData color = decodeColorFrame(frame.data.data(), frame.length);
  {
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
  logSample(color, stampUs);
}

bool IridelDevice::pollingInBackground() {
  if (polling.load()) {
    return true;
  }
  if (onUsb() || !stream.isOpen() || !datalog::dataLogActive()) {
    return false;
  }
  const std::lock_guard lock(pollerStartMutex);
  if (!poller.joinable()) {
    // Opened before this returns, so every frame from now on is queued for the poller.
    colorFrames.open(canBus, kColorFrameId, kExactMask, kStreamDepth);
    poller = std::jthread([this](const std::stop_token& stop) { pollLoop(stop); });
    polling.store(true);
  }
  return true;
}

void IridelDevice::pollLoop(const std::stop_token& stop) {
  while (!stop.stop_requested()) {
    // Without a session of its own it looks at the newest frame only, as callers do.
    if (colorFrames.isOpen()) {
      takeQueuedColorFrames(colorFrames);
    } else {
      pollCanSample();
    }
    if (datalog::dataLogActive()) {
      logConnection(now());
    }
    std::unique_lock lock(pollerWaitMutex);
    pollerWake.wait_for(lock, stop, kLoggingPollInterval, [] { return false; });
  }
}

void IridelDevice::takeQueuedColorFrames(const CanStreamSession& session) {
  std::array<platform::CanFrame, kStreamDepth> frames{};
  uint32_t count = kStreamDepth;
  while (count == kStreamDepth) {  // a full batch may mean more are waiting
    const int32_t status = platform::canReadStream(session.handle(), frames, count);
    // An overrun is a warning: the frames read are valid, the oldest ones were dropped. An
    // empty session reads as an error with no frames.
    if (status != 0 && status != platform::kCanStreamOverrun) {
      return;
    }
    for (uint32_t i = 0; i < count && i < kStreamDepth; ++i) {
      takeColorFrame(frames.at(i));
    }
  }
}

void IridelDevice::logSample(const ColorData& color, int64_t stampUs) {
  logs->sequence.append(int64_t{color.sequence}, stampUs);
  logs->x.append(double{color.x}, stampUs);
  logs->y.append(double{color.y}, stampUs);
  logs->z.append(double{color.z}, stampUs);
}

void IridelDevice::logConnection(int64_t nowUs) {
  appendConnection(logs->connected, nowUs, silenceUs.load());
}

void IridelDevice::noteSampleTime(int milliseconds) {
  silenceUs.store(connectionSilence(milliseconds).count());
}

bool IridelDevice::setColorFormat(int format) {
  const auto name = colorFormatName(format);
  if (!name) {
    return false;
  }
  const auto logSent = [&] { logs->colorFormat.append(*name, now()); };
  if (onUsb()) {
    const bool sent = serial::WriteSerialLine(port.handle(), colorFormatLine(*name));
    if (sent) {
      logSent();
    }
    return sent;
  }
  return sendCommand(Command::ColorFormat, *colorFormatPayload(format), nullptr, kReplyTimeoutMs,
                     logSent);
}

bool IridelDevice::setSampleTimeMs(int milliseconds) {
  const auto logSent = [&] {
    logs->sampleTime.append(int64_t{clampSampleTimeMs(milliseconds)}, now());
  };
  bool set = false;
  if (onUsb()) {
    set = serial::WriteSerialLine(port.handle(), sampleTimeLine(clampSampleTimeMs(milliseconds)));
    if (set) {
      logSent();
    }
  } else {
    set = sendCommand(Command::SampleTime, sampleTimePayload(milliseconds), nullptr,
                      kReplyTimeoutMs, logSent);
  }
  if (set) {
    noteSampleTime(milliseconds);
  }
  return set;
}

bool IridelDevice::setBrightness(int level) {
  return !onUsb() &&
         sendCommand(Command::Brightness, brightnessPayload(level), nullptr, kReplyTimeoutMs, [&] {
           logs->brightness.append(int64_t{std::clamp(level, 0, kMaxLevel)}, now());
         });
}

bool IridelDevice::setStatusLed(bool enable, int level) {
  return !onUsb() &&
         sendCommand(Command::StatusLed, statusLedPayload(enable, level), nullptr, kReplyTimeoutMs,
                     [&] {
                       const int64_t at = now();
                       logs->statusLed.append(enable, at);
                       logs->statusLedLevel.append(int64_t{std::clamp(level, 0, kMaxLevel)}, at);
                     });
}

bool IridelDevice::setMeasureMode(int mode, float parameter) {
  if (onUsb()) {
    return false;
  }
  const auto payload = measureModePayload(mode, parameter);
  return payload && sendCommand(Command::MeasureMode, *payload, nullptr, kReplyTimeoutMs, [&] {
           const int64_t at = now();
           logs->measureMode.append(int64_t{mode}, at);
           logs->measureModeParameter.append(double{parameter}, at);
         });
}

bool IridelDevice::setZmm(float value) {
  return !onUsb() && sendCommand(Command::Zmm, zmmPayload(value), nullptr, kReplyTimeoutMs,
                                 [&] { logs->zmm.append(double{value}, now()); });
}

bool IridelDevice::setUsbOverride(bool on) {
  return !onUsb() && sendCommand(Command::UsbOverride, usbOverridePayload(on), nullptr,
                                 kReplyTimeoutMs, [&] { logs->usbOverride.append(on, now()); });
}

bool IridelDevice::setCanId(int newId) {
  return !onUsb() && sendCommand(Command::CanId, canIdPayload(newId), nullptr, kReplyTimeoutMs,
                                 [&] { logs->canId.append(int64_t{newId}, now()); });
}

bool IridelDevice::getConfig(int key, uint32_t* value) {
  if (value == nullptr || onUsb()) {
    return false;
  }
  const bool answered =
      sendCommand(Command::GetConfig, getConfigPayload(key), value, kReplyTimeoutMs);
  if (answered) {
    logs->config(key).append(int64_t{*value}, now());
  }
  return answered;
}

bool IridelDevice::sendCommand(Command command, const CommandPayload& payload, uint32_t* value,
                               int timeoutMs, const std::function<void()>& logSent) {
  if (!stream.isOpen() || payload.length == 0 || payload.length > 8) {
    return false;
  }
  if (platform::canSend(canBus, commandId(command),
                        std::span(payload.bytes.data(), payload.length)) != 0) {
    return false;
  }
  if (logSent) {
    logSent();
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
  ColorData taken{};
  {
    const std::lock_guard lock(sampleMutex);
    sample.x = (*components)[0];
    sample.y = (*components)[1];
    sample.z = (*components)[2];
    ++usbSequence;  // wraps at 16 bits
    sample.sequence = usbSequence;
    sample.valid = true;
    sampleTimestampUs = arrivedUs;
    taken = sample;
  }
  logSample(taken, arrivedUs);
}

}  // namespace halvern::iridel

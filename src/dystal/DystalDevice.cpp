#include "dystal/DystalDevice.h"

#include <algorithm>
#include <array>
#include <string>
#include <thread>
#include <vector>

#include "core/DataLogSink.h"
#include "core/HalPlatform.h"
#include "dystal/DystalSignals.h"

namespace halvern::dystal {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Creation on USB: the sensor answers "GETCONFIG" within this time, and the start-up commands
// within the second; each drain then reads reply lines until the sensor pauses.
constexpr milliseconds kConfigReplySettleTime{150};
constexpr milliseconds kConfigReplyPause{50};
// How many bytes the configuration read takes from the port at a time.
constexpr std::size_t kReplyReadChunk = 256;
constexpr milliseconds kStartupSettleTime{100};
constexpr milliseconds kStartupReplyPause{20};
// A drain ends after this long whatever the sensor sends, so a sensor that never pauses its
// text output cannot hold creation up.
constexpr milliseconds kDrainLimit{500};

// A reading on CAN arrives as several chunk frames: three passes over the stream session,
// with a pause between them, let the chunks of one reading come in.
constexpr int kGatheringPasses = 3;
constexpr milliseconds kGatheringPause{12};
static_assert(kGatheringPause * (kGatheringPasses - 1) == DystalDevice::kCanGatherTime);

constexpr milliseconds kReplyPollInterval{2};

}  // namespace

using datalog::EntryType;
using datalog::LogSignal;

struct DystalDevice::Signals {
  explicit Signals(const std::string& device)
      : sequence(device, signals::kSequence, EntryType::kInt64),
        distances(device, signals::kDistances, EntryType::kInt64Array, "mm"),
        connected(device, signals::kConnected, EntryType::kBoolean),
        outputDataRate(device, signals::kOutputDataRate, EntryType::kInt64, "Hz"),
        configVersion(device, signals::kConfigVersion, EntryType::kInt64),
        configDistanceEnabled(device, signals::kConfigDistanceEnabled, EntryType::kBoolean),
        configCanFdEnabled(device, signals::kConfigCanFdEnabled, EntryType::kBoolean),
        configCanBrsEnabled(device, signals::kConfigCanBrsEnabled, EntryType::kBoolean) {}

  LogSignal sequence, distances, connected, outputDataRate;
  LogSignal configVersion, configDistanceEnabled, configCanFdEnabled, configCanBrsEnabled;
};

DystalDevice::DystalDevice(TransportKind kind, uint8_t deviceCanId, int32_t deviceCanBus)
    : DualTransportDevice(kind, deviceCanId, deviceCanBus) {}

std::unique_ptr<DystalDevice> DystalDevice::createCan(int canId, int32_t bus) {
  auto device = createOnCan<DystalDevice>(canId, bus, kTag, {kStreamId, kStreamMask, kStreamDepth});
  if (device != nullptr) {
    device->logs = std::make_unique<Signals>(datalog::canDeviceName(signals::kFamily, canId, bus));
    if (datalog::dataLogActive()) {
      device->startGathering();  // readings are logged as the gathering completes them
    }
  }
  return device;
}

std::unique_ptr<DystalDevice> DystalDevice::createUsb(const char* path, int outputDataRate) {
  std::unique_ptr<DystalDevice> device = createOnUsb<DystalDevice>(path, kBaudRate, kTag);
  if (device == nullptr) {
    return nullptr;
  }
  device->logs = std::make_unique<Signals>(datalog::portDeviceName(signals::kFamily, path));
  const serial::SerialHandle handle = device->port.handle();
  serial::WriteSerialLine(handle, std::string(kGetConfigLine));
  std::this_thread::sleep_for(kConfigReplySettleTime);
  device->drainLines(kConfigReplyPause);

  serial::WriteSerialLine(handle, std::string(kVerboseOffLine));
  serial::WriteSerialLine(handle, std::string(kBinaryFormatLine));
  if (outputDataRate > 0 && serial::WriteSerialLine(handle, outputDataRateLine(outputDataRate))) {
    device->logs->outputDataRate.append(int64_t{outputDataRate}, platform::robotTimeMicros());
  }
  std::this_thread::sleep_for(kStartupSettleTime);
  device->drainLines(kStartupReplyPause);

  // Whatever is left of the text replies would only delay the first binary frame.
  serial::PurgeSerialInput(handle);
  device->startReader();
  return device;
}

DystalDevice::~DystalDevice() {
  gatherer.reset();  // before the session closes and before the published reading goes
  stopReader();      // before the port closes and before the frame goes
  port.reset();
  stream.close();
}

ScanData DystalDevice::getData(int count) {
  if (count <= 0) {
    return ScanData{};
  }
  count = std::min(count, kMaxDistances);
  if (!onUsb()) {
    // While the library logs, readings are gathered (and logged) in the background only.
    if (datalog::dataLogActive()) {
      startGathering();
    }
    return gatheringInBackground.load() ? publishedScan(count) : collectCanScan(count);
  }
  const std::lock_guard lock(sampleMutex);
  return latestFrame(count);
}

ScanData DystalDevice::latestFrame(int count) const {
  ScanData scan{};
  if (!frameValid) {
    return scan;
  }
  const int available = std::min<int>(count, frameCount);
  scan.sequence = frameSequence;
  scan.count = available;
  std::copy_n(distances.begin(), available, std::begin(scan.distance));
  return scan;
}

Reading DystalDevice::getLatest(int count) {
  Reading reading{};
  if (count <= 0) {
    return reading;
  }
  count = std::min(count, kMaxDistances);
  ScanData scan{};
  if (onUsb()) {
    const std::lock_guard lock(sampleMutex);
    scan = latestFrame(count);
    reading.timestampUs = frameValid ? frameTimestampUs : 0;
  } else {
    startGathering();
    const std::lock_guard lock(sampleMutex);
    if (hasPublished) {
      scan = published.chunks.assemble(count);
      reading.timestampUs = published.timestampUs;
    }
  }
  reading.sequence = scan.sequence;
  reading.count = scan.count;
  std::copy(std::begin(scan.distance), std::end(scan.distance), std::begin(reading.distance));
  return reading;
}

bool DystalDevice::startGathering() {
  if (onUsb()) {
    return true;  // the reader gathers from creation on
  }
  if (gatheringInBackground.load()) {
    return true;
  }
  const std::lock_guard lock(gatheringMutex);
  if (!gatherer && stream.isOpen()) {
    gatherer = std::make_unique<CanGatherer>(
        stream, streamMutex, canId, connection,
        [this](const CompletedReading& reading) { publish(reading); },
        [this](int64_t nowUs) {
          if (datalog::dataLogActive()) {
            logConnection(nowUs);
          }
        });
    gatheringInBackground.store(true);
  }
  return gatheringInBackground.load();
}

bool DystalDevice::isConnected() {
  startGathering();
  return connection.connected();
}

void DystalDevice::publish(const CompletedReading& reading) {
  {
    const std::lock_guard lock(sampleMutex);
    published = reading;
    hasPublished = true;
  }
  readingPublished.notify_all();
  if (datalog::dataLogActive()) {
    const ScanData scan = reading.chunks.assemble(kMaxDistances);
    logReading(scan.sequence,
               std::span<const int16_t>(scan.distance, static_cast<size_t>(scan.count)),
               reading.timestampUs);
  }
}

void DystalDevice::logReading(uint8_t sequence, std::span<const int16_t> zones, int64_t stampUs) {
  if (!datalog::dataLogActive()) {
    return;  // no copy while nothing is logged
  }
  std::array<int64_t, kMaxDistances> wide{};
  const size_t count = std::min(zones.size(), wide.size());
  std::copy_n(zones.begin(), count, wide.begin());
  logs->sequence.append(int64_t{sequence}, stampUs);
  logs->distances.append(std::span<const int64_t>(wide.data(), count), stampUs);
}

void DystalDevice::logConfig(const Config& config) {
  if (config.valid == 0) {
    return;
  }
  const int64_t at = platform::robotTimeMicros();
  logs->configVersion.append(int64_t{config.version}, at);
  logs->configDistanceEnabled.append(config.distanceEnabled != 0, at);
  logs->configCanFdEnabled.append(config.canFdEnabled != 0, at);
  logs->configCanBrsEnabled.append(config.canBrsEnabled != 0, at);
}

void DystalDevice::logConnection(int64_t nowUs) {
  appendConnection(
      logs->connected, nowUs,
      std::chrono::duration_cast<std::chrono::microseconds>(kConnectionSilence).count());
}

ScanData DystalDevice::publishedScan(int count) {
  std::unique_lock lock(sampleMutex);
  // The background gathering has the session: wait for its first reading no longer than a
  // gathering call would gather.
  if (!readingPublished.wait_for(lock, kCanGatherTime, [this] { return hasPublished; })) {
    return ScanData{};
  }
  return published.chunks.assemble(count);
}

ScanData DystalDevice::collectCanScan(int count) {
  if (!stream.isOpen()) {
    return ScanData{};
  }
  // The background gathering may start meanwhile (from another thread): it reads the session
  // only once this call has finished.
  const std::lock_guard streamLock(streamMutex);
  const uint32_t target = canMessageId(canId, Api::DistanceChunk);
  ChunkGathering gathering;
  std::array<platform::CanFrame, kStreamDepth> messages{};
  for (int pass = 0; pass < kGatheringPasses; ++pass) {
    if (pass > 0) {
      std::this_thread::sleep_for(kGatheringPause);
    }
    // Empty the session: a full batch may mean more are waiting.
    while (true) {
      uint32_t received = 0;
      const int32_t status = platform::canReadStream(stream.handle(), messages, received);
      // An overrun is a warning: the frames read are valid, the oldest ones were dropped.
      if (status != 0 && status != platform::kCanStreamOverrun) {
        break;
      }
      const uint32_t usable = std::min<uint32_t>(received, kStreamDepth);
      for (uint32_t i = 0; i < usable; ++i) {
        const auto& message = messages.at(i);
        if ((message.messageId & kExactMask) == target) {
          gathering.add(message.data.data(), message.length);
        }
      }
      if (received < kStreamDepth) {
        break;
      }
    }
  }
  return gathering.assemble(count);
}

Config DystalDevice::getConfig(int timeoutMs) {
  timeoutMs = std::max(timeoutMs, 0);
  const Config config = onUsb() ? readUsbConfig(timeoutMs) : requestConfig(timeoutMs);
  logConfig(config);
  return config;
}

Config DystalDevice::requestConfig(int timeoutMs) {
  if (!stream.isOpen()) {
    return Config{};
  }
  if (platform::canSend(canBus, canMessageId(canId, Api::ConfigRequest),
                        kConfigRequestPayload) != 0) {
    return Config{};
  }
  const auto timeout = milliseconds(timeoutMs);
  const auto start = Clock::now();
  while (true) {
    platform::CanFrame reply;
    if (platform::canReceive(canBus, canMessageId(canId, Api::ConfigReply), kExactMask,
                             reply) == 0 &&
        reply.length >= kCanFrameLength) {
      connection.noteTraffic(static_cast<int64_t>(reply.timestampUs));
      return decodeConfigReply(reply.data.data(), reply.length);
    }
    if (Clock::now() - start >= timeout) {
      return Config{};
    }
    std::this_thread::sleep_for(kReplyPollInterval);
  }
}

Config DystalDevice::readUsbConfig(int timeoutMs) {
  if (!port.isOpen()) {
    return Config{};
  }
  // The reply is read here, on the caller's thread, so the reader must not take its bytes. A
  // USB sensor's reader runs from creation to destruction, so it is started again afterwards.
  stopReader();
  serial::PurgeSerialInput(port.handle());
  rxBuffer.clear();

  Config config{};
  if (serial::WriteSerialLine(port.handle(), std::string(kGetConfigLine)) &&
      awaitReplyLine(milliseconds(timeoutMs > 0 ? timeoutMs : kDefaultUsbConfigTimeoutMs))) {
    // The reply's text is not interpreted: the sensor answering is what counts.
    config.distanceEnabled = 1;
    config.valid = 1;
  }
  startReader();
  return config;
}

bool DystalDevice::awaitReplyLine(milliseconds timeout) {
  // The sensor keeps streaming binary frames while it answers, and a loaded machine may read
  // a frame and the answer in one piece: the answer is searched among the frames, whole.
  const auto deadline = Clock::now() + timeout;
  std::vector<uint8_t> received;
  std::array<uint8_t, kReplyReadChunk> chunk{};
  while (Clock::now() < deadline) {
    const int count =
        serial::ReadSerialBytes(port.handle(), chunk.data(), static_cast<int>(chunk.size()));
    if (count > 0) {
      connection.noteTrafficNow();  // the reader is paused: the sensor's bytes come here
      received.insert(received.end(), chunk.begin(), chunk.begin() + count);
    }
    const ReplyLineSearch search = findReplyLine(received);
    if (search.line || (count <= 0 && !search.pendingText.empty())) {
      return true;  // a line, or text cut short by a pause, which counts as complete
    }
    received.erase(received.begin(),
                   received.begin() + static_cast<std::ptrdiff_t>(search.consumed));
  }
  return false;
}

bool DystalDevice::readLine(std::string& line, milliseconds timeout) {
  line.clear();
  if (!port.isOpen()) {
    return false;
  }
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    uint8_t byte = 0;
    if (serial::ReadSerialBytes(port.handle(), &byte, 1) == 1) {
      connection.noteTrafficNow();  // the reader is paused: the sensor's bytes come here
      if (byte == '\n') {
        return true;
      }
      if (byte != '\r') {
        line.push_back(static_cast<char>(byte));
      }
    } else if (!line.empty()) {
      return true;  // a line cut short by a pause counts as complete
    }
  }
  return !line.empty();
}

void DystalDevice::drainLines(milliseconds pause) {
  const auto limit = Clock::now() + kDrainLimit;
  std::string line;
  while (true) {
    const auto left = std::chrono::duration_cast<milliseconds>(limit - Clock::now());
    if (left.count() <= 0 || !readLine(line, std::min(pause, left))) {
      return;
    }
  }
}

void DystalDevice::onBytesReceived(const uint8_t* bytes, std::size_t count, int64_t arrivedUs) {
  appendReceived(rxBuffer, bytes, count);
  parseBuffer(rxBuffer,
              [this, arrivedUs](const DistanceFrame& frame) { storeFrame(frame, arrivedUs); });
}

void DystalDevice::storeFrame(const DistanceFrame& frame, int64_t arrivedUs) {
  {
    const std::lock_guard lock(sampleMutex);
    frameSequence = frame.sequence;
    frameCount = frame.count;
    distances = frame.distances;  // positions from the count on already read -1
    frameValid = true;
    frameTimestampUs = arrivedUs;
  }
  logReading(frame.sequence, std::span(frame.distances.data(), frame.count), arrivedUs);
}

}  // namespace halvern::dystal

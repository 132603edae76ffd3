// The simulated Iridel USB sensor: its commands and sample lines through the library's wire
// format, on the serial line every simulated USB device writes on.
#include <algorithm>

#include "SimClock.h"
#include "SimHal.h"
#include "SimIridel.h"
#include "iridel/IridelProtocol.h"
#include "serial/CommandLineReader.h"
#include "serial/Guarded.h"
#include "serial/SerialLine.h"

namespace halvern::sim {

namespace wire = halvern::iridel;

namespace {

using Clock = std::chrono::steady_clock;

// The distance the sensor reports in its distance mode.
constexpr int kDistanceModeMm = 123;

}  // namespace

namespace iridel {

/** The simulated sensor's state. */
struct UsbState {
  std::array<float, 3> xyz{0.25F, 0.5F, 0.75F};
  bool distanceMode = false;
  bool silent = false;
  std::chrono::milliseconds sampleTime{SimIridelUsb::kDefaultSampleTime};
  std::vector<std::string> received;
  int samplesSent = 0;
  uint64_t lastSampleSentUs = 0;
  // The line's thread's alone.
  CommandLineReader commands{CommandLineReader::LineEnd::Lf};
  Clock::time_point nextSample = Clock::now();
};

}  // namespace iridel

struct SimIridelUsb::State : Guarded<iridel::UsbState> {};

SimIridelUsb::SimIridelUsb()
    // The HAL's clock stamps the samples sent: the simulation runs before the first.
    : state_((startSimulation(), std::make_unique<State>())),
      line_(std::make_unique<SerialLine>(SerialLine::Device{
          .received = [this](SerialLine& /*line*/,
                             std::span<const uint8_t> bytes) { takeCommandBytes(bytes); },
          .turn = [this](SerialLine& line, Clock::time_point now, bool room) {
            queueSample(line, now, room);
          }})) {}

SimIridelUsb::~SimIridelUsb() = default;

// What the serial line does.
const std::string& SimIridelUsb::devicePath() const { return line_->devicePath(); }
void SimIridelUsb::sendRaw(const std::string& bytes) { line_->queue(bytes); }
void SimIridelUsb::unplug() { line_->unplug(); }
bool SimIridelUsb::allSentWasRead() const { return line_->allSentWasRead(); }

void SimIridelUsb::setColor(float x, float y, float z) {
  state_->set(&iridel::UsbState::xyz, std::array{x, y, z});
}
void SimIridelUsb::setDistanceMode(bool on) { state_->set(&iridel::UsbState::distanceMode, on); }
void SimIridelUsb::setSilent(bool silent) { state_->set(&iridel::UsbState::silent, silent); }

std::vector<std::string> SimIridelUsb::receivedLines() const {
  return state_->get(&iridel::UsbState::received);
}
uint64_t SimIridelUsb::lastSampleSentMicros() const {
  return state_->get(&iridel::UsbState::lastSampleSentUs);
}
int SimIridelUsb::samplesSent() const { return state_->get(&iridel::UsbState::samplesSent); }
std::chrono::milliseconds SimIridelUsb::sampleTime() const {
  return state_->get(&iridel::UsbState::sampleTime);
}

void SimIridelUsb::takeCommandBytes(std::span<const uint8_t> bytes) {
  state_->with([bytes](iridel::UsbState& state) {
    state.commands.feed(bytes, [&state](const std::string& line) {
      state.received.push_back(line);
      if (const auto milliseconds = wire::parseSampleTimeLine(line)) {
        state.sampleTime = std::chrono::milliseconds(std::max(*milliseconds, 1));
      }
    });
  });
}

void SimIridelUsb::queueSample(SerialLine& line, Clock::time_point now, bool room) {
  // Held back, a sample is left out rather than sent late.
  state_->with([&](iridel::UsbState& state) {
    if (!room || state.silent || now < state.nextSample) {
      return;
    }
    line.queue(wire::encodeColorLine(
        state.xyz, state.distanceMode ? std::optional(kDistanceModeMm) : std::nullopt));
    ++state.samplesSent;
    state.lastSampleSentUs = simhal::halMicros();
    state.nextSample = now + state.sampleTime;
  });
}

}  // namespace halvern::sim
